// Reading a small configuration file the same way in both programs.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

#include "platform/platform.h"

namespace velmora {

// At most kConfigFileLimit bytes of an open file; empty on a read error.
// The caller opens and closes the file in its system's own way.
inline std::optional<std::string> ReadConfigFile(std::FILE* file) {
    if (!file) return std::nullopt;
    std::string bytes(kConfigFileLimit, '\0');
    const std::size_t read = std::fread(bytes.data(), 1, bytes.size(), file);
    if (std::ferror(file)) return std::nullopt;
    bytes.resize(read);
    return bytes;
}

}  // namespace velmora
