#include <memory>

#include "app/main_form.h"
#include "tray/ctray.h"

namespace velmora {
namespace {

// Main's handlers for the tray object's events; the other four have none.
class MainTrayEvents final : public TrayEvents {
public:
    explicit MainTrayEvents(MainForm& main) : main_(main) {}
    void RButtonUp() override { main_.Tray_RButtonUp(); }
    void LButtonUp() override { main_.Tray_LButtonUp(); }

private:
    MainForm& main_;
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
void MainForm::TraySetUp() {
    tray_ = std::make_unique<CTray>(platform(), *this, std::make_unique<MainTrayEvents>(*this));
    tray_->PicBox(GetPictureBox(Control::Picture1));
    tray_->ShowIcon();  // false only without a picture box, which it has
}

// Removes the icon, if there is one; start-up's error route and unload call it.
void MainForm::TrayRemoval() {
    if (tray_) tray_->DeleteIcon();
}

// The exit prompt. Unloading removes the icon; End follows at once so that no
// handler runs after it (the tray object is never destroyed on this path).
void MainForm::Tray_RButtonUp() {
    std::int32_t answer = 0;
    IgnoringErrors([&] { answer = platform().MsgBox(hWnd(), u"确定退出吗 ?", u"退出", kMbYesNo); });
    if (answer != kIdYes) return;
    IgnoringErrors([&] { Unload(); });
    IgnoringErrors([&] { platform().End(); });
}

// A left click on the icon has no visible effect.
void MainForm::Tray_LButtonUp() {}

}  // namespace velmora
