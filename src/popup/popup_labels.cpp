#include "popup/popup_labels.h"

#include <algorithm>
#include <numeric>
#include <utility>

#include "core/contrast.h"
#include "popup/popup_design.h"

namespace velmora {

std::vector<std::size_t> ReadingOrder(const std::vector<LabelDesign>& labels) {
    std::vector<std::size_t> order(labels.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return labels[a].top != labels[b].top ? labels[a].top < labels[b].top
                                              : labels[a].left < labels[b].left;
    });
    return order;
}

Rgb LabelColour(const std::optional<Rgb>& design, Rgb themeText) {
    return design ? *design : ReadableOn(themeText, kPopupBody);
}

std::int16_t ShiftOf(bool shift, bool control, bool alt) {
    return static_cast<std::int16_t>((shift ? 1 : 0) | (control ? 2 : 0) | (alt ? 4 : 0));
}

PopupLabels::PopupLabels(const WindowDesign& design, const PixelScale& scale, Rgb themeText) : scale_(scale) {
    for (const std::size_t place : ReadingOrder(design.labels)) {
        const LabelDesign& label = design.labels[place];
        const int left = scale.toPixels(label.left, scale.twipsPerPixelX),
                  top = scale.toPixels(label.top, scale.twipsPerPixelY);
        const PixelRect bounds{left, top, left + scale.toPixels(label.width, scale.twipsPerPixelX),
                               top + scale.toPixels(label.height, scale.twipsPerPixelY)};
        labels_.push_back(PopupLabel{label.id, label.caption, bounds, LabelColour(label.color, themeText),
                                     label.font, label.alignment == Alignment::Centre, label.role,
                                     label.accessibleName});
    }
}

const PopupLabel* PopupLabels::Find(Control id) const {
    for (const PopupLabel& label : labels_)
        if (label.id == id) return &label;
    return nullptr;
}

PopupLabel* PopupLabels::Entry(Control id) {
    return const_cast<PopupLabel*>(std::as_const(*this).Find(id));
}

bool PopupLabels::SetCaption(Control id, const Text& caption) {
    PopupLabel* label = Entry(id);
    if (label) label->caption = caption;
    return label != nullptr;
}

bool PopupLabels::Move(Control id, Twips left, Twips top) {
    PopupLabel* label = Entry(id);
    if (!label) return false;
    const PixelRect& old = label->bounds;
    const int x = scale_.toPixels(left, scale_.twipsPerPixelX),
              y = scale_.toPixels(top, scale_.twipsPerPixelY);
    label->bounds = PixelRect{x, y, x + old.right - old.left, y + old.bottom - old.top};
    return true;
}

std::vector<AccessibleChild> PopupLabels::Children(int screenX, int screenY) const {
    std::vector<AccessibleChild> children;
    for (const PopupLabel& label : labels_)
        children.push_back(
            AccessibleChild{label.id, label.role, label.Name(), label.bounds.Offset(screenX, screenY)});
    return children;
}

std::optional<LabelMouse> PopupLabels::Press(int x, int y, std::int16_t button, std::int16_t shift) {
    if (pressed_ || !button) return std::nullopt;
    for (const PopupLabel& label : labels_) {
        if (!label.bounds.Contains(x, y)) continue;
        pressed_ = label.id;
        pressedButton_ = button;
        return LabelMouse{label.id, ArgsFor(label, x, y, button, shift)};
    }
    return std::nullopt;
}

std::optional<LabelMouse> PopupLabels::Release(int x, int y, std::int16_t button, std::int16_t shift) {
    if (!pressed_ || button != pressedButton_) return std::nullopt;
    const Control id = *pressed_;
    pressed_.reset();
    return LabelMouse{id, ArgsFor(*Find(id), x, y, button, shift)};
}

MouseArgs PopupLabels::ArgsFor(const PopupLabel& label, int x, int y, std::int16_t button,
                               std::int16_t shift) const {
    return MouseArgs{button, shift, scale_.toTwips(x - label.bounds.left, scale_.twipsPerPixelX),
                     scale_.toTwips(y - label.bounds.top, scale_.twipsPerPixelY)};
}

}  // namespace velmora
