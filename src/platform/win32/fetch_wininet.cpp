// The feed transfer on WinINet, so the user's proxy, cookie and TLS settings
// apply. The blocking calls run on a worker thread. A timer-queue deadline
// ends the request at the whole-transfer limit and closes the transfer's
// handles, which interrupts a blocked call on Windows. Wine's WinINet lets go
// only when the call returns, so the worker reads no more than has arrived
// and looks at the deadline between receives. Only one worker lives at a
// time: a check that comes while the last one is still ending fails at once
// instead of stacking another thread and socket.
#include <atomic>
#include <condition_variable>
#include <cwchar>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include "core/http_validators.h"
#include "feed/charset.h"
#include "platform/http_fetch.h"
#include "platform/http_redirects.h"
#include "platform/win32/win32_api.h"
#include "platform/win32/wininet_fetch.h"

#include <wininet.h>

namespace velmora {
namespace {

bool IsHttpUrl(const std::wstring& url) {
    auto startsWith = [&](const wchar_t* prefix) {
        return _wcsnicmp(url.c_str(), prefix, wcslen(prefix)) == 0;
    };
    return startsWith(L"http://") || startsWith(L"https://");
}

bool IsRedirect(DWORD status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

std::string ToUtf8(const std::wstring& text) {
    return TextToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()));
}

Failure StepFailed(const char* step) {
    return Failure{std::string(step) + " failed (WinINet error " + std::to_string(GetLastError()) + ")"};
}

// The reason of a failed step, for a result of another kind.
template <typename T>
Failure Why(const Result<T>& result) {
    return Failure{result.reason()};
}

const Failure kAbandoned{"abandoned"};

// Set while a worker runs, cleared as its last step.
std::atomic<bool> transferRunning{false};

// The WinINet handles of one transfer. The worker opens them; the worker or
// the deadline, whichever comes first, closes them, requests before their
// session, and a handle opened after that is closed at once.
class TransferHandles {
public:
    // False when the transfer is already closed: the handle is then gone.
    bool Add(HINTERNET handle) {
        std::lock_guard lock(mutex_);
        if (closed_) {
            InternetCloseHandle(handle);
            return false;
        }
        handles_.push_back(handle);
        return true;
    }
    void CloseAll() {
        std::lock_guard lock(mutex_);
        closed_ = true;
        while (!handles_.empty()) {
            InternetCloseHandle(handles_.back());
            handles_.pop_back();
        }
    }

private:
    std::mutex mutex_;
    std::vector<HINTERNET> handles_;
    bool closed_ = false;
};

// What the worker and the request share; it lives as long as either needs it.
struct Outcome {
    std::mutex mutex;
    std::condition_variable wakeDone;
    std::optional<Result<FetchedDocument>> result;  // set once finished
    bool waking = false;
    std::function<void()> wake;
    TransferHandles handles;

    // The first to finish (worker, deadline or abandonment) decides; a
    // decider that will call Wake says so, and the request is not destroyed
    // under that call.
    bool Finish(Result<FetchedDocument> decided, bool willWake) {
        std::lock_guard lock(mutex);
        if (result) return false;
        result = std::move(decided);
        waking = willWake;
        return true;
    }
    void Wake() {
        wake();
        std::lock_guard lock(mutex);
        waking = false;
        wakeDone.notify_all();
    }
    void AwaitWake() {
        std::unique_lock lock(mutex);
        wakeDone.wait(lock, [this] { return !waking; });
    }
    bool Finished() {
        std::lock_guard lock(mutex);
        return result.has_value();
    }
};

// One transfer on the worker thread; its handles live in the outcome, where
// the deadline can close them.
class Transfer {
public:
    explicit Transfer(std::shared_ptr<Outcome> outcome) : outcome_(std::move(outcome)) {}
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;

    Result<FetchedDocument> Run(const std::wstring& firstUrl) {
        const std::string cacheKey = ToUtf8(firstUrl);
        // An unchanged feed then costs a 304 instead of the whole document.
        // A check a minute gains nothing from a kept-alive connection.
        std::wstring headers = L"Accept-Encoding: gzip, deflate\r\nConnection: close\r\n";
        for (const std::string& line : SharedValidatorCache().ConditionalHeaders(cacheKey)) {
            headers += win32::ToWide(Utf8ToText(line)) + L"\r\n";
        }
        std::wstring url = firstUrl;
        const Result<HINTERNET> opened = Keep(
            InternetOpenW(L"Velmora/1.0", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0), "InternetOpen");
        if (!opened) return Why(opened);
        HINTERNET session = opened.value();
        DWORD connectMs = kConnectTimeoutSeconds * 1000, transferMs = kTransferTimeoutSeconds * 1000;
        BOOL decode = TRUE;
        InternetSetOptionW(session, INTERNET_OPTION_CONNECT_TIMEOUT, &connectMs, sizeof(connectMs));
        InternetSetOptionW(session, INTERNET_OPTION_SEND_TIMEOUT, &transferMs, sizeof(transferMs));
        InternetSetOptionW(session, INTERNET_OPTION_RECEIVE_TIMEOUT, &transferMs, sizeof(transferMs));
        InternetSetOptionW(session, INTERNET_OPTION_HTTP_DECODING, &decode, sizeof(decode));

        for (long hop = 0;; ++hop) {
            if (!IsHttpUrl(url)) return Failure{"only http and https addresses are fetched"};
            // Redirects are followed here, not by WinINet, so that every hop
            // must be http or https and counts towards the hop limit.
            const Result<HINTERNET> kept =
                Keep(InternetOpenUrlW(session, url.c_str(), headers.c_str(), static_cast<DWORD>(-1),
                                      INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                                          INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_NO_AUTO_REDIRECT |
                                          INTERNET_FLAG_NO_UI,
                                      0),
                     "InternetOpenUrl");
            if (!kept) return Why(kept);
            HINTERNET request = kept.value();
            const Result<DWORD> answered = QueryStatus(request);
            if (!answered) return Why(answered);
            const DWORD status = answered.value();
            if (IsRedirect(status)) {
                const std::wstring next = QueryHeader(request, HTTP_QUERY_LOCATION);
                if (next.empty()) return Failure{"a redirect without a Location"};
                if (hop >= kMaxRedirects) return Failure{"too many redirects"};
                Result<std::wstring> target = Combine(url, next);
                if (!target) return Why(target);
                if (IsHttpsDowngrade(ToUtf8(url), ToUtf8(target.value())))
                    return Failure{"a redirect from https to http"};
                url = std::move(target.value());
                continue;
            }
            if (status == 304) {
                if (auto remembered = SharedValidatorCache().Recall(cacheKey)) return *remembered;
                return Failure{"HTTP status 304 for a document not fetched before"};
            }
            if (status >= 400) return Failure{"HTTP status " + std::to_string(status)};
            Result<std::string> body = ReadBody(request);
            if (!body) return Why(body);
            Result<std::string> whole = Complete(request, std::move(body.value()));
            if (!whole) return Why(whole);
            return Remember(cacheKey, request, std::move(whole.value()));
        }
    }

private:
    Result<HINTERNET> Keep(HINTERNET handle, const char* step) {
        if (!handle) return StepFailed(step);
        if (!outcome_->handles.Add(handle)) return kAbandoned;
        return handle;
    }

    // The document with its charset, remembered with its validators for the
    // next check's conditional request.
    static FetchedDocument Remember(const std::string& cacheKey, HINTERNET request, std::string body) {
        FetchedDocument document;
        document.headerCharset = ContentTypeCharset(ToUtf8(QueryHeader(request, HTTP_QUERY_CONTENT_TYPE)));
        document.body = std::move(body);
        ValidatorHeaders validators;
        const std::string raw = ToUtf8(QueryHeader(request, HTTP_QUERY_RAW_HEADERS_CRLF));
        for (std::size_t start = 0; start < raw.size();) {
            std::size_t end = std::min(raw.find("\r\n", start), raw.size());
            validators.AddLine(std::string_view(raw).substr(start, end - start));
            start = end + 2;
        }
        SharedValidatorCache().Remember(cacheKey, validators.etag(), validators.lastModified(), document);
        return document;
    }

    // A connection that closes early ends the read as if the document were
    // whole; a declared length tells. (A decoded body has another length.)
    static Result<std::string> Complete(HINTERNET request, std::string body) {
        if (!QueryHeader(request, HTTP_QUERY_CONTENT_ENCODING).empty()) return body;
        const std::wstring declared = QueryHeader(request, HTTP_QUERY_CONTENT_LENGTH);
        if (declared.empty()) return body;
        const unsigned long long length = std::wcstoull(declared.c_str(), nullptr, 10);
        if (body.size() < length)
            return Failure{"the connection closed after " + std::to_string(body.size()) + " of " +
                           std::to_string(length) + " bytes"};
        return body;
    }

    static Result<DWORD> QueryStatus(HINTERNET request) {
        DWORD status = 0, size = sizeof(status);
        if (!HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                            nullptr))
            return StepFailed("HttpQueryInfo");
        return status;
    }

    // Empty when the answer has no such header.
    static std::wstring QueryHeader(HINTERNET request, DWORD which) {
        std::wstring value(256, L'\0');
        DWORD size = static_cast<DWORD>(value.size() * sizeof(wchar_t));
        if (!HttpQueryInfoW(request, which, value.data(), &size, nullptr)) {
            if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return {};
            value.assign(size / sizeof(wchar_t) + 1, L'\0');
            if (!HttpQueryInfoW(request, which, value.data(), &size, nullptr)) return {};
        }
        value.resize(size / sizeof(wchar_t));
        return value;
    }

    static Result<std::wstring> Combine(const std::wstring& base, const std::wstring& relative) {
        std::wstring out(INTERNET_MAX_URL_LENGTH, L'\0');
        DWORD size = static_cast<DWORD>(out.size());
        if (!InternetCombineUrlW(base.c_str(), relative.c_str(), out.data(), &size, ICU_NO_ENCODE))
            return StepFailed("InternetCombineUrl");
        out.resize(size);
        return out;
    }

    // InternetReadFile waits until the whole buffer is filled: asked only for
    // what has arrived, it returns after every receive, and a transfer past
    // its deadline stops at the next one.
    Result<std::string> ReadBody(HINTERNET request) {
        std::string body;
        char buffer[16384];
        for (;;) {
            // Nobody waits for an abandoned transfer: stop reading.
            if (outcome_->Finished()) return kAbandoned;
            DWORD available = 0;
            if (!InternetQueryDataAvailable(request, &available, 0, 0))
                return StepFailed("InternetQueryDataAvailable");
            if (available == 0) return body;
            if (outcome_->Finished()) return kAbandoned;
            DWORD read = 0;
            if (!InternetReadFile(request, buffer, std::min<DWORD>(available, sizeof(buffer)), &read))
                return StepFailed("InternetReadFile");
            if (read == 0) return body;
            if (body.size() + read > kMaxDocumentBytes) return Failure{"the document is larger than 16 MiB"};
            body.append(buffer, read);
        }
    }

    std::shared_ptr<Outcome> outcome_;
};

// A check that finds the last transfer still ending.
class RefusedFetch final : public FetchRequest {
public:
    bool Busy() override { return false; }
    Result<FetchedDocument> Take() override { return Failure{"the previous transfer is still ending"}; }
};

// Runs one transfer, then lets nothing of it stay: its handles close, and
// WinINet drops the connections it pooled (its collector thread would
// otherwise wake every few seconds while they are kept). The outcome is
// given only after that, so a check that follows its predecessor at once
// finds no transfer running.
void RunWorker(const std::shared_ptr<Outcome>& outcome, const std::wstring& url) {
    Result<FetchedDocument> result = Transfer(outcome).Run(url);
    outcome->handles.CloseAll();
    InternetSetOptionW(nullptr, INTERNET_OPTION_SETTINGS_CHANGED, nullptr, 0);
    transferRunning = false;
    if (outcome->Finish(std::move(result), true)) outcome->Wake();
}

class WinInetFetch final : public FetchRequest {
public:
    // Call with `transferRunning` set; the worker clears it.
    WinInetFetch(std::wstring url, std::function<void()> wake, std::chrono::milliseconds limit)
        : outcome_(std::make_shared<Outcome>()) {
        outcome_->wake = std::move(wake);
        CreateTimerQueueTimer(&deadline_, nullptr, OnDeadline, outcome_.get(),
                              static_cast<DWORD>(limit.count()), 0, WT_EXECUTEONLYONCE);
        try {
            std::thread([outcome = outcome_, url = std::move(url)] { RunWorker(outcome, url); }).detach();
        } catch (const std::system_error&) {
            // No worker: the request is over before it began.
            transferRunning = false;
            outcome_->Finish(Failure{"no thread for the transfer"}, false);
        }
    }

    ~WinInetFetch() override {
        // Waits for a running deadline callback, which uses the outcome.
        if (deadline_) DeleteTimerQueueTimer(nullptr, deadline_, INVALID_HANDLE_VALUE);
        if (outcome_->Finish(kAbandoned, false)) outcome_->handles.CloseAll();
        outcome_->AwaitWake();
    }

    bool Busy() override { return !outcome_->Finished(); }

    Result<FetchedDocument> Take() override {
        std::lock_guard lock(outcome_->mutex);
        if (!outcome_->result) return Failure{"the transfer is still running"};
        return std::move(*outcome_->result);
    }

private:
    static void CALLBACK OnDeadline(void* context, BOOLEAN) {
        auto* outcome = static_cast<Outcome*>(context);
        if (!outcome->Finish(Failure{"the transfer timed out"}, true)) return;
        outcome->handles.CloseAll();
        outcome->Wake();
    }

    std::shared_ptr<Outcome> outcome_;
    HANDLE deadline_ = nullptr;
};

}  // namespace

namespace win32 {

std::unique_ptr<FetchRequest> StartWinInetFetch(const Text& url, std::function<void()> wake,
                                                std::chrono::milliseconds limit) {
    if (transferRunning.exchange(true)) return std::make_unique<RefusedFetch>();
    return std::make_unique<WinInetFetch>(ToWide(url), std::move(wake), limit);
}

}  // namespace win32

std::unique_ptr<FetchRequest> StartHttpFetch(const Text& url, std::function<void()> wake) {
    return win32::StartWinInetFetch(url, std::move(wake), std::chrono::seconds(kTransferTimeoutSeconds));
}

}  // namespace velmora
