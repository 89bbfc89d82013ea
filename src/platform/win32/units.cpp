#include "platform/win32/units.h"

#include "platform/win32/gdi.h"

namespace velmora::win32 {
namespace {

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
    const int dpi = GetDeviceCaps(WindowDc(nullptr).get(), LOGPIXELSX);
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

int PointsToFontHeight(float points, int dpi) {
    return -RoundToInt(double(points) * dpi / 72.0);
}

}  // namespace velmora::win32
