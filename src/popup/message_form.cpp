#include "popup/message_form.h"

#include "platform/arith.h"
#include "popup/link_policy.h"
#include "popup/message_design.h"

namespace velmora {
namespace {

constexpr std::int16_t kSlidingIn = 1;
constexpr std::int16_t kSlidingOut = 2;
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

MessageForm::MessageForm(Platform& platform)
    : Form(platform, MessageDesign()),
      timer2_(AddTimer(kSlideIntervalMs, [this] { Timer2_Timer(); })),
      timer1_(AddTimer(kLifetimeIntervalMs, [this] { Timer1_Timer(); })) {}

void MessageForm::Form_Load() {
    SetLeft(platform().Screen().width - Width() - kPopupRightMargin);
    timer1_.SetEnabled(true);
    showTicks_ = 0;
    slideState_ = kSlidingIn;
    SetHeight(0);
    timer2_.SetEnabled(true);
}

void MessageForm::Timer2_Timer() {
    SetHeight(static_cast<Twips>(slideHeight_));
    // The platform may have kept the height in whole pixels: use what it kept.
    SetTop(platform().Screen().height - kPopupBottomMargin - Height());
    if (slideState_ == kSlidingIn) {
        if (slideHeight_ < kPopupFullHeight)
            slideHeight_ = AddInt16(slideHeight_, kSlideStep);
        else
            timer2_.SetEnabled(false);
    } else if (slideState_ == kSlidingOut) {
        if (slideHeight_ > 0) {
            slideHeight_ = AddInt16(slideHeight_, -kSlideStep);
        } else {
            timer2_.SetEnabled(false);
            Unload();
        }
    }
}

void MessageForm::Timer1_Timer() {
    showTicks_ = AddInt16(showTicks_, 1);
    if (showTicks_ >= kLifetimeTicks) {
        slideState_ = kSlidingOut;
        timer2_.SetEnabled(true);
    }
}

void MessageForm::CloseNotice() {
    slideState_ = kSlidingOut;
    timer2_.SetEnabled(true);
}

void MessageForm::LabelMouseDown(Control label, const MouseArgs&) {
    if (label == Control::Label1) Label1_MouseDown();
    if (label == Control::Commandurl) Commandurl_MouseDown();
}

void MessageForm::LabelMouseUp(Control label, const MouseArgs&) {
    if (label == Control::Label1) Label1_MouseUp();
    if (label == Control::Commandurl) Commandurl_MouseUp();
}

void MessageForm::Label1_MouseDown() {
    ShowPressed(GetLabel(Control::Label1));
}

void MessageForm::Label1_MouseUp() {
    ShowReleased(GetLabel(Control::Label1));
    CloseNotice();
}

void MessageForm::Commandurl_MouseDown() {
    ShowPressed(GetLabel(Control::Commandurl));
}

void MessageForm::Commandurl_MouseUp() {
    Label& label = GetLabel(Control::Commandurl);
    ShowReleased(label);
    OpenLink(label.Tag());
    CloseNotice();
}

void MessageForm::OpenLink(const Text& link) {
    // Links come from the network: only web addresses reach the shell. A
    // refused or failed launch is silent; the pop-up closes either way.
    const Text target = TrimLink(link);
    if (!IsLaunchableLink(target)) return;
    platform().ShellExecuteLink(0, u"", target, u"", u"", kSwShow);
}

}  // namespace velmora
