// The record's 488-byte ANSI form: offsets, byte order, text cuts, and the
// conversion back after the shell call.
#include "tray/notify_icon_data.h"

#include <gtest/gtest.h>

#include <string>

#include "app/main_window.h"
#include "fake/fake_platform.h"

namespace velmora {
namespace {

using testing::AnsiCodePage;
using testing::FakePlatform;
using testing::WireInt;

std::string Bytes(const NotifyIconWire& wire, std::size_t offset, std::size_t size) {
    return std::string(reinterpret_cast<const char*>(wire.data() + offset), size);
}

std::string Nuls(std::size_t n) {
    return std::string(n, '\0');
}

TEST(TrayWire, FreshlySetUpIconMatchesTheFieldTable) {
    FakePlatform fake;
    fake.SetFile(u"urls.txt", "rss.xml");
    MainWindow main(fake, u"http://127.0.0.1/");
    fake.RunEvent([&] { main.Load(); });

    ASSERT_EQ(fake.notifyCalls.size(), 1u);
    EXPECT_EQ(fake.notifyCalls[0].message, kNimAdd);
    const NotifyIconWire& w = fake.notifyCalls[0].wire;
    const auto& window = *fake.Window(WindowKind::MainWindow);
    EXPECT_EQ(Bytes(w, 0, 4), std::string("\xE8\x01\0\0", 4));  // 488, little-endian
    EXPECT_EQ(WireInt(w, 4), window.ControlHandle(Control::TrayCallbackBox));
    EXPECT_NE(WireInt(w, 4), window.hWnd());
    EXPECT_EQ(WireInt(w, 8), 0);
    EXPECT_EQ(Bytes(w, 12, 4), std::string("\x17\0\0\0", 4));  // 23
    EXPECT_EQ(WireInt(w, 16), 512);
    EXPECT_EQ(WireInt(w, 20), window.PictureHandle(Control::TrayCallbackBox));
    EXPECT_EQ(Bytes(w, 24, 128), "Velmora V1.0" + Nuls(1) + std::string(115, ' '));
    EXPECT_EQ(Bytes(w, 152, 8), Nuls(8));      // dwState, dwStateMask
    EXPECT_EQ(Bytes(w, 160, 256), Nuls(256));  // no balloon at start-up
    EXPECT_EQ(Bytes(w, 416, 4), Nuls(4));
    EXPECT_EQ(Bytes(w, 420, 64), Nuls(64));
    EXPECT_EQ(Bytes(w, 484, 4), Nuls(4));
}

TEST(TrayWire, NumbersKeepTheirSignAndComeBackFromTheShell) {
    FakePlatform fake;
    NotifyIconData record;
    record.hWnd = -2;  // handles are sign-extended 32-bit values
    record.hIcon = 0x12345678;
    record.dwInfoFlags = 7;
    NotifyIconWire w = ToWire(record, [&](std::u16string_view t) { return fake.ToAnsi(t); });
    EXPECT_EQ(Bytes(w, 4, 4), "\xFE\xFF\xFF\xFF");
    EXPECT_EQ(Bytes(w, 20, 4), "\x78\x56\x34\x12");
    EXPECT_EQ(WireInt(w, 484), 7);

    w[156] = 9;  // the shell may write into the record
    FromWire(w, record, [&](std::string_view b) { return fake.FromAnsi(b); });
    EXPECT_EQ(record.hWnd, -2);
    EXPECT_EQ(record.dwStateMask, 9);
    EXPECT_EQ(record.szInfo.Whole(), Text(256, u'\0'));
}

TEST(TrayWire, CutsInADoubleByteCodePageNeverSplitACharacter) {
    FakePlatform fake;
    fake.codePage = AnsiCodePage::Chinese;
    auto toAnsi = [&](std::u16string_view t) { return fake.ToAnsi(t); };
    NotifyIconData record;
    record.szTip.Store(Text(127, u'中') + u'\0');              // 254 bytes before the NUL
    record.szInfoTitle.Store(u"a" + Text(40, u'退') + u'\0');  // odd start: a naive cut halves one
    record.szInfo.Store(Text(300, u'x'));                      // fills the field, its NUL cut off
    const NotifyIconWire w = ToWire(record, toAnsi);

    EXPECT_EQ(Bytes(w, 24, 128), toAnsi(Text(63, u'中')) + Nuls(2));
    EXPECT_EQ(Bytes(w, 420, 64), "a" + toAnsi(Text(31, u'退')) + Nuls(1));
    EXPECT_EQ(Bytes(w, 160, 256), std::string(255, 'x') + Nuls(1));
    EXPECT_EQ(Bytes(w, 416, 4), Nuls(4));  // nothing spills into the next field

    // Afterwards the record holds what the code page gave back.
    FromWire(w, record, [&](std::string_view b) { return fake.FromAnsi(b); });
    EXPECT_EQ(record.szTip.Whole(), Text(63, u'中') + Text(2, u'\0') + Text(63, u' '));
}

TEST(TrayWire, AWesternCodePageTurnsChineseIntoQuestionMarks) {
    // The letter of the wire form; the adapters keep the screen text intact.
    FakePlatform fake;
    fake.codePage = AnsiCodePage::Western;
    NotifyIconData record;
    record.szTip.Store(Text(u"退出 é") + u'\0');
    const NotifyIconWire w = ToWire(record, [&](std::u16string_view t) { return fake.ToAnsi(t); });
    EXPECT_EQ(Bytes(w, 24, 6), "?? \xE9" + Nuls(1) + " ");
    FromWire(w, record, [&](std::string_view b) { return fake.FromAnsi(b); });
    EXPECT_EQ(record.szTip.Whole(), Text(u"?? é") + u'\0' + Text(123, u' '));
}

}  // namespace
}  // namespace velmora
