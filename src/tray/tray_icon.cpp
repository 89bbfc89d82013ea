#include "tray/tray_icon.h"

#include <utility>

namespace velmora {

TrayIcon::TrayIcon(Platform& platform, Form& main, std::unique_ptr<TrayEvents> events)
    : platform_(platform), events_(std::move(events)) {
    nid_.cbSize = static_cast<std::int32_t>(kNotifyIconDataSize);
    nid_.hWnd = main.hWnd();
    nid_.uID = 0;
    nid_.uFlags = kNotifyIconFlags;
    nid_.uCallbackMessage = kWmMouseMove;
    nid_.hIcon = main.Icon();
    nid_.szTip.Store(main.Caption() + u'\0');
}

TrayIcon::~TrayIcon() {
    try {
        DeleteIcon();
    } catch (const RuntimeError& error) {
        // A destructor cannot pass the error on; report it like any handler's.
        platform_.ReportUnhandledError(error);
    }
    if (callbackBox_) callbackBox_->SetMouseMoveListener({});
    callbackBox_ = nullptr;
}

void TrayIcon::BindCallbackBox(PictureBox& box) {
    if (callbackBox_ && callbackBox_ != &box) callbackBox_->SetMouseMoveListener({});
    callbackBox_ = &box;
    box.SetMouseMoveListener([this](const MouseArgs& args) { OnCallbackBoxMouseMove(args); });
    // Set after the binding on purpose: a failing read leaves the box bound.
    nid_.hWnd = box.hWnd();
    nid_.hIcon = box.Picture();
}

void TrayIcon::TipText(Text value) {
    nid_.szTip.Store(value + u'\0');
    Send(kNimModify);
}

bool TrayIcon::ShowIcon() {
    if (!callbackBox_) return false;
    Send(kNimAdd);
    return true;
}

void TrayIcon::DeleteIcon() {
    Send(kNimDelete);
}

void TrayIcon::ShowMessage(const Text& title, const Text& message) {
    nid_.szInfoTitle.Store(title + u'\0');
    nid_.szInfo.Store(message + u'\0');
    Send(kNimModify);
}

void TrayIcon::Send(std::int32_t message) {
    NotifyIconWire wire = ToWire(nid_, [this](std::u16string_view text) { return platform_.ToAnsi(text); });
    platform_.ShellNotifyIcon(message, wire);  // the answer is never looked at
    FromWire(wire, nid_, [this](std::string_view bytes) { return platform_.FromAnsi(bytes); });
}

// The shell's callback arrives as a mouse move whose X is the mouse message
// number in pixels, expressed in the box's twips.
void TrayIcon::OnCallbackBoxMouseMove(const MouseArgs& args) {
    const float twipsPerPixel = platform_.Screen().twipsPerPixelX;
    const std::int32_t mouseMessage = CInt32(DivideSingle(args.x, twipsPerPixel));
    // Dropped, not queued: the open exit prompt must not get a second one.
    if (handlingEvent_) return;
    handlingEvent_ = true;
    try {
        Raise(mouseMessage);
    } catch (const RuntimeError&) {
        // A failing handler must not leave the icon deaf for good.
        handlingEvent_ = false;
        throw;
    }
    handlingEvent_ = false;
}

void TrayIcon::Raise(std::int32_t mouseMessage) {
    if (!events_) return;
    switch (mouseMessage) {
        case 513:
            events_->LButtonDown();
            break;
        case 514:
            events_->LButtonUp();
            break;
        case 515:
            events_->LButtonDblClick();
            break;
        case 516:
            events_->RButtonDown();
            break;
        case 517:
            events_->RButtonUp();
            break;
        case 518:
            events_->RButtonDblClick();
            break;
        default:
            break;  // a plain move (512) or any other button
    }
}

}  // namespace velmora
