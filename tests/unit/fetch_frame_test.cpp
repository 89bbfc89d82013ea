// The frame velmora-fetch hands its parent: every outcome survives the trip
// byte for byte, and anything but one whole, well-formed frame is refused.
#include "platform/fetch/fetch_frame.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

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

TransferResult RoundTrip(const TransferResult& transfer) {
    Result<TransferResult> decoded = DecodeFetchFrame(EncodeFetchFrame(transfer));
    if (decoded) return std::move(decoded.value());
    ADD_FAILURE() << decoded.reason();
    return Failure{"refused: " + decoded.reason()};
}

// A frame written by hand, so that the reader meets what no writer makes.
std::string Frame(const std::string& outcome, const std::string& error, const std::string& length,
                  const std::string& body) {
    return "velmora-fetch 1\noutcome: " + outcome + "\ncharset: \netag: \nlast-modified: \nerror: " + error +
           "\nlength: " + length + "\n\n" + body;
}

std::string Problem(std::string_view bytes) {
    const Result<TransferResult> decoded = DecodeFetchFrame(bytes);
    if (decoded) {
        ADD_FAILURE() << "accepted: " << bytes.substr(0, 200);
        return "";
    }
    EXPECT_NE(decoded.reason(), "");
    return decoded.reason();
}

TEST(FetchFrame, EveryOutcomeSurvivesTheTrip) {
    // NUL, bytes that are no UTF-8, and what looks like the header's end.
    const std::string body = "<rss>\0\xFF\xFE\xB9\xD8\n\nlength: 3\n\0\0\0"s;
    const TransferResult ok = RoundTrip(Document(body, "GBK"));
    ASSERT_TRUE(ok);
    EXPECT_EQ(ok->document.body, body);
    EXPECT_EQ(ok->document.headerCharset, "GBK");
    EXPECT_EQ(ok->etag, "W/\"v1-\xE6\x96\xB0\"");
    EXPECT_EQ(ok->lastModified, "Mon, 07 Dec 2026 06:00:00 GMT");
    EXPECT_FALSE(ok->notModified);

    TransferOutcome unchanged = Document("", "");
    unchanged.notModified = true;
    const TransferResult notModified = RoundTrip(unchanged);
    ASSERT_TRUE(notModified);
    EXPECT_TRUE(notModified->notModified);
    EXPECT_EQ(notModified->etag, unchanged.etag);

    const std::string why = "could not fetch http://127.0.0.1/feed: the server answered with HTTP status 404";
    const TransferResult failed = RoundTrip(Failure{why});
    ASSERT_FALSE(failed);
    EXPECT_EQ(failed.reason(), why);
}

TEST(FetchFrame, ValuesCannotForgeHeaderLines) {
    const TransferResult decoded =
        RoundTrip(Failure{"bad\nlength: 4\n\nbody\r\0x"s + std::string(2 * kMaxFrameValueBytes, 'e')});
    ASSERT_FALSE(decoded);
    EXPECT_EQ(decoded.reason().substr(0, 22), "bad length: 4  body  x");
    EXPECT_EQ(decoded.reason().size(), kMaxFrameValueBytes);
}

TEST(FetchFrame, AnythingButOneWholeFrameFails) {
    const std::string whole = EncodeFetchFrame(Document("<rss>feed</rss>", "utf-8"));
    for (std::size_t size = 0; size < whole.size(); ++size) Problem(std::string_view(whole).substr(0, size));
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
    EXPECT_TRUE(DecodeFetchFrame(Frame("ok", "", "3", "abc")));
}

TEST(FetchFrame, ALengthOverTheCapFailsBeforeAnyBody) {
    EXPECT_NE(Problem(Frame("ok", "", std::to_string(kMaxDocumentBytes + 1), "")).find("larger than 16 MiB"),
              std::string::npos);
    const TransferResult largest = RoundTrip(Document(std::string(kMaxDocumentBytes, 'a'), ""));
    ASSERT_TRUE(largest);
    EXPECT_EQ(largest->document.body.size(), kMaxDocumentBytes);
}

}  // namespace
}  // namespace velmora
