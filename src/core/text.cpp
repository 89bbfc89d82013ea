#include "core/text.h"

#include "core/errors.h"

namespace velmora {

Text Mid(const Text& text, std::int64_t start, std::int64_t count) {
    if (start < 1) throw RuntimeError(ErrorCode::InvalidArgument, "start position below 1");
    if (count < 0) throw RuntimeError(ErrorCode::InvalidArgument, "negative character count");
    auto first = static_cast<std::uint64_t>(start - 1);
    if (first >= text.size()) return Text();
    return text.substr(static_cast<std::size_t>(first), static_cast<std::size_t>(count));
}

Text MidToEnd(const Text& text, std::int64_t start) {
    if (start < 1) throw RuntimeError(ErrorCode::InvalidArgument, "start position below 1");
    auto first = static_cast<std::uint64_t>(start - 1);
    if (first >= text.size()) return Text();
    return text.substr(static_cast<std::size_t>(first));
}

Text LeftOf(const Text& text, std::size_t count) {
    return text.substr(0, count);
}

Text LeftWholeChars(const Text& text, std::size_t count) {
    if (count >= text.size()) return text;
    if (count > 0 && IsHighSurrogate(text[count - 1]) && IsLowSurrogate(text[count])) --count;
    return text.substr(0, count);
}

namespace {

// Length of the UTF-8 sequence starting at `i` and its code point, or 0 when
// the bytes there are not a well-formed sequence.
std::size_t DecodeUtf8At(std::string_view s, std::size_t i, char32_t& cp) {
    auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char c = b(i);
    std::size_t len;
    char32_t min;
    if (c < 0x80) {
        cp = c;
        return 1;
    } else if ((c & 0xE0) == 0xC0) {
        len = 2, cp = c & 0x1F, min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
        len = 3, cp = c & 0x0F, min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
        len = 4, cp = c & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (i + len > s.size()) return 0;
    for (std::size_t k = 1; k < len; ++k) {
        if ((b(i + k) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b(i + k) & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return len;
}

}  // namespace

void AppendCodePoint(Text& out, char32_t cp) {
    if (cp >= 0x10000) {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
        out.push_back(static_cast<char16_t>(cp));
    }
}

bool IsValidUtf8(std::string_view bytes) {
    char32_t cp;
    for (std::size_t i = 0; i < bytes.size();) {
        std::size_t n = DecodeUtf8At(bytes, i, cp);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

Text Utf8ToText(std::string_view utf8) {
    Text out;
    out.reserve(utf8.size());
    char32_t cp;
    for (std::size_t i = 0; i < utf8.size();) {
        std::size_t n = DecodeUtf8At(utf8, i, cp);
        if (n == 0) {
            cp = 0xFFFD;
            n = 1;
        }
        i += n;
        AppendCodePoint(out, cp);
    }
    return out;
}

std::string TextToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

}  // namespace velmora
