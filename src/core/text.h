// Texts are sequences of UTF-16 code units; positions are 1-based and 0 means
// "not found".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace velmora {

using Text = std::u16string;

// The `count` code units of `text` from 1-based position `start`; fewer near the
// end. A start below 1 or a negative count is an invalid-argument error.
Text Mid(const Text& text, std::int64_t start, std::int64_t count);
// Everything of `text` from 1-based position `start` on.
Text MidToEnd(const Text& text, std::int64_t start);
// The first `count` code units (the whole text if shorter).
Text LeftOf(const Text& text, std::size_t count);
// Like LeftOf, but never ends on a high surrogate whose partner was cut off.
Text LeftWholeChars(const Text& text, std::size_t count);

// UTF-8 conversion. Invalid input bytes and lone surrogates become U+FFFD.
Text Utf8ToText(std::string_view utf8);
std::string TextToUtf8(std::u16string_view text);
bool IsValidUtf8(std::string_view bytes);
// Appends one code point (at most U+10FFFF) as one or two UTF-16 code units.
void AppendCodePoint(Text& out, char32_t cp);

inline bool IsHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
inline bool IsLowSurrogate(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

}  // namespace velmora
