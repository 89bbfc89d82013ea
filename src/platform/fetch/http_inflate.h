// The Content-Encoding of a fetched answer undone. Both fetches take the body
// as sent and inflate it here, so that a compressed stream cut short is a
// failed fetch, not a shorter document.
#pragma once

#include <string>
#include <string_view>

#include "core/result.h"

namespace velmora {

// `body` decoded by `encoding` (the header's value; empty or "identity": as
// it is; "gzip", "x-gzip", "deflate"). A Failure when the compressed stream
// ends before its end or is damaged, when the document would pass
// kMaxDocumentBytes, or for an encoding that was not asked for.
Result<std::string> DecodeContent(std::string body, std::string_view encoding);

}  // namespace velmora
