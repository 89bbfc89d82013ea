// The feed fetch of the Linux program, run in a short-lived helper process
// (velmora-fetch) so that the resident program never maps libcurl and the
// TLS stack behind it. The helper performs one transfer with the libcurl
// fetch and writes a frame (fetch_frame.h) to a pipe; this side keeps the
// validator cache, which would die with the helper.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "platform/fetch/http_fetch.h"
#include "platform/fetch/http_validators.h"

namespace velmora {

// velmora-fetch beside the running program, else in ../libexec/velmora/ from
// its folder (the installed layout); "" when neither is an executable file.
std::string FindFetchHelper();
std::string FindFetchHelperFrom(const std::string& programFolder);

// The helper ends its transfer after 30 s by itself; past this it is killed,
// so that a helper that hangs cannot hold the feed check forever.
inline constexpr std::chrono::milliseconds kFetchHelperTimeLimit{(kTransferTimeoutSeconds + 15) * 1000};

// StartHttpFetch's contract, through `helper` (a FindFetchHelper result) and
// with `cache` for the conditional requests. Destroying a running request
// kills the helper and reaps it before returning.
std::unique_ptr<FetchRequest> StartSpawnFetch(const Text& url, std::function<void()> wake,
                                              const std::string& helper, ValidatorCache& cache,
                                              std::chrono::milliseconds timeLimit = kFetchHelperTimeLimit);

}  // namespace velmora
