// Twips and pixels for both programs: 1440 twips per inch, pixels at a
// logical DPI. Sizes round to the nearest pixel, ties to the even one as the
// core rounds.
#pragma once

#include <cmath>
#include <limits>

#include "core/design.h"

namespace velmora {

inline constexpr int kBaseDpi = 96;  // 15 twips per pixel
inline constexpr float kTwipsPerInch = 1440.0f;

// A missing or absurd DPI counts as 96.
inline float TwipsPerPixel(double dpi) {
    if (!(dpi >= 1.0 && dpi <= 10000.0)) dpi = kBaseDpi;
    return kTwipsPerInch / static_cast<float>(dpi);
}

// Values beyond int are clamped rather than left undefined.
inline int RoundToInt(double value) {
    if (!(value > std::numeric_limits<int>::min())) return std::numeric_limits<int>::min();
    if (!(value < std::numeric_limits<int>::max())) return std::numeric_limits<int>::max();
    return static_cast<int>(std::nearbyint(value));
}

inline int TwipsToPixels(Twips twips, float twipsPerPixel) {
    return RoundToInt(static_cast<double>(twips) / twipsPerPixel);
}

inline Twips PixelsToTwips(int pixels, float twipsPerPixel) {
    return static_cast<Twips>(pixels) * twipsPerPixel;
}

}  // namespace velmora
