// The real transfer behind the feed check, shared by the programs and
// velmora-check. Each platform implements it (libcurl, WinINet) with the same
// rules: http and https only, at most 10 redirects and none from https to
// http (http_redirects.h), gzip/deflate, a 15 s connect and a 30 s
// whole-transfer time-out, a 16 MiB body cap, any HTTP status of 400 or more
// and an answer that ends inside its headers counted as a failure.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>

#include "platform/platform.h"

namespace velmora {

inline constexpr long kConnectTimeoutSeconds = 15;
inline constexpr long kTransferTimeoutSeconds = 30;
inline constexpr std::size_t kMaxDocumentBytes = 16 * 1024 * 1024;
inline constexpr long kMaxRedirects = 10;

// Starts a transfer off the calling thread. `wake` is called once, from any
// thread, when the transfer has finished, so that a blocked event pump can
// return and read the busy flag again. Take then gives the document, or a
// Failure saying why there is none.
std::unique_ptr<FetchRequest> StartHttpFetch(const Text& url, std::function<void()> wake);

}  // namespace velmora
