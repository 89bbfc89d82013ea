// The Windows program's system calls as they are made: the numbers Windows
// reads and the answer taken from a message box.
#include "platform/win32/native_calls.h"

#include <gtest/gtest.h>

#include "platform/win32/user_notification_state.h"

namespace velmora::win32 {
namespace {

TEST(Win32NativeCalls, KeepOnTopNeitherMovesNorSizesNorActivates) {
    const WindowPosCall call = KeepOnTopCall();
    EXPECT_EQ(call.insertAfter, -1);  // HWND_TOPMOST
    EXPECT_EQ(call.x, 0);
    EXPECT_EQ(call.y, 0);
    EXPECT_EQ(call.cx, 0);
    EXPECT_EQ(call.cy, 0);
    EXPECT_EQ(call.flags, 0x13u);  // SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE
}

TEST(Win32NativeCalls, MessageBoxesHaveTheirButtonsAndOnlyYesIsYes) {
    const MessageBoxCall question = QuestionCall(u"确定退出吗 ?", u"退出");
    EXPECT_EQ(question.text, u"确定退出吗 ?");
    EXPECT_EQ(question.caption, u"退出");
    EXPECT_EQ(question.style, 0x10004u);  // MB_YESNO | MB_SETFOREGROUND
    const MessageBoxCall error = ErrorCall(u"message", u"caption");
    EXPECT_EQ(error.text, u"message");
    EXPECT_EQ(error.caption, u"caption");
    EXPECT_EQ(error.style, 0x10010u);  // MB_ICONSTOP | MB_SETFOREGROUND
    EXPECT_EQ(AnswerOf(6), Answer::Yes);
    for (int pressed : {0, 1, 2, 7}) EXPECT_EQ(AnswerOf(pressed), Answer::No) << pressed;
}

TEST(Win32NativeCalls, OpenLinkAsksForTheDefaultActionOnTheLinkAsEncoded) {
    const ShellExecuteCall call = OpenLinkCall(u"http://a.example/a%20b");
    EXPECT_EQ(call.operation, u"");
    EXPECT_EQ(call.file, u"http://a.example/a%20b");
    EXPECT_EQ(call.parameters, u"");
    EXPECT_EQ(call.directory, u"");
    EXPECT_EQ(call.showCommand, 5);  // SW_SHOW
}

// Wine's shell always answers "accepts notifications": only here is each
// state's meaning checked.
TEST(Win32NativeCalls, NotificationStateHoldsNoticesOnlyWhereWindowsHoldsItsOwn) {
    const struct {
        bool queried;
        int state;
        UserPresence presence;
    } cases[] = {
        {true, 1, UserPresence::Away},       // QUNS_NOT_PRESENT: saver, locked, switched away
        {true, 2, UserPresence::Away},       // QUNS_BUSY: a full-screen program
        {true, 3, UserPresence::Away},       // QUNS_RUNNING_D3D_FULL_SCREEN
        {true, 4, UserPresence::Away},       // QUNS_PRESENTATION_MODE
        {true, 5, UserPresence::Available},  // QUNS_ACCEPTS_NOTIFICATIONS
        {true, 6, UserPresence::Available},  // QUNS_QUIET_TIME
        {true, 7, UserPresence::Available},  // QUNS_APP
        {true, 0, UserPresence::Unknown},   {true, 8, UserPresence::Unknown},
        {false, 1, UserPresence::Unknown},  // the query failed: whatever it left behind
    };
    for (const auto& c : cases)
        EXPECT_EQ(PresenceOf(c.queried, c.state), c.presence) << c.queried << " " << c.state;
}

}  // namespace
}  // namespace velmora::win32
