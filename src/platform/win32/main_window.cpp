#include "platform/win32/main_window.h"

#include "platform/win32/resource.h"
#include "platform/win32/tray_icon.h"
#include "platform/win32/units.h"

namespace velmora::win32 {
namespace {

constexpr wchar_t kMainClass[] = L"VelmoraMain";
constexpr wchar_t kPictureClass[] = L"VelmoraPicture";

HICON LoadIconSized(HINSTANCE instance, int id, int metricX, int metricY) {
    // Shared icons are loaded once and never destroyed: the shell may still
    // hold the handle when a window goes away.
    return static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_ICON,
                                         GetSystemMetrics(metricX), GetSystemMetrics(metricY), LR_SHARED));
}

std::int16_t ButtonsOf(WPARAM keys) {
    return static_cast<std::int16_t>(((keys & MK_LBUTTON) ? 1 : 0) | ((keys & MK_RBUTTON) ? 2 : 0) |
                                     ((keys & MK_MBUTTON) ? 4 : 0));
}

}  // namespace

MainWindow::MainWindow(HINSTANCE instance, const WindowDesign& design, WindowEvents& events,
                       std::function<void()> onTaskbarCreated)
    // A tool window, and never shown: no taskbar button.
    : WindowBase(design, SystemDpi(), WS_EX_TOOLWINDOW, kMainClass,
                 WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, instance),
      events_(events),
      onTaskbarCreated_(std::move(onTaskbarCreated)) {
    icon_ = LoadIconSized(instance, IDI_MAIN, SM_CXICON, SM_CYICON);
    SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
    SendMessageW(hwnd_, WM_SETICON, ICON_SMALL,
                 reinterpret_cast<LPARAM>(LoadIconSized(instance, IDI_MAIN, SM_CXSMICON, SM_CYSMICON)));
    // The tray shows the small size: 16 px at 96 DPI, 24 px at 144.
    pictureIcon_ = LoadIconSized(instance, IDI_TRAY, SM_CXSMICON, SM_CYSMICON);
    for (const auto& picture : design.pictures) {
        if (picture.id != Control::TrayCallbackBox) continue;
        trayCallbackBox_ = CreateWindowExW(
            0, kPictureClass, nullptr, WS_CHILD | WS_VISIBLE, ToPixels(picture.left), ToPixels(picture.top),
            ToPixels(picture.width), ToPixels(picture.height), hwnd_, nullptr, instance, nullptr);
        SetWindowLongPtrW(trayCallbackBox_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

void MainWindow::RegisterClasses(HINSTANCE instance) {
    RegisterWindowClass(instance, kMainClass, MainProc, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    RegisterWindowClass(instance, kPictureClass, PictureProc, nullptr);
}

Handle MainWindow::ControlHandle(Control control) const {
    if (control != Control::TrayCallbackBox || !trayCallbackBox_)
        throw RuntimeError(ErrorCode::Platform, "no such picture box");
    return ToHandle(trayCallbackBox_);
}

Handle MainWindow::PictureHandle(Control control) const {
    if (control != Control::TrayCallbackBox) throw RuntimeError(ErrorCode::Platform, "no such picture box");
    return ToHandle(pictureIcon_);
}

LRESULT CALLBACK MainWindow::MainProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self && self->OnPlacementMessage(message)) return 0;
    if (self && message == TrayIcons::TaskbarCreatedMessage()) {
        self->onTaskbarCreated_();
        return 0;
    }
    switch (message) {
        // The session may end: nothing is left to save.
        case WM_QUERYENDSESSION:
            return TRUE;
        case WM_ENDSESSION:
            if (!wParam) return 0;
            [[fallthrough]];
        // taskkill without /f, installers and Restart Manager ask this way.
        // The core unloads the main window (the icon goes) and ends the process; the
        // window is never destroyed behind its back.
        case WM_CLOSE:
            if (self) self->events_.CloseRequested();
            return 0;
        default:
            return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

LRESULT CALLBACK MainWindow::PictureProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self && message == WM_MOUSEMOVE) {
        // The shell's callback: the low word of lParam is the mouse message
        // number, which the picture box takes for a pixel coordinate. It is
        // counted at the screen metrics' DPI, which the core divides by to
        // get the number back, whatever the scaling.
        MouseArgs args;
        args.button = ButtonsOf(wParam);
        const float twipsPerPixel = TwipsPerPixel(ScreenDpi());
        args.x = static_cast<Twips>(static_cast<short>(LOWORD(lParam))) * twipsPerPixel;
        args.y = static_cast<Twips>(static_cast<short>(HIWORD(lParam))) * twipsPerPixel;
        self->events_.MouseMove(Control::TrayCallbackBox, args);
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace velmora::win32
