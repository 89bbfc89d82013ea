#pragma once

#include <optional>
#include <string_view>

#include "core/text.h"

namespace velmora {

// Decodes bytes in a named charset through iconv; an empty name means the
// legacy fallback (windows-1252). Empty result when iconv does not know the
// charset. Invalid sequences become U+FFFD.
std::optional<Text> IconvDecode(std::string_view bytes, std::string_view charset);

}  // namespace velmora
