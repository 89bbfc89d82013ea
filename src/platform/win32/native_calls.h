// The exact arguments of the system calls behind the desktop's services:
// keeping a window on top, the two message boxes, opening a link. Free of
// Windows headers so that any machine's tests can check them; the adapter
// checks the numbers against the real headers when it is compiled.
#pragma once

#include <cstdint>

#include "core/text.h"
#include "platform/platform.h"

namespace velmora::win32 {

// SetWindowPos's z-order and flags.
inline constexpr std::intptr_t kHwndTopmost = -1;
inline constexpr std::uint32_t kSwpNoSize = 0x1, kSwpNoMove = 0x2, kSwpNoActivate = 0x10;

struct WindowPosCall {
    std::intptr_t insertAfter;
    int x, y, cx, cy;
    std::uint32_t flags;
};

// Above every window not itself on top, where and as large as it is. Never
// activated: the pop-up must not take the focus from the user.
WindowPosCall KeepOnTopCall();

// MessageBox's styles and answers.
inline constexpr std::uint32_t kMbYesNo = 0x4, kMbIconStop = 0x10, kMbSetForeground = 0x10000;
inline constexpr int kIdYes = 6;

struct MessageBoxCall {
    Text text, caption;
    std::uint32_t style;
};

// The program has no visible window: without the foreground request a box
// could open behind the user's windows.
MessageBoxCall QuestionCall(const Text& question, const Text& caption);
MessageBoxCall ErrorCall(const Text& message, const Text& caption);
Answer AnswerOf(int pressed);

// ShellExecute's default action: an empty verb, not a null one.
inline constexpr int kSwShow = 5;

struct ShellExecuteCall {
    Text operation, file, parameters, directory;
    int showCommand;
};

// The link as the core encoded it: only URI characters, so the browser's
// command line gets no quote or space of the feed's.
ShellExecuteCall OpenLinkCall(const Text& link);

}  // namespace velmora::win32
