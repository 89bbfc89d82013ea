#include "app/main_form.h"

#include <utility>
#include <variant>

#include "app/main_design.h"
#include "app/read_first_item.h"
#include "feed/charset.h"
#include "feed/feed_check.h"
#include "popup/message_form.h"
#include "tray/ctray.h"

namespace velmora {

MainForm::MainForm(Platform& platform, Text feedBaseUrl)
    : Form(platform, MainDesign()),
      feedBaseUrl_(std::move(feedBaseUrl)),
      timer3_(AddTimer(kFeedCheckIntervalMs, [this] { Timer3_Timer(); })),
      timer2_(AddTimer(kShakeIntervalMs, [this] { Timer2_Timer(); })) {}

MainForm::~MainForm() = default;

void MainForm::Form_Load() {
    // The designed Timer1 and Inet2 have no use and are not made.
    try {
        if (platform().PreviousInstance()) {
            platform().MsgBox(0, u"对不起，Velmora已经启动。", u"已经启动", kMbIconStop);
            platform().End();
        }
        const Text path = platform().ProgramFolder() + u"/urls.txt";
        const std::optional<std::string> bytes = platform().ReadFileBytes(path);
        if (!bytes) throw RuntimeError(ErrorCode::FileNotFound, "urls.txt cannot be read");
        const std::optional<Text> item = ReadFirstItem(DecodeTextFile(*bytes, platform()));
        if (!item) throw RuntimeError(ErrorCode::InputPastEnd, "urls.txt is empty");
        feedUrl_ = feedBaseUrl_ + *item;
        TraySetUp();
        shakeTicks_ = 0;
        // The feed-check timer runs from here for as long as the window
        // exists; started earlier, a tick during a start-up message box
        // would check a feed that start-up has refused.
        timer3_.SetEnabled(true);
        Timer3_Timer();
        platform().SetWindowPos(hWnd(), kHwndTopmost, 0, 0, 0, 0, kSwpNoMove + kSwpNoSize);
    } catch (const RuntimeError&) {
        StartupErrorRoute();
    }
}

void MainForm::StartupErrorRoute() {
    platform().MsgBox(0, u"启动程序发生错误，请重新安装程序。", u"错误", kMbIconStop);
    TrayRemoval();
    Unload();
    platform().End();
}

void MainForm::Form_Unload() {
    TrayRemoval();
}

// Log-off, shutdown, taskkill or an installer: the program ends as after the
// exit prompt's Yes, its icon gone, whatever the unload met on the way.
void MainForm::Form_CloseRequest() {
    try {
        Unload();
    } catch (const RuntimeError& error) {
        platform().ReportUnhandledError(error);
    }
    platform().End();
}

void MainForm::Timer3_Timer() {
    CheckFeed();
}

void MainForm::CheckFeed() {
    try {
        std::unique_ptr<FetchRequest> request = platform().OpenUrl(feedUrl_);
        while (request->Busy()) platform().PumpEvents();
        const FetchedDocument document = request->Take();
        const Text feed = DecodeDocument(document.body, document.headerCharset, platform());
        FeedOutcome outcome = ExamineFeed(feed, lastPubDate_);
        auto* item = std::get_if<FeedItem>(&outcome);
        if (!item) return;
        ShowNotice(item->title, item->description, item->link);
        lastPubDate_ = std::move(item->pubDate);
    } catch (const RuntimeError&) {
        // The check ends silently; the next tick starts afresh.
    }
}

void MainForm::ShowNotice(Text title, Text text, Text link) {
    if (!message_) message_ = std::make_unique<MessageForm>(platform());
    MessageForm& notice = *message_;
    notice.GetLabel(Control::Labeltitle).SetCaption(TitleCaption(title));
    notice.GetLabel(Control::Labelmsg).SetCaption(TextCaption(text));
    notice.GetLabel(Control::Commandurl).SetTag(link);
    notice.Show();
    platform().SetWindowPos(notice.hWnd(), kHwndTopmost, 0, 0, 0, 0, kSwpNoMove + kSwpNoSize);
}

}  // namespace velmora
