// The Windows program's system calls as they are made: the numbers Windows
// reads and the answer taken from a message box.
#include "platform/win32/native_calls.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace velmora::win32
