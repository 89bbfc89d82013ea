// MessageBox on Qt: the texts, title, buttons, default button and icon that
// the style asks for, modal to the owner window when there is one.
#pragma once

#include <QWidget>

#include "platform/platform.h"

namespace velmora::qt {

// Returns the answer as IDOK, IDYES, IDNO ...
std::int32_t ShowMessageBox(QWidget* owner, const Text& text, const Text& caption, std::int32_t style);

}  // namespace velmora::qt
