// Twips and pixels: the one place where a DPI turns into sizes.
//
// The pop-up is laid out at the primary monitor's DPI as it stands when the
// pop-up loads, so a change of scaling while the program runs is right at
// the next notice; the screen metrics the core reads are counted at that
// same DPI. The main window, never shown, counts at the system DPI, which
// Windows fixes for the session; message boxes are Windows' own and scale
// themselves.
#pragma once

#include "core/design.h"

namespace velmora::win32 {

inline constexpr int kBaseDpi = 96;  // 15 twips per pixel

int SystemDpi();
// The DPI the screen metrics are counted in: the primary monitor's at the
// last UpdateScreenDpi (or at first use).
int ScreenDpi();
void UpdateScreenDpi();

float TwipsPerPixel(int dpi);
int TwipsToPixels(Twips value, int dpi);
Twips PixelsToTwips(int pixels, int dpi);
// A font size in points as a character height in pixels (negative, as
// LOGFONT wants it).
int PointsToFontHeight(float points, int dpi);

}  // namespace velmora::win32
