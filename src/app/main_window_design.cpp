#include "app/main_window_design.h"

namespace velmora {

const WindowDesign& MainWindowDesign() {
    static const WindowDesign design{
        .kind = WindowKind::MainWindow,
        .caption = u"Velmora V1.0",
        .width = 5040 + 2 * 60,
        .height = 3345 + 450 + 60,
        .clientLeft = 60,
        .clientTop = 450,
        .clientWidth = 5040,
        .clientHeight = 3345,
        .framed = true,
        .labels = {},
        // Below the client area: never seen, only a receiver and an icon source.
        .pictures = {{.id = Control::TrayCallbackBox, .left = 840, .top = 8880, .width = 495, .height = 375}},
    };
    return design;
}

}  // namespace velmora
