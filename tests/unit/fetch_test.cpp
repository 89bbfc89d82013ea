// What both Linux fetches promise the program, each against a local server:
// the libcurl fetch in process (velmora-check) and the one through the
// velmora-fetch helper (the resident program).
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <thread>

#include "platform/fetch/http_fetch.h"
#include "platform/fetch/http_validators.h"
#include "platform/posix/spawn_fetch.h"
#include "support/fetch_fixture.h"

namespace velmora {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using std::chrono::steady_clock;

struct Fetcher {
    const char* name;
    std::unique_ptr<FetchRequest> (*start)(const Text& url, std::function<void()> wake);
};

void PrintTo(const Fetcher& fetcher, std::ostream* out) {
    *out << fetcher.name;
}

const Fetcher kInProcess{"InProcess", &StartHttpFetch};
const Fetcher kThroughHelper{"ThroughHelper", [](const Text& url, std::function<void()> wake) {
                                 return StartSpawnFetch(url, std::move(wake), VELMORA_FETCH_HELPER,
                                                        SharedValidatorCache());
                             }};

class EitherFetch : public testing::FetchFixture, public ::testing::WithParamInterface<Fetcher> {
protected:
    std::unique_ptr<FetchRequest> StartAt(const std::string& url) override {
        return GetParam().start(Utf8ToText(url), wakes_.Reset());
    }
};

INSTANTIATE_TEST_SUITE_P(, EitherFetch, ::testing::Values(kInProcess, kThroughHelper),
                         [](const ::testing::TestParamInfo<Fetcher>& info) { return info.param.name; });

TEST_P(EitherFetch, DocumentArrivesWholeWithItsCharsetAfterOneWake) {
    const FetchedDocument document = Get("/charset/GBK/zh_gbk_nodecl.xml");
    EXPECT_EQ(document.body, FeedFile("zh_gbk_nodecl.xml"));
    EXPECT_EQ(document.headerCharset, "GBK");
    EXPECT_EQ(wakes_.Count(), 1);
    // A urls.txt item may hold spaces and Chinese; libcurl refuses them raw.
    EXPECT_EQ(Get("/feeds/cdata_news.xml?q=新闻 列表").body, FeedFile("cdata_news.xml"));
}

TEST_P(EitherFetch, ErrorStatusFailsAndItsPageIsNeverTheFeed) {
    // The error pages hold a complete item; reading them would show it.
    for (const std::string status : {"404", "500", "403", "503"}) {
        const std::string reason = Reason("/status/" + status);
        EXPECT_NE(reason.find("could not fetch " + server_->Url("/status/" + status) + ": "),
                  std::string::npos)
            << reason;
        EXPECT_NE(reason.find("HTTP status " + status), std::string::npos) << reason;
    }
}

TEST_P(EitherFetch, UnchangedFeedComesFromMemoryAfterA304) {
    const std::string path = "/validated/cdata_news.xml";
    const FetchedDocument first = Get(path);
    EXPECT_NE(first.body.find("version 1"), std::string::npos);
    EXPECT_EQ(Get(path).body, first.body);
    // The feed changes: the whole new document comes, then 304s again.
    Get("/bump");
    const FetchedDocument changed = Get(path);
    EXPECT_NE(changed.body.find("version 2"), std::string::npos);
    EXPECT_EQ(Get(path).body, changed.body);
    const std::string stats = Get("/stats").body;
    EXPECT_NE(stats.find("\"ok\": 2"), std::string::npos) << stats;
    EXPECT_NE(stats.find("\"notModified\": 2"), std::string::npos) << stats;
}

TEST_P(EitherFetch, A304WithNothingRememberedForTheUrlFails) {
    Get("/validated/cdata_news.xml");
    // Only the validated address is remembered; another one's 304 cannot be served.
    EXPECT_NE(Reason("/status/304").find("304"), std::string::npos);
}

TEST_P(EitherFetch, TakeBeforeTheEndWaitsAndASecondTakeFails) {
    auto request = Start("/slow/1/cdata_news.xml");
    EXPECT_TRUE(request->Busy());
    EXPECT_EQ(testing::TakeDocument(*request).body, FeedFile("cdata_news.xml"));
    EXPECT_FALSE(request->Busy());
    EXPECT_EQ(testing::TakeFailure(*request, "a second take"), "the document was already taken");
}

TEST_P(EitherFetch, DestroyingARunningTransferReturnsAtOnceWithoutWakingOrLeavingAHelper) {
    for (const char* path : {"/stall", "/slow/5/cdata_news.xml"}) {
        auto request = Start(path);
        std::this_thread::sleep_for(milliseconds(200));
        EXPECT_TRUE(request->Busy()) << path;
        const auto start = steady_clock::now();
        request.reset();
        EXPECT_LT(steady_clock::now() - start, seconds(2)) << path;
        EXPECT_TRUE(testing::HelperChildren().empty()) << "a helper is left running or unreaped";
    }
    // Destroyed at once, before the transfer got going.
    for (int i = 0; i < 20; ++i) Start("/slow/1/cdata_news.xml").reset();
    EXPECT_TRUE(testing::HelperChildren().empty());
    std::this_thread::sleep_for(milliseconds(100));
    EXPECT_EQ(wakes_.Count(), 0);
}

}  // namespace
}  // namespace velmora
