#include "popup/link_policy.h"

#include <algorithm>
#include <string_view>

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

int HexValue(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

char16_t LowerAscii(char16_t c) {
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

bool IsUnreserved(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'-' ||
           c == u'.' || c == u'_' || c == u'~';
}

// Unreserved, general and sub-delimiters: every character a URI may hold
// besides "%", which only starts an escape.
bool IsUriCharacter(char16_t c) {
    return IsUnreserved(c) ||
           (c < 0x80 && std::u16string_view(u":/?#[]@!$&'()*+,;=").find(c) != std::u16string_view::npos);
}

constexpr char16_t kHexDigits[] = u"0123456789ABCDEF";

void AppendEscaped(Text& out, unsigned char byte) {
    out += u'%';
    out += kHexDigits[byte >> 4];
    out += kHexDigits[byte & 0xF];
}

// Scheme and host to lower case: the parts of an address where case never
// matters.
void LowerSchemeAndHost(Text& link) {
    const std::size_t colon = link.find(u':');
    if (colon == Text::npos) return;
    for (std::size_t i = 0; i < colon; ++i) {
        if (!IsUnreserved(link[i]) && link[i] != u'+') return;  // no scheme
        link[i] = LowerAscii(link[i]);
    }
    if (link.compare(colon, 3, u"://") != 0) return;
    const std::size_t authority = colon + 3;
    const std::size_t end = std::min(link.find_first_of(u"/?#", authority), link.size());
    const std::size_t at = link.rfind(u'@', end - 1);
    const std::size_t host = at == Text::npos || at < authority ? authority : at + 1;
    for (std::size_t i = host; i < end; ++i) link[i] = LowerAscii(link[i]);
}

}  // namespace

Text EncodeLink(const Text& link) {
    Text out;
    bool inFragment = false;
    for (std::size_t i = 0; i < link.size(); ++i) {
        const char16_t c = link[i];
        if (c == u'%' && i + 2 < link.size() && HexValue(link[i + 1]) >= 0 && HexValue(link[i + 2]) >= 0) {
            const auto byte = static_cast<unsigned char>(HexValue(link[i + 1]) * 16 + HexValue(link[i + 2]));
            if (IsUnreserved(byte))
                out += static_cast<char16_t>(byte);
            else
                AppendEscaped(out, byte);
            i += 2;
        } else if (IsUriCharacter(c) && !(c == u'#' && inFragment)) {
            out += c;
            inFragment = inFragment || c == u'#';
        } else {
            // A surrogate pair is one character: escape its UTF-8 form whole.
            const std::size_t units =
                IsHighSurrogate(c) && i + 1 < link.size() && IsLowSurrogate(link[i + 1]) ? 2 : 1;
            for (unsigned char byte : TextToUtf8(std::u16string_view(link).substr(i, units)))
                AppendEscaped(out, byte);
            i += units - 1;
        }
    }
    LowerSchemeAndHost(out);
    return out;
}

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
