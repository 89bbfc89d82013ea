#include "platform/win32/units.h"

#include <cmath>
#include <limits>

#include "platform/win32/win32_api.h"

namespace velmora::win32 {
namespace {

constexpr float kTwipsPerInch = 1440.0f;

int DeviceDpi(int index) {
    HDC screen = GetDC(nullptr);
    int dpi = GetDeviceCaps(screen, index);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

int DpiY() {
    static const int dpi = DeviceDpi(LOGPIXELSY);
    return dpi;
}

// Round half to even, as the core's conversions do; out-of-range values are
// clamped rather than left undefined.
int RoundToInt(double value) {
    if (!(value > std::numeric_limits<int>::min())) return std::numeric_limits<int>::min();
    if (!(value < std::numeric_limits<int>::max())) return std::numeric_limits<int>::max();
    return static_cast<int>(std::nearbyint(value));
}

}  // namespace

int ScreenDpi() {
    static const int dpi = DeviceDpi(LOGPIXELSX);
    return dpi;
}

float TwipsPerPixelX() {
    return kTwipsPerInch / static_cast<float>(ScreenDpi());
}
float TwipsPerPixelY() {
    return kTwipsPerInch / static_cast<float>(DpiY());
}
int TwipsToPixelsX(Twips value) {
    return RoundToInt(double(value) / TwipsPerPixelX());
}
int TwipsToPixelsY(Twips value) {
    return RoundToInt(double(value) / TwipsPerPixelY());
}
Twips PixelsToTwipsX(int pixels) {
    return static_cast<Twips>(pixels) * TwipsPerPixelX();
}
Twips PixelsToTwipsY(int pixels) {
    return static_cast<Twips>(pixels) * TwipsPerPixelY();
}
int PointsToFontHeight(float points) {
    return -RoundToInt(double(points) * DpiY() / 72.0);
}

}  // namespace velmora::win32
