// The Qt adapter's tray logic without Qt: reading the core's 488-byte record,
// what the shell would refuse, and the clicks mapped to mouse messages that
// the core turns into the exit prompt.
#include <gtest/gtest.h>

#include <memory>

#include "app/main_window.h"
#include "fake/fake_platform.h"
#include "platform/qt/tray_clicks.h"
#include "platform/qt/tray_wire.h"
#include "platform/qt/units.h"
#include "tray/notify_icon_data.h"

namespace velmora::qt {
namespace {

using velmora::testing::FakePlatform;

NotifyIconWire Wire(const NotifyIconData& record) {
    return ToWire(record, [](std::u16string_view text) { return TextToUtf8(text); });
}

NotifyIconData Record() {
    NotifyIconData record;
    record.cbSize = 488;
    record.hWnd = 0x10008;
    record.uFlags = 23;
    record.uCallbackMessage = 512;
    record.hIcon = -0x1234;  // handles are sign-extended
    record.szTip.Store(u"Velmora V1.0" + Text(1, u'\0'));
    return record;
}

TEST(QtTrayWire, ReadsWhatTheCoreWritesAtTheSameOffsets) {
    NotifyIconData record = Record();
    record.uID = 3;
    record.szInfoTitle.Store(u"新消息" + Text(1, u'\0'));
    record.szInfo.Store(u"托盘通知·已发布" + Text(1, u'\0'));

    const NotifyIconRequest request = ParseNotifyIconWire(Wire(record));
    EXPECT_EQ(request.size, 488);
    EXPECT_EQ(request.window, 0x10008);
    EXPECT_EQ(request.id, 3);
    EXPECT_EQ(request.flags, kNifIcon | kNifTip | kNifInfo | 1);
    EXPECT_EQ(request.icon, -0x1234);
    EXPECT_EQ(request.tip, "Velmora V1.0");  // up to the NUL, not the spaces behind it
    EXPECT_EQ(request.infoTitle, "新消息");
    EXPECT_EQ(request.info, "托盘通知·已发布");
}

TEST(QtTrayWire, TextsThatFillTheirFieldsStayInsideThem) {
    NotifyIconData record = Record();
    record.szTip.Store(Text(200, u'字'));  // no NUL of its own
    record.szInfoTitle.Store(Text(100, u'x'));
    const NotifyIconRequest request = ParseNotifyIconWire(Wire(record));
    EXPECT_EQ(request.tip, TextToUtf8(Text(42, u'字')));  // 126 bytes: whole characters only
    EXPECT_EQ(request.infoTitle, std::string(63, 'x'));
    EXPECT_TRUE(request.info.empty());

    NotifyIconWire raw{};  // a field without any NUL is read to its end, not beyond
    std::fill(raw.begin() + 24, raw.begin() + 24 + 128, 'a');
    raw[24 + 128] = 'b';  // the next field
    EXPECT_EQ(ParseNotifyIconWire(raw).tip, std::string(128, 'a'));
}

TEST(QtTrayWire, RefusesWhatTheShellRefuses) {
    NotifyIconRequest request = ParseNotifyIconWire(Wire(Record()));
    using A = NotifyIconAction;
    EXPECT_EQ(DecideNotifyIcon(kNimAdd, request, false, true), A::Add);
    EXPECT_EQ(DecideNotifyIcon(kNimAdd, request, true, true), A::Refuse);    // added twice
    EXPECT_EQ(DecideNotifyIcon(kNimAdd, request, false, false), A::Refuse);  // no window for the clicks
    EXPECT_EQ(DecideNotifyIcon(kNimModify, request, true, true), A::Modify);
    EXPECT_EQ(DecideNotifyIcon(kNimModify, request, false, true), A::Refuse);
    EXPECT_EQ(DecideNotifyIcon(kNimDelete, request, true, false), A::Delete);  // window already gone
    EXPECT_EQ(DecideNotifyIcon(kNimDelete, request, false, true), A::Refuse);  // deleted twice
    EXPECT_EQ(DecideNotifyIcon(3, request, true, true), A::Refuse);
    request.size = 504;
    EXPECT_EQ(DecideNotifyIcon(kNimAdd, request, false, true), A::Refuse);
}

TEST(QtTrayClicks, XEmbedEventsMapOneToOne) {
    EXPECT_EQ(MouseMessageFor(TrayButton::Left, TrayPress::Down), 513);
    EXPECT_EQ(MouseMessageFor(TrayButton::Left, TrayPress::Up), 514);
    EXPECT_EQ(MouseMessageFor(TrayButton::Left, TrayPress::DoubleClick), 515);
    EXPECT_EQ(MouseMessageFor(TrayButton::Right, TrayPress::Down), 516);
    EXPECT_EQ(MouseMessageFor(TrayButton::Right, TrayPress::Up), 517);
    EXPECT_EQ(MouseMessageFor(TrayButton::Right, TrayPress::DoubleClick), 518);
    EXPECT_EQ(MouseMessageFor(TrayButton::Middle, TrayPress::Up), 520);
}

// The messages go through the core as the adapter delivers them: X is the
// number of pixels in twips on the picture box.
class QtTrayToCore : public ::testing::Test {
protected:
    FakePlatform fake;
    std::unique_ptr<MainWindow> main;

    void SetUp() override {
        fake.SetFile(u"urls.txt", "rss.xml");
        main = std::make_unique<MainWindow>(fake, u"http://127.0.0.1/");
        fake.RunEvent([&] { main->Load(); });
    }
    void Deliver(const std::vector<std::int32_t>& messages) {
        for (std::int32_t message : messages)
            fake.TrayCallbackX(static_cast<Twips>(message) * fake.screen.twipsPerPixelX);
    }
};

TEST_F(QtTrayToCore, OnlyAStatusNotifierContextRequestAsksToQuit) {
    Deliver(MouseMessagesFor(TrayActivation::Trigger));
    Deliver(MouseMessagesFor(TrayActivation::DoubleClick));
    Deliver(MouseMessagesFor(TrayActivation::MiddleClick));
    Deliver(MouseMessagesFor(TrayActivation::Other));
    EXPECT_TRUE(fake.msgBoxes.empty());

    fake.QueueMsgBox(kIdNo);
    Deliver(MouseMessagesFor(TrayActivation::Context));
    ASSERT_EQ(fake.msgBoxes.size(), 1u);
    EXPECT_EQ(fake.msgBoxes[0].text, u"确定退出吗 ?");
    EXPECT_FALSE(fake.Ended());
}

TEST_F(QtTrayToCore, AnXEmbedRightDoubleClickAsksOnce) {
    fake.QueueMsgBox(kIdNo, [&] {
        // The rest of the double-click arrives while the prompt is open.
        Deliver({MouseMessageFor(TrayButton::Right, TrayPress::DoubleClick),
                 MouseMessageFor(TrayButton::Right, TrayPress::Up)});
    });
    Deliver({MouseMessageFor(TrayButton::Right, TrayPress::Down),
             MouseMessageFor(TrayButton::Right, TrayPress::Up)});
    EXPECT_EQ(fake.msgBoxes.size(), 1u);
}

TEST_F(QtTrayToCore, AtOtherDpisTheNumberStillComesBackWhole) {
    for (double dpi : {72.0, 96.0, 109.0, 120.0, 144.0, 192.0}) {
        fake.screen.twipsPerPixelX = TwipsPerPixel(dpi);
        fake.msgBoxes.clear();
        fake.QueueMsgBox(kIdNo);
        Deliver(MouseMessagesFor(TrayActivation::Context));
        EXPECT_EQ(fake.msgBoxes.size(), 1u) << "at " << dpi << " DPI";
    }
}

}  // namespace
}  // namespace velmora::qt
