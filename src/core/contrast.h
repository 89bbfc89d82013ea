// Contrast between two colours as WCAG 2.1 measures it, for text that must
// stay readable whatever colours the system's theme chooses.
#pragma once

#include "core/design.h"

namespace velmora {

// From 1 (the same luminance) to 21 (black on white).
double ContrastRatio(Rgb a, Rgb b);

// Normal text needs this much against its background.
inline constexpr double kTextContrast = 4.5;

// `preferred` where it reads on `background`; otherwise black or white,
// whichever reads better. A dark or high-contrast theme may make the
// system's text colour light, and the pop-up's picture stays white.
Rgb ReadableOn(Rgb preferred, Rgb background);

}  // namespace velmora
