// The program's notification-area icon: the picture of a window's picture
// box, that window's caption as the tip, and what the user does to it.
#pragma once

#include <functional>
#include <memory>

#include "core/form.h"
#include "platform/platform.h"

namespace velmora {

class TrayIcon {
public:
    using ActivationHandler = std::function<void(TrayActivation)>;
    // Shows nothing yet (see Show). `onActivation` runs for each activation,
    // one at a time: one that arrives while it runs is dropped, so an exit
    // prompt that is open cannot be asked for again.
    TrayIcon(Platform& platform, Form& owner, Control pictureBox, ActivationHandler onActivation);
    // Removes the icon.
    ~TrayIcon();
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;

    void Show();
    // Also when it was never shown or is already gone.
    void Remove();
    const Text& Tip() const { return content_.tip; }
    void SetTip(Text tip);
    // A balloon that comes back with every later change of the icon.
    void ShowBalloon(Text title, Text text);

private:
    void OnActivation(TrayActivation activation);

    Platform& platform_;
    ActivationHandler onActivation_;
    TrayIconContent content_;
    std::unique_ptr<NativeTrayIcon> native_;
    bool handlingActivation_ = false;
};

}  // namespace velmora
