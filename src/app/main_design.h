#pragma once

#include "platform/design.h"

namespace velmora {

// The main window as designed: framed, never needed on screen, carrying the
// picture box that receives the notification icon's callbacks.
const WindowDesign& MainDesign();

}  // namespace velmora
