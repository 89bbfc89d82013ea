// How fetched bytes become text: the order of the charset rules, the parsing
// of the two declarations, and the legacy code pages the feeds of the world
// are written in, decoded through the system's converter.
#include "feed/charset.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/common/system_decode.h"
#include "platform/posix/iconv_decoder.h"
#include "platform/posix/system_decode.h"

namespace velmora {
namespace {

using namespace std::literals;

// A decoder that records what it was asked for and knows only windows-1252
// and GBK, standing in for the legacy code page with GBK.
struct RecordingDecoder {
    std::vector<std::string> asked;
    CharsetDecoder Get() {
        return [this](std::string_view bytes, std::string_view charset) -> std::optional<Text> {
            asked.emplace_back(charset);
            if (charset.empty()) return IconvDecode(bytes, "GBK");
            if (charset == "windows-1252" || charset == "gb18030") return IconvDecode(bytes, charset);
            return std::nullopt;
        };
    }
};

// 通知公告 in GBK; not valid UTF-8 (some GBK text is).
constexpr std::string_view kGbkNotice = "\xCD\xA8\xD6\xAA\xB9\xAB\xB8\xE6";
constexpr std::string_view kLatin1Cafe = "caf\xE9";  // café in windows-1252

TEST(CharsetOrder, ByteOrderMarkWinsOverEveryDeclaration) {
    RecordingDecoder decoder;
    EXPECT_EQ(DecodeDocument("\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"gbk\"?>\xE9\x80\x9A", "big5",
                             decoder.Get()),
              u"<?xml version=\"1.0\" encoding=\"gbk\"?>\u901A");
    EXPECT_EQ(DecodeDocument("\xFF\xFE<\x00\xE9\x00\x3D\xD8\x00\xDE"sv, "gbk", decoder.Get()),
              u"<\u00E9\U0001F600");
    EXPECT_EQ(DecodeDocument("\xFE\xFF\x00<\x00\xE9\xD8\x3D\xDE\x00"sv, "", decoder.Get()),
              u"<\u00E9\U0001F600");
    EXPECT_TRUE(decoder.asked.empty());
}

TEST(CharsetOrder, Utf16WithoutMarkIsRecognisedByItsDeclaration) {
    RecordingDecoder decoder;
    const auto le =
        "<\x00\x3F\x00x\x00m\x00l\x00 "
        "\x00v\x00\x65\x00r\x00s\x00i\x00o\x00n\x00=\x00\x22\x00\x31\x00.\x00\x30"
        "\x00\x22\x00\x3F\x00>\x00<\x00\x61\x00>\x00\xE9\x00<\x00/\x00\x61\x00>\x00"sv;
    const auto be =
        "\x00<\x00\x3F\x00x\x00m\x00l\x00 "
        "\x00v\x00\x65\x00r\x00s\x00i\x00o\x00n\x00=\x00\x22\x00\x31\x00.\x00"
        "\x30\x00\x22\x00\x3F\x00>\x00<\x00\x61\x00>\x00\xE9\x00<\x00/\x00\x61\x00>"sv;
    EXPECT_EQ(DecodeDocument(le, "", decoder.Get()), u"<?xml version=\"1.0\"?><a>\u00E9</a>");
    EXPECT_EQ(DecodeDocument(be, "", decoder.Get()), u"<?xml version=\"1.0\"?><a>\u00E9</a>");
    // A header that says UTF-16LE about such bytes is believed too.
    EXPECT_EQ(DecodeDocument("<\x00\x61\x00>\x00\xE9\x00"sv, "utf-16le", decoder.Get()), u"<a>\u00E9");
}

TEST(CharsetOrder, HeaderCharsetComesBeforeTheXmlDeclaration) {
    RecordingDecoder decoder;
    const std::string body = "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>" + std::string(kGbkNotice);
    EXPECT_EQ(DecodeDocument(body, "GBK", decoder.Get()),
              u"<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>通知公告");
    EXPECT_EQ(decoder.asked, std::vector<std::string>{"gb18030"});
    // With no header, the declaration decides.
    EXPECT_EQ(
        DecodeDocument(body, "", decoder.Get()),
        u"<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\u00CD\u00A8\u00D6\u00AA\u00B9\u00AB\u00B8\u00E6");
}

TEST(CharsetOrder, UnknownDeclarationsFallThroughToTheNextRule) {
    RecordingDecoder decoder;
    const std::string declared = "<?xml version='1.0' encoding='windows-1252'?>" + std::string(kLatin1Cafe);
    EXPECT_EQ(DecodeDocument(declared, "x-no-such-charset", decoder.Get()),
              u"<?xml version='1.0' encoding='windows-1252'?>caf\u00E9");

    const std::string unknownDecl = "<?xml version=\"1.0\" encoding=\"x-nothing\"?>";
    EXPECT_EQ(DecodeDocument(unknownDecl + "\xC3\xA9", "x-bad", decoder.Get()),
              Utf8ToText(unknownDecl) + u"é");
    EXPECT_EQ(DecodeDocument(unknownDecl + std::string(kGbkNotice), "x-bad", decoder.Get()),
              Utf8ToText(unknownDecl) + u"通知公告");
    // A UTF-16 or UTF-32 label on ASCII-compatible bytes is a mislabel, not
    // a decoding; on such bytes it is believed, or they carry its mark.
    for (const char* label : {"utf-16", "utf-32", "UTF-32LE", "utf-32be"})
        EXPECT_EQ(DecodeDocument("<rss>\xC3\xA9", label, SystemDecode), u"<rss>é") << label;
    EXPECT_EQ(DecodeDocument("<\0\0\0\xE9\0\0\0\0\xF6\x01\0"sv, "utf-32", decoder.Get()), u"<é\U0001F600");
    EXPECT_EQ(DecodeDocument("\0\0\0<\0\0\0\xE9"sv, "utf-32be", decoder.Get()), u"<é");
    EXPECT_EQ(DecodeDocument("\xFF\xFE\0\0<\0\0\0"sv, "", decoder.Get()), u"<");
}

TEST(CharsetOrder, UndeclaredBytesAreUtf8WhenValidElseTheLegacyCodePage) {
    RecordingDecoder decoder;
    EXPECT_EQ(DecodeDocument("<rss>\xE9\x80\x9A\xE7\x9F\xA5</rss>", "", decoder.Get()), u"<rss>通知</rss>");
    EXPECT_TRUE(decoder.asked.empty()) << "valid UTF-8 went to the legacy code page";
    EXPECT_EQ(DecodeDocument("<rss>" + std::string(kGbkNotice) + "</rss>", "", decoder.Get()),
              u"<rss>通知公告</rss>");
    EXPECT_EQ(decoder.asked, std::vector<std::string>{""});
    // Overlong forms and encoded surrogates are not valid UTF-8.
    EXPECT_EQ(DecodeTextFile("\xC0\xAF", decoder.Get()), *IconvDecode("\xC0\xAF", "GBK"));
    EXPECT_EQ(decoder.asked.size(), 2u);
}

TEST(CharsetOrder, TextFilesGoByMarkThenUtf8ThenLegacyCodePage) {
    RecordingDecoder decoder;
    EXPECT_EQ(DecodeTextFile("\xEF\xBB\xBF/feed.xml", decoder.Get()), u"/feed.xml");
    EXPECT_EQ(DecodeTextFile("rss/\xE9\x80\x9A.xml", decoder.Get()), u"rss/通.xml");
    EXPECT_EQ(DecodeTextFile("rss/" + std::string(kGbkNotice), decoder.Get()), u"rss/通知公告");
}

TEST(CharsetLabels, ContentTypeCharsetParameter) {
    EXPECT_EQ(ContentTypeCharset("application/rss+xml; charset=UTF-8"), "UTF-8");
    EXPECT_EQ(ContentTypeCharset("text/xml;charset=\"gb2312\""), "gb2312");
    EXPECT_EQ(ContentTypeCharset("text/html; Charset = big5 ; q=1"), "big5");
    EXPECT_EQ(ContentTypeCharset("text/xml; format=flowed; charset='GBK'"), "GBK");
    EXPECT_EQ(ContentTypeCharset("text/xml"), "");
    EXPECT_EQ(ContentTypeCharset(""), "");
    // Only a parameter named charset counts.
    EXPECT_EQ(ContentTypeCharset("text/xml; xcharset=koi8-r"), "");
    EXPECT_EQ(ContentTypeCharset("text/charset=koi8-r"), "");
}

TEST(CharsetLabels, XmlDeclarationEncoding) {
    EXPECT_EQ(XmlDeclaredEncoding("<?xml version=\"1.0\" encoding=\"GB2312\"?><rss/>"), "GB2312");
    EXPECT_EQ(XmlDeclaredEncoding("\r\n  <?xml version='1.0' encoding='big5' standalone='yes'?>"), "big5");
    EXPECT_EQ(XmlDeclaredEncoding("<?xml version=\"1.0\"\n  encoding\n = \"Shift_JIS\"?>"), "Shift_JIS");
    EXPECT_EQ(XmlDeclaredEncoding("<?xml version=\"1.0\"?><rss encoding=\"big5\"/>"), "");
    EXPECT_EQ(XmlDeclaredEncoding("<rss><?xml version=\"1.0\" encoding=\"big5\"?>"), "");
    EXPECT_EQ(XmlDeclaredEncoding("<?xml version=\"1.0\" encoding=big5?>"), "");
    EXPECT_EQ(XmlDeclaredEncoding(""), "");
}

TEST(CharsetLabels, AliasesWidenToTheSupersetBrowsersUse) {
    EXPECT_EQ(CanonicalCharset(" GB2312 "), "gb18030");
    EXPECT_EQ(CanonicalCharset("GBK"), "gb18030");
    EXPECT_EQ(CanonicalCharset("ISO-8859-1"), "windows-1252");
    EXPECT_EQ(CanonicalCharset("US-ASCII"), "windows-1252");
    EXPECT_EQ(CanonicalCharset("UTF8"), "utf-8");
    EXPECT_EQ(CanonicalCharset("x-sjis"), "shift_jis");
    EXPECT_EQ(CanonicalCharset("Big5-HKSCS"), "big5");
}

struct Sample {
    const char* label;
    std::string_view bytes;
    std::u16string_view text;
};

// Each sample holds characters that a wrong but related code page would get
// wrong (GBK-only characters under a gb2312 label, NEC extensions under
// Shift_JIS, the euro sign under iso-8859-1).
TEST(CharsetFamilies, DeclaredLegacyCharsetsDecodeCorrectly) {
    const Sample samples[] = {
        {"gb2312", "\xCD\xA8\xD6\xAA\xB9\xAB\xB8\xE6", u"通知公告"},
        {"gb2312", "\xE9\x46\xBB\xF9", u"镕基"},
        {"GBK", "\xE9\x46\xBB\xF9", u"镕基"},
        {"gb18030", "\x95\x32\x82\x36\xA2\xE3", u"\U00020000€"},
        {"big5", "\xBBO\xC6W\xB7s\xBB\x44", u"臺灣新聞"},
        {"big5-hkscs", "\xAD\xBB\xB4\xE4\xC8\xA1", u"香港龰"},
        {"shift_jis", "\x82\xA8\x92m\x82\xE7\x82\xB9", u"お知らせ"},
        {"Shift_JIS", "\x87@\xB6\xC5", u"①ｶﾅ"},
        {"euc-kr", "\xB0\xF8\xC1\xF6", u"공지"},
        {"iso-8859-2", "\xA3\xF3\x64\xBC", u"Łódź"},
        {"ISO-8859-5", "\xBD\xDE\xD2\xDE\xE1\xE2\xD8", u"Новости"},
        {"iso-8859-7", "\xC5\xE9\xE4\xDE\xF3\xE5\xE9\xF2", u"Ειδήσεις"},
        {"iso-8859-15", "\xA4 caf\xE9", u"€ café"},
        {"windows-1250", "\x8Elu\x9Dou\xE8k\xFD", u"Žluťoučký"},
        {"windows-1251", "\xCD\xEE\xE2\xEE\xF1\xF2\xE8", u"Новости"},
        {"iso-8859-1", "caf\xE9 \x93quoted\x94 \x80", u"café “quoted” €"},
        {"iso-8859-1", "\x81\x8D\x8F\x90\x9D", u"\u0081\u008D\u008F\u0090\u009D"},
        {"windows-1253", "\xC5\xE9\xE4\xDE\xF3\xE5\xE9\xF2", u"Ειδήσεις"},
        {"windows-1256", "\xC3\xCE\xC8\xC7\xD1", u"أخبار"},
        {"koi8-r", "\xF0\xD2\xC9\xD7\xC5\xD4", u"Привет"},
    };
    for (const Sample& sample : samples) {
        const std::string body = "<title>" + std::string(sample.bytes) + "</title>";
        const Text expected = u"<title>" + Text(sample.text) + u"</title>";
        EXPECT_EQ(DecodeDocument(body, sample.label, SystemDecode), expected) << "header " << sample.label;
        const std::string declared = "<?xml version=\"1.0\" encoding=\"" + std::string(sample.label) + "\"?>";
        EXPECT_EQ(DecodeDocument(declared + body, "", SystemDecode), Utf8ToText(declared) + expected)
            << "declaration " << sample.label;
    }
}

TEST(CharsetFamilies, BrokenSequencesBecomeReplacementCharacters) {
    // A truncated GBK pair in the middle and at the end; the rest survives.
    EXPECT_EQ(SystemDecode("\xCD\xA8\xD6 ok \xB9", "gbk"), u"通\uFFFD ok \uFFFD");
}

class LegacyCodePage : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
            const char* value = std::getenv(name);
            saved_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
            unsetenv(name);
        }
    }
    void TearDown() override {
        for (const auto& [name, value] : saved_) {
            if (value) {
                setenv(name, value->c_str(), 1);
            } else {
                unsetenv(name);
            }
        }
    }
    std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

TEST_F(LegacyCodePage, FollowsTheLocaleTheWayWindowsPicksItsAnsiCodePage) {
    const std::string body = "<rss>" + std::string(kGbkNotice) + "</rss>";
    setenv("LANG", "zh_CN.UTF-8", 1);
    EXPECT_EQ(DecodeDocument(body, "", SystemDecode), u"<rss>通知公告</rss>");
    setenv("LC_ALL", "C", 1);  // LC_ALL overrides LANG
    EXPECT_EQ(DecodeDocument(body, "", SystemDecode),
              u"<rss>\u00CD\u00A8\u00D6\u00AA\u00B9\u00AB\u00B8\u00E6</rss>");
    unsetenv("LC_ALL");
    unsetenv("LANG");
    EXPECT_EQ(DecodeDocument("\x81" + std::string(kLatin1Cafe) + "\x9D", "", SystemDecode),
              u"\u0081caf\u00E9\u009D");

    EXPECT_EQ(LegacyCodePageForLocale("zh_TW.UTF-8"), "BIG5-HKSCS");
    EXPECT_EQ(LegacyCodePageForLocale("zh_SG"), "GB18030");
    EXPECT_EQ(LegacyCodePageForLocale("ja_JP.eucJP"), "CP932");
    EXPECT_EQ(LegacyCodePageForLocale("ru_RU.UTF-8"), "WINDOWS-1251");
    EXPECT_EQ(LegacyCodePageForLocale("de_DE@euro"), "WINDOWS-1252");
    EXPECT_EQ(LegacyCodePageForLocale("POSIX"), "WINDOWS-1252");
}

TEST(SystemDecodeNames, LabelsFromTheNetworkCannotSteerTheConverter) {
    EXPECT_EQ(SystemDecode("abc", "x-no-such-charset"), std::nullopt);
    // iconv would read "//IGNORE" as a flag; such a label is no charset.
    EXPECT_EQ(SystemDecode("abc", "utf-8//IGNORE"), std::nullopt);
    EXPECT_EQ(SystemDecode("abc", std::string(200, 'a')), std::nullopt);
    EXPECT_EQ(SystemDecode("abc", "ascii"), u"abc");
}

}  // namespace
}  // namespace velmora
