#include "platform/fetch/http_redirects.h"

namespace velmora {
namespace {

bool IsAsciiSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The length of an absolute address's scheme; 0 for a relative address,
// which (like "//host/path") keeps the scheme it was reached by.
std::string_view::size_type SchemeLength(std::string_view url) {
    for (std::string_view::size_type i = 0; i < url.size(); ++i) {
        const char c = Lower(url[i]);
        if (c == ':') return i;
        const bool letter = c >= 'a' && c <= 'z';
        if (!letter && (i == 0 || !((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'))) return 0;
    }
    return 0;
}

bool SchemeIs(std::string_view url, std::string_view scheme) {
    while (!url.empty() && IsAsciiSpace(url.front())) url.remove_prefix(1);
    const auto length = SchemeLength(url);
    if (length != scheme.size()) return false;
    for (std::string_view::size_type i = 0; i < length; ++i)
        if (Lower(url[i]) != scheme[i]) return false;
    return true;
}

}  // namespace

bool IsHttpsDowngrade(std::string_view from, std::string_view location) {
    return SchemeIs(from, "https") && SchemeIs(location, "http");
}

}  // namespace velmora
