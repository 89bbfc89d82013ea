// The primary screen as the core measures it: whole-screen size and twips per
// pixel from the logical DPI.
#pragma once

#include "platform/platform.h"

namespace velmora::qt {

float TwipsPerPixelX();
float TwipsPerPixelY();
ScreenMetrics PrimaryScreenMetrics();

}  // namespace velmora::qt
