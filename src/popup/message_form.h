// The pop-up: one object for the whole run, whose window loads for a notice,
// slides up from the bottom of the screen, stays for 30 lifetime ticks,
// slides away and unloads itself. Its fields keep their values while unloaded.
#pragma once

#include <cstdint>

#include "platform/form.h"

namespace velmora {

// What the two labels show of an item: the title cut to 14 and the text to
// 125 UTF-16 units, never leaving half a surrogate pair behind.
Text TitleCaption(const Text& title);
Text TextCaption(const Text& text);

class MessageForm : public Form {
public:
    explicit MessageForm(Platform& platform);

    // Starts the slide-out.
    void CloseNotice();

    std::int16_t ShowTicks() const { return showTicks_; }
    std::int16_t SlideState() const { return slideState_; }
    std::int16_t SlideHeight() const { return slideHeight_; }
    const Timer& SlideTimer() const { return timer2_; }
    const Timer& LifetimeTimer() const { return timer1_; }

protected:
    void Form_Load() override;
    void LabelMouseDown(Control label, const MouseArgs& args) override;
    void LabelMouseUp(Control label, const MouseArgs& args) override;

private:
    void Timer1_Timer();
    void Timer2_Timer();
    void Label1_MouseDown();
    void Label1_MouseUp();
    void Commandurl_MouseDown();
    void Commandurl_MouseUp();
    void OpenLink(const Text& link);

    Timer& timer2_;
    Timer& timer1_;
    std::int16_t showTicks_ = 0;
    std::int16_t slideState_ = 0;
    std::int16_t slideHeight_ = 0;
};

}  // namespace velmora
