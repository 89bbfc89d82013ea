// The main window: start-up and shutdown, the feed-check timer, the feed
// check itself, the hand-over to the pop-up, the tray icon's owner and the
// shake.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/form.h"
#include "platform/platform.h"
#include "platform/text.h"

namespace velmora {

class CTray;
class MessageForm;

inline constexpr std::uint32_t kFeedCheckIntervalMs = 60000;
inline constexpr std::uint32_t kShakeIntervalMs = 25;

class MainForm : public Form {
public:
    // `feedBaseUrl` is the feed site's base address, ending in "/".
    MainForm(Platform& platform, Text feedBaseUrl);
    ~MainForm() override;

    // Jitters the window for 20 ticks of its shake timer, then puts it back;
    // returns when it is back in place.
    void Shake();

    const Text& FeedUrl() const { return feedUrl_; }
    const Text& LastPubDate() const { return lastPubDate_; }
    CTray* Tray() const { return tray_.get(); }
    // The pop-up, null until the first notice creates it.
    MessageForm* Message() const { return message_.get(); }
    std::int16_t ShakeTicks() const { return shakeTicks_; }
    std::int16_t ShakeLeft() const { return shakeLeft_; }
    std::int16_t ShakeTop() const { return shakeTop_; }
    const Timer& FeedTimer() const { return timer3_; }
    const Timer& ShakeTimer() const { return timer2_; }

    // The tray icon's events that the window handles.
    void Tray_RButtonUp();
    void Tray_LButtonUp();

protected:
    void Form_Load() override;
    void Form_Unload() override;
    void Form_CloseRequest() override;

private:
    void StartupErrorRoute();
    void TraySetUp();
    void TrayRemoval();
    void Timer3_Timer();
    void Timer2_Timer();
    void CheckFeed();
    void ShowNotice(Text title, Text text, Text link);

    const Text feedBaseUrl_;
    Timer& timer3_;
    Timer& timer2_;
    Text feedUrl_;
    Text lastPubDate_;
    std::int16_t shakeTicks_ = 0;
    std::int16_t shakeLeft_ = 0;
    std::int16_t shakeTop_ = 0;
    std::unique_ptr<CTray> tray_;
    std::unique_ptr<MessageForm> message_;
};

}  // namespace velmora
