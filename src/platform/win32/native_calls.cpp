#include "platform/win32/native_calls.h"

namespace velmora::win32 {

WindowPosCall KeepOnTopCall() {
    return WindowPosCall{kHwndTopmost, 0, 0, 0, 0, kSwpNoMove | kSwpNoSize | kSwpNoActivate};
}

MessageBoxCall QuestionCall(const Text& question, const Text& caption) {
    return MessageBoxCall{question, caption, kMbYesNo | kMbSetForeground};
}

MessageBoxCall ErrorCall(const Text& message, const Text& caption) {
    return MessageBoxCall{message, caption, kMbIconStop | kMbSetForeground};
}

// A box that failed to open answers 0: that is No too.
Answer AnswerOf(int pressed) {
    return pressed == kIdYes ? Answer::Yes : Answer::No;
}

ShellExecuteCall OpenLinkCall(const Text& link) {
    return ShellExecuteCall{u"", link, u"", u"", kSwShow};
}

}  // namespace velmora::win32
