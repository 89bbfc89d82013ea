// The libcurl fetch against a local server: what counts as a document, what
// fails, and that waiting, finishing and abandoning a transfer are safe.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <netdb.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/http_validators.h"
#include "feed/charset.h"
#include "platform/http_fetch.h"
#include "platform/posix/curl_fetch_internal.h"
#include "support/feed_server.h"
#include "support/fetch_wakes.h"

// A name server that never answers, for one name: its lookups block until
// the test lets them go, at most 20 s. Every other name resolves as usual.
namespace {
constexpr char kSilentName[] = "never-answers.example";
std::mutex gSilentMutex;
std::condition_variable gSilentReleased;
bool gSilentRelease = false;
}  // namespace

extern "C" int getaddrinfo(const char* node, const char* service, const addrinfo* hints, addrinfo** result) {
    if (node && std::strcmp(node, kSilentName) == 0) {
        std::unique_lock lock(gSilentMutex);
        gSilentReleased.wait_for(lock, std::chrono::seconds(20), [] { return gSilentRelease; });
        return EAI_AGAIN;
    }
    using Lookup = int (*)(const char*, const char*, const addrinfo*, addrinfo**);
    static const auto real = reinterpret_cast<Lookup>(dlsym(RTLD_NEXT, "getaddrinfo"));
    return real(node, service, hints, result);
}

namespace velmora {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using std::chrono::steady_clock;

class Fetch : public ::testing::Test {
protected:
    void SetUp() override {
        // The server is local; a proxy from the environment must not take it.
        setenv("no_proxy", "127.0.0.1", 1);
        setenv("NO_PROXY", "127.0.0.1", 1);
        server_ = std::make_unique<testing::FeedServer>(VELMORA_TEST_DATA "/../support/feed_server.py",
                                                        VELMORA_TEST_DATA "/feeds");
    }
    void TearDown() override {
        SetFetchTimeoutsForTesting(0, 0);
        SetFetchCaFileForTesting("");
    }

    std::unique_ptr<FetchRequest> Start(const std::string& path) { return StartAt(server_->Url(path)); }

    std::unique_ptr<FetchRequest> StartAt(const std::string& url) {
        return StartHttpFetch(Utf8ToText(url), wakes_.Reset());
    }

    void AwaitWake(FetchRequest& request, seconds limit = seconds(40)) { wakes_.Await(request, limit); }

    FetchedDocument Get(const std::string& path) {
        auto request = Start(path);
        AwaitWake(*request);
        return request->Take();
    }

    // The failure message of a fetch that must fail.
    std::string Failure(const std::string& path) { return FailureAt(server_->Url(path)); }

    std::string FailureAt(const std::string& url) {
        auto request = StartAt(url);
        AwaitWake(*request);
        return testing::TakeFailure(*request, url);
    }

    static std::string FeedFile(const std::string& name) {
        FILE* f = std::fopen((std::string(VELMORA_TEST_DATA "/feeds/") + name).c_str(), "rb");
        std::string bytes;
        if (!f) return bytes;
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) bytes.append(buffer, n);
        std::fclose(f);
        return bytes;
    }

    std::unique_ptr<testing::FeedServer> server_;
    testing::FetchWakes wakes_;
};

TEST_F(Fetch, OkAnswerIsTheWholeDocumentAfterOneWake) {
    auto request = Start("/feeds/long_ok.xml");
    AwaitWake(*request);
    FetchedDocument document = request->Take();
    EXPECT_EQ(document.body, FeedFile("long_ok.xml"));
    EXPECT_EQ(document.headerCharset, "");
    EXPECT_EQ(wakes_.Count(), 1);
}

TEST_F(Fetch, SpacesAndNonAsciiInTheAddressAreSentEncoded) {
    // A urls.txt item may hold both; libcurl refuses them raw.
    EXPECT_EQ(Get("/feeds/cdata_news.xml?q=新闻 列表").body, FeedFile("cdata_news.xml"));
}

TEST_F(Fetch, ErrorStatusFailsAndItsPageIsNeverTheFeed) {
    // The error pages hold a complete item; reading them would show it.
    for (const char* status : {"404", "500", "403", "503"}) {
        std::string reason = Failure(std::string("/status/") + status);
        EXPECT_NE(reason.find(std::string("HTTP status ") + status), std::string::npos) << reason;
    }
}

TEST_F(Fetch, RedirectsAreFollowedUpToTen) {
    EXPECT_EQ(Get("/redirect/3/feeds/cdata_news.xml").body, FeedFile("cdata_news.xml"));
    EXPECT_EQ(Get("/redirect/10/feeds/cdata_news.xml").body, FeedFile("cdata_news.xml"));
    EXPECT_NE(Failure("/redirect/11/feeds/cdata_news.xml"), "");
}

TEST_F(Fetch, ARedirectFromHttpsToHttpIsRefused) {
    const std::string support = VELMORA_TEST_DATA "/../support/";
    testing::FeedServer tls(support + "feed_server.py", VELMORA_TEST_DATA "/feeds",
                            support + "localhost-cert.pem", support + "localhost-key.pem");
    SetFetchCaFileForTesting(support + "localhost-cert.pem");
    const std::string feed = FeedFile("cdata_news.xml");
    auto get = [this](const std::string& url) {
        auto request = StartAt(url);
        AwaitWake(*request);
        return request->Take().body;
    };
    EXPECT_EQ(get(tls.Url("/redirect/2/feeds/cdata_news.xml")), feed);
    EXPECT_EQ(get(server_->Url("/redirect-to?url=" + tls.Url("/feeds/cdata_news.xml"))), feed);
    const std::string reason =
        FailureAt(tls.Url("/redirect-to?url=" + server_->Url("/feeds/cdata_news.xml")));
    EXPECT_NE(reason.find("from https to http"), std::string::npos) << reason;
}

TEST_F(Fetch, OnlyHttpAndHttpsAreSpoken) {
    // A redirect must not lead the fetch to another protocol.
    EXPECT_NE(Failure("/redirect-to?url=file:///etc/passwd"), "");
    EXPECT_NE(Failure("/redirect-to?url=ftp://127.0.0.1/feed.xml"), "");
}

TEST_F(Fetch, CompressedBodiesArriveDecompressed) {
    EXPECT_EQ(Get("/gzip/zh_utf8.xml").body, FeedFile("zh_utf8.xml"));
    EXPECT_EQ(Get("/deflate/zh_utf8.xml").body, FeedFile("zh_utf8.xml"));
}

TEST_F(Fetch, BodyOverTheCapFails) {
    const std::string over = std::to_string(kMaxDocumentBytes + 1);
    std::string streamed = Failure("/big/" + over);
    EXPECT_NE(streamed.find("larger than 16 MiB"), std::string::npos) << streamed;
    std::string declared = Failure("/big-declared/" + over);
    EXPECT_NE(declared.find("larger than 16 MiB"), std::string::npos) << declared;
    EXPECT_EQ(Get("/big/100000").body.size(), 100000u);
}

TEST_F(Fetch, ContentTypeCharsetComesWithTheBodyAndDecodesIt) {
    FetchedDocument document = Get("/charset/GBK/zh_gbk_nodecl.xml");
    EXPECT_EQ(document.headerCharset, "GBK");
    Text text = DecodeDocument(document.body, document.headerCharset, SystemDecode);
    EXPECT_NE(text.find(u"关于调整春节放假安排的通知"), Text::npos);
}

TEST_F(Fetch, StalledServerFailsAtTheTransferTimeOut) {
    SetFetchTimeoutsForTesting(1000, 1500);
    const auto start = steady_clock::now();
    std::string reason = Failure("/stall");
    const auto took = steady_clock::now() - start;
    EXPECT_NE(reason.find("timed out"), std::string::npos) << reason;
    EXPECT_GE(took, milliseconds(1400));
    EXPECT_LT(took, seconds(10));
}

TEST_F(Fetch, ANameServerThatNeverAnswersEndsTheTransferAtItsTimeOut) {
    setenv("no_proxy", "*", 1);
    SetFetchTimeoutsForTesting(500, 1000);
    const auto start = steady_clock::now();
    auto request = StartAt(std::string("http://") + kSilentName + "/feed.xml");
    AwaitWake(*request, seconds(30));
    EXPECT_NE(testing::TakeFailure(*request, kSilentName), "");
    request.reset();
    EXPECT_LT(steady_clock::now() - start, seconds(10)) << "the transfer waited for the lookup";
    std::lock_guard lock(gSilentMutex);
    gSilentRelease = true;
    gSilentReleased.notify_all();
}

TEST_F(Fetch, RefusedConnectionFails) {
    // The port of a server that has stopped: nobody listens there any more.
    auto gone = std::make_unique<testing::FeedServer>(VELMORA_TEST_DATA "/../support/feed_server.py",
                                                      VELMORA_TEST_DATA "/feeds");
    const std::string url = gone->Url("/feeds/cdata_news.xml");
    gone.reset();
    EXPECT_NE(FailureAt(url), "");
}

TEST_F(Fetch, DestroyingARunningTransferReturnsAtOnceWithoutWaking) {
    for (const char* path : {"/stall", "/slow/5/cdata_news.xml"}) {
        auto request = Start(path);
        std::this_thread::sleep_for(milliseconds(200));
        EXPECT_TRUE(request->Busy()) << path;
        const auto start = steady_clock::now();
        request.reset();
        EXPECT_LT(steady_clock::now() - start, seconds(2)) << path;
    }
    // Destroyed at once, before the worker got going.
    for (int i = 0; i < 20; ++i) Start("/slow/1/cdata_news.xml").reset();
    std::this_thread::sleep_for(milliseconds(100));
    EXPECT_EQ(wakes_.Count(), 0);
}

TEST_F(Fetch, TakeBeforeTheEndWaitsAndASecondTakeFails) {
    auto request = Start("/slow/1/cdata_news.xml");
    EXPECT_TRUE(request->Busy());
    EXPECT_EQ(request->Take().body, FeedFile("cdata_news.xml"));
    EXPECT_FALSE(request->Busy());
    EXPECT_THROW(request->Take(), RuntimeError);
}

TEST_F(Fetch, UnchangedFeedComesFromMemoryAfterA304) {
    const std::string path = "/validated/cdata_news.xml";
    const FetchedDocument first = Get(path);
    const FetchedDocument again = Get(path);
    EXPECT_EQ(again.body, first.body);
    EXPECT_NE(first.body.find("version 1"), std::string::npos);
    // The feed changes: the whole new document comes, then 304s again.
    Get("/bump");
    const FetchedDocument changed = Get(path);
    EXPECT_NE(changed.body.find("version 2"), std::string::npos);
    EXPECT_EQ(Get(path).body, changed.body);
    const std::string stats = Get("/stats").body;
    EXPECT_NE(stats.find("\"ok\": 2"), std::string::npos) << stats;
    EXPECT_NE(stats.find("\"notModified\": 2"), std::string::npos) << stats;
}

TEST_F(Fetch, AnAnswerThatEndsInsideItsHeadersFailsAndLeavesTheValidatorsAlone) {
    const std::string url = server_->Url("/cut-headers");
    SharedValidatorCache().Remember(url, "\"v1\"", "", {"<rss/>", ""});
    const std::string reason = FailureAt(url);
    EXPECT_NE(reason.find("headers"), std::string::npos) << reason;
    EXPECT_EQ(SharedValidatorCache().ConditionalHeaders(url),
              std::vector<std::string>{"If-None-Match: \"v1\""});
}

TEST_F(Fetch, A304WithNothingRememberedForTheUrlFails) {
    Get("/validated/cdata_news.xml");
    // Only the validated address is remembered; another one's 304 cannot be served.
    EXPECT_NE(Failure("/status/304").find("304"), std::string::npos);
}

}  // namespace
}  // namespace velmora
