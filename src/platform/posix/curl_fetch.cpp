// The feed fetch on libcurl. Each transfer runs on a worker thread of its own
// with a private multi handle, so the event thread only reads an atomic flag
// and a destroyed request can abort its transfer at once through
// curl_multi_wakeup instead of waiting for a time-out.
#include <curl/curl.h>

#include <atomic>
#include <charconv>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "feed/charset.h"
#include "platform/fetch/http_fetch.h"
#include "platform/fetch/http_inflate.h"
#include "platform/fetch/http_redirects.h"
#include "platform/posix/curl_fetch_internal.h"
#include "platform/posix/curl_transfer.h"

// Older libcurl (before 7.87) knows only 0 as the write callback's error.
#ifndef CURL_WRITEFUNC_ERROR
#define CURL_WRITEFUNC_ERROR 0
#endif

namespace velmora {
namespace {

std::atomic<long> gConnectTimeoutMs{0};
std::atomic<long> gTransferTimeoutMs{0};
std::string gCaFile;  // set before the transfers that use it start

long ConnectTimeoutMs() {
    long ms = gConnectTimeoutMs.load();
    return ms > 0 ? ms : kConnectTimeoutSeconds * 1000;
}

long TransferTimeoutMs() {
    long ms = gTransferTimeoutMs.load();
    return ms > 0 ? ms : kTransferTimeoutSeconds * 1000;
}

bool StartsWithNoCase(std::string_view line, std::string_view lowerPrefix) {
    if (line.size() < lowerPrefix.size()) return false;
    for (std::size_t i = 0; i < lowerPrefix.size(); ++i) {
        const char c = line[i] >= 'A' && line[i] <= 'Z' ? static_cast<char>(line[i] - 'A' + 'a') : line[i];
        if (c != lowerPrefix[i]) return false;
    }
    return true;
}

// curl_global_init is not thread-safe on older libcurl; run it once.
bool GlobalInit() {
    static std::once_flag once;
    static CURLcode result = CURLE_OK;
    std::call_once(once, [] { result = curl_global_init(CURL_GLOBAL_DEFAULT); });
    return result == CURLE_OK;
}

// One transfer; its result is written by the worker only until `done` is set.
class CurlTransfer {
public:
    CurlTransfer(const Text& url, const std::vector<std::string>& conditionalHeaders,
                 std::function<void()> wake)
        : url_(RequestUrl(url)), conditionalHeaders_(conditionalHeaders), wake_(std::move(wake)) {
        if (!GlobalInit()) {
            Finish(Failure{"libcurl could not be initialised"});
            return;
        }
        multi_ = curl_multi_init();
        easy_ = curl_easy_init();
        if (!multi_ || !easy_) {
            Finish(Failure{"libcurl could not create a transfer"});
            return;
        }
        try {
            worker_ = std::thread([this] { Run(); });
        } catch (const std::system_error&) {
            Finish(Failure{"no thread for the transfer"});
        }
    }

    ~CurlTransfer() {
        cancelled_.store(true);
        if (worker_.joinable()) {
            curl_multi_wakeup(multi_);
            worker_.join();
        }
        if (headers_) curl_slist_free_all(headers_);
        if (easy_) curl_easy_cleanup(easy_);
        if (multi_) curl_multi_cleanup(multi_);
    }

    CurlTransfer(const CurlTransfer&) = delete;
    CurlTransfer& operator=(const CurlTransfer&) = delete;

    const std::string& url() const { return url_; }
    bool Busy() const { return !done_.load(std::memory_order_acquire); }

    TransferResult Take() {
        // Taking early waits for the transfer rather than returning half a document.
        if (worker_.joinable()) worker_.join();
        if (taken_) return Failure{"the document was already taken"};
        taken_ = true;
        return std::move(result_);
    }

private:
    static std::size_t OnWrite(char* data, std::size_t size, std::size_t count, void* self) {
        auto* request = static_cast<CurlTransfer*>(self);
        const std::size_t bytes = size * count;
        std::string& body = request->body_;
        if (body.size() + bytes > kMaxDocumentBytes) {
            request->tooLarge_ = true;
            return CURL_WRITEFUNC_ERROR;
        }
        body.append(data, bytes);
        return bytes;
    }

    static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* self) {
        auto* request = static_cast<CurlTransfer*>(self);
        const std::string_view line(data, size * count);
        request->validators_.AddLine(line);
        // A response's headers end with an empty line; libcurl takes a
        // connection closed before it for a complete answer without a body.
        if (line.starts_with("HTTP/")) {
            request->headersEnded_ = false;
            request->status_ = 0;
            request->contentEncoding_.clear();
            const std::size_t space = line.find(' ');
            if (space != std::string_view::npos)
                std::from_chars(line.data() + space + 1, line.data() + line.size(), request->status_);
        } else if (line == "\r\n" || line == "\n") {
            request->headersEnded_ = true;
        } else if (StartsWithNoCase(line, "content-encoding:")) {
            request->contentEncoding_ = line.substr(17);
        } else if (request->status_ >= 300 && request->status_ < 400 && StartsWithNoCase(line, "location:")) {
            // The protocols allowed for redirects hold for the whole chain,
            // so a step from https down to http is stopped here, before
            // libcurl follows it.
            const char* from = nullptr;
            curl_easy_getinfo(request->easy_, CURLINFO_EFFECTIVE_URL, &from);
            if (from && IsHttpsDowngrade(from, line.substr(9))) {
                request->redirectRefused_ = true;
                return 0;
            }
        }
        return size * count;
    }

    static int OnProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
        return static_cast<CurlTransfer*>(self)->cancelled_.load() ? 1 : 0;
    }

    void Configure() {
        curl_easy_setopt(easy_, CURLOPT_URL, url_.c_str());
        curl_easy_setopt(easy_, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(easy_, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(easy_, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(easy_, CURLOPT_MAXREDIRS, kMaxRedirects);
        // The body comes as sent and is inflated once whole: libcurl's own
        // decoding takes a compressed stream cut short at the connection's
        // close for a whole document.
        curl_easy_setopt(easy_, CURLOPT_ACCEPT_ENCODING, "gzip, deflate");
        curl_easy_setopt(easy_, CURLOPT_HTTP_CONTENT_DECODING, 0L);
        curl_easy_setopt(easy_, CURLOPT_CONNECTTIMEOUT_MS, ConnectTimeoutMs());
        curl_easy_setopt(easy_, CURLOPT_TIMEOUT_MS, TransferTimeoutMs());
        curl_easy_setopt(easy_, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kMaxDocumentBytes));
        // Stops at an error status instead of downloading the error page.
        curl_easy_setopt(easy_, CURLOPT_FAILONERROR, 1L);
        curl_easy_setopt(easy_, CURLOPT_NOSIGNAL, 1L);
#if CURL_AT_LEAST_VERSION(7, 87, 0)
        // At a time-out, leave a name lookup that hangs (a name server that
        // never answers) to its thread instead of waiting for it to return.
        curl_easy_setopt(easy_, CURLOPT_QUICK_EXIT, 1L);
#endif
        curl_easy_setopt(easy_, CURLOPT_USERAGENT, "Velmora/1.0");
        if (!gCaFile.empty()) curl_easy_setopt(easy_, CURLOPT_CAINFO, gCaFile.c_str());
        curl_easy_setopt(easy_, CURLOPT_ERRORBUFFER, errorBuffer_);
        curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, &CurlTransfer::OnWrite);
        curl_easy_setopt(easy_, CURLOPT_WRITEDATA, this);
        curl_easy_setopt(easy_, CURLOPT_XFERINFOFUNCTION, &CurlTransfer::OnProgress);
        curl_easy_setopt(easy_, CURLOPT_XFERINFODATA, this);
        curl_easy_setopt(easy_, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(easy_, CURLOPT_HEADERFUNCTION, &CurlTransfer::OnHeader);
        curl_easy_setopt(easy_, CURLOPT_HEADERDATA, this);
        // An unchanged feed then costs a 304 instead of the whole document.
        for (const std::string& line : conditionalHeaders_)
            headers_ = curl_slist_append(headers_, line.c_str());
        if (headers_) curl_easy_setopt(easy_, CURLOPT_HTTPHEADER, headers_);
    }

    void Run() {
        Configure();
        CURLcode result = CURLE_FAILED_INIT;
        if (curl_multi_add_handle(multi_, easy_) == CURLM_OK) {
            int running = 1;
            // Each round waits on the sockets or curl's own next timer (the
            // time-outs), at most a second; a destructor's wake-up ends the wait.
            while (!cancelled_.load()) {
                if (curl_multi_perform(multi_, &running) != CURLM_OK || running == 0) break;
                curl_multi_poll(multi_, nullptr, 0, 1000, nullptr);
            }
            int queued = 0;
            while (CURLMsg* message = curl_multi_info_read(multi_, &queued)) {
                if (message->msg == CURLMSG_DONE && message->easy_handle == easy_)
                    result = message->data.result;
            }
            curl_multi_remove_handle(multi_, easy_);
        }
        Finish(cancelled_.load() ? TransferResult(Failure{"the transfer was abandoned"}) : Conclude(result));
    }

    // What the ended transfer brought: the body as the document, a 304, or why neither.
    TransferResult Conclude(CURLcode result) {
        long status = 0;
        curl_easy_getinfo(easy_, CURLINFO_RESPONSE_CODE, &status);
        if (redirectRefused_) return CouldNotFetch("refused a redirect from https to http");
        if (result == CURLE_OK && !headersEnded_) return CouldNotFetch("the answer ended inside its headers");
        TransferOutcome outcome;
        if (result == CURLE_OK && status >= 200 && status < 300) {
            const char* contentType = nullptr;
            curl_easy_getinfo(easy_, CURLINFO_CONTENT_TYPE, &contentType);
            if (contentType) outcome.document.headerCharset = ContentTypeCharset(contentType);
            Result<std::string> document = DecodeContent(std::move(body_), contentEncoding_);
            if (!document) return CouldNotFetch(document.reason());
            outcome.document.body = std::move(document.value());
            outcome.etag = validators_.etag();
            outcome.lastModified = validators_.lastModified();
            return outcome;
        }
        if (result == CURLE_OK && status == 304) {
            // The caller holds the remembered document, if any.
            outcome.notModified = true;
            return outcome;
        }
        std::string reason;
        if (tooLarge_ || result == CURLE_FILESIZE_EXCEEDED) {
            reason =
                "the document is larger than " + std::to_string(kMaxDocumentBytes / (1024 * 1024)) + " MiB";
        } else if (result == CURLE_OK || result == CURLE_HTTP_RETURNED_ERROR) {
            // An error page is no feed, and neither is a final 3xx: a redirect
            // that was not followed.
            reason = "the server answered with HTTP status " + std::to_string(status);
        } else {
            reason = errorBuffer_[0] ? errorBuffer_ : curl_easy_strerror(result);
            if (result == CURLE_OPERATION_TIMEDOUT) reason = "timed out (" + reason + ")";
        }
        return CouldNotFetch(reason);
    }

    Failure CouldNotFetch(const std::string& reason) const {
        return {"could not fetch " + url_ + ": " + reason};
    }

    void Finish(TransferResult result) {
        result_ = std::move(result);
        done_.store(true, std::memory_order_release);
        if (!cancelled_.load() && wake_) wake_();
    }

    std::string url_;
    std::vector<std::string> conditionalHeaders_;
    std::function<void()> wake_;
    CURLM* multi_ = nullptr;
    CURL* easy_ = nullptr;
    std::thread worker_;
    std::string body_;  // as it arrives
    TransferResult result_ = Failure{"the transfer has not ended"};
    ValidatorHeaders validators_;
    curl_slist* headers_ = nullptr;
    char errorBuffer_[CURL_ERROR_SIZE] = {};
    bool tooLarge_ = false;
    bool headersEnded_ = false;
    int status_ = 0;               // of the response whose headers are arriving
    std::string contentEncoding_;  // of that response
    bool redirectRefused_ = false;
    bool taken_ = false;
    std::atomic<bool> cancelled_{false};
    std::atomic<bool> done_{false};
};

// The programs' fetch: the transfer with this process's validator cache.
class CurlFetchRequest final : public FetchRequest {
public:
    CurlFetchRequest(const Text& url, std::function<void()> wake)
        : transfer_(url, SharedValidatorCache().ConditionalHeaders(RequestUrl(url)), std::move(wake)) {}

    bool Busy() override { return transfer_.Busy(); }

    Result<FetchedDocument> Take() override {
        return SettleTransfer(SharedValidatorCache(), transfer_.url(), transfer_.Take());
    }

private:
    CurlTransfer transfer_;
};

}  // namespace

void SetFetchTimeoutsForTesting(long connectMs, long totalMs) {
    gConnectTimeoutMs.store(connectMs);
    gTransferTimeoutMs.store(totalMs);
}

void SetFetchCaFileForTesting(const std::string& path) {
    gCaFile = path;
}

std::unique_ptr<FetchRequest> StartHttpFetch(const Text& url, std::function<void()> wake) {
    return std::make_unique<CurlFetchRequest>(url, std::move(wake));
}

TransferResult RunCurlTransfer(const Text& url, const std::vector<std::string>& conditionalHeaders) {
    return CurlTransfer(url, conditionalHeaders, nullptr).Take();
}

}  // namespace velmora
