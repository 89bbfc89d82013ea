// Placeholder until the notification-area icon is built.
#pragma once

namespace velmora {
class CTray {};
}  // namespace velmora
