// A simulated day of checks: new, unchanged, failing and malformed feeds, with
// clicks now and then. Each new pubDate is shown once, the last pubDate moves
// only with a notice, the pop-up always goes away, and memory stays flat.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "fake/app_harness.h"

namespace {
std::atomic<long long> liveBytes{0};
}

void* operator new(std::size_t size) {
    auto* block = static_cast<std::size_t*>(std::malloc(size + sizeof(std::max_align_t)));
    if (!block) throw std::bad_alloc();
    *block = size;
    liveBytes += static_cast<long long>(size);
    return reinterpret_cast<char*>(block) + sizeof(std::max_align_t);
}

void operator delete(void* p) noexcept {
    if (!p) return;
    auto* block = reinterpret_cast<std::size_t*>(static_cast<char*>(p) - sizeof(std::max_align_t));
    liveBytes -= static_cast<long long>(*block);
    std::free(block);
}

void operator delete(void* p, std::size_t) noexcept {
    operator delete(p);
}

namespace velmora::testing {
namespace {

TEST(LongRun, ADayOfChecksShowsEachNewItemOnceAndStaysFlat) {
    AppHarness app;
    std::string modelLast;
    int expectedShows = 0;
    int pubDateCounter = 0;
    std::string current = "D0";
    long long liveAtWarmUp = 0;
    int totalShows = 0;

    auto serveFor = [&](int check) -> FetchScript {
        switch (check % 11) {
            case 0:
                current = "D" + std::to_string(++pubDateCounter);
                return Serve(FeedWith(current));
            case 1:
                return Serve(FeedWith(current));
            case 2:
                return Failure();
            case 3:
                return Serve("<html>no items here</html>");
            case 4:
                return Serve(
                    "<item></link><link>x</link><pubDate>E</pubDate><title><![CDATA[t]]></title>"
                    "<description><![CDATA[d]]></description>");
            case 5:
                return Serve(std::string(33000, ' ') + FeedWith("Overflow"));
            case 6:
                current = "D" + std::to_string(++pubDateCounter);
                return Serve(FeedWith(current), 20000);
            case 7:
                return Serve(FeedWith(current, "\xE4\xB8\xAD[b]\xE6\x96\x87", "file:///etc/passwd"));
            case 8:
                return Serve(FeedWith(current.substr(0, 1)));  // an older item comes back first
            case 9:
                return Serve("");
            default:
                return Serve(FeedWith(current, "t", "http://a/", std::string(5000, 'x')));
        }
    };
    auto expect = [&](int check) {
        std::string pubDate;
        switch (check % 11) {
            case 0:
            case 1:
            case 6:
            case 7:
            case 10:
                pubDate = current;
                break;
            case 8:
                pubDate = current.substr(0, 1);
                break;
            default:
                return;
        }
        if (pubDate != modelLast) {
            ++expectedShows;
            modelLast = pubDate;
        }
    };

    auto advanceTo = [&](std::int64_t t) { app.fake.Advance(std::max<std::int64_t>(0, t - app.fake.Now())); };

    app.fake.QueueFetch(serveFor(0));
    app.Start();
    expect(0);
    for (int check = 1; check < 1440; ++check) {
        app.fake.QueueFetch(serveFor(check));
        // The last notice is gone before the next check.
        advanceTo(60000LL * check - 1);
        if (app.main->Popup()) {
            ASSERT_FALSE(app.main->Popup()->IsLoaded()) << "check " << check;
        }
        advanceTo(60000LL * check);
        expect(check);
        ASSERT_EQ(app.Shows(), expectedShows) << "check " << check;
        ASSERT_EQ(TextToUtf8(app.main->LastPubDate()), modelLast) << "check " << check;
        if (check % 7 == 0 && app.main->Popup() && app.main->Popup()->IsLoaded())
            app.fake.Click(WindowKind::Popup, check % 2 ? Control::CloseMark : Control::DetailsLink);
        // Keep only the recent records, as a long-running shell would.
        totalShows += app.Shows();
        expectedShows -= app.Shows();
        app.fake.log.clear();
        app.fake.fetchedUrls.clear();
        app.fake.openedLinks.clear();
        app.fake.announcements.clear();
        app.fake.heightHistory.clear();
        if (check == 200) liveAtWarmUp = liveBytes;
    }
    ::testing::Test::RecordProperty("notices", totalShows);
    ::testing::Test::RecordProperty("growth_bytes", static_cast<int>(liveBytes - liveAtWarmUp));
    EXPECT_GT(totalShows, 500);
    EXPECT_GT(pubDateCounter, 200);
    EXPECT_TRUE(app.fake.unhandledErrors.empty());
    EXPECT_FALSE(app.fake.Ended());
    EXPECT_LT(liveBytes - liveAtWarmUp, 16 * 1024) << "memory grew over the day";
}

}  // namespace
}  // namespace velmora::testing
