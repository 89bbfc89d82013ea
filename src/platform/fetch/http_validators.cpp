#include "platform/fetch/http_validators.h"

#include <cctype>
#include <utility>

namespace velmora {
namespace {

bool StartsWithNoCase(std::string_view line, std::string_view prefix) {
    if (line.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(line[i])) != prefix[i]) return false;
    return true;
}

std::string ValueAfter(std::string_view line, std::size_t nameLength) {
    std::string_view value = line.substr(nameLength);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
    while (!value.empty() && std::isspace(static_cast<unsigned char>(value.back()))) value.remove_suffix(1);
    // A header value goes back into a request line: no line breaks, bounded.
    for (char c : value)
        if (c == '\r' || c == '\n' || c == '\0') return "";
    return value.size() <= 256 ? std::string(value) : "";
}

}  // namespace

std::vector<std::string> ValidatorCache::ConditionalHeaders(const std::string& url) const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> headers;
    if (url != url_) return headers;
    if (!etag_.empty()) headers.push_back("If-None-Match: " + etag_);
    if (!lastModified_.empty()) headers.push_back("If-Modified-Since: " + lastModified_);
    return headers;
}

void ValidatorCache::Remember(const std::string& url, const std::string& etag,
                              const std::string& lastModified, const FetchedDocument& document) {
    std::lock_guard lock(mutex_);
    if ((etag.empty() && lastModified.empty()) || document.body.size() > kMaxRememberedBytes) {
        if (url != url_) return;  // another address's answer leaves ours alone
        url_.clear();
        etag_.clear();
        lastModified_.clear();
        document_ = {};
        return;
    }
    url_ = url;
    etag_ = etag;
    lastModified_ = lastModified;
    document_ = document;
}

std::optional<FetchedDocument> ValidatorCache::Recall(const std::string& url) const {
    std::lock_guard lock(mutex_);
    if (url != url_) return std::nullopt;
    return document_;
}

std::string RequestUrl(const Text& url) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : TextToUtf8(url)) {
        if (c > 0x20 && c < 0x7F) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('%');
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 0x0F]);
        }
    }
    return out;
}

Result<FetchedDocument> SettleWithCache(ValidatorCache& cache, const std::string& url,
                                        TransferOutcome outcome) {
    if (!outcome.notModified) {
        cache.Remember(url, outcome.etag, outcome.lastModified, outcome.document);
        return std::move(outcome.document);
    }
    if (auto remembered = cache.Recall(url)) return std::move(*remembered);
    return Failure{"could not fetch " + url + ": the server answered with HTTP status 304"};
}

ValidatorCache& SharedValidatorCache() {
    static ValidatorCache cache;
    return cache;
}

void ValidatorHeaders::AddLine(std::string_view line) {
    if (StartsWithNoCase(line, "http/")) {
        etag_.clear();
        lastModified_.clear();
    } else if (StartsWithNoCase(line, "etag:")) {
        etag_ = ValueAfter(line, 5);
    } else if (StartsWithNoCase(line, "last-modified:")) {
        lastModified_ = ValueAfter(line, 14);
    }
}

}  // namespace velmora
