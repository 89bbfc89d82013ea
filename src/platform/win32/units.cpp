#include "platform/win32/units.h"

#include <cmath>
#include <limits>

#include "platform/win32/win32_api.h"

namespace velmora::win32 {
namespace {

constexpr float kTwipsPerInch = 1440.0f;

// Looked up at run time: Windows 7 has no per-monitor DPI (it came with
// 8.1, in shcore.dll).
using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
constexpr int kEffectiveDpi = 0;  // MDT_EFFECTIVE_DPI

GetDpiForMonitorFn LoadGetDpiForMonitor() {
    HMODULE shcore = LoadLibraryExW(L"shcore.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!shcore) return nullptr;
    return reinterpret_cast<GetDpiForMonitorFn>(
        reinterpret_cast<void*>(GetProcAddress(shcore, "GetDpiForMonitor")));
}

// What GDI reports for the screen: the system DPI in any awareness.
int DeviceDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : kBaseDpi;
}

// A per-monitor aware process sees the monitor's own DPI; a system-aware one
// sees the system DPI here too.
int PrimaryMonitorDpi() {
    static const GetDpiForMonitorFn getDpiForMonitor = LoadGetDpiForMonitor();
    UINT x = 0, y = 0;
    if (getDpiForMonitor &&
        SUCCEEDED(getDpiForMonitor(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), kEffectiveDpi, &x,
                                   &y)) &&
        x > 0)
        return static_cast<int>(x);
    return SystemDpi();
}

int& CurrentScreenDpi() {
    static int dpi = PrimaryMonitorDpi();
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

int SystemDpi() {
    static const int dpi = DeviceDpi();
    return dpi;
}

int ScreenDpi() {
    return CurrentScreenDpi();
}

void UpdateScreenDpi() {
    CurrentScreenDpi() = PrimaryMonitorDpi();
}

float TwipsPerPixel(int dpi) {
    return kTwipsPerInch / static_cast<float>(dpi);
}
int TwipsToPixels(Twips value, int dpi) {
    return RoundToInt(double(value) / TwipsPerPixel(dpi));
}
Twips PixelsToTwips(int pixels, int dpi) {
    return static_cast<Twips>(pixels) * TwipsPerPixel(dpi);
}
int PointsToFontHeight(float points, int dpi) {
    return -RoundToInt(double(points) * dpi / 72.0);
}

}  // namespace velmora::win32
