#pragma once

#include <optional>

#include "platform/text.h"

namespace velmora {

// The first item of the configuration file's content, by the list-input rule
// for one text item; empty when the content holds nothing at all.
std::optional<Text> ReadFirstItem(const Text& content);

}  // namespace velmora
