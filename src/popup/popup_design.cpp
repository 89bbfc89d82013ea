#include "popup/popup_design.h"

namespace velmora {

const WindowDesign& PopupDesign() {
    static const FontDesign kSongBold{
        .windowDefault = false, .face = u"宋体", .points = 10.5f, .weight = 700, .charset = 134};
    static const WindowDesign design{
        .kind = WindowKind::Popup,
        .caption = u"Form1",
        .width = 3780,
        .height = 2595,
        .clientLeft = 0,
        .clientTop = 0,
        .clientWidth = 3780,
        .clientHeight = 2595,
        .framed = false,
        .alert = true,
        .labels =
            {
                {.id = Control::CloseMark,
                 .caption = u"×",
                 .left = 3480,
                 .top = 90,
                 .width = 255,
                 .height = 255,
                 .color = Rgb{255, 255, 255},
                 .font = kSongBold,
                 .alignment = Alignment::Left,
                 .tabIndex = 3,
                 .role = AccessibleRole::Button,
                 .accessibleName = u"关闭"},
                {.id = Control::DetailsLink,
                 .caption = u"查看详情",
                 .left = 2880,
                 .top = 2250,
                 .width = 885,
                 .height = 255,
                 .color = Rgb{0, 128, 128},
                 .font = {},
                 .alignment = Alignment::Left,
                 .tabIndex = 2,
                 .role = AccessibleRole::Link,
                 .accessibleName = {}},
                {.id = Control::TitleLabel,
                 .caption = u"title",
                 .left = 240,
                 .top = 360,
                 .width = 3255,
                 .height = 255,
                 .color = Rgb{0, 0, 0},
                 .font = kSongBold,
                 .alignment = Alignment::Centre,
                 .tabIndex = 1,
                 .role = AccessibleRole::StaticText,
                 .accessibleName = {}},
                {.id = Control::TextLabel,
                 .caption = u"msg",
                 .left = 240,
                 .top = 720,
                 .width = 3255,
                 .height = 1335,
                 .color = std::nullopt,
                 .font = {},
                 .alignment = Alignment::Left,
                 .tabIndex = 0,
                 .role = AccessibleRole::StaticText,
                 .accessibleName = {}},
            },
        .pictures = {},
    };
    return design;
}

}  // namespace velmora
