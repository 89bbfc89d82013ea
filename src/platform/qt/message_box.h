// The program's two message boxes on QMessageBox: the plain Yes/No question
// and the error with a stop sign and OK.
#pragma once

#include <QWidget>

#include "platform/platform.h"

namespace velmora::qt {

// Modal to `owner` when there is one; anything but Yes is No.
Answer AskYesNo(QWidget* owner, const Text& question, const Text& caption);
void ShowError(const Text& message, const Text& caption);

}  // namespace velmora::qt
