// What one transfer brings back, in both its forms: the transfer's own (libcurl
// or WinINet), and the one a frame carries from the child to its parent.
#pragma once

#include <string>
#include <utility>

#include "core/result.h"
#include "platform/fetch/http_validators.h"

namespace velmora {

// The answer before the validator cache has had its say, or why there is none.
using TransferResult = Result<TransferOutcome>;

// The document a finished transfer of `url` (a RequestUrl) yields once
// `cache` has had its say: a new document is remembered, a 304 takes the
// remembered one or fails.
inline Result<FetchedDocument> SettleTransfer(ValidatorCache& cache, const std::string& url,
                                              TransferResult transfer) {
    if (!transfer) return Failure{transfer.reason()};
    return SettleWithCache(cache, url, std::move(transfer.value()));
}

}  // namespace velmora
