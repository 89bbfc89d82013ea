#include "platform/win32/main_window.h"

#include <wtsapi32.h>

#include "platform/win32/resource.h"
#include "platform/win32/units.h"

namespace velmora::win32 {
namespace {

// taskbar_restart.exe, the end-to-end helper, finds the windows by these.
constexpr wchar_t kMainClass[] = L"VelmoraMain";
constexpr wchar_t kPictureClass[] = L"VelmoraPicture";

HICON LoadIconSized(HINSTANCE instance, int id, int metricX, int metricY) {
    // Shared icons are loaded once and never destroyed: the shell may still
    // hold the handle when a window goes away.
    return static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_ICON,
                                         GetSystemMetrics(metricX), GetSystemMetrics(metricY), LR_SHARED));
}

}  // namespace

MainWindow::MainWindow(HINSTANCE instance, const WindowDesign& design, WindowEvents& events,
                       TrayIcons& trayIcons, const std::function<void()>& sessionChanged)
    // A tool window, and never shown: no taskbar button.
    : WindowBase(design, SystemDpi(), WS_EX_TOOLWINDOW, kMainClass,
                 WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, instance),
      events_(events),
      trayIcons_(trayIcons),
      sessionChanged_(sessionChanged) {
    SendMessageW(hwnd_, WM_SETICON, ICON_BIG,
                 reinterpret_cast<LPARAM>(LoadIconSized(instance, IDI_MAIN, SM_CXICON, SM_CYICON)));
    SendMessageW(hwnd_, WM_SETICON, ICON_SMALL,
                 reinterpret_cast<LPARAM>(LoadIconSized(instance, IDI_MAIN, SM_CXSMICON, SM_CYSMICON)));
    // The tray shows the small size: 16 px at 96 DPI, 24 px at 144.
    pictureIcon_ = LoadIconSized(instance, IDI_TRAY, SM_CXSMICON, SM_CYSMICON);
    for (const auto& picture : design.pictures) {
        if (picture.id != Control::TrayCallbackBox) continue;
        trayCallbackBox_ = CreateWindowExW(
            0, kPictureClass, nullptr, WS_CHILD | WS_VISIBLE, ToPixels(picture.left), ToPixels(picture.top),
            ToPixels(picture.width), ToPixels(picture.height), hwnd_, nullptr, instance, nullptr);
        AttachTarget(trayCallbackBox_, this);
    }
    Attach();
    // A held notice learns at once that its reader unlocked the screen.
    WTSRegisterSessionNotification(hwnd_, NOTIFY_FOR_THIS_SESSION);
}

MainWindow::~MainWindow() {
    WTSUnRegisterSessionNotification(hwnd_);
    if (trayCallbackBox_) AttachTarget(trayCallbackBox_, nullptr);
}

void MainWindow::RegisterClasses(HINSTANCE instance) {
    RegisterWindowClass(instance, kMainClass, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    RegisterWindowClass(instance, kPictureClass, nullptr);
}

HWND MainWindow::PictureBox(Control control) const {
    if (control != Control::TrayCallbackBox || !trayCallbackBox_)
        throw RuntimeError(ErrorCode::Platform, "no such picture box");
    return trayCallbackBox_;
}

HICON MainWindow::Picture(Control control) const {
    if (control != Control::TrayCallbackBox) throw RuntimeError(ErrorCode::Platform, "no such picture box");
    return pictureIcon_;
}

LRESULT MainWindow::OnWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (hwnd == trayCallbackBox_) {
        // The shell's callback: the low word of lParam is the mouse message
        // number, which the picture box takes for a pixel coordinate.
        if (message != WM_MOUSEMOVE) return DefWindowProcW(hwnd, message, wParam, lParam);
        trayIcons_.Deliver(hwnd, static_cast<short>(LOWORD(lParam)));
        return 0;
    }
    if (message == TrayIcons::TaskbarCreatedMessage()) {
        trayIcons_.AddAgain();
        return 0;
    }
    switch (message) {
        case WM_WTSSESSION_CHANGE:
            if (sessionChanged_) sessionChanged_();
            return 0;
        // The session may end: nothing is left to save.
        case WM_QUERYENDSESSION:
            return TRUE;
        case WM_ENDSESSION:
            if (!wParam) return 0;
            [[fallthrough]];
        // taskkill without /f, installers and Restart Manager ask this way.
        // The core unloads the main window (the icon goes) and ends the
        // process; the window is never destroyed behind its back.
        case WM_CLOSE:
            events_.CloseRequested();
            return 0;
        default:
            return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

}  // namespace velmora::win32
