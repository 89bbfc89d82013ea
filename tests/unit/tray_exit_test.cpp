// The main window's tray icon: the set-up and removals in start-up and unload, and the exit
// prompt that a right-button release over the icon opens.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "fake/fake_platform.h"
#include "tray/tray_icon.h"

namespace velmora {
namespace {

using testing::FakePlatform;

class TrayExit : public ::testing::Test {
protected:
    FakePlatform fake;
    std::unique_ptr<MainWindow> main;

    void Start(bool withUrls = true) {
        if (withUrls) fake.SetFile(u"urls.txt", "rss.xml");
        main = std::make_unique<MainWindow>(fake, u"http://127.0.0.1/");
        fake.RunEvent([&] { main->Load(); });
    }
    // The log from the first entry that starts with `from`.
    std::vector<std::string> LogFrom(const std::string& from) const {
        auto it = std::find_if(fake.log.begin(), fake.log.end(),
                               [&](const std::string& line) { return line.starts_with(from); });
        return {it, fake.log.end()};
    }
};

TEST_F(TrayExit, AMissingUrlsFileLeavesNoIconAndDeletesNothing) {
    Start(false);
    EXPECT_TRUE(fake.Ended());
    EXPECT_EQ(main->Tray(), nullptr);
    EXPECT_TRUE(fake.trayCalls.empty());
    EXPECT_TRUE(!fake.trayIcon);
}

TEST_F(TrayExit, UnloadRemovesTheIconAndTheSecondRemovalIsHarmless) {
    Start();
    ASSERT_TRUE(fake.trayIcon);
    EXPECT_EQ(fake.trayIcon->content.tip, u"Velmora V1.0");
    fake.RunEvent([&] { main->Unload(); });
    EXPECT_TRUE(!fake.trayIcon);
    main.reset();  // destroying the icon deletes it again
    EXPECT_EQ(fake.trayCalls.back().op, testing::TrayCall::Remove);
    EXPECT_TRUE(fake.unhandledErrors.empty());
}

TEST_F(TrayExit, ARightClickOpensOnePromptAndNoLeavesEverythingAsItWas) {
    Start();
    fake.Tray(TrayActivation::RightDown);
    EXPECT_TRUE(fake.dialogs.empty());
    fake.QueueAnswer(Answer::No);
    fake.Tray(TrayActivation::RightUp);
    ASSERT_EQ(fake.dialogs.size(), 1u);
    EXPECT_EQ(fake.dialogs[0].kind, testing::DialogCall::Question);
    EXPECT_EQ(fake.dialogs[0].owner, WindowKind::MainWindow);
    EXPECT_EQ(fake.dialogs[0].text, u"确定退出吗 ?");
    EXPECT_EQ(fake.dialogs[0].caption, u"退出");

    EXPECT_FALSE(fake.Ended());
    EXPECT_TRUE(main->IsLoaded());
    EXPECT_TRUE(fake.trayIcon);
    EXPECT_EQ(fake.trayCalls.size(), 1u);
    fake.Tray(TrayActivation::RightUp);  // the next release asks again
    EXPECT_EQ(fake.dialogs.size(), 2u);
}

TEST_F(TrayExit, ARightDoubleClickOpensOnlyOnePrompt) {
    Start();
    fake.QueueAnswer(Answer::No, [&] {
        fake.Tray(TrayActivation::RightDoubleClick);
        fake.Tray(TrayActivation::RightUp);
    });
    fake.Tray(TrayActivation::RightDown);
    fake.Tray(TrayActivation::RightUp);
    EXPECT_EQ(fake.dialogs.size(), 1u);
    fake.Tray(TrayActivation::RightUp);  // after the prompt the icon listens again
    EXPECT_EQ(fake.dialogs.size(), 2u);
}

// Enter or the context-menu key on the icon chosen from the keyboard.
TEST_F(TrayExit, TheKeyboardOpensTheSamePromptOnce) {
    Start();
    fake.QueueAnswer(Answer::No, [&] { fake.Tray(TrayActivation::KeyboardSelect); });
    fake.Tray(TrayActivation::KeyboardSelect);
    ASSERT_EQ(fake.dialogs.size(), 1u);
    EXPECT_EQ(fake.dialogs[0].text, u"确定退出吗 ?");
    EXPECT_EQ(fake.dialogs[0].caption, u"退出");
    EXPECT_FALSE(fake.Ended());
}

TEST_F(TrayExit, YesRemovesTheIconBeforeTheProcessEnds) {
    Start();
    fake.QueueAnswer(Answer::Yes);
    fake.Tray(TrayActivation::RightUp);
    EXPECT_TRUE(fake.Ended());
    EXPECT_TRUE(!fake.trayIcon);
    EXPECT_EQ(LogFrom("Ask"),
              (std::vector<std::string>{"Ask 退出", "TrayRemove", "Unload MainWindow", "End"}));
}

// Log-off, taskkill, an installer: the icon goes before the process ends.
TEST_F(TrayExit, ACloseRequestToTheMainWindowEndsTheWayYesDoes) {
    Start();
    fake.RequestClose(WindowKind::MainWindow);
    EXPECT_TRUE(fake.Ended());
    EXPECT_TRUE(!fake.trayIcon);
    EXPECT_EQ(LogFrom("TrayRemove"), (std::vector<std::string>{"TrayRemove", "Unload MainWindow", "End"}));
}

TEST_F(TrayExit, LeftButtonsAndAFailingPromptChangeNothing) {
    Start();
    for (auto activation :
         {TrayActivation::LeftDown, TrayActivation::LeftUp, TrayActivation::LeftDoubleClick})
        fake.Tray(activation);
    EXPECT_TRUE(fake.dialogs.empty());

    // An error in the prompt's step is ignored: no answer, so no exit.
    fake.QueueAnswer(Answer::Yes, [] { throw RuntimeError(ErrorCode::Platform, "no message box"); });
    fake.Tray(TrayActivation::RightUp);
    EXPECT_FALSE(fake.Ended());
    EXPECT_TRUE(fake.unhandledErrors.empty());
    EXPECT_TRUE(fake.trayIcon);
    fake.Tray(TrayActivation::RightUp);  // the failed prompt left the icon listening
    EXPECT_EQ(fake.dialogs.size(), 2u);
}

}  // namespace
}  // namespace velmora
