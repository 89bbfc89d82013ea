// What the two windows share: geometry kept in whole pixels and reported in
// twips, and staying on top.
#pragma once

#include <QIcon>
#include <QWidget>
#include <memory>

#include "platform/platform.h"

namespace velmora::qt {

class WindowBase : public NativeWindow {
public:
    ~WindowBase() override;
    Twips Left() const override;
    Twips Top() const override;
    Twips Width() const override;
    Twips Height() const override;
    void SetLeft(Twips value) override;
    void SetTop(Twips value) override;
    void SetHeight(Twips value) override;
    void KeepOnTop() override;
    // Only a notice is announced; the pop-up says how.
    void Announce(const Text&, const Text&) override {}

    // The window as message boxes take their owner.
    QWidget* Window() const { return widget_; }
    // The picture of one of the window's picture boxes; an error when the
    // window has no such box.
    virtual QIcon Picture(Control pictureBox) const;
    // Goes with this window: work queued on it is dropped once the window is
    // unloaded, even while Qt still holds the widget.
    QObject* Lifetime() const { return lifetime_.get(); }

protected:
    // Takes `widget`, hidden, sized to the design at the screen's top-left
    // corner. Qt owns the widget from here: it is deleted later, never inside
    // one of its own events.
    WindowBase(const WindowDesign& design, QWidget* widget);
    // Puts the native window where the fields say once the running handler
    // is done: a slide step sets height and top one after the other, and the
    // window must not be seen in between with its bottom edge moved.
    void Place();
    // Does it, now.
    virtual void ApplyPlacement();

    QWidget* widget_;
    int left_ = 0, top_ = 0, width_, height_;

private:
    std::unique_ptr<QObject> lifetime_ = std::make_unique<QObject>();
    bool placementQueued_ = false;
};

}  // namespace velmora::qt
