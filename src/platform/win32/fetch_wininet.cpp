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
#include <system_error>
#include <thread>
#include <vector>

#include "feed/charset.h"
#include "platform/http_fetch.h"
#include "platform/http_redirects.h"
#include "core/http_validators.h"
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

[[noreturn]] void Fail(const std::string& what) {
    throw RuntimeError(ErrorCode::FetchFailed, what);
}

[[noreturn]] void FailWithLastError(const char* step) {
    Fail(std::string(step) + " failed (WinINet error " + std::to_string(GetLastError()) + ")");
}

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
    bool finished = false;
    bool waking = false;
    std::string error;
    FetchedDocument document;
    std::function<void()> wake;
    TransferHandles handles;

    // The first to finish (worker, deadline or abandonment) decides; a
    // decider that will call Wake says so, and the request is not destroyed
    // under that call.
    bool Finish(std::string failure, FetchedDocument result, bool willWake) {
        std::lock_guard lock(mutex);
        if (finished) return false;
        finished = true;
        waking = willWake;
        error = std::move(failure);
        document = std::move(result);
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
        return finished;
    }
};

// One transfer on the worker thread; its handles live in the outcome, where
// the deadline can close them.
class Transfer {
public:
    explicit Transfer(std::shared_ptr<Outcome> outcome) : outcome_(std::move(outcome)) {}
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;

    FetchedDocument Run(const std::wstring& firstUrl) {
        const std::string cacheKey = ToUtf8(firstUrl);
        // An unchanged feed then costs a 304 instead of the whole document.
        // A check a minute gains nothing from a kept-alive connection.
        std::wstring headers = L"Accept-Encoding: gzip, deflate\r\nConnection: close\r\n";
        for (const std::string& line : SharedValidatorCache().ConditionalHeaders(cacheKey)) {
            headers += win32::ToWide(Utf8ToText(line)) + L"\r\n";
        }
        std::wstring url = firstUrl;
        HINTERNET session =
            Keep(InternetOpenW(L"Velmora/1.0", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
        if (!session) FailWithLastError("InternetOpen");
        DWORD connectMs = kConnectTimeoutSeconds * 1000, transferMs = kTransferTimeoutSeconds * 1000;
        BOOL decode = TRUE;
        InternetSetOptionW(session, INTERNET_OPTION_CONNECT_TIMEOUT, &connectMs, sizeof(connectMs));
        InternetSetOptionW(session, INTERNET_OPTION_SEND_TIMEOUT, &transferMs, sizeof(transferMs));
        InternetSetOptionW(session, INTERNET_OPTION_RECEIVE_TIMEOUT, &transferMs, sizeof(transferMs));
        InternetSetOptionW(session, INTERNET_OPTION_HTTP_DECODING, &decode, sizeof(decode));

        for (long hop = 0;; ++hop) {
            if (!IsHttpUrl(url)) Fail("only http and https addresses are fetched");
            // Redirects are followed here, not by WinINet, so that every hop
            // is held to the http/https rule and the hop limit.
            HINTERNET request = Keep(InternetOpenUrlW(
                session, url.c_str(), headers.c_str(), static_cast<DWORD>(-1),
                INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                    INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_NO_UI,
                0));
            if (!request) FailWithLastError("InternetOpenUrl");
            const DWORD status = QueryStatus(request);
            if (IsRedirect(status)) {
                const std::wstring next = QueryHeader(request, HTTP_QUERY_LOCATION);
                if (next.empty()) Fail("a redirect without a Location");
                if (hop >= kMaxRedirects) Fail("too many redirects");
                std::wstring target = Combine(url, next);
                if (IsHttpsDowngrade(ToUtf8(url), ToUtf8(target)))
                    Fail("a redirect from https to http");
                url = std::move(target);
                continue;
            }
            if (status == 304) {
                if (auto remembered = SharedValidatorCache().Recall(cacheKey)) return *remembered;
                Fail("HTTP status 304 for a document not fetched before");
            }
            if (status >= 400) Fail("HTTP status " + std::to_string(status));
            FetchedDocument document;
            document.headerCharset =
                ContentTypeCharset(ToUtf8(QueryHeader(request, HTTP_QUERY_CONTENT_TYPE)));
            document.body = ReadBody(request);
            CheckComplete(request, document.body.size());
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
    }

private:
    HINTERNET Keep(HINTERNET handle) {
        if (handle && !outcome_->handles.Add(handle)) Fail("abandoned");
        return handle;
    }

    static std::u16string_view AsText(const std::wstring& text) {
        return {reinterpret_cast<const char16_t*>(text.data()), text.size()};
    }

    // A connection that closes early ends the read as if the document were
    // whole; a declared length tells. (A decoded body has another length.)
    static void CheckComplete(HINTERNET request, std::size_t received) {
        if (!QueryHeader(request, HTTP_QUERY_CONTENT_ENCODING).empty()) return;
        const std::wstring declared = QueryHeader(request, HTTP_QUERY_CONTENT_LENGTH);
        if (declared.empty()) return;
        const unsigned long long length = std::wcstoull(declared.c_str(), nullptr, 10);
        if (received < length)
            Fail("the connection closed after " + std::to_string(received) + " of " + std::to_string(length) +
                 " bytes");
    }

    static DWORD QueryStatus(HINTERNET request) {
        DWORD status = 0, size = sizeof(status);
        if (!HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                            nullptr))
            FailWithLastError("HttpQueryInfo");
        return status;
    }

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

    static std::wstring Combine(const std::wstring& base, const std::wstring& relative) {
        std::wstring out(INTERNET_MAX_URL_LENGTH, L'\0');
        DWORD size = static_cast<DWORD>(out.size());
        if (!InternetCombineUrlW(base.c_str(), relative.c_str(), out.data(), &size, ICU_NO_ENCODE))
            FailWithLastError("InternetCombineUrl");
        out.resize(size);
        return out;
    }

    // InternetReadFile waits until the whole buffer is filled: asked only for
    // what has arrived, it returns after every receive, and a transfer past
    // its deadline stops at the next one.
    std::string ReadBody(HINTERNET request) {
        std::string body;
        char buffer[16384];
        for (;;) {
            // Nobody waits for an abandoned transfer: stop reading.
            if (outcome_->Finished()) Fail("abandoned");
            DWORD available = 0;
            if (!InternetQueryDataAvailable(request, &available, 0, 0))
                FailWithLastError("InternetQueryDataAvailable");
            if (available == 0) return body;
            if (outcome_->Finished()) Fail("abandoned");
            DWORD read = 0;
            if (!InternetReadFile(request, buffer, std::min<DWORD>(available, sizeof(buffer)), &read))
                FailWithLastError("InternetReadFile");
            if (read == 0) return body;
            if (body.size() + read > kMaxDocumentBytes) Fail("the document is larger than 16 MiB");
            body.append(buffer, read);
        }
    }

    std::shared_ptr<Outcome> outcome_;
};

// A check that finds the last transfer still ending.
class RefusedFetch final : public FetchRequest {
public:
    bool Busy() override { return false; }
    FetchedDocument Take() override { Fail("the previous transfer is still ending"); }
};

// Runs one transfer, then lets nothing of it stay: its handles close, and
// WinINet drops the connections it pooled (its collector thread would
// otherwise wake every few seconds while they are kept). The outcome is
// given only after that, so a check that follows its predecessor at once
// finds no transfer running.
void RunWorker(const std::shared_ptr<Outcome>& outcome, const std::wstring& url) {
    std::string error;
    FetchedDocument document;
    try {
        document = Transfer(outcome).Run(url);
    } catch (const RuntimeError& failure) {
        error = failure.what();
    }
    outcome->handles.CloseAll();
    InternetSetOptionW(nullptr, INTERNET_OPTION_SETTINGS_CHANGED, nullptr, 0);
    transferRunning = false;
    if (outcome->Finish(std::move(error), std::move(document), true)) outcome->Wake();
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
            if (deadline_) DeleteTimerQueueTimer(nullptr, deadline_, INVALID_HANDLE_VALUE);
            transferRunning = false;
            Fail("no thread for the transfer");
        }
    }

    ~WinInetFetch() override {
        // Waits for a running deadline callback, which uses the outcome.
        if (deadline_) DeleteTimerQueueTimer(nullptr, deadline_, INVALID_HANDLE_VALUE);
        if (outcome_->Finish("abandoned", {}, false)) outcome_->handles.CloseAll();
        outcome_->AwaitWake();
    }

    bool Busy() override { return !outcome_->Finished(); }

    FetchedDocument Take() override {
        std::lock_guard lock(outcome_->mutex);
        if (!outcome_->error.empty()) throw RuntimeError(ErrorCode::FetchFailed, outcome_->error);
        return std::move(outcome_->document);
    }

private:
    static void CALLBACK OnDeadline(void* context, BOOLEAN) {
        auto* outcome = static_cast<Outcome*>(context);
        if (!outcome->Finish("the transfer timed out", {}, true)) return;
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
