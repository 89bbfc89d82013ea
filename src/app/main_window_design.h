#pragma once

#include "core/design.h"

namespace velmora {

// The main window's fixed design: framed, never needed on screen, carrying the
// hidden picture box that receives the notification icon's callbacks.
const WindowDesign& MainWindowDesign();

}  // namespace velmora
