// The main window: start-up and shutdown, the feed-check timer, the feed
// check itself, the hand-over to the pop-up (held while its reader is away),
// the tray icon's owner and the shake.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "core/form.h"
#include "core/text.h"
#include "platform/platform.h"

namespace velmora {

class TrayIcon;
class NoticePopup;

inline constexpr std::uint32_t kFeedCheckIntervalMs = 60000;
inline constexpr std::uint32_t kShakeIntervalMs = 25;
// How often a held notice asks again whether its reader is back, for the
// changes the desktop does not tell of.
inline constexpr std::uint32_t kPresenceIntervalMs = 2000;

// An item's texts as the pop-up shows them.
struct Notice {
    Text title, text, link;
};

class MainWindow : public Form {
public:
    // `feedBaseUrl` is the feed site's base address, ending in "/".
    MainWindow(Platform& platform, Text feedBaseUrl);
    ~MainWindow() override;

    // Jitters the window for 20 ticks of its shake timer, then puts it back;
    // returns when it is back in place.
    void Shake();

    const Text& FeedUrl() const { return feedUrl_; }
    const Text& LastPubDate() const { return lastPubDate_; }
    TrayIcon* Tray() const { return tray_.get(); }
    // The pop-up, null until the first notice creates it.
    NoticePopup* Popup() const { return popup_.get(); }
    std::int16_t ShakeTicks() const { return shakeTicks_; }
    std::int16_t ShakeLeft() const { return shakeLeft_; }
    std::int16_t ShakeTop() const { return shakeTop_; }
    const Timer& FeedTimer() const { return feedTimer_; }
    const Timer& ShakeTimer() const { return shakeTimer_; }
    // The notice waiting for its reader, if any.
    const std::optional<Notice>& HeldNotice() const { return heldNotice_; }

    // What the user did to the tray icon.
    void OnTrayActivation(TrayActivation activation);

protected:
    void OnLoad() override;
    void OnUnload() override;
    void OnCloseRequest() override;

private:
    void StartupErrorRoute();
    void SetUpTrayIcon();
    void RemoveTrayIcon();
    void AskToQuit();
    void OnFeedTimer();
    void OnShakeTimer();
    void CheckFeed();
    void ShowNotice(Text title, Text text, Text link);
    bool HoldIfAway(const Text& title, const Text& text, const Text& link);
    void EndHold();
    void OnPresenceMayHaveChanged();
    // The desktop's news that the reader may be back, an event of its own.
    void OnPresenceNews();

    const Text feedBaseUrl_;
    Timer& feedTimer_;
    Timer& shakeTimer_;
    Timer& presenceTimer_;
    Text feedUrl_;
    Text lastPubDate_;
    std::int16_t shakeTicks_ = 0;
    std::int16_t shakeLeft_ = 0;
    std::int16_t shakeTop_ = 0;
    std::unique_ptr<TrayIcon> tray_;
    std::unique_ptr<NoticePopup> popup_;
    std::optional<Notice> heldNotice_;
};

}  // namespace velmora
