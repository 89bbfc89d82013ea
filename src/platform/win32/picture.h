// The pop-up's background picture, decoded by the system's imaging component
// (WIC) from the JPEG embedded in the program.
#pragma once

#include "platform/win32/win32_api.h"

namespace velmora::win32 {

// A top-down 32-bit DIB section, or null when the picture cannot be decoded.
HBITMAP LoadJpegResource(HINSTANCE instance, int resourceId);

}  // namespace velmora::win32
