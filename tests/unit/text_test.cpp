#include "core/text.h"

#include <gtest/gtest.h>

#include "core/errors.h"

namespace velmora {
namespace {

TEST(Text, MidCountsOneBasedCodeUnitsAndRejectsBadArguments) {
    const Text s = u"abcdef";
    EXPECT_EQ(Mid(s, 1, 3), u"abc");
    EXPECT_EQ(Mid(s, 5, 10), u"ef");
    EXPECT_EQ(Mid(s, 7, 1), u"");
    EXPECT_EQ(Mid(s, 3, 0), u"");
    EXPECT_EQ(MidToEnd(s, 4), u"def");
    EXPECT_EQ(MidToEnd(s, 99), u"");
    EXPECT_THROW(Mid(s, 0, 1), RuntimeError);
    EXPECT_THROW(Mid(s, 2, -1), RuntimeError);
    EXPECT_THROW(MidToEnd(s, 0), RuntimeError);
}

TEST(Text, WholeCharacterCutNeverLeavesHalfASurrogatePair) {
    const Text emoji = u"ab\U0001F600cd";  // a b <hi> <lo> c d
    EXPECT_EQ(LeftWholeChars(emoji, 3), u"ab");
    EXPECT_EQ(LeftWholeChars(emoji, 4), u"ab\U0001F600");
    EXPECT_EQ(LeftWholeChars(emoji, 2), u"ab");
    EXPECT_EQ(LeftWholeChars(emoji, 99), emoji);
    // A lone high surrogate at the end of a short text is left as it was.
    const Text lone = Text(u"a") + char16_t(0xD800);
    EXPECT_EQ(LeftWholeChars(lone, 2), lone);
    // Followed by an ordinary character it is no pair, and the cut keeps it.
    const Text loneInside = Text(u"ab") + char16_t(0xD800) + u"cd";
    EXPECT_EQ(LeftWholeChars(loneInside, 3), loneInside.substr(0, 3));
    EXPECT_EQ(LeftOf(emoji, 3).size(), 3u);
}

TEST(Text, Utf8RoundTripsAndReplacesInvalidInput) {
    const Text chinese = u"查看详情 \U0001F600";
    EXPECT_EQ(Utf8ToText(TextToUtf8(chinese)), chinese);
    EXPECT_TRUE(IsValidUtf8(TextToUtf8(chinese)));
    EXPECT_FALSE(IsValidUtf8("\xC3"));
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));  // an encoded surrogate
    EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));      // overlong
    EXPECT_EQ(Utf8ToText("a\xFF"
                         "b"),
              u"a\uFFFDb");
    EXPECT_EQ(TextToUtf8(Text(1, char16_t(0xDC00))), "\xEF\xBF\xBD");
}

}  // namespace
}  // namespace velmora
