// What only the libcurl fetch is asked directly, against a local server:
// redirects, protocols, compression, the size cap, time-outs and broken
// answers. Its helper-process twin runs the same transfer.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <netdb.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/fetch/http_fetch.h"
#include "platform/fetch/http_validators.h"
#include "platform/posix/curl_fetch_internal.h"
#include "support/fetch_fixture.h"

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

class CurlFetch : public testing::FetchFixture {
protected:
    void TearDown() override {
        SetFetchTimeoutsForTesting(0, 0);
        SetFetchCaFileForTesting("");
    }

    std::unique_ptr<FetchRequest> StartAt(const std::string& url) override {
        return StartHttpFetch(Utf8ToText(url), wakes_.Reset());
    }
};

TEST_F(CurlFetch, RedirectsAreFollowedUpToTen) {
    EXPECT_EQ(Get("/redirect/3/feeds/cdata_news.xml").body, FeedFile("cdata_news.xml"));
    EXPECT_EQ(Get("/redirect/10/feeds/cdata_news.xml").body, FeedFile("cdata_news.xml"));
    EXPECT_NE(Reason("/redirect/11/feeds/cdata_news.xml"), "");
}

TEST_F(CurlFetch, ARedirectFromHttpsToHttpIsRefused) {
    const auto tls = StartServer(SupportFile("localhost-cert.pem"), SupportFile("localhost-key.pem"));
    SetFetchCaFileForTesting(SupportFile("localhost-cert.pem"));
    const std::string feed = FeedFile("cdata_news.xml");
    EXPECT_EQ(GetAt(tls->Url("/redirect/2/feeds/cdata_news.xml")).body, feed);
    EXPECT_EQ(Get("/redirect-to?url=" + tls->Url("/feeds/cdata_news.xml")).body, feed);
    const std::string reason =
        ReasonAt(tls->Url("/redirect-to?url=" + server_->Url("/feeds/cdata_news.xml")));
    EXPECT_NE(reason.find("from https to http"), std::string::npos) << reason;
}

TEST_F(CurlFetch, OnlyHttpAndHttpsAreSpoken) {
    // A redirect must not lead the fetch to another protocol.
    EXPECT_NE(Reason("/redirect-to?url=file:///etc/passwd"), "");
    EXPECT_NE(Reason("/redirect-to?url=ftp://127.0.0.1/feed.xml"), "");
}

TEST_F(CurlFetch, CompressedBodiesArriveDecompressed) {
    EXPECT_EQ(Get("/gzip/zh_utf8.xml").body, FeedFile("zh_utf8.xml"));
    EXPECT_EQ(Get("/deflate/zh_utf8.xml").body, FeedFile("zh_utf8.xml"));
}

TEST_F(CurlFetch, BodyOverTheCapFails) {
    const std::string over = std::to_string(kMaxDocumentBytes + 1);
    const std::string streamed = Reason("/big/" + over);
    EXPECT_NE(streamed.find("larger than 16 MiB"), std::string::npos) << streamed;
    const std::string declared = Reason("/big-declared/" + over);
    EXPECT_NE(declared.find("larger than 16 MiB"), std::string::npos) << declared;
    EXPECT_EQ(Get("/big/100000").body.size(), 100000u);
}

TEST_F(CurlFetch, StalledServerFailsAtTheTransferTimeOut) {
    SetFetchTimeoutsForTesting(1000, 1500);
    const auto start = steady_clock::now();
    const std::string reason = Reason("/stall");
    const auto took = steady_clock::now() - start;
    EXPECT_NE(reason.find("timed out"), std::string::npos) << reason;
    EXPECT_GE(took, milliseconds(1400));
    EXPECT_LT(took, seconds(10));
}

TEST_F(CurlFetch, ANameServerThatNeverAnswersEndsTheTransferAtItsTimeOut) {
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

TEST_F(CurlFetch, RefusedConnectionFails) {
    // The port of a server that has stopped: nobody listens there any more.
    auto gone = StartServer();
    const std::string url = gone->Url("/feeds/cdata_news.xml");
    gone.reset();
    EXPECT_NE(ReasonAt(url), "");
}

TEST_F(CurlFetch, AnAnswerThatEndsInsideItsHeadersFailsAndLeavesTheValidatorsAlone) {
    const std::string url = server_->Url("/cut-headers");
    SharedValidatorCache().Remember(url, "\"v1\"", "", {"<rss/>", ""});
    const std::string reason = ReasonAt(url);
    EXPECT_NE(reason.find("headers"), std::string::npos) << reason;
    EXPECT_EQ(SharedValidatorCache().ConditionalHeaders(url),
              std::vector<std::string>{"If-None-Match: \"v1\""});
}

}  // namespace
}  // namespace velmora
