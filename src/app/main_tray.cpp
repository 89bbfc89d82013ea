#include <memory>

#include "app/main_window.h"
#include "tray/tray_icon.h"

namespace velmora {
namespace {

// One step of the exit prompt: its error is dropped and the next step runs.
// Only run-time errors: a process that has ended must stay ended.
template <typename Step>
void IgnoringErrors(Step&& step) {
    try {
        step();
    } catch (const RuntimeError&) {
    }
}

}  // namespace

// Creates the notification-area icon at its place in start-up. Its failures
// go to start-up's error route, which then finds `tray_` set or empty.
void MainWindow::SetUpTrayIcon() {
    tray_ = std::make_unique<TrayIcon>(platform(), *this, Control::TrayCallbackBox,
                                       [this](TrayActivation activation) { OnTrayActivation(activation); });
    tray_->Show();
}

// Removes the icon, if there is one; start-up's error route and unload call it.
void MainWindow::RemoveTrayIcon() {
    if (tray_) tray_->Remove();
}

// The right button's release asks whether to quit, and so does the keyboard,
// for people who do not use a mouse. Presses, double-clicks and the left
// button do nothing.
void MainWindow::OnTrayActivation(TrayActivation activation) {
    if (activation == TrayActivation::RightUp || activation == TrayActivation::KeyboardSelect) AskToQuit();
}

// Unloading removes the icon; End follows at once so that no handler runs
// after it (the tray icon object is never destroyed on this path).
void MainWindow::AskToQuit() {
    Answer answer = Answer::No;
    IgnoringErrors([&] { answer = platform().AskYesNo(&Window(), u"确定退出吗 ?", u"退出"); });
    if (answer != Answer::Yes) return;
    IgnoringErrors([&] { Unload(); });
    IgnoringErrors([&] { platform().End(); });
}

}  // namespace velmora
