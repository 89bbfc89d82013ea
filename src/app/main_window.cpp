#include "app/main_window.h"

#include <utility>
#include <variant>

#include "app/main_window_design.h"
#include "app/read_first_item.h"
#include "feed/charset.h"
#include "feed/feed_check.h"
#include "popup/notice_popup.h"
#include "tray/tray_icon.h"

namespace velmora {

MainWindow::MainWindow(Platform& platform, Text feedBaseUrl)
    : Form(platform, MainWindowDesign()),
      feedBaseUrl_(std::move(feedBaseUrl)),
      feedTimer_(AddTimer(kFeedCheckIntervalMs, [this] { OnFeedTimer(); })),
      shakeTimer_(AddTimer(kShakeIntervalMs, [this] { OnShakeTimer(); })),
      presenceTimer_(AddTimer(kPresenceIntervalMs, [this] { OnPresenceMayHaveChanged(); })) {}

MainWindow::~MainWindow() {
    platform().WatchUserPresence({});
}

void MainWindow::OnLoad() {
    try {
        if (platform().PreviousInstance()) {
            platform().ReportError(u"对不起，Velmora已经启动。", u"已经启动");
            platform().End();
        }
        const Text path = platform().ProgramFolder() + u"/urls.txt";
        const std::optional<std::string> bytes = platform().ReadFileBytes(path);
        if (!bytes) throw RuntimeError(ErrorCode::FileNotFound, "urls.txt cannot be read");
        const std::optional<Text> item = ReadFirstItem(DecodeTextFile(*bytes, platform()));
        if (!item) throw RuntimeError(ErrorCode::InputPastEnd, "urls.txt is empty");
        feedUrl_ = feedBaseUrl_ + *item;
        SetUpTrayIcon();
        platform().WatchUserPresence([this] { OnPresenceNews(); });
        shakeTicks_ = 0;
        // The feed-check timer runs from here for as long as the window
        // exists; started earlier, a tick during a start-up message box
        // would check a feed that start-up has refused.
        feedTimer_.SetEnabled(true);
        OnFeedTimer();
        KeepOnTop();
    } catch (const RuntimeError&) {
        StartupErrorRoute();
    }
}

void MainWindow::StartupErrorRoute() {
    platform().ReportError(u"启动程序发生错误，请重新安装程序。", u"错误");
    RemoveTrayIcon();
    Unload();
    platform().End();
}

void MainWindow::OnUnload() {
    RemoveTrayIcon();
}

// Log-off, shutdown, taskkill or an installer: the program ends as after the
// exit prompt's Yes, its icon gone, whatever the unload met on the way.
void MainWindow::OnCloseRequest() {
    try {
        Unload();
    } catch (const RuntimeError& error) {
        platform().ReportUnhandledError(error);
    }
    platform().End();
}

void MainWindow::OnFeedTimer() {
    CheckFeed();
}

void MainWindow::CheckFeed() {
    try {
        std::unique_ptr<FetchRequest> request = platform().OpenUrl(feedUrl_);
        while (request->Busy()) platform().PumpEvents();
        Result<FetchedDocument> document = request->Take();
        if (!document) throw RuntimeError(ErrorCode::FetchFailed, document.reason());
        const Text feed = DecodeDocument(document->body, document->headerCharset, platform());
        FeedOutcome outcome = ExamineFeed(feed, lastPubDate_);
        auto* item = std::get_if<FeedItem>(&outcome);
        if (!item) return;
        ShowNotice(item->title, item->description, item->link);
        lastPubDate_ = std::move(item->pubDate);
    } catch (const RuntimeError&) {
        // The check ends silently; the next tick starts afresh.
    }
}

void MainWindow::ShowNotice(Text title, Text text, Text link) {
    if (HoldIfAway(title, text, link)) return;
    if (!popup_) popup_ = std::make_unique<NoticePopup>(platform());
    NoticePopup& notice = *popup_;
    notice.GetLabel(Control::TitleLabel).SetCaption(TitleCaption(title));
    notice.GetLabel(Control::TextLabel).SetCaption(TextCaption(text));
    notice.GetLabel(Control::DetailsLink).SetTag(link);
    notice.Show();
    notice.KeepOnTop();
    // Screen readers learn of the notice without the pop-up taking the focus.
    notice.Announce(notice.GetLabel(Control::TitleLabel).Caption(),
                    notice.GetLabel(Control::TextLabel).Caption());
    EndHold();
}

}  // namespace velmora
