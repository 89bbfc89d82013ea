#pragma once

#include <optional>

#include "core/text.h"

namespace velmora {

// The first item of the configuration file's content: after leading blanks,
// either a quoted text up to its closing quote (or the end of its line), or
// the text up to the first comma or line break without trailing blanks.
// Empty when the content holds nothing at all.
std::optional<Text> ReadFirstItem(const Text& content);

}  // namespace velmora
