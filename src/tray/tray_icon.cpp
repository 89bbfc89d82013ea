#include "tray/tray_icon.h"

#include <utility>

namespace velmora {

TrayIcon::TrayIcon(Platform& platform, Form& owner, Control pictureBox, ActivationHandler onActivation)
    : platform_(platform), onActivation_(std::move(onActivation)) {
    content_.tip = owner.Caption();
    native_ = platform_.CreateTrayIcon(owner.Window(), pictureBox,
                                       [this](TrayActivation activation) { OnActivation(activation); });
}

TrayIcon::~TrayIcon() {
    Remove();
}

void TrayIcon::Show() {
    native_->Add(content_);
}

void TrayIcon::Remove() {
    native_->Remove();
}

void TrayIcon::SetTip(Text tip) {
    content_.tip = std::move(tip);
    native_->Update(content_);
}

void TrayIcon::ShowBalloon(Text title, Text text) {
    content_.balloonTitle = std::move(title);
    content_.balloonText = std::move(text);
    native_->Update(content_);
}

// Each activation is a handler of its own: its run-time error ends it and
// is reported, and the icon keeps listening.
void TrayIcon::OnActivation(TrayActivation activation) {
    if (handlingActivation_ || !onActivation_) return;
    handlingActivation_ = true;
    try {
        onActivation_(activation);
    } catch (const RuntimeError& error) {
        handlingActivation_ = false;
        platform_.ReportUnhandledError(error);
        return;
    }
    handlingActivation_ = false;
}

}  // namespace velmora
