// Conditional requests (which validators are kept and sent back) and the
// redirects a fetch refuses.
#include "platform/fetch/http_validators.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/fetch/http_redirects.h"

namespace velmora {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(ValidatorHeaders, TakesTheFinalResponsesValidatorsOnly) {
    ValidatorHeaders headers;
    for (const char* line :
         {"HTTP/1.1 302 Found\r\n", "ETag: \"redirect\"\r\n", "\r\n", "HTTP/1.1 200 OK\r\n",
          "etag:   \"v1\"  \r\n", "Last-Modified: Mon, 07 Dec 2026 06:00:00 GMT\r\n"})
        headers.AddLine(line);
    EXPECT_EQ(headers.etag(), "\"v1\"");
    EXPECT_EQ(headers.lastModified(), "Mon, 07 Dec 2026 06:00:00 GMT");
    headers.AddLine("HTTP/1.1 200 OK\r\n");
    EXPECT_EQ(headers.etag(), "");
}

TEST(ValidatorHeaders, RefusesValuesThatCouldInjectRequestLines) {
    ValidatorHeaders headers;
    headers.AddLine("ETag: \"a\"\r\nX-Evil: 1\r\n");
    EXPECT_EQ(headers.etag(), "");
    headers.AddLine("ETag: " + std::string(300, 'x') + "\r\n");
    EXPECT_EQ(headers.etag(), "");
}

TEST(ValidatorCache, SendsBackWhatTheSameUrlAnsweredAndRecallsItsDocument) {
    ValidatorCache cache;
    EXPECT_THAT(cache.ConditionalHeaders("http://a/feed"), IsEmpty());
    cache.Remember("http://a/feed", "\"v1\"", "Mon, 07 Dec 2026 06:00:00 GMT", {"<rss/>", "gbk"});
    EXPECT_THAT(cache.ConditionalHeaders("http://a/feed"),
                ElementsAre("If-None-Match: \"v1\"", "If-Modified-Since: Mon, 07 Dec 2026 06:00:00 GMT"));
    EXPECT_THAT(cache.ConditionalHeaders("http://a/other"), IsEmpty());
    ASSERT_TRUE(cache.Recall("http://a/feed"));
    EXPECT_EQ(cache.Recall("http://a/feed")->body, "<rss/>");
    EXPECT_EQ(cache.Recall("http://a/feed")->headerCharset, "gbk");
    EXPECT_FALSE(cache.Recall("http://a/other"));
    // Another address without validators leaves it; the same one drops it.
    cache.Remember("http://a/other", "", "", {"x", ""});
    EXPECT_TRUE(cache.Recall("http://a/feed"));
    cache.Remember("http://a/feed", "", "", {"new", ""});
    EXPECT_FALSE(cache.Recall("http://a/feed"));
    EXPECT_THAT(cache.ConditionalHeaders("http://a/feed"), IsEmpty());
}

TEST(ValidatorCache, ADocumentOver2MiBIsNotRememberedAndSendsNoValidators) {
    ValidatorCache cache;
    const std::string limit(2 * 1024 * 1024, 'x');
    cache.Remember("http://a/feed", "\"v1\"", "", {limit, ""});
    EXPECT_THAT(cache.ConditionalHeaders("http://a/feed"), ElementsAre("If-None-Match: \"v1\""));
    cache.Remember("http://a/feed", "\"v2\"", "", {limit + "x", ""});
    EXPECT_THAT(cache.ConditionalHeaders("http://a/feed"), IsEmpty());
    EXPECT_FALSE(cache.Recall("http://a/feed"));
}

TEST(Redirects, OnlyAStepFromHttpsDownToHttpIsADowngrade) {
    for (const char* location : {"http://a/feed", "HTTP://a/feed", " \thttp://a/feed", "Http:feed"})
        EXPECT_TRUE(IsHttpsDowngrade("https://a/feed", location)) << location;
    EXPECT_TRUE(IsHttpsDowngrade("HTTPS://a/feed", "http://a/feed"));
    // Relative addresses keep the scheme they were reached by.
    for (const char* location : {"https://b/feed", "/feed", "//b/feed", "feed?u=http://b", "ftp://b/feed"})
        EXPECT_FALSE(IsHttpsDowngrade("https://a/feed", location)) << location;
    EXPECT_FALSE(IsHttpsDowngrade("http://a/feed", "http://b/feed"));
}

}  // namespace
}  // namespace velmora
