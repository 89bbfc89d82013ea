// The frame velmora-fetch hands its parent: every outcome survives the trip
// byte for byte, and anything but one whole, well-formed frame is refused.
#include "platform/posix/fetch_frame.h"

#include <gtest/gtest.h>

#include <string>

namespace velmora {
namespace {

using namespace std::string_literals;

TransferOutcome Document(std::string body, std::string charset) {
    TransferOutcome outcome;
    outcome.document = {std::move(body), std::move(charset)};
    outcome.etag = "W/\"v1-\xE6\x96\xB0\"";
    outcome.lastModified = "Mon, 07 Dec 2026 06:00:00 GMT";
    return outcome;
}

std::optional<TransferOutcome> RoundTrip(const TransferOutcome& outcome) {
    std::string problem;
    auto decoded = DecodeFetchFrame(EncodeFetchFrame(outcome), problem);
    EXPECT_TRUE(decoded) << problem;
    return decoded;
}

// A frame written by hand, so that the reader meets what no writer makes.
std::string Frame(const std::string& outcome, const std::string& error, const std::string& length,
                  const std::string& body) {
    return "velmora-fetch 1\noutcome: " + outcome + "\ncharset: \netag: \nlast-modified: \nerror: " + error +
           "\nlength: " + length + "\n\n" + body;
}

std::string Problem(std::string_view bytes) {
    std::string problem;
    EXPECT_FALSE(DecodeFetchFrame(bytes, problem)) << bytes.substr(0, 200);
    EXPECT_NE(problem, "");
    return problem;
}

TEST(FetchFrame, EveryOutcomeSurvivesTheTrip) {
    // NUL, bytes that are no UTF-8, and what looks like the header's end.
    const std::string body = "<rss>\0\xFF\xFE\xB9\xD8\n\nlength: 3\n\0\0\0"s;
    auto ok = RoundTrip(Document(body, "GBK"));
    ASSERT_TRUE(ok);
    EXPECT_EQ(ok->document.body, body);
    EXPECT_EQ(ok->document.headerCharset, "GBK");
    EXPECT_EQ(ok->etag, "W/\"v1-\xE6\x96\xB0\"");
    EXPECT_EQ(ok->lastModified, "Mon, 07 Dec 2026 06:00:00 GMT");
    EXPECT_FALSE(ok->notModified);
    EXPECT_EQ(ok->error, "");

    TransferOutcome unchanged = Document("", "");
    unchanged.notModified = true;
    auto notModified = RoundTrip(unchanged);
    ASSERT_TRUE(notModified);
    EXPECT_TRUE(notModified->notModified);
    EXPECT_EQ(notModified->etag, unchanged.etag);

    TransferOutcome failed;
    failed.error = "could not fetch http://127.0.0.1/feed: the server answered with HTTP status 404";
    auto decodedFailure = RoundTrip(failed);
    ASSERT_TRUE(decodedFailure);
    EXPECT_EQ(decodedFailure->error, failed.error);
    EXPECT_EQ(decodedFailure->document.body, "");
}

TEST(FetchFrame, ValuesCannotForgeHeaderLines) {
    TransferOutcome failed;
    failed.error = "bad\nlength: 4\n\nbody\r\0x"s + std::string(2 * kMaxFrameValueBytes, 'e');
    auto decoded = RoundTrip(failed);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->error.substr(0, 22), "bad length: 4  body  x");
    EXPECT_EQ(decoded->error.size(), kMaxFrameValueBytes);
    EXPECT_EQ(decoded->document.body, "");
}

TEST(FetchFrame, AnythingButOneWholeFrameFails) {
    const std::string whole = EncodeFetchFrame(Document("<rss>feed</rss>", "utf-8"));
    for (std::size_t size = 0; size < whole.size(); ++size) {
        std::string problem;
        EXPECT_FALSE(DecodeFetchFrame(std::string_view(whole).substr(0, size), problem)) << size;
        EXPECT_NE(problem, "") << size;
    }
    EXPECT_NE(Problem(whole.substr(0, whole.size() - 1)).find("cut short"), std::string::npos);
    EXPECT_NE(Problem(whole + "x").find("past its document"), std::string::npos);
}

TEST(FetchFrame, GarbledHeadersFail) {
    const std::string header = "velmora-fetch 1\noutcome: ok\ncharset: \netag: \nlast-modified: \nerror: \n";
    for (const std::string& bytes : {
             std::string("HTTP/1.1 200 OK\r\n\r\n<rss/>"),
             std::string(40000, 'x'),
             std::string("velmora-fetch 2\n") + header.substr(16) + "length: 0\n\n",
             "velmora-fetch 1\r\n" + header.substr(16) + "length: 0\n\n",
             "velmora-fetch 1\n" + header.substr(28) + "outcome: ok\nlength: 0\n\n",  // out of order
             header + "length: 0\nextra: 1\n\n",
             header + "length:0\n\n",
             "velmora-fetch 1\n\n"s,
             "velmora-fetch 1\n" + std::string(kMaxFrameHeaderBytes, 'h'),
             Frame("maybe", "", "0", ""),
             Frame("ok", "", "-1", ""),
             Frame("ok", "", "+3", "abc"),
             Frame("ok", "", "3 ", "abc"),
             Frame("ok", "", "", ""),
             Frame("ok", "", "0x3", "abc"),
             Frame("ok", "", "99999999999999999999999999", ""),
             Frame("ok", "an error on a document", "0", ""),
             Frame("failed", "", "0", ""),
             Frame("failed", "why", "3", "abc"),
             Frame("not-modified", "", "3", "abc"),
         }) {
        Problem(bytes);
    }
    std::string problem;
    EXPECT_TRUE(DecodeFetchFrame(Frame("ok", "", "3", "abc"), problem)) << problem;
}

TEST(FetchFrame, ALengthOverTheCapFailsBeforeAnyBody) {
    EXPECT_NE(Problem(Frame("ok", "", std::to_string(kMaxDocumentBytes + 1), "")).find("larger than 16 MiB"),
              std::string::npos);
    std::string problem;
    auto largest =
        DecodeFetchFrame(EncodeFetchFrame(Document(std::string(kMaxDocumentBytes, 'a'), "")), problem);
    ASSERT_TRUE(largest) << problem;
    EXPECT_EQ(largest->document.body.size(), kMaxDocumentBytes);
}

}  // namespace
}  // namespace velmora
