#include "popup/link_policy.h"

namespace velmora {
namespace {

bool StartsWithNoCase(const Text& s, std::u16string_view prefix) {
    if (s.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        char16_t c = s[i];
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
        if (c != prefix[i]) return false;
    }
    return true;
}

bool IsAsciiSpace(char16_t c) {
    return c == u' ' || (c >= u'\t' && c <= u'\r');
}

}  // namespace

Text TrimLink(const Text& link) {
    std::size_t first = 0, last = link.size();
    while (first < last && IsAsciiSpace(link[first])) ++first;
    while (last > first && IsAsciiSpace(link[last - 1])) --last;
    return link.substr(first, last - first);
}

bool IsLaunchableLink(const Text& link) {
    for (char16_t c : link)
        if (c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0)) return false;
    std::size_t hostStart;
    if (StartsWithNoCase(link, u"http://"))
        hostStart = 7;
    else if (StartsWithNoCase(link, u"https://"))
        hostStart = 8;
    else
        return false;
    // The authority runs to the first "/", "?" or "#"; after any user info
    // there must be a host name.
    std::size_t end = link.find_first_of(u"/?#", hostStart);
    Text authority = link.substr(hostStart, end == Text::npos ? Text::npos : end - hostStart);
    std::size_t at = authority.rfind(u'@');
    Text host = at == Text::npos ? authority : authority.substr(at + 1);
    if (host.empty() || host[0] == u':') return false;
    for (char16_t c : host)
        if (c == u' ' || c == u'\\' || c == u'"' || c == u'<' || c == u'>') return false;
    return true;
}

}  // namespace velmora
