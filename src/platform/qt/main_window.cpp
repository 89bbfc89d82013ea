#include "platform/qt/main_window.h"

#include <algorithm>

namespace velmora::qt {

MainWindow::MainWindow(const WindowDesign& design, WindowEvents& events, const QIcon& icon,
                       const QIcon& trayPicture)
    : WindowBase(design, new QWidget),
      trayPicture_(trayPicture),
      hasTrayBox_(std::ranges::any_of(
          design.pictures, [](const PictureBoxDesign& box) { return box.id == Control::TrayCallbackBox; })) {
    widget_->setWindowIcon(icon);
    signals_ = std::make_unique<ShutdownSignals>([&events] { events.CloseRequested(); });
    Place();
}

// Nothing in the program needs the main window on screen; it stays an
// owner for the exit prompt and a source for the tray icon's picture.
void MainWindow::Show() {}

QIcon MainWindow::Picture(Control pictureBox) const {
    if (pictureBox != Control::TrayCallbackBox || !hasTrayBox_) return WindowBase::Picture(pictureBox);
    return trayPicture_;
}

}  // namespace velmora::qt
