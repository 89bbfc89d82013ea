// A notice waits for its reader: held while the user is away, shown on
// return with its whole lifetime, replaced by a newer item, never held on a
// question without an answer, and nothing asked while nothing waits.
#include <gtest/gtest.h>

#include "fake/app_harness.h"

namespace velmora::testing {
namespace {

TEST(HeldNotice, WaitsCountedAsSeenThenShowsOnReturnWithItsWholeLifetime) {
    AppHarness app;
    app.fake.userPresence = UserPresence::Away;
    app.fake.QueueFetch(Serve(FeedWith("D1", "First")));
    app.fake.QueueFetch(Serve(FeedWith("D1", "First")));
    app.Start();
    EXPECT_EQ(app.main->LastPubDate(), u"D1");
    app.fake.Advance(61000);     // the same item at 60 s is no second notice
    app.fake.PresenceChanged();  // news, but still away
    EXPECT_EQ(app.Shows(), 0);
    EXPECT_EQ(app.Popup(), nullptr);
    EXPECT_GT(app.fake.presenceAsks, 20);  // asked every few seconds meanwhile

    app.fake.userPresence = UserPresence::Available;
    const std::int64_t back = app.fake.Now();
    while (app.Shows() == 0 && app.fake.Now() < back + kPresenceIntervalMs) app.fake.Advance(10);
    ASSERT_EQ(app.Shows(), 1);
    EXPECT_EQ(app.Popup()->LabelCaption(Control::TitleLabel), u"First");
    EXPECT_EQ(app.Notice().ShowTicks(), 0);
    app.fake.Advance(29500);
    EXPECT_EQ(app.Notice().ShowTicks(), 29);
    EXPECT_TRUE(app.Notice().IsLoaded());
    app.fake.Advance(1500);
    EXPECT_FALSE(app.Notice().IsLoaded());
    // Nothing waits now, so nothing asks.
    const int asks = app.fake.presenceAsks;
    app.fake.Advance(20000);
    EXPECT_EQ(app.fake.presenceAsks, asks);
    EXPECT_EQ(app.Shows(), 1);
}

TEST(HeldNotice, NewerItemReplacesTheHeldOneWhichShowsOnTheDesktopsNewsEvenAfterAFailedLoad) {
    AppHarness app;
    app.fake.userPresence = UserPresence::Away;
    app.fake.QueueFetch(Serve(FeedWith("D1", "First")));
    app.fake.QueueFetch(Serve(FeedWith("D2", "Second", "http://news.example/2", "two")));
    app.Start();
    app.fake.Advance(60000);
    EXPECT_EQ(app.main->LastPubDate(), u"D2");
    app.fake.userPresence = UserPresence::Available;
    // A pop-up that fails to load on return keeps the notice for the next look.
    app.fake.failNextLoad = WindowKind::Popup;
    app.fake.PresenceChanged();
    EXPECT_EQ(app.fake.unhandledErrors.size(), 1u);
    ASSERT_TRUE(app.main->HeldNotice());
    const std::int64_t back = app.fake.Now();
    app.fake.PresenceChanged();
    EXPECT_EQ(app.fake.Now(), back);
    ASSERT_EQ(app.Shows(), 1);
    EXPECT_EQ(app.Popup()->LabelCaption(Control::TitleLabel), u"Second");
    EXPECT_EQ(app.Popup()->LabelCaption(Control::TextLabel), u"two");
    EXPECT_EQ(app.Notice().GetLabel(Control::DetailsLink).Tag(), u"http://news.example/2");
    EXPECT_FALSE(app.main->HeldNotice());
}

TEST(HeldNotice, AvailableOrUnanswerableShowsAtOnceAndIdleAsksNothing) {
    for (UserPresence presence : {UserPresence::Available, UserPresence::Unknown}) {
        AppHarness app;
        app.fake.userPresence = presence;
        app.StartWith(FeedWith("D1"));
        EXPECT_EQ(app.Shows(), 1);
        EXPECT_FALSE(app.main->HeldNotice());
        app.fake.Advance(300000);
        EXPECT_EQ(app.fake.presenceAsks, 1);
    }
}

}  // namespace
}  // namespace velmora::testing
