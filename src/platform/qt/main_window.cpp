#include "platform/qt/main_window.h"

namespace velmora::qt {

MainWindow::MainWindow(const WindowDesign& design, WindowEvents& events, HandleTable& handles, Handle icon,
                       Handle picture)
    : WindowBase(design, new QWidget, handles), icon_(icon), picture_(picture) {
    if (const HandleTarget* target = handles.Find(icon)) widget_->setWindowIcon(target->icon);
    for (const PictureBoxDesign& box : design.pictures)
        if (box.id == Control::TrayCallbackBox) pictureBox_ = handles.AddPictureBox(events, box.id);
    signals_ = std::make_unique<ShutdownSignals>([&events] { events.CloseRequested(); });
    Place();
}

MainWindow::~MainWindow() {
    if (pictureBox_) handles_.Remove(pictureBox_);
}

// Nothing in the program needs the main window on screen; it stays a
// handle, an icon and an owner for the message boxes.
void MainWindow::Show() {}

Handle MainWindow::ControlHandle(Control control) const {
    if (control != Control::TrayCallbackBox || !pictureBox_)
        throw RuntimeError(ErrorCode::Platform, "the main window has no such control");
    return pictureBox_;
}

Handle MainWindow::PictureHandle(Control control) const {
    ControlHandle(control);
    return picture_;
}

}  // namespace velmora::qt
