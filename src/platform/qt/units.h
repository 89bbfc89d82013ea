// Twips and pixels: 1440 twips per inch, the pixels of the screen's logical
// DPI. Kept free of Qt so the rounding can be tested on its own.
#pragma once

#include <cmath>
#include <limits>

#include "core/design.h"

namespace velmora::qt {

inline constexpr float kTwipsPerInch = 1440.0f;

// 96 DPI gives 15 twips per pixel; a missing or absurd DPI falls back to 96.
inline float TwipsPerPixel(double logicalDpi) {
    if (!(logicalDpi >= 1.0 && logicalDpi <= 10000.0)) logicalDpi = 96.0;
    return kTwipsPerInch / static_cast<float>(logicalDpi);
}

// Nearest pixel, ties to the even one as the core rounds; values beyond int
// are clamped rather than left undefined.
inline int TwipsToPixels(Twips twips, float twipsPerPixel) {
    const double pixels = std::nearbyint(static_cast<double>(twips) / twipsPerPixel);
    if (!(pixels > std::numeric_limits<int>::min())) return std::numeric_limits<int>::min();
    if (!(pixels < std::numeric_limits<int>::max())) return std::numeric_limits<int>::max();
    return static_cast<int>(pixels);
}

inline Twips PixelsToTwips(int pixels, float twipsPerPixel) {
    return static_cast<Twips>(pixels) * twipsPerPixel;
}

}  // namespace velmora::qt
