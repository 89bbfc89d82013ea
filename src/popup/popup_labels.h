// The pop-up's painted labels as its window holds them, whatever toolkit
// draws them: in reading order, placed in the window's pixels, with the name
// a screen reader hears, the colour they are drawn in, and the press that
// owns the mouse until the same button comes up.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "core/design.h"
#include "platform/platform.h"

namespace velmora {

// A rectangle in pixels, right and bottom excluded.
struct PixelRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    bool Empty() const { return right <= left || bottom <= top; }
    bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
    PixelRect Offset(int x, int y) const { return PixelRect{left + x, top + y, right + x, bottom + y}; }
};

// The window's own conversions between twips and its pixels, across and down.
struct PixelScale {
    float twipsPerPixelX, twipsPerPixelY;
    int (*toPixels)(Twips twips, float twipsPerPixel);
    Twips (*toTwips)(int pixels, float twipsPerPixel);
};

struct PopupLabel {
    Control id;
    Text caption;
    PixelRect bounds;  // in the window
    Rgb colour;
    FontDesign font;
    bool centred;
    AccessibleRole role;
    Text accessibleName;  // empty: the caption

    Text Name() const { return accessibleName.empty() ? caption : accessibleName; }
};

// A label as assistive technology lists it, in screen pixels.
struct AccessibleChild {
    Control id;
    AccessibleRole role;
    Text name;
    PixelRect screen;  // where the label stands, also where the window does not reach
};

// A press or release on a label, for the window's events.
struct LabelMouse {
    Control label;
    MouseArgs args;
};

// The labels' places in the order a reader walks them: top to bottom, then
// left to right, as the eye reads the window.
std::vector<std::size_t> ReadingOrder(const std::vector<LabelDesign>& labels);

// The label's own colour, or else the theme's text colour where it reads on
// the white picture (a dark or high-contrast theme may make it light).
Rgb LabelColour(const std::optional<Rgb>& design, Rgb themeText);

// Shift, Ctrl and Alt as the mouse events count them.
std::int16_t ShiftOf(bool shift, bool control, bool alt);

// A height of 0 is a real state of the slide: the window is then hidden
// rather than left as a one-pixel speck.
inline bool PopupVisible(bool shown, int height) {
    return shown && height > 0;
}

class PopupLabels {
public:
    PopupLabels(const WindowDesign& design, const PixelScale& scale, Rgb themeText);

    // In reading order.
    const std::vector<PopupLabel>& All() const { return labels_; }
    const PopupLabel* Find(Control id) const;
    // Whether there is such a label.
    bool SetCaption(Control id, const Text& caption);
    bool Move(Control id, Twips left, Twips top);
    std::vector<AccessibleChild> Children(int screenX, int screenY) const;

    // A press of `button` at a window point: the label it lands on, which
    // then owns the mouse; nothing off the labels, for an unknown button, or
    // while another button is held.
    std::optional<LabelMouse> Press(int x, int y, std::int16_t button, std::int16_t shift);
    // The release of the held button, wherever the pointer is now; it frees
    // the mouse.
    std::optional<LabelMouse> Release(int x, int y, std::int16_t button, std::int16_t shift);
    // Capture taken away (another window, a menu): no release follows.
    void CaptureLost() { pressed_.reset(); }
    bool Pressed() const { return pressed_.has_value(); }

private:
    PopupLabel* Entry(Control id);
    MouseArgs ArgsFor(const PopupLabel& label, int x, int y, std::int16_t button, std::int16_t shift) const;

    PixelScale scale_;
    std::vector<PopupLabel> labels_;
    std::optional<Control> pressed_;
    std::int16_t pressedButton_ = 0;
};

}  // namespace velmora
