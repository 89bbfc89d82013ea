// The DPIs that twips are counted at (the conversions are common/units.h).
//
// The pop-up is laid out at the primary monitor's DPI as it stands when the
// pop-up loads, so a change of scaling while the program runs is right at
// the next notice; the screen metrics the core reads are counted at that
// same DPI. The main window, never shown, counts at the system DPI, which
// Windows fixes for the session; message boxes are Windows' own and scale
// themselves.
#pragma once

#include "platform/common/units.h"

namespace velmora::win32 {

int SystemDpi();
// The DPI the screen metrics are counted in: the primary monitor's at the
// last UpdateScreenDpi (or at first use).
int ScreenDpi();
void UpdateScreenDpi();

// A font size in points as a character height in pixels (negative, as
// LOGFONT wants it).
int PointsToFontHeight(float points, int dpi);

}  // namespace velmora::win32
