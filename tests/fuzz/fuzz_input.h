// Helpers to turn fuzz bytes into the program's texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "core/text.h"

namespace velmora::fuzz {

// Raw bytes as UTF-16 code units, so lone surrogates and any unit occur.
inline Text AsUnits(std::string_view bytes) {
    Text out;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        out.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                            (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    return out;
}

// The first byte picks how the rest becomes text: UTF-8 (readable markers)
// or raw code units.
inline Text AsText(std::string_view bytes) {
    if (bytes.empty()) return Text();
    return (bytes[0] & 1) ? AsUnits(bytes.substr(1)) : Utf8ToText(bytes.substr(1));
}

// Splits at the first NUL byte: (head, tail).
inline std::pair<std::string_view, std::string_view> SplitAtNul(std::string_view bytes) {
    std::size_t nul = bytes.find('\0');
    if (nul == std::string_view::npos) return {std::string_view(), bytes};
    return {bytes.substr(0, nul), bytes.substr(nul + 1)};
}

#define FUZZ_ASSERT(cond)                                                                      \
    do {                                                                                       \
        if (!(cond)) {                                                                         \
            std::fprintf(stderr, "invariant broken: %s (%s:%d)\n", #cond, __FILE__, __LINE__); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (0)

// True when `caption` is `text` cut without leaving half a surrogate pair.
inline bool IsWholeCut(const Text& text, const Text& caption, std::size_t limit) {
    if (caption.size() > limit || text.compare(0, caption.size(), caption) != 0) return false;
    if (caption.size() == text.size()) return true;
    if (caption.size() + 1 < std::min(limit, text.size())) return false;  // cut more than one unit short
    return caption.empty() || !IsHighSurrogate(caption.back()) || !IsLowSurrogate(text[caption.size()]);
}

}  // namespace velmora::fuzz
