// The pop-up's background pictures, decoded by the system's imaging
// component (WIC) from the JPEG and PNGs embedded in the program.
#pragma once

#include "platform/win32/gdi.h"

namespace velmora::win32 {

// A top-down 32-bit DIB section of width x height pixels, or null when the
// picture cannot be decoded. A picture of another size is resampled with
// WIC's Fant filter, which averages rather than drops pixels when shrinking.
GdiObject<HBITMAP> LoadPictureResource(HINSTANCE instance, int resourceId, UINT width, UINT height);

}  // namespace velmora::win32
