// TrayIcon on its own: the record through its states, the shell calls it
// makes, and the decoding of the shell's callbacks into its six events.
#include "tray/tray_icon.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/main_window_design.h"
#include "fake/fake_platform.h"

namespace velmora {
namespace {

using testing::FakePlatform;
using testing::WireInt;
using testing::WireText;

// Records each raised event; `during` runs inside it.
class Recorder final : public TrayEvents {
public:
    explicit Recorder(std::function<void(const std::string&)> on) : on_(std::move(on)) {}
    void RButtonDown() override { on_("RButtonDown"); }
    void RButtonUp() override { on_("RButtonUp"); }
    void RButtonDblClick() override { on_("RButtonDblClick"); }
    void LButtonDown() override { on_("LButtonDown"); }
    void LButtonUp() override { on_("LButtonUp"); }
    void LButtonDblClick() override { on_("LButtonDblClick"); }

private:
    std::function<void(const std::string&)> on_;
};

class TrayIconTest : public ::testing::Test {
protected:
    FakePlatform fake;
    Form main{fake, MainWindowDesign()};
    std::vector<std::string> events;
    std::function<void()> during;
    std::unique_ptr<TrayIcon> tray = MakeTray();
    PictureBox& picture = main.GetPictureBox(Control::TrayCallbackBox);

    std::unique_ptr<TrayIcon> MakeTray() {
        return std::make_unique<TrayIcon>(fake, main,
                                          std::make_unique<Recorder>([this](const std::string& e) {
                                              events.push_back(e);
                                              if (during) during();
                                          }));
    }
    void Show() {
        tray->BindCallbackBox(picture);
        ASSERT_TRUE(tray->ShowIcon());
    }
    const NotifyIconWire& LastWire() const { return fake.notifyCalls.back().wire; }
};

TEST_F(TrayIconTest, CreationAimsAtTheMainWindowAndShowIconNeedsACallbackBox) {
    EXPECT_EQ(tray->TipText(), u"Velmora V1.0" + Text(1, u'\0') + Text(115, u' '));
    EXPECT_EQ(tray->Record().hWnd, main.hWnd());
    EXPECT_EQ(tray->Record().hIcon, main.Icon());
    EXPECT_EQ(tray->Record().szInfoTitle.Whole(), Text(64, u'\0'));

    EXPECT_FALSE(tray->ShowIcon());
    EXPECT_TRUE(fake.notifyCalls.empty());
}

TEST_F(TrayIconTest, DeleteIconIsSentInEveryStateAndRefusalsRaiseNothing) {
    tray->DeleteIcon();  // before any add
    Show();
    tray->DeleteIcon();
    tray->DeleteIcon();
    ASSERT_EQ(fake.notifyCalls.size(), 4u);
    EXPECT_FALSE(fake.notifyCalls[0].result);
    EXPECT_TRUE(fake.notifyCalls[2].result);
    EXPECT_FALSE(fake.notifyCalls[3].result);
    EXPECT_EQ(fake.notifyCalls[3].message, kNimDelete);
    EXPECT_TRUE(fake.trayIcons.empty());
    EXPECT_TRUE(fake.unhandledErrors.empty());
}

TEST_F(TrayIconTest, RebindingAfterShowIconLeavesTheAddedIconBehind) {
    Form other{fake, MainWindowDesign()};
    PictureBox& otherPicture = other.GetPictureBox(Control::TrayCallbackBox);
    Show();
    tray->BindCallbackBox(otherPicture);
    EXPECT_EQ(fake.notifyCalls.size(), 1u);  // nothing sent by BindCallbackBox
    tray->TipText(u"new");
    tray->DeleteIcon();
    ASSERT_EQ(fake.notifyCalls.size(), 3u);
    for (std::size_t i = 1; i < 3; ++i) {
        EXPECT_EQ(WireInt(fake.notifyCalls[i].wire, 4), otherPicture.hWnd());
        EXPECT_EQ(WireInt(fake.notifyCalls[i].wire, 20), otherPicture.Picture());
        EXPECT_FALSE(fake.notifyCalls[i].result);
    }
    ASSERT_EQ(fake.trayIcons.size(), 1u);
    EXPECT_EQ(fake.trayIcons[0].window, picture.hWnd());
    EXPECT_EQ(fake.trayIcons[0].tip, u"Velmora V1.0");
    // The first box no longer reaches the object.
    fake.TrayCallback(517);
    EXPECT_TRUE(events.empty());
    tray.reset();  // while the box it holds still exists
}

TEST_F(TrayIconTest, TheBalloonComesBackWithEveryLaterModify) {
    Show();
    EXPECT_EQ(fake.trayIcons[0].info, u"");
    tray->ShowMessage(u"标题", u"有新文章");
    fake.trayIcons[0].info.clear();  // as if the balloon had gone
    tray->TipText(u"tip");
    const NotifyIconWire& w = LastWire();
    EXPECT_EQ(WireText(fake, w, 420, 64), u"标题");
    EXPECT_EQ(WireText(fake, w, 160, 256), u"有新文章");
    EXPECT_EQ(WireInt(w, 12), 23);
    EXPECT_EQ(fake.trayIcons[0].tip, u"tip");
    EXPECT_EQ(fake.trayIcons[0].info, u"有新文章");
}

TEST_F(TrayIconTest, TipTextIsCutAtItsFieldAndReadBackWhole) {
    Show();
    tray->TipText(Text(200, u'x'));
    EXPECT_EQ(tray->TipText(), Text(127, u'x') + u'\0');  // the byte kept for the NUL
    EXPECT_EQ(fake.trayIcons[0].tip, Text(127, u'x'));
    tray->TipText(u"ab");
    EXPECT_EQ(tray->TipText(), u"ab" + Text(1, u'\0') + Text(125, u' '));
}

TEST_F(TrayIconTest, DestructionRemovesTheIcon) {
    Show();
    tray.reset();
    EXPECT_EQ(fake.notifyCalls.back().message, kNimDelete);
    EXPECT_TRUE(fake.trayIcons.empty());
}

TEST_F(TrayIconTest, EachButtonNumberRaisesItsEventAndOthersNothing) {
    Show();
    for (int n = 511; n <= 520; ++n) fake.TrayCallback(n);
    EXPECT_EQ(events, (std::vector<std::string>{"LButtonDown", "LButtonUp", "LButtonDblClick", "RButtonDown",
                                                "RButtonUp", "RButtonDblClick"}));
    EXPECT_TRUE(fake.unhandledErrors.empty());
}

TEST_F(TrayIconTest, QuotientsRoundHalfToEvenAtTheScreensScale) {
    Show();
    fake.TrayCallbackX(516.5f * 15);
    fake.TrayCallbackX(517.5f * 15);
    fake.TrayCallbackX(514.4f * 15);
    fake.screen.twipsPerPixelX = 12;  // 120 dpi
    fake.TrayCallback(517);
    EXPECT_EQ(events, (std::vector<std::string>{"RButtonDown", "RButtonDblClick", "LButtonUp", "RButtonUp"}));
}

TEST_F(TrayIconTest, CallbacksDuringAnEventAreDroppedNotQueued) {
    Show();
    during = [&] {
        during = nullptr;
        fake.TrayCallback(518);
        fake.TrayCallback(517);
    };
    fake.TrayCallback(517);
    EXPECT_EQ(events, std::vector<std::string>{"RButtonUp"});
    fake.TrayCallback(514);
    EXPECT_EQ(events.back(), "LButtonUp");
}

TEST_F(TrayIconTest, DecodingFailuresEndTheHandlerBeforeTheReentryGuard) {
    Show();
    fake.screen.twipsPerPixelX = 0;
    fake.TrayCallbackX(517 * 15);
    fake.screen.twipsPerPixelX = 15;
    fake.TrayCallbackX(1e12f);  // beyond 32 bits
    EXPECT_EQ(fake.unhandledErrors.size(), 2u);

    // While an event runs the failure still surfaces: it comes before the drop.
    during = [&] {
        during = nullptr;
        fake.TrayCallbackX(1e12f);
    };
    fake.TrayCallback(513);
    EXPECT_EQ(fake.unhandledErrors.size(), 3u);
    fake.TrayCallback(514);
    EXPECT_EQ(events, (std::vector<std::string>{"LButtonDown", "LButtonUp"}));
}

}  // namespace
}  // namespace velmora
