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
    EXPECT_TRUE(fake.notifyCalls.empty());
    EXPECT_TRUE(fake.trayIcons.empty());
}

TEST_F(TrayExit, UnloadRemovesTheIconAndTheSecondRemovalIsHarmless) {
    Start();
    ASSERT_EQ(fake.trayIcons.size(), 1u);
    EXPECT_EQ(fake.trayIcons[0].tip, u"Velmora V1.0");
    fake.RunEvent([&] { main->Unload(); });
    EXPECT_TRUE(fake.trayIcons.empty());
    main.reset();  // destroying the icon deletes it again
    EXPECT_EQ(fake.notifyCalls.back().message, kNimDelete);
    EXPECT_FALSE(fake.notifyCalls.back().result);
    EXPECT_TRUE(fake.unhandledErrors.empty());
}

TEST_F(TrayExit, ARightClickOpensOnePromptAndNoLeavesEverythingAsItWas) {
    Start();
    fake.TrayCallback(516);
    EXPECT_TRUE(fake.msgBoxes.empty());
    fake.QueueMsgBox(kIdNo);
    fake.TrayCallback(517);
    ASSERT_EQ(fake.msgBoxes.size(), 1u);
    EXPECT_EQ(fake.msgBoxes[0].owner, main->hWnd());
    EXPECT_EQ(fake.msgBoxes[0].text, u"确定退出吗 ?");
    EXPECT_EQ(fake.msgBoxes[0].caption, u"退出");
    EXPECT_EQ(fake.msgBoxes[0].style, 4);

    EXPECT_FALSE(fake.Ended());
    EXPECT_TRUE(main->IsLoaded());
    EXPECT_EQ(fake.trayIcons.size(), 1u);
    EXPECT_EQ(fake.notifyCalls.size(), 1u);
    fake.TrayCallback(517);  // the next release asks again
    EXPECT_EQ(fake.msgBoxes.size(), 2u);
}

TEST_F(TrayExit, ARightDoubleClickOpensOnlyOnePrompt) {
    Start();
    fake.QueueMsgBox(kIdNo, [&] {
        fake.TrayCallback(518);
        fake.TrayCallback(517);
    });
    fake.TrayCallback(516);
    fake.TrayCallback(517);
    EXPECT_EQ(fake.msgBoxes.size(), 1u);
    fake.TrayCallback(517);  // after the prompt the icon listens again
    EXPECT_EQ(fake.msgBoxes.size(), 2u);
}

TEST_F(TrayExit, YesRemovesTheIconBeforeTheProcessEnds) {
    Start();
    fake.QueueMsgBox(kIdYes);
    fake.TrayCallback(517);
    EXPECT_TRUE(fake.Ended());
    EXPECT_TRUE(fake.trayIcons.empty());
    EXPECT_EQ(LogFrom("MsgBox"), (std::vector<std::string>{"MsgBox 退出", "NotifyIcon DELETE TrayCallbackBox",
                                                           "Unload MainWindow", "End"}));
}

// Log-off, taskkill, an installer: the icon goes before the process ends.
TEST_F(TrayExit, ACloseRequestToTheMainWindowEndsTheWayYesDoes) {
    Start();
    fake.RequestClose(WindowKind::MainWindow);
    EXPECT_TRUE(fake.Ended());
    EXPECT_TRUE(fake.trayIcons.empty());
    EXPECT_EQ(LogFrom("NotifyIcon DELETE"),
              (std::vector<std::string>{"NotifyIcon DELETE TrayCallbackBox", "Unload MainWindow", "End"}));
}

TEST_F(TrayExit, LeftButtonsAndAFailingPromptChangeNothing) {
    Start();
    for (int n : {513, 514, 515}) fake.TrayCallback(n);
    EXPECT_TRUE(fake.msgBoxes.empty());

    // An error in the prompt's step is ignored: no answer, so no exit.
    fake.QueueMsgBox(kIdYes, [] { throw RuntimeError(ErrorCode::Platform, "no message box"); });
    fake.TrayCallback(517);
    EXPECT_FALSE(fake.Ended());
    EXPECT_TRUE(fake.unhandledErrors.empty());
    EXPECT_EQ(fake.trayIcons.size(), 1u);
    fake.QueueMsgBox(kIdNo);
    fake.TrayCallback(517);  // the failed prompt left the icon listening
    EXPECT_EQ(fake.msgBoxes.size(), 2u);
}

}  // namespace
}  // namespace velmora
