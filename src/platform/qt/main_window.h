// The main window: never shown. It owns the exit prompt and gives the tray
// icon its picture through its tray callback box, a picture box with no
// widget of its own.
#pragma once

#include <memory>

#include "platform/qt/shutdown_signals.h"
#include "platform/qt/window_base.h"

namespace velmora::qt {

class MainWindow final : public WindowBase {
public:
    // `trayPicture` is the picture of the window's tray callback box.
    MainWindow(const WindowDesign& design, WindowEvents& events, const QIcon& icon, const QIcon& trayPicture);

    void Show() override;
    void SetLabelCaption(Control, const Text&) override {}
    void MoveLabel(Control, Twips, Twips) override {}
    QIcon Picture(Control pictureBox) const override;

private:
    QIcon trayPicture_;
    bool hasTrayBox_;
    // While the main window is loaded, the shutdown signals close it like the session does.
    std::unique_ptr<ShutdownSignals> signals_;
};

}  // namespace velmora::qt
