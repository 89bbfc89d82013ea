// The main window: never shown. It owns the message boxes, gives the tray
// icon its picture and receives the icon's clicks through its tray callback
// box, which has a handle but no widget of its own.
#pragma once

#include <memory>

#include "platform/qt/shutdown_signals.h"
#include "platform/qt/window_base.h"

namespace velmora::qt {

class MainWindow final : public WindowBase {
public:
    // `icon` and `picture` are handles of the window's icon and of the
    // picture box's picture.
    MainWindow(const WindowDesign& design, WindowEvents& events, HandleTable& handles, Handle icon,
               Handle picture);
    ~MainWindow() override;

    void Show() override;
    void SetLabelCaption(Control, const Text&) override {}
    void MoveLabel(Control, Twips, Twips) override {}
    Handle ControlHandle(Control control) const override;
    Handle IconHandle() const override { return icon_; }
    Handle PictureHandle(Control control) const override;

private:
    Handle icon_, picture_;
    Handle pictureBox_ = 0;
    // While the main window is loaded, the shutdown signals close it like the session does.
    std::unique_ptr<ShutdownSignals> signals_;
};

}  // namespace velmora::qt
