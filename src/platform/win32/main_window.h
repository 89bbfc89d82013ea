// The main window: a real top-level window that is never shown and has no
// taskbar button. Its child, the tray callback box, receives the notification
// icon's callbacks, which the shell sends as mouse moves.
#pragma once

#include <functional>

#include "platform/win32/window_base.h"

namespace velmora::win32 {

class MainWindow final : public WindowBase {
public:
    static void RegisterClasses(HINSTANCE instance);
    MainWindow(HINSTANCE instance, const WindowDesign& design, WindowEvents& events,
               std::function<void()> onTaskbarCreated);
    void Show() override { ShowWindow(hwnd_, SW_SHOWNOACTIVATE); }
    void SetLabelCaption(Control, const Text&) override {}
    void MoveLabel(Control, Twips, Twips) override {}
    Handle ControlHandle(Control control) const override;
    Handle IconHandle() const override { return ToHandle(icon_); }
    Handle PictureHandle(Control control) const override;

private:
    static LRESULT CALLBACK MainProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK PictureProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    WindowEvents& events_;
    std::function<void()> onTaskbarCreated_;
    HWND trayCallbackBox_ = nullptr;
    HICON icon_ = nullptr;
    HICON pictureIcon_ = nullptr;
};

}  // namespace velmora::win32
