// The main window: a real top-level window that is never shown and has no
// taskbar button. Its child, the tray callback box, receives the notification
// icon's callbacks, which the shell sends as mouse moves, and its picture is
// the icon.
#pragma once

#include <functional>

#include "platform/win32/tray_icon.h"
#include "platform/win32/window_base.h"

namespace velmora::win32 {

class MainWindow final : public WindowBase {
public:
    static void RegisterClasses(HINSTANCE instance);
    // The box's callbacks and the shell's restarts go to `trayIcons`; the
    // session's lock, unlock and switches run `sessionChanged`, when set.
    MainWindow(HINSTANCE instance, const WindowDesign& design, WindowEvents& events, TrayIcons& trayIcons,
               const std::function<void()>& sessionChanged);
    ~MainWindow() override;
    void Show() override { ShowWindow(hwnd_, SW_SHOWNOACTIVATE); }
    void SetLabelCaption(Control, const Text&) override {}
    void MoveLabel(Control, Twips, Twips) override {}

    // The picture box's own window and its picture.
    HWND PictureBox(Control control) const;
    HICON Picture(Control control) const;

private:
    LRESULT OnWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) override;

    WindowEvents& events_;
    TrayIcons& trayIcons_;
    const std::function<void()>& sessionChanged_;
    HWND trayCallbackBox_ = nullptr;
    HICON pictureIcon_ = nullptr;
};

}  // namespace velmora::win32
