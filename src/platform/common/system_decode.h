// The system's charset conversion, which both programs hand to the feed's
// decoding (feed/charset.h): iconv on Linux (posix/system_decode.cpp), the
// Windows code pages (win32/code_pages.cpp).
#pragma once

#include <optional>
#include <string_view>

#include "core/text.h"

namespace velmora {

// `bytes` in the charset `charset` names; an empty name means the system's
// legacy code page. Empty result: unknown charset.
std::optional<Text> SystemDecode(std::string_view bytes, std::string_view charset);

}  // namespace velmora
