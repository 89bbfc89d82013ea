// The main window's shake: 20 jitters around the rounded saved place, then
// back to it.
#include <gtest/gtest.h>

#include "fake/app_harness.h"

namespace velmora::testing {
namespace {

struct ShakeTest : ::testing::Test {
    AppHarness app;
    FakeWindow* window = nullptr;
    void SetUp() override {
        app.StartWith(FeedWith(""));  // nothing shown, so only the shake moves windows
        window = app.fake.Window(WindowKind::MainWindow);
        ASSERT_NE(window, nullptr);
    }
    void PlaceAt(float left, float top) {
        window->SetLeft(left);
        window->SetTop(top);
        window->moves.clear();
    }
    void Shake() {
        app.fake.RunEvent([&] { app.main->Shake(); });
    }
};

TEST_F(ShakeTest, EndsAtTheSavedPositionRoundedHalfToEven) {
    PlaceAt(1000.5f, 2001.5f);
    Shake();
    EXPECT_EQ(window->Left(), 1000.0f);
    EXPECT_EQ(window->Top(), 2002.0f);
    EXPECT_EQ(app.main->ShakeLeft(), 1000);
    EXPECT_EQ(app.main->ShakeTop(), 2002);
}

TEST_F(ShakeTest, TwentyTicksEachWithinFortyTwipsOnIndependentAxes) {
    PlaceAt(3000, 2000);
    const std::int64_t start = app.fake.Now();
    Shake();
    EXPECT_EQ(app.main->ShakeTicks(), 20);
    EXPECT_FALSE(app.main->ShakeTimer().Enabled());
    EXPECT_EQ(app.fake.randomizeCount, 20);  // reseeded on every tick
    EXPECT_EQ(app.fake.Now() - start, 20 * 25);
    // Each tick sets Left then Top; the last two moves put the window back.
    ASSERT_EQ(window->moves.size(), 2u * 20 + 2);
    bool axesDiffer = false;
    for (std::size_t i = 1; i < 40; i += 2) {
        auto [left, top] = window->moves[i];
        EXPECT_GE(left, 2960);
        EXPECT_LE(left, 3040);
        EXPECT_GE(top, 1960);
        EXPECT_LE(top, 2040);
        axesDiffer |= (left - 3000) != (top - 2000);
    }
    EXPECT_TRUE(axesDiffer);
    EXPECT_EQ(window->moves.back(), std::make_pair(3000.0f, 2000.0f));
}

TEST_F(ShakeTest, JitterSpansEightyTwipsFromTheOffset) {
    PlaceAt(3000, 2000);
    for (int i = 0; i < 20; ++i) {
        app.fake.randomValues.push_back(0.0f);
        app.fake.randomValues.push_back(0.999f);
    }
    Shake();
    EXPECT_FLOAT_EQ(window->moves[1].first, 2960);
    EXPECT_FLOAT_EQ(window->moves[1].second, 1960 + 0.999f * 80);
}

TEST_F(ShakeTest, PositionBeyondSixteenBitsFailsAtOnceWithoutMoving) {
    PlaceAt(40000, 100);
    bool failed = false;
    app.fake.RunEvent([&] {
        try {
            app.main->Shake();
        } catch (const RuntimeError& e) {
            failed = e.code() == ErrorCode::Overflow;
        }
    });
    EXPECT_TRUE(failed);
    EXPECT_TRUE(window->moves.empty());
    EXPECT_FALSE(app.main->ShakeTimer().Enabled());
    EXPECT_EQ(app.main->ShakeTicks(), 0);
}

TEST_F(ShakeTest, PositionBelowTheOffsetLimitStillEndsAndRestores) {
    PlaceAt(-32760, -32768);
    Shake();
    EXPECT_EQ(app.main->ShakeTicks(), 20);
    EXPECT_FALSE(app.main->ShakeTimer().Enabled());
    EXPECT_EQ(window->Left(), -32760.0f);
    EXPECT_EQ(window->Top(), -32768.0f);
    EXPECT_GE(window->moves[1].first, -32800);
    EXPECT_TRUE(app.fake.unhandledErrors.empty());
}

TEST_F(ShakeTest, OtherEventsRunDuringTheShake) {
    PlaceAt(3000, 2000);
    app.fake.QueueFetch(Serve(FeedWith("D1")));
    // Start the shake 300 ms before the feed-check tick falls due.
    app.fake.Advance(60000 - 300 - app.fake.Now());
    Shake();
    EXPECT_EQ(app.Shows(), 1);
    EXPECT_EQ(window->Left(), 3000.0f);
}

}  // namespace
}  // namespace velmora::testing
