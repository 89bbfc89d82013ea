// Start-up, its error route, unload, and the feed check as the running
// program does it: every 60 s, an item shown once, failures silent.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/read_first_item.h"
#include "fake/app_harness.h"

namespace velmora::testing {
namespace {

using ::testing::ElementsAre;

TEST(ReadFirstItem, QuotedOrUpToCommaOrLineBreak) {
    struct Case {
        Text content;
        Text item;
    };
    const Case cases[] = {
        {u"news/rss.xml", u"news/rss.xml"},
        {u"a/feed?x=1,second", u"a/feed?x=1"},
        {u"   spaced/feed", u"spaced/feed"},
        {u"\"quoted, with comma\",next", u"quoted, with comma"},
        {u"  \"q\"", u"q"},
        {u"first\r\nsecond\r\n", u"first"},
        {u"first\nsecond", u"first"},
        {u"\r\nsecond", u""},
        {u"\nsecond", u""},
        {u"trailing  \r\n", u"trailing"},
        {u"\"never closed", u"never closed"},
        {u"\"news/rss.xml\r\nsecond\r\n", u"news/rss.xml"},
        {u"   ", u""},
    };
    for (const auto& c : cases) {
        auto item = ReadFirstItem(c.content);
        ASSERT_TRUE(item.has_value()) << TextToUtf8(c.content);
        EXPECT_EQ(*item, c.item) << TextToUtf8(c.content);
    }
    EXPECT_FALSE(ReadFirstItem(u"").has_value());
}

TEST(Startup, RunsItsStepsInOrderAndShowsTheFirstItem) {
    AppHarness app;
    app.StartWith(FeedWith("D1", "Hello", "http://news.example/1", "Body"));
    EXPECT_EQ(app.main->FeedUrl(), u"http://feeds.example/news/rss.xml");
    EXPECT_THAT(app.fake.log,
                ElementsAre("Load MainWindow", "ReadFile C:/Program Files/Velmora/urls.txt", "TrayAdd",
                            "Fetch http://feeds.example/news/rss.xml", "Load Popup", "Show Popup",
                            "KeepOnTop Popup", "Announce Popup", "KeepOnTop MainWindow"));
    EXPECT_TRUE(app.fake.dialogs.empty());
    EXPECT_EQ(app.main->LastPubDate(), u"D1");
    EXPECT_TRUE(app.main->FeedTimer().Enabled());
    EXPECT_FALSE(app.fake.Ended());
}

TEST(Startup, FeedUrlIsTheBaseFollowedByTheItemUnchanged) {
    struct Case {
        std::string file;
        Text url;
    };
    const Case cases[] = {
        {"rss.php?id=3&x=%20\r\n", u"http://feeds.example/rss.php?id=3&x=%20"},
        {"\r\nrss.xml", u"http://feeds.example/"},  // an empty first line is a valid item
        {"\xEF\xBB\xBF"
         "bom/feed.xml",
         u"http://feeds.example/bom/feed.xml"},
        {"中文/订阅.xml", u"http://feeds.example/中文/订阅.xml"},
    };
    for (const auto& c : cases) {
        AppHarness app;
        app.fake.SetFile(u"urls.txt", c.file);
        app.Start();
        EXPECT_EQ(app.main->FeedUrl(), c.url);
        EXPECT_EQ(app.fake.fetchedUrls.at(0), c.url);
        EXPECT_FALSE(app.fake.Ended());
    }
}

TEST(Startup, AnsiConfigurationFileIsReadInTheLegacyCodePage) {
    AppHarness app;
    app.fake.SetFile(u"urls.txt", "caf\xE9.xml");  // windows-1252, not UTF-8
    app.Start();
    EXPECT_EQ(app.main->FeedUrl(), u"http://feeds.example/café.xml");
}

TEST(Startup, SecondInstanceShowsItsMessageAndEndsWithoutTouchingAnything) {
    AppHarness app;
    app.fake.previousInstance = true;
    app.Start();
    ASSERT_EQ(app.fake.dialogs.size(), 1u);
    EXPECT_EQ(app.fake.dialogs[0].kind, DialogCall::Error);
    EXPECT_EQ(app.fake.dialogs[0].text, u"对不起，Velmora已经启动。");
    EXPECT_EQ(app.fake.dialogs[0].caption, u"已经启动");
    EXPECT_THAT(app.fake.log, ElementsAre("Load MainWindow", "ReportError 已经启动", "End"));
    EXPECT_TRUE(app.fake.Ended());
    EXPECT_FALSE(app.fake.trayIcon);
}

TEST(Startup, MissingOrEmptyConfigurationTakesTheErrorRoute) {
    for (bool missing : {true, false}) {
        AppHarness app;
        app.fake.files.clear();
        if (!missing) app.fake.SetFile(u"urls.txt", "");
        app.Start();
        ASSERT_EQ(app.fake.dialogs.size(), 1u);
        EXPECT_EQ(app.fake.dialogs[0].kind, DialogCall::Error);
        EXPECT_EQ(app.fake.dialogs[0].text, u"启动程序发生错误，请重新安装程序。");
        EXPECT_EQ(app.fake.dialogs[0].caption, u"错误");
        EXPECT_THAT(app.fake.log, ElementsAre("Load MainWindow", "ReadFile C:/Program Files/Velmora/urls.txt",
                                              "ReportError 错误", "Unload MainWindow", "End"));
        EXPECT_TRUE(app.fake.fetchedUrls.empty());
        EXPECT_FALSE(app.fake.trayIcon);
    }
}

// Message boxes pump events: a tick under a start-up message would check an
// address that start-up has not built, or has refused.
TEST(Startup, NoCheckRunsWhileAStartUpMessageIsOpen) {
    for (bool secondInstance : {true, false}) {
        AppHarness app;
        app.fake.previousInstance = secondInstance;
        if (!secondInstance) app.fake.files.clear();
        app.fake.whileErrorOpen = [&] { app.fake.Advance(3 * 60000); };
        app.Start();
        EXPECT_TRUE(app.fake.fetchedUrls.empty()) << secondInstance;
        EXPECT_TRUE(app.fake.Ended());
    }
}

TEST(Startup, YesToTheExitPromptDuringTheFirstCheckEndsThereAndThen) {
    AppHarness app;
    app.fake.QueueFetch(Serve(FeedWith("D1"), 10000));
    app.fake.QueueAnswer(Answer::Yes);
    app.fake.Post([&] { app.fake.Tray(TrayActivation::RightUp); });  // arrives while the check waits
    app.Start();
    EXPECT_TRUE(app.fake.Ended());
    EXPECT_EQ(app.fake.log.back(), "End");
    EXPECT_EQ(app.Shows(), 0);
}

TEST(FeedCheck, RunsEverySixtySecondsAndShowsEachNewItemOnce) {
    AppHarness app;
    app.StartWith(FeedWith("D1"));
    EXPECT_EQ(app.Shows(), 1);
    app.fake.QueueFetch(Serve(FeedWith("D1")));
    app.fake.Advance(59999);
    EXPECT_EQ(app.fake.fetchedUrls.size(), 1u);
    app.fake.Advance(1);
    EXPECT_EQ(app.fake.fetchedUrls.size(), 2u);
    EXPECT_EQ(app.Shows(), 1);  // same pubDate: nothing
    app.fake.QueueFetch(Serve(FeedWith("D2", "Second")));
    app.fake.Advance(60000);
    EXPECT_EQ(app.Shows(), 2);
    EXPECT_EQ(app.main->LastPubDate(), u"D2");
    EXPECT_EQ(app.Notice().GetLabel(Control::TitleLabel).Caption(), u"Second");
    // An older item that becomes first again counts as new.
    app.fake.QueueFetch(Serve(FeedWith("D1", "Back")));
    app.fake.Advance(60000);
    EXPECT_EQ(app.Shows(), 3);
}

TEST(FeedCheck, FailuresEndTheCheckSilentlyAndTheItemComesAgainNextTick) {
    AppHarness app;
    app.fake.QueueFetch(Failure());
    app.Start();
    EXPECT_EQ(app.Shows(), 0);
    EXPECT_TRUE(app.fake.dialogs.empty());
    EXPECT_EQ(app.fake.log.back(), "KeepOnTop MainWindow");  // start-up went on
    // Malformed: an end marker before its start raises an error inside the check.
    app.fake.QueueFetch(
        Serve("<item></link><link>x</link><pubDate>D</pubDate><title><![CDATA[t]]></title>"
              "<description><![CDATA[d]]></description>"));
    app.fake.Advance(60000);
    // A feed whose "<item>" lies beyond the 16-bit limit.
    app.fake.QueueFetch(Serve(std::string(40000, ' ') + FeedWith("D1")));
    app.fake.Advance(60000);
    EXPECT_EQ(app.Shows(), 0);
    EXPECT_EQ(app.main->LastPubDate(), u"");
    EXPECT_TRUE(app.fake.unhandledErrors.empty());
    app.fake.QueueFetch(Serve(FeedWith("D1")));
    app.fake.Advance(60000);
    EXPECT_EQ(app.Shows(), 1);
}

TEST(FeedCheck, AnItemWhosePopUpFailedToShowComesAgainNextTick) {
    AppHarness app;
    app.fake.failNextLoad = WindowKind::Popup;
    app.StartWith(FeedWith("D1"));
    EXPECT_EQ(app.Shows(), 0);
    EXPECT_EQ(app.main->LastPubDate(), u"");
    app.fake.QueueFetch(Serve(FeedWith("D1")));
    app.fake.Advance(60000);
    EXPECT_EQ(app.Shows(), 1);
    EXPECT_EQ(app.main->LastPubDate(), u"D1");
}

TEST(FeedCheck, EmptyPubDateIsNotShownAtFirstButIsNewAfterAnother) {
    AppHarness app;
    app.StartWith(FeedWith(""));
    EXPECT_EQ(app.Shows(), 0);
    app.fake.QueueFetch(Serve(FeedWith("D1")));
    app.fake.Advance(60000);
    app.fake.QueueFetch(Serve(FeedWith("")));
    app.fake.Advance(60000);
    EXPECT_EQ(app.Shows(), 2);
    EXPECT_EQ(app.main->LastPubDate(), u"");
}

TEST(FeedCheck, WaitPumpsEventsUntilTheTransferEndsWithoutSpinning) {
    AppHarness app;
    app.fake.QueueFetch(Serve(FeedWith("D1"), 10000));
    app.Start();
    EXPECT_EQ(app.Shows(), 1);
    EXPECT_EQ(app.fake.Now(), 10000);
    EXPECT_LT(app.fake.pumpCount, 5);  // blocked until the transfer ended
}

TEST(FeedCheck, CheckNestedInTheWaitHandsTheSameItemOverOnce) {
    AppHarness app;
    // The first check waits past the first tick, whose check gets the same item.
    app.fake.QueueFetch(Serve(FeedWith("D1"), 61000));
    app.fake.QueueFetch(Serve(FeedWith("D1")));
    app.Start();
    EXPECT_EQ(app.fake.fetchedUrls.size(), 2u);
    EXPECT_EQ(app.Shows(), 1);
    EXPECT_EQ(app.main->LastPubDate(), u"D1");
}

TEST(FeedCheck, FeedsAreDecodedByTheirDeclaredCharset) {
    AppHarness app;
    // GB2312 bytes of 新闻 (news) and 内容 (content), declared in the XML declaration.
    std::string feed =
        "<?xml version=\"1.0\" encoding=\"gb2312\"?><rss><item><title><![CDATA[\xD0\xC2\xCE\xC5]]>"
        "</title><link>http://a/</link><description><![CDATA[\xC4\xDA\xC8\xDD]]></description>"
        "<pubDate>D</pubDate></item></rss>";
    app.StartWith(feed);
    EXPECT_EQ(app.Notice().GetLabel(Control::TitleLabel).Caption(), u"新闻");
    EXPECT_EQ(app.Notice().GetLabel(Control::TextLabel).Caption(), u"内容");
}

TEST(Shutdown, UnloadStopsTheFeedCheck) {
    AppHarness app;
    app.StartWith(FeedWith("D1"));
    app.main->Unload();
    EXPECT_FALSE(app.main->FeedTimer().Enabled());
    app.fake.Advance(120000);
    EXPECT_EQ(app.fake.fetchedUrls.size(), 1u);
}

}  // namespace
}  // namespace velmora::testing
