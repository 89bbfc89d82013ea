#include <memory>

#include "app/main_window.h"
#include "tray/tray_icon.h"

namespace velmora {
namespace {

// The main window answers two of the icon's events, both releases; presses and
// double-clicks do nothing.
class MainTrayEvents final : public TrayEvents {
public:
    explicit MainTrayEvents(MainWindow& main) : main_(main) {}
    void RButtonUp() override { main_.OnTrayRightButtonUp(); }
    void LButtonUp() override { main_.OnTrayLeftButtonUp(); }

private:
    MainWindow& main_;
};

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
    tray_ = std::make_unique<TrayIcon>(platform(), *this, std::make_unique<MainTrayEvents>(*this));
    tray_->BindCallbackBox(GetPictureBox(Control::TrayCallbackBox));
    tray_->ShowIcon();  // false only without a picture box, which it has
}

// Removes the icon, if there is one; start-up's error route and unload call it.
void MainWindow::RemoveTrayIcon() {
    if (tray_) tray_->DeleteIcon();
}

// The exit prompt. Unloading removes the icon; End follows at once so that no
// handler runs after it (the tray icon object is never destroyed on this path).
void MainWindow::OnTrayRightButtonUp() {
    std::int32_t answer = 0;
    IgnoringErrors([&] { answer = platform().MsgBox(hWnd(), u"确定退出吗 ?", u"退出", kMbYesNo); });
    if (answer != kIdYes) return;
    IgnoringErrors([&] { Unload(); });
    IgnoringErrors([&] { platform().End(); });
}

// A left click on the icon has no visible effect.
void MainWindow::OnTrayLeftButtonUp() {}

}  // namespace velmora
