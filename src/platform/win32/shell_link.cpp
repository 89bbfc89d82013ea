#include "platform/win32/shell_link.h"

#include <string>
#include <string_view>

namespace velmora::win32 {
namespace {

bool IsHexDigit(char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// Unreserved, general and sub-delimiters: every character a URI may hold
// besides "%", which only starts an escape.
bool IsUriCharacter(char16_t c) {
    if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9')) return true;
    return c < 0x80 && std::u16string_view(u"-._~:/?#[]@!$&'()*+,;=").find(c) != std::u16string_view::npos;
}

void AppendEscaped(Text& out, std::string_view utf8) {
    static constexpr char16_t kHex[] = u"0123456789ABCDEF";
    for (unsigned char byte : utf8) {
        out += u'%';
        out += kHex[byte >> 4];
        out += kHex[byte & 0xF];
    }
}

}  // namespace

Text EncodeLinkForShell(const Text& link) {
    Text out;
    bool inFragment = false;
    for (std::size_t i = 0; i < link.size(); ++i) {
        const char16_t c = link[i];
        const bool validEscape =
            c == u'%' && i + 2 < link.size() && IsHexDigit(link[i + 1]) && IsHexDigit(link[i + 2]);
        if (validEscape || (IsUriCharacter(c) && !(c == u'#' && inFragment))) {
            out += c;
            inFragment = inFragment || c == u'#';
            continue;
        }
        // A surrogate pair is one character: escape its UTF-8 form whole.
        const std::size_t units =
            IsHighSurrogate(c) && i + 1 < link.size() && IsLowSurrogate(link[i + 1]) ? 2 : 1;
        AppendEscaped(out, TextToUtf8(std::u16string_view(link).substr(i, units)));
        i += units - 1;
    }
    return out;
}

}  // namespace velmora::win32
