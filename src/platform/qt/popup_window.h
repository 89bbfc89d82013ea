// The notice pop-up: frameless, stays-on-top and, on X11, out of the window
// manager's hands. It is shown without activation and never takes the
// focus, draws the background picture made for its device pixel ratio and
// its four transparent labels over it. A press on a label is followed by
// that label's release, wherever the pointer has gone. Assistive technology
// sees a notification with the labels inside, and can follow the link or
// press the close mark.
#pragma once

#include <QPixmap>
#include <memory>
#include <optional>
#include <vector>

#include "platform/qt/window_base.h"

namespace velmora::qt {

class PopupWidget;
class LayerSurface;
class DesktopNotice;

// The pop-up's background for a window of `size` logical pixels at `ratio`
// device pixels each: the picture drawn for that ratio, one picture pixel to
// one device pixel; between the drawn ratios, the next larger one shrunk
// with a smoothing filter.
QPixmap BackgroundFor(QSize size, qreal ratio);

class PopupWindow final : public WindowBase {
public:
    PopupWindow(const WindowDesign& design, WindowEvents& events);
    ~PopupWindow() override;

    void Show() override;
    void Announce(const Text& name, const Text& description) override;
    void SetLabelCaption(Control label, const Text& caption) override;
    void MoveLabel(Control label, Twips left, Twips top) override;

protected:
    void ApplyPlacement() override;

private:
    void Redraw();

    PopupWidget* popup_;
    // Where the compositor offers it, the pop-up is shown as this surface
    // and the widget itself stays hidden.
    std::unique_ptr<LayerSurface> layer_;
    // Where it cannot be placed at all, the notice is a desktop
    // notification instead, and the widget stays hidden.
    std::unique_ptr<DesktopNotice> notice_;
    bool onWayland_ = false;
    bool shown_ = false;
};

}  // namespace velmora::qt
