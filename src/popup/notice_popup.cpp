#include "popup/notice_popup.h"

#include "core/arith.h"
#include "popup/link_policy.h"
#include "popup/popup_design.h"

namespace velmora {
namespace {

// A pressed label stands one pixel (at 15 twips per pixel) left and down.
constexpr Twips kPressOffset = 15;

// Left first, then Top, as two property changes.
void ShowPressed(Label& label) {
    label.Move(label.Left() - kPressOffset, label.Top());
    label.Move(label.Left(), label.Top() + kPressOffset);
}

void ShowReleased(Label& label) {
    label.Move(label.Left() + kPressOffset, label.Top());
    label.Move(label.Left(), label.Top() - kPressOffset);
}

}  // namespace

Text TitleCaption(const Text& title) {
    return LeftWholeChars(title, kTitleCaptionLength);
}
Text TextCaption(const Text& text) {
    return LeftWholeChars(text, kTextCaptionLength);
}

NoticePopup::NoticePopup(Platform& platform)
    : Form(platform, PopupDesign()),
      slideTimer_(AddTimer(kSlideIntervalMs, [this] { OnSlideTimer(); })),
      lifetimeTimer_(AddTimer(kLifetimeIntervalMs, [this] { OnLifetimeTimer(); })) {}

void NoticePopup::OnLoad() {
    SetLeft(platform().Screen().width - Width() - kPopupRightMargin);
    lifetimeTimer_.SetEnabled(true);
    showTicks_ = 0;
    slideState_ = SlideState::SlidingIn;
    SetHeight(0);
    slideTimer_.SetEnabled(true);
}

void NoticePopup::OnSlideTimer() {
    SetHeight(static_cast<Twips>(slideHeight_));
    // The platform may have kept the height in whole pixels: use what it kept.
    SetTop(platform().Screen().height - kPopupBottomMargin - Height());
    if (slideState_ == SlideState::SlidingIn) {
        if (slideHeight_ < kPopupFullHeight)
            slideHeight_ = AddInt16(slideHeight_, kSlideStep);
        else
            slideTimer_.SetEnabled(false);
    } else if (slideState_ == SlideState::SlidingOut) {
        if (slideHeight_ > 0) {
            slideHeight_ = AddInt16(slideHeight_, -kSlideStep);
        } else {
            slideTimer_.SetEnabled(false);
            Unload();
        }
    }
}

void NoticePopup::OnLifetimeTimer() {
    showTicks_ = AddInt16(showTicks_, 1);
    if (showTicks_ >= kLifetimeTicks) {
        slideState_ = SlideState::SlidingOut;
        slideTimer_.SetEnabled(true);
    }
}

void NoticePopup::CloseNotice() {
    slideState_ = SlideState::SlidingOut;
    slideTimer_.SetEnabled(true);
}

void NoticePopup::LabelMouseDown(Control label, const MouseArgs&) {
    if (label == Control::CloseMark) OnCloseMarkMouseDown();
    if (label == Control::DetailsLink) OnDetailsLinkMouseDown();
}

void NoticePopup::LabelMouseUp(Control label, const MouseArgs&) {
    if (label == Control::CloseMark) OnCloseMarkMouseUp();
    if (label == Control::DetailsLink) OnDetailsLinkMouseUp();
}

// A screen reader's "press" or "follow link": the click's action, without
// the pressed look, which only a mouse press sets up.
void NoticePopup::LabelInvoked(Control label) {
    if (label == Control::CloseMark) CloseNotice();
    if (label == Control::DetailsLink) FollowDetailsLink();
}

void NoticePopup::OnCloseMarkMouseDown() {
    ShowPressed(GetLabel(Control::CloseMark));
}

void NoticePopup::OnCloseMarkMouseUp() {
    ShowReleased(GetLabel(Control::CloseMark));
    CloseNotice();
}

void NoticePopup::OnDetailsLinkMouseDown() {
    ShowPressed(GetLabel(Control::DetailsLink));
}

void NoticePopup::OnDetailsLinkMouseUp() {
    ShowReleased(GetLabel(Control::DetailsLink));
    FollowDetailsLink();
}

void NoticePopup::FollowDetailsLink() {
    OpenLink(GetLabel(Control::DetailsLink).Tag());
    CloseNotice();
}

void NoticePopup::OpenLink(const Text& link) {
    // Links come from the network: only web addresses reach the shell, and
    // each platform opens the same one. A refused or failed launch is
    // silent; the pop-up closes either way.
    const Text target = TrimLink(link);
    if (!IsLaunchableLink(target)) return;
    platform().OpenLink(EncodeLink(target));
}

}  // namespace velmora
