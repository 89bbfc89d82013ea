// Clicks on the tray icon as the mouse message numbers that the core's
// TrayIcon decodes (WM_LBUTTONDOWN 513 ... WM_RBUTTONDBLCLK 518, the middle button's
// 519 to 521, which it ignores). Free of Qt so the mapping can be tested.
#pragma once

#include <cstdint>
#include <vector>

namespace velmora::qt {

enum class TrayButton { Left, Right, Middle };
enum class TrayPress { Down, Up, DoubleClick };

// An XEmbed tray (X11 panels, trayer) lets Qt's tray widget see the real
// presses, releases and double-clicks: each maps one to one, as on Windows.
inline std::int32_t MouseMessageFor(TrayButton button, TrayPress press) {
    const std::int32_t first = button == TrayButton::Left ? 513 : button == TrayButton::Right ? 516 : 519;
    return first + (press == TrayPress::Down ? 0 : press == TrayPress::Up ? 1 : 2);
}

enum class TrayActivation { Trigger, Context, DoubleClick, MiddleClick, Other };

// A StatusNotifier host reports only activations, after the fact, so each
// stands for the messages Windows would have sent for that click:
//   left activation (Trigger)  -> 513 then 514  (press, release)
//   context request (Context)  -> 516 then 517  (release opens the exit prompt)
//   double-click               -> 515           (the host has already sent Trigger
//                                                for the first click)
//   middle click               -> 519 then 520  (no effect in the core)
inline std::vector<std::int32_t> MouseMessagesFor(TrayActivation activation) {
    switch (activation) {
        case TrayActivation::Trigger:
            return {513, 514};
        case TrayActivation::Context:
            return {516, 517};
        case TrayActivation::DoubleClick:
            return {515};
        case TrayActivation::MiddleClick:
            return {519, 520};
        case TrayActivation::Other:
            break;
    }
    return {};
}

}  // namespace velmora::qt
