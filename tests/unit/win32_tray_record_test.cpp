// The notification icon's record as the Windows program sends it: the
// 488-byte form field by field, the cuts of its texts, and the shell's
// callbacks turned back into activations.
#include "platform/win32/notify_icon_record.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velmora::win32 {
namespace {

std::string Bytes(const NotifyIconWire& wire, std::size_t offset, std::size_t size) {
    return std::string(reinterpret_cast<const char*>(wire.data() + offset), size);
}

std::string Nuls(std::size_t n) {
    return std::string(n, '\0');
}

std::string Utf8(std::u16string_view text) {
    return TextToUtf8(text);
}

TEST(Win32TrayRecord, FreshIconMatchesTheFieldTable) {
    // Handles are sign-extended 32-bit values.
    const NotifyIconRecord record = MakeNotifyIconRecord(-2, 0x12345678, {u"Velmora V1.0", u"", u""});
    const NotifyIconWire w = ToWire(record, Utf8);
    EXPECT_EQ(Bytes(w, 0, 4), std::string("\xE8\x01\0\0", 4));  // 488, little-endian
    EXPECT_EQ(Bytes(w, 4, 4), "\xFE\xFF\xFF\xFF");
    EXPECT_EQ(Bytes(w, 8, 4), Nuls(4));
    EXPECT_EQ(Bytes(w, 12, 4), std::string("\x17\0\0\0", 4));  // 23
    EXPECT_EQ(Bytes(w, 16, 4), std::string("\0\x02\0\0", 4));  // 512
    EXPECT_EQ(Bytes(w, 20, 4), "\x78\x56\x34\x12");
    EXPECT_EQ(Bytes(w, 24, 128), "Velmora V1.0" + Nuls(1) + std::string(115, ' '));
    EXPECT_EQ(Bytes(w, 152, 8), Nuls(8));      // dwState, dwStateMask
    EXPECT_EQ(Bytes(w, 160, 256), Nuls(256));  // no balloon until one is set
    EXPECT_EQ(Bytes(w, 416, 4), Nuls(4));
    EXPECT_EQ(Bytes(w, 420, 64), Nuls(64));
    EXPECT_EQ(Bytes(w, 484, 4), Nuls(4));
}

TEST(Win32TrayRecord, ABalloonFillsBothFieldsOnceEitherIsSet) {
    const NotifyIconRecord record = ThroughWire(MakeNotifyIconRecord(1, 2, {u"tip", u"", u"有新文章"}));
    EXPECT_EQ(record.szInfoTitle.Whole(), Text(1, u'\0') + Text(63, u' '));
    EXPECT_EQ(record.szInfo.Shown(), u"有新文章");
    EXPECT_EQ(record.szTip.Shown(), u"tip");
}

TEST(Win32TrayRecord, UnicodeTextsAreCutAtTheirFieldsSizeInBytes) {
    // Three UTF-8 bytes each: 42 fit before the byte kept for the end.
    const NotifyIconRecord record = ThroughWire(MakeNotifyIconRecord(1, 2, {Text(127, u'中'), u"", u""}));
    EXPECT_EQ(record.szTip.Whole(), Text(42, u'中') + Text(2, u'\0') + Text(84, u' '));
    EXPECT_EQ(record.szTip.Shown(), Text(42, u'中'));
}

TEST(Win32TrayRecord, CutsInADoubleByteCodePageNeverSplitACharacter) {
    auto doubleByte = [](std::u16string_view text) {
        std::string out;
        for (char16_t c : text)
            out += c < 0x80 ? std::string(1, static_cast<char>(c)) : std::string("\x81\x82");
        return out;
    };
    NotifyIconRecord record;
    record.szTip.Store(Text(127, u'中') + u'\0');              // 254 bytes before the NUL
    record.szInfoTitle.Store(u"a" + Text(40, u'退') + u'\0');  // odd start: a naive cut halves one
    record.szInfo.Store(Text(300, u'x'));                      // fills the field, its NUL cut off
    const NotifyIconWire w = ToWire(record, doubleByte);
    EXPECT_EQ(Bytes(w, 24, 128), doubleByte(Text(63, u'中')) + Nuls(2));
    EXPECT_EQ(Bytes(w, 420, 64), "a" + doubleByte(Text(31, u'退')) + Nuls(1));
    EXPECT_EQ(Bytes(w, 160, 256), std::string(255, 'x') + Nuls(1));
    EXPECT_EQ(Bytes(w, 416, 4), Nuls(4));  // nothing spills into the next field
}

TEST(Win32TrayRecord, CallbacksDecodeToTheSixButtonsAtEveryScaling) {
    using A = TrayActivation;
    const std::optional<A> expected[] = {std::nullopt, A::LeftDown, A::LeftUp,           A::LeftDoubleClick,
                                         A::RightDown, A::RightUp,  A::RightDoubleClick, std::nullopt};
    for (float twipsPerPixel : {15.0f, 12.0f, 10.0f, 7.5f, 1440.0f / 110}) {
        for (int n = 512; n <= 519; ++n)
            EXPECT_EQ(TrayActivationOf(n, twipsPerPixel), expected[n - 512]) << n << " at " << twipsPerPixel;
    }
    EXPECT_EQ(TrayActivationOf(-32768, 15.0f), std::nullopt);
}

// Version 3 follows a left click with NIN_SELECT and a right click with
// WM_CONTEXTMENU: the mouse asks exactly as before, the keyboard asks too.
TEST(Win32TrayRecord, VersionThreeCallbacksRaiseTheMouseOnesOnceAndTheKeyboardsToo) {
    using A = TrayActivation;
    auto decode = [](std::initializer_list<int> callbacks) {
        TrayCallbackDecoder decoder;
        std::vector<A> raised;
        for (int n : callbacks)
            if (std::optional<A> a = decoder.Take(n, 15.0f)) raised.push_back(*a);
        return raised;
    };
    EXPECT_EQ(decode({512, 513, 514, 0x400}), (std::vector<A>{A::LeftDown, A::LeftUp}));
    EXPECT_EQ(decode({516, 517, 0x7B, 516, 517, 0x7B}),
              (std::vector<A>{A::RightDown, A::RightUp, A::RightDown, A::RightUp}));
    EXPECT_EQ(decode({0x401, 0x401, 0x7B, 512, 0x7B}),  // Enter, then the menu key twice
              (std::vector<A>{A::KeyboardSelect, A::KeyboardSelect, A::KeyboardSelect, A::KeyboardSelect}));
    EXPECT_EQ(decode({517, 512, 0x7B}), (std::vector<A>{A::RightUp, A::KeyboardSelect}));
}

}  // namespace
}  // namespace velmora::win32
