#include "platform/qt/window_base.h"

#include <algorithm>

#include "platform/common/units.h"
#include "platform/qt/screen.h"

namespace velmora::qt {

WindowBase::WindowBase(const WindowDesign& design, QWidget* widget)
    : widget_(widget),
      width_(TwipsToPixels(design.width, TwipsPerPixelX())),
      height_(TwipsToPixels(design.height, TwipsPerPixelY())) {
    widget_->setWindowTitle(QString::fromStdU16String(design.caption));
}

WindowBase::~WindowBase() {
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

// Changing the flags re-creates a shown window; the pop-up is made
// stays-on-top from the start, so this only touches the hidden main window.
void WindowBase::KeepOnTop() {
    if (!(widget_->windowFlags() & Qt::WindowStaysOnTopHint) && !widget_->isVisible())
        widget_->setWindowFlag(Qt::WindowStaysOnTopHint);
    if (widget_->isVisible()) widget_->raise();  // raise, never activate
}

QIcon WindowBase::Picture(Control) const {
    throw RuntimeError(ErrorCode::Platform, "the window has no such picture box");
}

void WindowBase::Place() {
    if (placementQueued_) return;
    placementQueued_ = true;
    QMetaObject::invokeMethod(
        lifetime_.get(),
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
