// Conditional requests for the feed fetch: the last ETag and Last-Modified a
// URL answered with, and the document they came with, so that an unchanged
// feed costs a 304 instead of the whole document. Kept in memory only, for
// the one URL fetched last (the program fetches one feed).
#pragma once

#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/result.h"
#include "platform/platform.h"

namespace velmora {

// A larger document is not kept in memory between checks: its address is
// fetched whole each time, without validators.
inline constexpr std::size_t kMaxRememberedBytes = 2 * 1024 * 1024;

class ValidatorCache {
public:
    // "If-None-Match: …" and "If-Modified-Since: …" lines for `url`, if any.
    std::vector<std::string> ConditionalHeaders(const std::string& url) const;
    // A 2xx answer: remembered when it carried a validator and its document
    // is at most kMaxRememberedBytes; otherwise what was remembered for the
    // same address is forgotten.
    void Remember(const std::string& url, const std::string& etag, const std::string& lastModified,
                  const FetchedDocument& document);
    // A 304 answer: the document remembered for `url`.
    std::optional<FetchedDocument> Recall(const std::string& url) const;

private:
    mutable std::mutex mutex_;
    std::string url_, etag_, lastModified_;
    FetchedDocument document_;
};

// The cache the fetches of this process share.
ValidatorCache& SharedValidatorCache();

// The address as a request sends it, which is also the cache's key: spaces,
// control bytes and bytes above 0x7F percent-encoded the way a browser sends
// them (a urls.txt item may hold a Chinese path). Encoding twice changes
// nothing.
std::string RequestUrl(const Text& url);

// What one transfer brought back, before the cache has had its say.
struct TransferOutcome {
    FetchedDocument document;  // a 2xx answer's body and Content-Type charset
    std::string etag, lastModified;
    bool notModified = false;  // a 304: the document is the remembered one
};

// The document a finished transfer of `url` (a RequestUrl) yields once
// `cache` has had its say: a new document is remembered with its
// validators; a 304 takes the remembered document, or fails when there is
// none.
Result<FetchedDocument> SettleWithCache(ValidatorCache& cache, const std::string& url,
                                        TransferOutcome outcome);

// Collects the validators from response header lines; a new status line (a
// redirect's next response) starts afresh.
class ValidatorHeaders {
public:
    void AddLine(std::string_view line);
    const std::string& etag() const { return etag_; }
    const std::string& lastModified() const { return lastModified_; }

private:
    std::string etag_, lastModified_;
};

}  // namespace velmora
