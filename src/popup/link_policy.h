#pragma once

#include "core/text.h"

namespace velmora {

// Whether a link from the feed may go to the shell's default action: only
// absolute http and https addresses with a host and no control characters.
// Anything else (file: URLs, UNC or program paths, script or custom schemes)
// could run programs or open local files on the user's machine.
bool IsLaunchableLink(const Text& link);

// The link without the ASCII white space around it: pretty-printed feeds put
// the address on a line of its own between <link> and </link>.
Text TrimLink(const Text& link);

}  // namespace velmora
