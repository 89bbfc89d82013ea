// Twips and pixels: the one place where the screen's DPI turns into sizes.
#pragma once

#include "platform/design.h"

namespace velmora::win32 {

// The system DPI (the manifest declares the program system-DPI aware).
int ScreenDpi();
float TwipsPerPixelX();
float TwipsPerPixelY();
int TwipsToPixelsX(Twips value);
int TwipsToPixelsY(Twips value);
Twips PixelsToTwipsX(int pixels);
Twips PixelsToTwipsY(int pixels);
// A font size in points as a character height in pixels (negative, as
// LOGFONT wants it).
int PointsToFontHeight(float points);

}  // namespace velmora::win32
