// One libcurl transfer with the limits of http_fetch.h (protocols, redirects,
// time-outs, size) but without the validator cache: the caller brings the
// conditional header lines and gets the validators back, and a 304 as
// `notModified`. velmora-fetch runs it for a parent process that keeps the
// cache.
#pragma once

#include <string>
#include <vector>

#include "platform/fetch/transfer_result.h"

namespace velmora {

// Blocks until the transfer has ended.
TransferResult RunCurlTransfer(const Text& url, const std::vector<std::string>& conditionalHeaders);

}  // namespace velmora
