// The pop-up: one object for the whole run, whose window loads for a notice,
// slides up from the bottom of the screen, stays for 30 lifetime ticks,
// slides away and unloads itself. Its fields keep their values while unloaded.
#pragma once

#include <cstdint>

#include "core/form.h"

namespace velmora {

// What the two labels show of an item: the title cut to 14 and the text to
// 125 UTF-16 units, never leaving half a surrogate pair behind.
Text TitleCaption(const Text& title);
Text TextCaption(const Text& text);

// Which way the slide timer moves the pop-up; Still until its first load.
enum class SlideState { Still, SlidingIn, SlidingOut };

class NoticePopup : public Form {
public:
    explicit NoticePopup(Platform& platform);

    // Starts the slide-out.
    void CloseNotice();

    std::int16_t ShowTicks() const { return showTicks_; }
    std::int16_t SlideHeight() const { return slideHeight_; }
    const Timer& SlideTimer() const { return slideTimer_; }
    const Timer& LifetimeTimer() const { return lifetimeTimer_; }

protected:
    void OnLoad() override;
    void LabelMouseDown(Control label, const MouseArgs& args) override;
    void LabelMouseUp(Control label, const MouseArgs& args) override;
    void LabelInvoked(Control label) override;

private:
    void OnLifetimeTimer();
    void OnSlideTimer();
    void OnCloseMarkMouseDown();
    void OnCloseMarkMouseUp();
    void OnDetailsLinkMouseDown();
    void OnDetailsLinkMouseUp();
    void FollowDetailsLink();
    void OpenLink(const Text& link);

    Timer& slideTimer_;
    Timer& lifetimeTimer_;
    std::int16_t showTicks_ = 0;
    SlideState slideState_ = SlideState::Still;
    std::int16_t slideHeight_ = 0;
};

}  // namespace velmora
