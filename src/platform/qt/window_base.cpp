#include "platform/qt/window_base.h"

#include <algorithm>

#include "platform/qt/screen.h"
#include "platform/qt/units.h"

namespace velmora::qt {

WindowBase::WindowBase(const WindowDesign& design, QWidget* widget, HandleTable& handles)
    : widget_(widget),
      handles_(handles),
      handle_(handles.AddWindow(widget)),
      width_(TwipsToPixels(design.width, TwipsPerPixelX())),
      height_(TwipsToPixels(design.height, TwipsPerPixelY())) {
    widget_->setWindowTitle(QString::fromStdU16String(design.caption));
}

WindowBase::~WindowBase() {
    handles_.Remove(handle_);
    widget_->hide();
    widget_->deleteLater();
}

Twips WindowBase::Left() const {
    return PixelsToTwips(left_, TwipsPerPixelX());
}
Twips WindowBase::Top() const {
    return PixelsToTwips(top_, TwipsPerPixelY());
}
Twips WindowBase::Width() const {
    return PixelsToTwips(width_, TwipsPerPixelX());
}
Twips WindowBase::Height() const {
    return PixelsToTwips(height_, TwipsPerPixelY());
}

void WindowBase::SetLeft(Twips value) {
    left_ = TwipsToPixels(value, TwipsPerPixelX());
    Place();
}

void WindowBase::SetTop(Twips value) {
    top_ = TwipsToPixels(value, TwipsPerPixelY());
    Place();
}

void WindowBase::SetHeight(Twips value) {
    height_ = std::max(0, TwipsToPixels(value, TwipsPerPixelY()));
    Place();
}

void WindowBase::Place() {
    if (placementQueued_) return;
    placementQueued_ = true;
    QMetaObject::invokeMethod(
        placement_.get(),
        [this] {
            placementQueued_ = false;
            ApplyPlacement();
        },
        Qt::QueuedConnection);
}

void WindowBase::ApplyPlacement() {
    widget_->setGeometry(left_, top_, width_, std::max(height_, 1));
}

}  // namespace velmora::qt
