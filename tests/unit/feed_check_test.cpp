// The feed check's text logic: the first item, the pubDate decision, the
// marker search with its 16-bit limits, the cuts and the markup clean-up.
#include "feed/feed_check.h"

#include <gtest/gtest.h>

#include "core/errors.h"

namespace velmora {
namespace {

Text Item(const Text& pubDate, const Text& title, const Text& link, const Text& description) {
    return u"<item><title><![CDATA[" + title + u"]]></title><link>" + link +
           u"</link><description><![CDATA[" + description + u"]]></description><pubDate>" + pubDate +
           u"</pubDate></item>";
}

Text Feed(const Text& items) {
    return u"<?xml version=\"1.0\"?><rss><channel><title>Channel</title><link>http://channel/</link>"
           u"<description>about</description>" +
           items + u"</channel></rss>";
}

FeedOutcome Examine(const Text& feed, const Text& last = u"") {
    return ExamineFeed(feed, last);
}

NoNotice ReasonOf(const FeedOutcome& outcome) {
    EXPECT_TRUE(std::holds_alternative<NoNotice>(outcome));
    return std::holds_alternative<NoNotice>(outcome) ? std::get<NoNotice>(outcome) : NoNotice::NoItem;
}

FeedItem ItemOf(const FeedOutcome& outcome) {
    EXPECT_TRUE(std::holds_alternative<FeedItem>(outcome));
    return std::holds_alternative<FeedItem>(outcome) ? std::get<FeedItem>(outcome) : FeedItem{};
}

TEST(FindText, FirstOccurrenceOneBasedCaseSensitive) {
    EXPECT_EQ(FindText(u"ab<item>x<item>", u"<item>"), 3);
    EXPECT_EQ(FindText(u"<ITEM>", u"<item>"), 0);
    EXPECT_EQ(FindText(u"", u"<item>"), 0);
    EXPECT_EQ(FindText(u"<ite", u"<item>"), 0);  // a piece cut short by the end never matches
    EXPECT_EQ(FindText(u"x<item>", u"<item>"), 2);
}

TEST(FindText, MatchBeyond32767OverflowsButAbsentMarkerIsNoError) {
    Text text(32766, u'x');
    EXPECT_EQ(FindText(text + u"<item>", u"<item>"), 32767);
    EXPECT_THROW(FindText(text + u"x<item>", u"<item>"), RuntimeError);
    EXPECT_EQ(FindText(Text(100000, u'x'), u"<item>"), 0);
}

TEST(StripMarkup, RemovesMarkersInOnePassFromTheLeft) {
    struct Case {
        Text in, out;
    };
    const Case cases[] = {
        {u"[b]Hello[/b]", u"Hello[/b]"},
        {u"[u][i]x", u"[i]x"},
        {u"[b][b]x", u"[b]x"},
        {u"[b]a[i]b", u"a[i]b"},
        {u"[b]ab[i]c", u"abc"},
        {u"[u]#183;x", u"#183;x"},
        {u"a#183;#183;b", u"a\u00B7\u00B7b"},
        {u"&#183;", u"&\u00B7"},
        {u"[B]x", u"[B]x"},
        {u"", u""},
        {u"[b]", u""},
        {u"x[i]", u"x"},
        {u"[/u][/i]", u"[/u][/i]"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(StripMarkup(c.in), c.out) << TextToUtf8(c.in);
    }
}

TEST(ExamineFeed, NewFirstItemIsHandedOnCleaned) {
    FeedItem item = ItemOf(Examine(Feed(Item(u"Mon, 07 Dec 2026", u"[b]News[/b] #183; 1 &amp;",
                                             u"http://a/1?x=[b]&amp;y=2", u"Text [u]here &lt;") +
                                        Item(u"older", u"Old", u"http://a/0", u"old"))));
    EXPECT_EQ(item.pubDate, u"Mon, 07 Dec 2026");
    EXPECT_EQ(item.title, u"News[/b] \u00B7 1 &amp;");  // CDATA: "&amp;" is itself
    EXPECT_EQ(item.link, u"http://a/1?x=[b]&y=2");      // markup markers stay in the link
    EXPECT_EQ(item.description, u"Text here &lt;");
}

TEST(DecodeCharacterReferences, PredefinedAndNumericReferencesInOnePass) {
    struct Case {
        Text in, out;
    };
    const Case cases[] = {
        {u"http://a/?id=1&amp;from=rss", u"http://a/?id=1&from=rss"},
        {u"&lt;&gt;&quot;&apos;&amp;", u"<>\"'&"},
        {u"&#38;&#x26;&#X26;&#x1F600;&#0038;", u"&&&#X26;\U0001F600&"},
        {u"&amp;lt;", u"&lt;"},
        {u"&AMP;&nbsp;&amp&#;&#x;&#xZ;&#12a;&", u"&AMP;&nbsp;&amp&#;&#x;&#xZ;&#12a;&"},
        {u"&#0;&#xD800;&#xFFFF;&#x110000;&#99999999999;", u"&#0;&#xD800;&#xFFFF;&#x110000;&#99999999999;"},
    };
    for (const auto& c : cases) EXPECT_EQ(DecodeCharacterReferences(c.in), c.out) << TextToUtf8(c.in);
}

TEST(ExamineFeed, NothingWithoutAnExactItemTag) {
    EXPECT_EQ(ReasonOf(Examine(u"")), NoNotice::NoItem);
    EXPECT_EQ(ReasonOf(Examine(Feed(u""))), NoNotice::NoItem);
    EXPECT_EQ(ReasonOf(Examine(u"<item id=\"1\"><pubDate>a</pubDate></item>")), NoNotice::NoItem);
    EXPECT_EQ(ReasonOf(Examine(u"<ITEM><pubDate>a</pubDate></ITEM>")), NoNotice::NoItem);
}

TEST(ExamineFeed, PubDateDecidesWhetherTheItemIsNew) {
    const Text feed = Feed(Item(u"D1", u"t", u"l", u"d"));
    EXPECT_EQ(ReasonOf(Examine(feed, u"D1")), NoNotice::Unchanged);
    EXPECT_EQ(ItemOf(Examine(feed, u"d1")).pubDate, u"D1");   // letter case counts
    EXPECT_EQ(ItemOf(Examine(feed, u"D1 ")).pubDate, u"D1");  // so does white space
    // An empty pubDate equals the empty start value, and is new after another.
    const Text empty = Feed(Item(u"", u"t", u"l", u"d"));
    EXPECT_EQ(ReasonOf(Examine(empty, u"")), NoNotice::Unchanged);
    EXPECT_EQ(ItemOf(Examine(empty, u"D1")).pubDate, u"");
}

TEST(ExamineFeed, UnchangedPubDateSearchesNoOtherMarker) {
    // The title's end marker lies before its start: an error, had it been searched.
    const Text feed =
        u"<item>]]></title><title><![CDATA[x<pubDate>D</pubDate><link>l</link>"
        u"<description><![CDATA[d]]></description>";
    EXPECT_EQ(ReasonOf(Examine(feed, u"D")), NoNotice::Unchanged);
    EXPECT_THROW(Examine(feed, u"other"), RuntimeError);
}

TEST(ExamineFeed, MissingMarkersAreReportedInTestOrder) {
    const Text full = Item(u"D", u"t", u"l", u"d");
    struct Case {
        Text drop;
        NoNotice reason;
    };
    const Case cases[] = {
        {u"<pubDate>", NoNotice::NoPubDate},
        {u"</pubDate>", NoNotice::NoPubDateEnd},
        {u"<title><![CDATA[", NoNotice::NoTitle},
        {u"]]></title>", NoNotice::NoTitleEnd},
        {u"<link>", NoNotice::NoLink},
        {u"</link>", NoNotice::NoLinkEnd},
        {u"<description><![CDATA[", NoNotice::NoDescription},
        {u"]]></description>", NoNotice::NoDescriptionEnd},
    };
    for (const auto& c : cases) {
        Text feed = full;
        feed.erase(feed.find(c.drop), c.drop.size());
        EXPECT_EQ(ReasonOf(Examine(feed)), c.reason) << TextToUtf8(c.drop);
    }
}

TEST(ExamineFeed, ChannelFieldsBeforeTheFirstItemAreNeverUsed) {
    // A WordPress-style first item with a plain title: the CDATA title of the
    // second item is taken; with no later one, nothing is shown.
    const Text plain =
        u"<item><title>Plain</title><link>http://a/1</link>"
        u"<description><![CDATA[d1]]></description><pubDate>D1</pubDate></item>";
    FeedItem item = ItemOf(Examine(u"<title><![CDATA[Channel]]></title>" + plain +
                                   Item(u"D0", u"Second", u"http://a/0", u"d0")));
    EXPECT_EQ(item.title, u"Second");
    EXPECT_EQ(item.link, u"http://a/1");
    EXPECT_EQ(item.pubDate, u"D1");
    EXPECT_EQ(ReasonOf(Examine(u"<title><![CDATA[Channel]]></title>" + plain)), NoNotice::NoTitle);
}

TEST(ExamineFeed, EndMarkerBeforeItsStartIsAnErrorAndAdjacentMarkersGiveEmptyFields) {
    EXPECT_THROW(Examine(u"<item></link><link>x</link><pubDate>D</pubDate><title><![CDATA[t]]></title>"
                         u"<description><![CDATA[d]]></description>"),
                 RuntimeError);
    EXPECT_THROW(Examine(u"<item></pubDate><pubDate>D</pubDate>"), RuntimeError);
    FeedItem item = ItemOf(Examine(Feed(Item(u"D", u"", u"", u""))));
    EXPECT_EQ(item.title, u"");
    EXPECT_EQ(item.link, u"");
    EXPECT_EQ(item.description, u"");
    // Marker order inside the item does not matter.
    item =
        ItemOf(Examine(u"<item><pubDate>D</pubDate><description><![CDATA[d]]></description>"
                       u"<link>l</link><title><![CDATA[t]]></title>"));
    EXPECT_EQ(item.title, u"t");
}

TEST(ExamineFeed, PositionLimitsOfTheSixteenBitSearch) {
    const Text item = Item(u"D", u"t", u"l", u"d");
    // "<item>" at 32761 is the last that works; 32762 overflows.
    EXPECT_EQ(ItemOf(Examine(Text(32760, u' ') + item)).title, u"t");
    EXPECT_THROW(Examine(Text(32761, u' ') + item), RuntimeError);
    // A long feed is fine while every marker lies within its limit.
    EXPECT_EQ(ItemOf(Examine(Feed(item + Text(100000, u'x')))).pubDate, u"D");
    // "<description><![CDATA[" at 32745 of the item text works (with an empty
    // description its end marker lands on 32767), at 32746 it does not.
    const Text head = u"<item><pubDate>D</pubDate><title><![CDATA[t]]></title><link>l</link>";
    const Text tail = u"<description><![CDATA[]]></description>";
    const auto pad = [&](std::size_t at) { return Text(at - 1 - (head.size() - 6), u' '); };
    EXPECT_EQ(ItemOf(Examine(head + pad(32745) + tail)).description, u"");
    EXPECT_THROW(Examine(head + pad(32746) + tail), RuntimeError);
    // An absent marker stays absent however long the text.
    EXPECT_EQ(ReasonOf(Examine(head + Text(40000, u' '))), NoNotice::NoDescription);
    // All six searches come before any test: a missing title does not hide
    // a "</link>" beyond the limit.
    EXPECT_THROW(Examine(u"<item><pubDate>D</pubDate><link>l" + Text(40000, u' ') + u"</link>"),
                 RuntimeError);
}

}  // namespace
}  // namespace velmora
