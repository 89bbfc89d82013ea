// A MessageBox style number read as buttons, default button and icon, with
// the answers as the IDOK ... IDNO numbers the core compares against. Free
// of Qt so the reading can be tested on its own.
#pragma once

#include <cstdint>
#include <vector>

namespace velmora::qt {

inline constexpr std::int32_t kIdOk = 1, kIdCancel = 2, kIdAbort = 3, kIdRetry = 4, kIdIgnore = 5,
                              kIdYesAnswer = 6, kIdNoAnswer = 7;

enum class BoxIcon { None, Stop, Question, Exclamation, Information };

struct BoxLayout {
    std::vector<std::int32_t> buttons;  // answers, in display order
    std::int32_t defaultButton;
    BoxIcon icon;
};

inline BoxLayout LayoutForStyle(std::int32_t style) {
    BoxLayout layout{{kIdOk}, kIdOk, BoxIcon::None};
    switch (style & 0xF) {
        case 1:
            layout.buttons = {kIdOk, kIdCancel};
            break;
        case 2:
            layout.buttons = {kIdAbort, kIdRetry, kIdIgnore};
            break;
        case 3:
            layout.buttons = {kIdYesAnswer, kIdNoAnswer, kIdCancel};
            break;
        case 4:
            layout.buttons = {kIdYesAnswer, kIdNoAnswer};
            break;
        case 5:
            layout.buttons = {kIdRetry, kIdCancel};
            break;
        default:
            break;
    }
    // MB_DEFBUTTON1..4; one past the last button falls back to the first.
    const std::size_t index = static_cast<std::size_t>((style >> 8) & 0xF);
    layout.defaultButton = index < layout.buttons.size() ? layout.buttons[index] : layout.buttons.front();
    switch ((style >> 4) & 0xF) {
        case 1:
            layout.icon = BoxIcon::Stop;
            break;
        case 2:
            layout.icon = BoxIcon::Question;
            break;
        case 3:
            layout.icon = BoxIcon::Exclamation;
            break;
        case 4:
            layout.icon = BoxIcon::Information;
            break;
        default:
            break;
    }
    return layout;
}

}  // namespace velmora::qt
