// What the two windows share: geometry kept in whole pixels and reported in
// twips, and the handle the core knows the window by.
#pragma once

#include <QWidget>
#include <memory>

#include "platform/platform.h"
#include "platform/qt/handles.h"

namespace velmora::qt {

class WindowBase : public NativeWindow {
public:
    ~WindowBase() override;
    Handle hWnd() const override { return handle_; }
    Twips Left() const override;
    Twips Top() const override;
    Twips Width() const override;
    Twips Height() const override;
    void SetLeft(Twips value) override;
    void SetTop(Twips value) override;
    void SetHeight(Twips value) override;

protected:
    // Takes `widget`, hidden, sized to the design at the screen's top-left
    // corner. Qt owns the widget from here: it is deleted later, never inside
    // one of its own events.
    WindowBase(const WindowDesign& design, QWidget* widget, HandleTable& handles);
    // Puts the native window where the fields say once the running handler
    // is done: a slide step sets height and top one after the other, and the
    // window must not be seen in between with its bottom edge moved.
    void Place();
    // Does it, now.
    virtual void ApplyPlacement();

    QWidget* widget_;
    HandleTable& handles_;
    Handle handle_;
    int left_ = 0, top_ = 0, width_, height_;

private:
    // The context of the queued placement: with it goes any placement still
    // queued when the window is unloaded.
    std::unique_ptr<QObject> placement_ = std::make_unique<QObject>();
    bool placementQueued_ = false;
};

}  // namespace velmora::qt
