// Fixed designs of the program's windows: the data the core sets up and that
// every platform adapter draws from.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "core/text.h"

namespace velmora {

using Twips = float;  // 1440 per inch

// Controls that a window may carry and that the logic addresses by name.
enum class Control { TrayCallbackBox, CloseMark, DetailsLink, TitleLabel, TextLabel };
enum class WindowKind { MainWindow, Popup };

struct Rgb {
    std::uint8_t red, green, blue;
};

struct FontDesign {
    bool windowDefault = true;  // the platform's default dialog font
    Text face;
    float points = 0;
    int weight = 400;
    int charset = 0;
};

enum class Alignment { Left, Centre };

// What assistive technology is told a label is. A link and a button have a
// default action that a screen reader can invoke without the mouse.
enum class AccessibleRole { StaticText, Link, Button };

struct LabelDesign {
    Control id;
    Text caption;
    Twips left, top, width, height;
    std::optional<Rgb> color;  // empty: the system's button-text colour
    FontDesign font;
    Alignment alignment;
    int tabIndex;
    AccessibleRole role = AccessibleRole::StaticText;
    Text accessibleName;  // empty: the caption
};

struct PictureBoxDesign {
    Control id;
    Twips left, top, width, height;
};

struct WindowDesign {
    WindowKind kind;
    Text caption;
    Twips width, height;              // whole window
    Twips clientLeft, clientTop;      // client area's offset inside the window
    Twips clientWidth, clientHeight;  // client area
    bool framed;                      // frame and caption bar
    bool alert = false;               // assistive technology sees a notice, not a dialog
    std::vector<LabelDesign> labels;  // in the window's control order
    std::vector<PictureBoxDesign> pictures;
};

}  // namespace velmora
