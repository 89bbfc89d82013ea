// The pop-up: content and placement, the slide and lifetime on the virtual
// clock, and its two labels.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <tuple>
#include <utility>

#include "core/contrast.h"
#include "fake/app_harness.h"
#include "platform/common/background_scale.h"
#include "platform/common/units.h"
#include "popup/popup_design.h"
#include "popup/popup_labels.h"

namespace velmora::testing {
namespace {

constexpr float kScreenHeight = 1080 * 15.0f;

struct PopupTest : ::testing::Test {
    AppHarness app;
    void Start(const std::string& title = "Title", const std::string& link = "http://news.example/1",
               const std::string& text = "Text") {
        app.StartWith(FeedWith("D1", title, link, text));
        ASSERT_NE(app.Popup(), nullptr);
    }
    // Lets one slide tick pass and returns the height it set.
    float SlideTick() {
        auto& history = app.fake.heightHistory[WindowKind::Popup];
        std::size_t before = history.size();
        app.fake.Advance(30);
        EXPECT_EQ(history.size(), before + 1);
        return history.back();
    }
    float Bottom() const { return app.Popup()->Top() + app.Popup()->Height(); }
};

TEST_F(PopupTest, CaptionsAreCutWithoutEllipsisAndTheLinkIsKeptWhole) {
    const std::string link = "http://news.example/" + std::string(3000, 'a');
    Start("Twenty characters!!!", link, std::string(200, 'x'));
    EXPECT_EQ(app.Popup()->LabelCaption(Control::TitleLabel), u"Twenty charact");
    EXPECT_EQ(app.Popup()->LabelCaption(Control::TextLabel), Text(125, u'x'));
    EXPECT_EQ(app.Notice().GetLabel(Control::DetailsLink).Tag(), Utf8ToText(link));
    EXPECT_TRUE(app.Popup()->shown());
    // A screen reader hears what the labels show (the order after showing is
    // in the start-up test).
    EXPECT_EQ(app.fake.announcements,
              (std::vector<std::pair<Text, Text>>{{u"Twenty charact", Text(125, u'x')}}));
}

TEST_F(PopupTest, CutsNeverLeaveHalfASurrogatePair) {
    // 13 units, then an emoji across the 14-unit boundary.
    Start("abcdefghijklm\xF0\x9F\x98\x80z");
    EXPECT_EQ(app.Popup()->LabelCaption(Control::TitleLabel), u"abcdefghijklm");
    EXPECT_EQ(TitleCaption(u"abcdefghijkl\U0001F600z"), u"abcdefghijkl\U0001F600");
    EXPECT_EQ(TextCaption(Text(124, u'x') + u"\U0001F600"), Text(124, u'x'));
}

TEST_F(PopupTest, EmptyFieldsStillShowThePopup) {
    Start("", "", "");
    EXPECT_EQ(app.Popup()->LabelCaption(Control::TitleLabel), u"");
    EXPECT_EQ(app.Popup()->LabelCaption(Control::TextLabel), u"");
    EXPECT_TRUE(app.Popup()->shown());
}

TEST_F(PopupTest, LoadPlacesTheRightEdge270TwipsInAndStartsAtHeightZero) {
    Start();
    EXPECT_FLOAT_EQ(app.Popup()->Left(), 1920 * 15 - 3780 - 270);
    EXPECT_FLOAT_EQ(app.Popup()->Height(), 0);
    EXPECT_EQ(app.Notice().ShowTicks(), 0);
    EXPECT_TRUE(app.Notice().SlideTimer().Enabled());
    EXPECT_TRUE(app.Notice().LifetimeTimer().Enabled());
}

TEST(PopupPlacement, NarrowScreenIsNotClamped) {
    AppHarness app;
    app.fake.screen.width = 3000;
    app.StartWith(FeedWith("D1"));
    EXPECT_FLOAT_EQ(app.Popup()->Left(), -1050);
}

TEST_F(PopupTest, SlidesInHundredTwipsPerTickToFullHeightAboveTheScreenBottom) {
    Start();
    for (int tick = 1; tick <= 27; ++tick) {
        EXPECT_FLOAT_EQ(SlideTick(), (tick - 1) * 100.0f) << "tick " << tick;
        EXPECT_FLOAT_EQ(Bottom(), kScreenHeight - 450);
    }
    EXPECT_FALSE(app.Notice().SlideTimer().Enabled());
    EXPECT_EQ(app.fake.Now(), 810);
    EXPECT_FLOAT_EQ(app.Popup()->Top(), kScreenHeight - 3050);
    app.fake.Advance(1000);
    EXPECT_EQ(app.Popup()->heights.size(), 28u);  // up and waiting: the height stays put
}

TEST(PopupSlide, BottomEdgeHoldsWhenThePlatformKeepsWholePixels) {
    AppHarness app;
    app.fake.roundHeightsToPixels = true;
    app.fake.screen.twipsPerPixelY = 12;  // 120 DPI: 100-twip steps are not whole pixels
    app.StartWith(FeedWith("D1"));
    for (int tick = 1; tick <= 27; ++tick) {
        app.fake.Advance(30);
        FakeWindow* popup = app.Popup();
        EXPECT_FLOAT_EQ(popup->Top() + popup->Height(), 1080 * 15.0f - 450) << "tick " << tick;
    }
}

TEST_F(PopupTest, UntouchedNoticeSlidesOutOnThe30thLifetimeTickAndUnloads) {
    Start();
    app.fake.Advance(29999);
    EXPECT_FALSE(app.Notice().SlideTimer().Enabled());  // up and waiting
    app.fake.Advance(1);
    EXPECT_EQ(app.Notice().ShowTicks(), 30);
    ASSERT_TRUE(app.Notice().SlideTimer().Enabled());
    std::vector<float> heights;
    while (app.Popup()) heights.push_back(SlideTick());
    ASSERT_EQ(heights.size(), 27u);
    EXPECT_FLOAT_EQ(heights.front(), 2600);
    EXPECT_FLOAT_EQ(heights.back(), 0);
    EXPECT_EQ(app.fake.Now(), 30810);
    EXPECT_FALSE(app.Notice().IsLoaded());
    EXPECT_FALSE(app.Notice().LifetimeTimer().Enabled());
    EXPECT_EQ(app.fake.log.back(), "Unload Popup");
}

// A close request to the pop-up unloads it through the core, which then
// loads it afresh for the next notice; the program runs on.
TEST_F(PopupTest, CloseRequestUnloadsThroughTheCore) {
    Start();
    app.fake.RequestClose(WindowKind::Popup);
    EXPECT_EQ(app.Popup(), nullptr);
    EXPECT_FALSE(app.Notice().IsLoaded());
    EXPECT_FALSE(app.Notice().SlideTimer().Enabled());
    EXPECT_FALSE(app.Notice().LifetimeTimer().Enabled());
    EXPECT_FALSE(app.fake.Ended());
    EXPECT_TRUE(app.fake.trayIcon);
}

TEST_F(PopupTest, CloseDuringSlideInReversesFromTheCurrentHeight) {
    Start();
    while (app.Notice().SlideHeight() < 1200) SlideTick();
    app.Notice().CloseNotice();
    int ticks = 0;
    float first = -1;
    while (app.Popup()) {
        float h = SlideTick();
        if (ticks++ == 0) first = h;
    }
    EXPECT_FLOAT_EQ(first, 1200);
    EXPECT_EQ(ticks, 13);
}

TEST_F(PopupTest, CloseWhileSlidingOutOrLateLifetimeTicksChangeNothing) {
    Start();
    app.fake.Advance(30000);
    SlideTick();
    SlideTick();
    const std::int16_t height = app.Notice().SlideHeight();
    app.Notice().CloseNotice();
    EXPECT_FLOAT_EQ(SlideTick(), height);  // goes on down from where it was
    EXPECT_FLOAT_EQ(SlideTick(), height - 100);
    app.fake.Advance(2000);  // lifetime ticks 31 and 32 during the slide-out
    EXPECT_FALSE(app.Notice().IsLoaded());
    EXPECT_EQ(app.fake.LoadCount(WindowKind::Popup), 1);
}

TEST_F(PopupTest, NextNoticeLoadsAgainFromTheStart) {
    Start();
    app.fake.Advance(31000);
    ASSERT_FALSE(app.Notice().IsLoaded());
    app.fake.QueueFetch(Serve(FeedWith("D2", "Again")));
    app.fake.Advance(60000 - 31000);
    ASSERT_TRUE(app.Notice().IsLoaded());
    EXPECT_EQ(app.fake.LoadCount(WindowKind::Popup), 2);
    EXPECT_EQ(app.Notice().ShowTicks(), 0);
    EXPECT_EQ(app.Notice().SlideHeight(), 0);
    EXPECT_EQ(app.Popup()->LabelCaption(Control::TitleLabel), u"Again");
    EXPECT_EQ(app.Popup()->LabelCaption(Control::TextLabel), u"Text");
    EXPECT_FLOAT_EQ(SlideTick(), 0);  // sliding in again, not on out
    EXPECT_FLOAT_EQ(SlideTick(), 100);
}

// A slow first check shows its item late, so the next tick's notice meets
// the pop-up still loaded.
struct ReshowTest : ::testing::Test {
    AppHarness app;
    void FirstNoticeAt(std::int64_t ms) {
        app.fake.QueueFetch(Serve(FeedWith("D1", "First", "http://a/1", "one"), ms));
        app.fake.QueueFetch(Serve(FeedWith("D2", "Second", "http://a/2", "two")));
        app.Start();
        ASSERT_EQ(app.Shows(), 1);
        ASSERT_EQ(app.fake.Now(), ms);
    }
};

TEST_F(ReshowTest, NoticeWhileUpReplacesTextsAndLinkAndKeepsTheLifetime) {
    FirstNoticeAt(40000);
    app.fake.Advance(20000);  // the tick at 60 s
    EXPECT_EQ(app.Shows(), 2);
    EXPECT_EQ(app.fake.LoadCount(WindowKind::Popup), 1);
    EXPECT_EQ(app.Popup()->LabelCaption(Control::TitleLabel), u"Second");
    EXPECT_EQ(app.Popup()->LabelCaption(Control::TextLabel), u"two");
    EXPECT_EQ(app.Notice().GetLabel(Control::DetailsLink).Tag(), u"http://a/2");
    EXPECT_EQ(app.Notice().ShowTicks(), 20);
    EXPECT_EQ(app.main->LastPubDate(), u"D2");
    EXPECT_EQ(app.fake.announcements.size(), 2u);  // a new notice is news, loaded or not
    EXPECT_EQ(app.fake.announcements.back(), std::make_pair(Text(u"Second"), Text(u"two")));
    // The slide-out still starts 30 lifetime ticks after the load at 40 s.
    app.fake.Advance(10000);
    auto& history = app.fake.heightHistory[WindowKind::Popup];
    const std::size_t before = history.size();
    app.fake.Advance(60);
    EXPECT_EQ(history.size(), before + 2);
    EXPECT_FLOAT_EQ(history.back(), 2500);
    app.fake.Advance(750);
    EXPECT_FALSE(app.Notice().IsLoaded());
}

TEST_F(ReshowTest, NoticeDuringTheSlideOutGoesWithIt) {
    FirstNoticeAt(29500);
    app.fake.Advance(30000);                           // slide-out from 59.5 s
    ASSERT_TRUE(app.Notice().SlideTimer().Enabled());  // in since 30.31 s: this is the slide-out
    app.fake.Advance(500);                             // the tick at 60 s
    EXPECT_EQ(app.Shows(), 2);
    EXPECT_EQ(app.Popup()->LabelCaption(Control::TitleLabel), u"Second");
    app.fake.Advance(1000);
    EXPECT_FALSE(app.Notice().IsLoaded());
    EXPECT_EQ(app.fake.LoadCount(WindowKind::Popup), 1);
}

struct LabelTest : PopupTest {
    void SetUp() override { Start(); }
};

TEST_F(LabelTest, PressShowsThePressedLookAndReleaseUndoesIt) {
    for (Control label : {Control::CloseMark, Control::DetailsLink}) {
        const auto design = app.Popup()->LabelPosition(label);
        app.fake.Press(WindowKind::Popup, label);
        EXPECT_EQ(app.Popup()->LabelPosition(label), std::make_pair(design.first - 15, design.second + 15));
        app.fake.Release(WindowKind::Popup, label);
        EXPECT_EQ(app.Popup()->LabelPosition(label), design);
    }
}

TEST_F(LabelTest, CloseLabelStartsTheSlideOutWithAnyButton) {
    app.fake.Advance(30 * 27);
    app.fake.Click(WindowKind::Popup, Control::CloseMark, 2);  // right button
    ASSERT_TRUE(app.Notice().SlideTimer().Enabled());
    int ticks = 0;
    while (app.Popup()) {
        SlideTick();
        ++ticks;
    }
    EXPECT_EQ(ticks, 27);
    EXPECT_TRUE(app.fake.openedLinks.empty());
}

TEST_F(LabelTest, ViewDetailsOpensTheLinkThenCloses) {
    app.fake.Click(WindowKind::Popup, Control::DetailsLink, 4);  // middle button
    EXPECT_EQ(app.fake.openedLinks, std::vector<Text>{u"http://news.example/1"});
    // A second click before the unload opens the link again.
    app.fake.Click(WindowKind::Popup, Control::DetailsLink);
    EXPECT_EQ(app.fake.openedLinks.size(), 2u);
    app.fake.Advance(30);  // clicked at height 0: the next slide tick closes it
    EXPECT_FALSE(app.Notice().IsLoaded());
}

// A screen reader's default actions: the click's effect, without the
// pressed look, and the link goes through the same launch policy.
TEST_F(LabelTest, InvokedLabelsActLikeAClick) {
    const auto design = app.Popup()->LabelPosition(Control::DetailsLink);
    app.fake.Invoke(WindowKind::Popup, Control::DetailsLink);
    EXPECT_EQ(app.fake.openedLinks, std::vector<Text>{u"http://news.example/1"});
    EXPECT_EQ(app.Popup()->LabelPosition(Control::DetailsLink), design);
    EXPECT_TRUE(app.Notice().SlideTimer().Enabled());
    app.fake.Advance(30);
    EXPECT_FALSE(app.Notice().IsLoaded());

    AppHarness hostile;
    hostile.StartWith(FeedWith("D1", "Title", "file:///C:/Windows/System32/calc.exe"));
    hostile.fake.Invoke(WindowKind::Popup, Control::DetailsLink);
    EXPECT_TRUE(hostile.fake.openedLinks.empty());

    AppHarness closing;
    closing.StartWith(FeedWith("D1"));
    closing.fake.Advance(30 * 27);
    closing.fake.Invoke(WindowKind::Popup, Control::CloseMark);
    closing.fake.Advance(30 * 27);
    EXPECT_FALSE(closing.Notice().IsLoaded());
    EXPECT_TRUE(closing.fake.openedLinks.empty());
}

TEST(LinkLaunch, OnlyWebAddressesReachTheShellAndThePopupClosesEitherWay) {
    struct Case {
        std::string link;
        Text launched;  // empty: nothing reaches the shell
    };
    const Case cases[] = {
        {"http://news.example/a?b=c#d", u"http://news.example/a?b=c#d"},
        {"HTTPS://News.Example", u"https://news.example"},
        {"https://user@host.example:8443/x", u"https://user@host.example:8443/x"},
        {"http://127.0.0.1:8080/", u"http://127.0.0.1:8080/"},
        {"\n  https://example.com/a\n", u"https://example.com/a"},
        {" \t\r\nhttp://leading.space/ \r\n", u"http://leading.space/"},
        {"", u""},
        {" \n ", u""},
        {"file:///C:/Windows/System32/calc.exe", u""},
        {"C:\\Windows\\System32\\calc.exe", u""},
        {"\\\\server\\share\\run.exe", u""},
        {"javascript:alert(1)", u""},
        {"ms-settings:privacy", u""},
        {"http:/only-one-slash", u""},
        {"http://", u""},
        {"http:///path", u""},
        {"https://:80/", u""},
        {"http://host\r\n.example/", u""},
        {"mailto:a@b.example", u""},
        // One spelling for every platform: what a URI may not hold escaped,
        // equivalent forms written one way.
        {"http://a.example/\" --new-window \"x", u"http://a.example/%22%20--new-window%20%22x"},
        {"http://a.example/`|^<>{}\\", u"http://a.example/%60%7C%5E%3C%3E%7B%7D%5C"},
        {"http://a.example/%41%zz%4g%PATH%%7e%2f", u"http://a.example/A%25zz%254g%25PATH%25~%2F"},
        {"https://a.example/新闻?q=é#f#g😀",
         u"https://a.example/%E6%96%B0%E9%97%BB?q=%C3%A9#f%23g%F0%9F%98%80"},
        {"http://U@[::1]:80/P[1]?a'b!$&()*+,;=:@~-._", u"http://U@[::1]:80/P[1]?a'b!$&()*+,;=:@~-._"},
        {"http://a.example/?id=1&amp;from=rss", u"http://a.example/?id=1&from=rss"},
    };
    for (const auto& c : cases) {
        AppHarness app;
        app.StartAndOpenDetails(c.link);
        if (c.launched.empty()) {
            EXPECT_TRUE(app.fake.openedLinks.empty()) << c.link;
        } else {
            ASSERT_EQ(app.fake.openedLinks.size(), 1u) << c.link;
            EXPECT_EQ(app.fake.openedLinks[0], c.launched) << c.link;
        }
        app.fake.Advance(1000);
        EXPECT_FALSE(app.Notice().IsLoaded()) << c.link;
    }
}

// Between the scalings it is drawn for, the background comes from the next
// larger picture (shrunk, so sharp), never from a smaller one enlarged.
TEST(PopupBackground, EachScalingGetsItsOwnPictureOrTheNextLarger) {
    const std::pair<double, double> cases[] = {
        {1.0, 1.0},  {1.25, 1.25}, {120 / 96.0f, 1.25}, {1.5, 1.5}, {2.0, 2.0},  // drawn for
        {0.75, 1.0}, {1.1, 1.25},  {1.75, 2.0},         {2.5, 2.0},              // in between, beyond
    };
    for (const auto& [scale, picture] : cases) EXPECT_EQ(BackgroundScaleFor(scale), picture) << scale;
}

// 15 twips per pixel, as both programs count at 96 DPI.
const PixelScale kScale{15, 15, TwipsToPixels, PixelsToTwips};

// WCAG 2.1 AA: 4.5:1 for text, 3:1 for the close mark as a control. The text
// label takes the theme's colour, which may be light, or as dark as the band.
TEST(PopupContrast, EveryLabelReadsOnThePictureWhateverTheTheme) {
    const Rgb themes[] = {{0, 0, 0}, {255, 255, 255}, {200, 200, 200}, {255, 255, 0}, {118, 118, 118}};
    for (Rgb theme : themes) {
        const PopupLabels labels(PopupDesign(), kScale, theme);
        for (const PopupLabel& label : labels.All()) {
            const Rgb behind = label.id == Control::CloseMark ? kPopupBand : kPopupBody;
            const double needed = label.role == AccessibleRole::Button ? 3.0 : 4.5;
            EXPECT_GE(ContrastRatio(label.colour, behind), needed) << TextToUtf8(label.caption);
        }
    }
    // A readable theme colour is kept, not replaced by black.
    const Rgb grey{118, 118, 118};
    const Rgb kept = ReadableOn(grey, kPopupBody);
    EXPECT_EQ(std::make_tuple(kept.red, kept.green, kept.blue), std::make_tuple(118, 118, 118));
}

// The close mark at (232, 6)-(249, 23), the link at (192, 150)-(251, 167).
TEST(PopupLabelPress, ThePressedLabelOwnsTheMouseUntilItsOwnButtonComesUp) {
    PopupLabels labels(PopupDesign(), kScale, Rgb{0, 0, 0});
    EXPECT_EQ(labels.Press(10, 100, kLeftButton, 0), std::nullopt);  // between the labels
    EXPECT_EQ(labels.Press(240, 10, 0, 0), std::nullopt);            // a button the events have no number for
    const std::optional<LabelMouse> down = labels.Press(240, 10, kRightButton, ShiftOf(true, false, true));
    ASSERT_TRUE(down);
    EXPECT_EQ(down->label, Control::CloseMark);
    EXPECT_EQ(std::make_tuple(down->args.button, down->args.shift, down->args.x, down->args.y),
              std::make_tuple(kRightButton, 5, 8 * 15.0f, 4 * 15.0f));
    EXPECT_EQ(labels.Press(200, 155, kLeftButton, 0), std::nullopt);    // a second button while one is held
    EXPECT_EQ(labels.Release(200, 155, kLeftButton, 0), std::nullopt);  // its release is not the label's
    // Released over another label, the release is still the pressed one's.
    const std::optional<LabelMouse> up = labels.Release(200, 155, kRightButton, 0);
    ASSERT_TRUE(up);
    EXPECT_EQ(up->label, Control::CloseMark);
    EXPECT_EQ(std::make_tuple(up->args.x, up->args.y), std::make_tuple(-32 * 15.0f, 149 * 15.0f));
    EXPECT_FALSE(labels.Pressed());
    // Capture taken away: the release that follows belongs to no label.
    ASSERT_TRUE(labels.Press(200, 155, kLeftButton, 0));
    labels.CaptureLost();
    EXPECT_EQ(labels.Release(200, 155, kLeftButton, 0), std::nullopt);
}

TEST(PopupLabelPress, AMovedLabelKeepsItsSizeAndIsHitWhereItNowStands) {
    PopupLabels labels(PopupDesign(), kScale, Rgb{0, 0, 0});
    ASSERT_TRUE(labels.Move(Control::DetailsLink, 15 * 10, 15 * 20));
    EXPECT_FALSE(labels.Move(Control::TrayCallbackBox, 0, 0));
    const PixelRect moved = labels.Find(Control::DetailsLink)->bounds;
    EXPECT_EQ(std::make_tuple(moved.left, moved.top, moved.right, moved.bottom),
              std::make_tuple(10, 20, 69, 37));
    const std::optional<LabelMouse> down = labels.Press(12, 25, kLeftButton, 0);
    ASSERT_TRUE(down);
    EXPECT_EQ(down->label, Control::DetailsLink);
    // A window slid to height 0 is hidden, not a speck.
    EXPECT_FALSE(PopupVisible(true, 0));
    EXPECT_TRUE(PopupVisible(true, 1));
    EXPECT_FALSE(PopupVisible(false, 173));
}

}  // namespace
}  // namespace velmora::testing
