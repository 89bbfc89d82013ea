// TrayIcon on its own: what the notification area is asked to show through
// the icon's states, and how the user's activations reach its handler.
#include "tray/tray_icon.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "app/main_window_design.h"
#include "fake/fake_platform.h"

namespace velmora {
namespace {

using testing::FakePlatform;
using testing::TrayCall;

class TrayIconTest : public ::testing::Test {
protected:
    FakePlatform fake;
    Form main{fake, MainWindowDesign()};
    std::vector<TrayActivation> activations;
    std::function<void()> during;
    std::unique_ptr<TrayIcon> tray =
        std::make_unique<TrayIcon>(fake, main, Control::TrayCallbackBox, [this](TrayActivation activation) {
            activations.push_back(activation);
            if (during) during();
        });
};

TEST_F(TrayIconTest, TheIconShowsTheWindowsPictureBoxWithItsCaptionAsTheTip) {
    EXPECT_TRUE(fake.trayCalls.empty());  // nothing until shown
    tray->Show();
    ASSERT_TRUE(fake.trayIcon);
    EXPECT_EQ(fake.trayIcon->window, WindowKind::MainWindow);
    EXPECT_EQ(fake.trayIcon->pictureBox, Control::TrayCallbackBox);
    EXPECT_EQ(fake.trayIcon->content.tip, u"Velmora V1.0");
    EXPECT_EQ(fake.trayIcon->content.balloonTitle, u"");
}

TEST_F(TrayIconTest, RemovalIsAskedForInEveryStateAndDestructionRemovesTheIcon) {
    tray->Remove();  // before it was shown
    tray->Show();
    tray->Remove();
    EXPECT_FALSE(fake.trayIcon);
    tray->Show();
    tray.reset();
    EXPECT_FALSE(fake.trayIcon);
    ASSERT_EQ(fake.trayCalls.size(), 5u);
    EXPECT_EQ(fake.trayCalls.front().op, TrayCall::Remove);
    EXPECT_EQ(fake.trayCalls.back().op, TrayCall::Remove);
    EXPECT_TRUE(fake.unhandledErrors.empty());
}

TEST_F(TrayIconTest, TheBalloonComesBackWithEveryLaterChange) {
    tray->Show();
    tray->ShowBalloon(u"标题", u"有新文章");
    tray->SetTip(u"tip");
    EXPECT_EQ(tray->Tip(), u"tip");
    EXPECT_EQ(fake.trayIcon->content.tip, u"tip");
    EXPECT_EQ(fake.trayIcon->content.balloonTitle, u"标题");
    EXPECT_EQ(fake.trayIcon->content.balloonText, u"有新文章");
}

TEST_F(TrayIconTest, ActivationsDuringAHandlerAreDroppedNotQueued) {
    tray->Show();
    during = [&] {
        during = nullptr;
        fake.Tray(TrayActivation::RightDoubleClick);
        fake.Tray(TrayActivation::RightUp);
    };
    fake.Tray(TrayActivation::RightUp);
    EXPECT_EQ(activations, std::vector<TrayActivation>{TrayActivation::RightUp});
    fake.Tray(TrayActivation::LeftUp);
    EXPECT_EQ(activations.back(), TrayActivation::LeftUp);
}

TEST_F(TrayIconTest, AFailingHandlerIsReportedAndTheIconKeepsListening) {
    tray->Show();
    during = [] { throw RuntimeError(ErrorCode::Overflow, "overflow"); };
    fake.Tray(TrayActivation::LeftDown);
    EXPECT_EQ(fake.unhandledErrors.size(), 1u);
    during = nullptr;
    fake.Tray(TrayActivation::LeftUp);
    EXPECT_EQ(activations.size(), 2u);
}

}  // namespace
}  // namespace velmora
