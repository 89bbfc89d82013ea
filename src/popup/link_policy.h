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

// The address the browser gets, written one way for every platform. Every
// character a URI may not hold is percent-encoded (UTF-8 for non-ASCII):
// quotes, spaces, `|^<>{}\, a "%" that starts no escape, a second "#". The
// shell would put them into the browser's command line as they stand, and a
// URL parser would guess at them. Of the spellings that name the same
// address, one is chosen: scheme and host in lower case, escapes in upper
// case, escaped letters, digits and "-._~" as themselves.
Text EncodeLink(const Text& link);

}  // namespace velmora
