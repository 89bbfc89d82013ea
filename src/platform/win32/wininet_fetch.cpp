// The feed transfer on WinINet, so the user's proxy, cookie and TLS settings
// apply. Each transfer runs in a child process: the program starts its own
// executable again with kTransferSwitch, hands it the address and the
// conditional headers on its standard input and reads one frame back
// (fetch_frame.h). At the whole-transfer limit the child is ended. A blocked
// WinINet call cannot be interrupted from another thread under Wine: closing
// its handles does not return it, and a server that drips its headers
// restarts every receive time-out, so a worker thread could stay for as long
// as the server pleases. An ended process gives back its thread and its
// socket at once, so every check starts afresh. The validator cache stays in
// the program and is touched only by the thread that takes the result.
#include <algorithm>
#include <chrono>
#include <cwchar>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "feed/charset.h"
#include "platform/fetch/fetch_frame.h"
#include "platform/fetch/http_fetch.h"
#include "platform/fetch/http_inflate.h"
#include "platform/fetch/http_redirects.h"
#include "platform/fetch/http_validators.h"
#include "platform/fetch/transfer_result.h"
#include "platform/win32/win32_api.h"
#include "platform/win32/wininet_fetch.h"

#include <wininet.h>

namespace velmora {
namespace {

// The argument that makes the program a transfer's child.
constexpr std::wstring_view kTransferSwitch = L" --velmora-transfer";

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

// --- the child: one transfer, its answer as a frame ---------------------------------------

// Closes a WinINet handle at the end of its scope.
struct InternetHandle {
    HINTERNET handle;
    explicit InternetHandle(HINTERNET h) : handle(h) {}
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;
    ~InternetHandle() {
        if (handle) InternetCloseHandle(handle);
    }
};

class Transfer {
public:
    TransferResult Run(const std::wstring& firstUrl, const std::vector<std::string>& conditional) {
        // An unchanged feed then costs a 304 instead of the whole document.
        // A check a minute gains nothing from a kept-alive connection.
        std::wstring headers = L"Accept-Encoding: gzip, deflate\r\nConnection: close\r\n";
        for (const std::string& line : conditional) headers += win32::ToWide(Utf8ToText(line)) + L"\r\n";
        std::wstring url = firstUrl;
        InternetHandle session(
            InternetOpenW(L"Velmora/1.0", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
        if (!session.handle) return StepFailed("InternetOpen");
        DWORD connectMs = kConnectTimeoutSeconds * 1000, transferMs = kTransferTimeoutSeconds * 1000;
        // The body comes as sent and is inflated here: WinINet's decoding
        // takes a compressed stream cut short for a whole document.
        BOOL decode = FALSE;
        InternetSetOptionW(session.handle, INTERNET_OPTION_CONNECT_TIMEOUT, &connectMs, sizeof(connectMs));
        InternetSetOptionW(session.handle, INTERNET_OPTION_SEND_TIMEOUT, &transferMs, sizeof(transferMs));
        InternetSetOptionW(session.handle, INTERNET_OPTION_RECEIVE_TIMEOUT, &transferMs, sizeof(transferMs));
        InternetSetOptionW(session.handle, INTERNET_OPTION_HTTP_DECODING, &decode, sizeof(decode));

        for (long hop = 0;; ++hop) {
            if (!IsHttpUrl(url)) return Failure{"only http and https addresses are fetched"};
            // Redirects are followed here, not by WinINet, so that every hop
            // must be http or https and counts towards the hop limit.
            InternetHandle request(InternetOpenUrlW(
                session.handle, url.c_str(), headers.c_str(), static_cast<DWORD>(-1),
                INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                    INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_NO_UI,
                0));
            if (!request.handle) return StepFailed("InternetOpenUrl");
            const Result<DWORD> answered = QueryStatus(request.handle);
            if (!answered) return Why(answered);
            const DWORD status = answered.value();
            if (IsRedirect(status)) {
                const std::wstring next = QueryHeader(request.handle, HTTP_QUERY_LOCATION);
                if (next.empty()) return Failure{"a redirect without a Location"};
                if (hop >= kMaxRedirects) return Failure{"too many redirects"};
                Result<std::wstring> target = Combine(url, next);
                if (!target) return Why(target);
                if (IsHttpsDowngrade(ToUtf8(url), ToUtf8(target.value())))
                    return Failure{"a redirect from https to http"};
                url = std::move(target.value());
                continue;
            }
            TransferOutcome outcome;
            if (status == 304) {
                outcome.notModified = true;
                return outcome;
            }
            if (status >= 400) return Failure{"HTTP status " + std::to_string(status)};
            Result<std::string> body = ReadBody(request.handle);
            if (!body) return Why(body);
            Result<std::string> whole = Complete(request.handle, std::move(body.value()));
            if (!whole) return Why(whole);
            outcome.document.headerCharset =
                ContentTypeCharset(ToUtf8(QueryHeader(request.handle, HTTP_QUERY_CONTENT_TYPE)));
            outcome.document.body = std::move(whole.value());
            ValidatorHeaders validators;
            const std::string raw = ToUtf8(QueryHeader(request.handle, HTTP_QUERY_RAW_HEADERS_CRLF));
            for (std::size_t start = 0; start < raw.size();) {
                std::size_t end = std::min(raw.find("\r\n", start), raw.size());
                validators.AddLine(std::string_view(raw).substr(start, end - start));
                start = end + 2;
            }
            outcome.etag = validators.etag();
            outcome.lastModified = validators.lastModified();
            return outcome;
        }
    }

private:
    // The document from the bytes as sent: whole, by their declared length,
    // and inflated to the end of its compressed stream. A connection that
    // closes early otherwise ends the read as if the document were whole.
    static Result<std::string> Complete(HINTERNET request, std::string body) {
        const std::wstring declared = QueryHeader(request, HTTP_QUERY_CONTENT_LENGTH);
        if (!declared.empty()) {
            const unsigned long long length = std::wcstoull(declared.c_str(), nullptr, 10);
            if (body.size() < length)
                return Failure{"the connection closed after " + std::to_string(body.size()) + " of " +
                               std::to_string(length) + " bytes"};
        }
        return DecodeContent(std::move(body), ToUtf8(QueryHeader(request, HTTP_QUERY_CONTENT_ENCODING)));
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
    // what has arrived, it returns after every receive, and a connection
    // reset or closed early ends the read at once.
    static Result<std::string> ReadBody(HINTERNET request) {
        std::string body;
        char buffer[16384];
        for (;;) {
            DWORD available = 0;
            if (!InternetQueryDataAvailable(request, &available, 0, 0))
                return StepFailed("InternetQueryDataAvailable");
            if (available == 0) return body;
            DWORD read = 0;
            if (!InternetReadFile(request, buffer, std::min<DWORD>(available, sizeof(buffer)), &read))
                return StepFailed("InternetReadFile");
            if (read == 0) return body;
            if (body.size() + read > kMaxDocumentBytes) return Failure{"the document is larger than 16 MiB"};
            body.append(buffer, read);
        }
    }
};

// Everything from `from` up to its end, at most `cap` bytes (one more tells
// that there was more).
std::string ReadAll(HANDLE from, std::size_t cap) {
    std::string bytes;
    char buffer[65536];
    DWORD read = 0;
    while (bytes.size() <= cap && ReadFile(from, buffer, sizeof(buffer), &read, nullptr) && read > 0)
        bytes.append(buffer, read);
    return bytes;
}

bool WriteAll(HANDLE to, std::string_view bytes) {
    while (!bytes.empty()) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1 << 20));
        if (!WriteFile(to, bytes.data(), chunk, &written, nullptr) || written == 0) return false;
        bytes.remove_prefix(written);
    }
    return true;
}

// The child's work: the request's first line is the address, each further
// line a conditional header.
int RunTransferChild() {
    const std::string request = ReadAll(GetStdHandle(STD_INPUT_HANDLE), 1 << 20);
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < request.size();) {
        const std::size_t end = std::min(request.find('\n', start), request.size());
        lines.push_back(request.substr(start, end - start));
        start = end + 1;
    }
    TransferResult result = Failure{"no address was given"};
    if (!lines.empty()) {
        const std::vector<std::string> conditional(lines.begin() + 1, lines.end());
        result = Transfer().Run(win32::ToWide(Utf8ToText(lines.front())), conditional);
    }
    const bool written = WriteAll(GetStdHandle(STD_OUTPUT_HANDLE), EncodeFetchFrame(result));
    // The program reads to the pipe's end: give it now, not when the
    // process has wound down.
    CloseHandle(GetStdHandle(STD_OUTPUT_HANDLE));
    return written ? 0 : 1;
}

bool IsTransferChild() {
    const std::wstring_view line = GetCommandLineW();
    return line.size() >= kTransferSwitch.size() &&
           line.substr(line.size() - kTransferSwitch.size()) == kTransferSwitch;
}

// Every program that links the fetch can be a transfer's child: started so,
// it makes the transfer before its own start-up runs, and ends.
[[maybe_unused]] const bool kRanAsTransferChild = [] {
    if (IsTransferChild()) ExitProcess(static_cast<UINT>(RunTransferChild()));
    return false;
}();

// --- the program's side: the child, its answer, its deadline ------------------------------

// The program's own executable, for the child to run.
Result<std::wstring> OwnExecutable() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return Failure{"the program cannot find its own file"};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

// Closes a kernel handle at the end of its scope.
class OwnedHandle {
public:
    OwnedHandle() = default;
    explicit OwnedHandle(HANDLE handle) : handle_(handle) {}
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    OwnedHandle(OwnedHandle&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
    OwnedHandle& operator=(OwnedHandle&& other) noexcept {
        std::swap(handle_, other.handle_);
        return *this;
    }
    ~OwnedHandle() {
        if (handle_) CloseHandle(handle_);
    }
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_ = nullptr;
};

// A pipe whose one end the child inherits.
struct Pipe {
    OwnedHandle read, write;
};

Result<Pipe> MakePipe() {
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE read = nullptr, write = nullptr;
    if (!CreatePipe(&read, &write, &inheritable, 1 << 16)) return Failure{"no pipe for the transfer"};
    Pipe pipe;
    pipe.read = OwnedHandle(read);
    pipe.write = OwnedHandle(write);
    return pipe;
}

// The child, started with only its two pipe ends to inherit; the program keeps
// the other ends and the process.
struct Child {
    OwnedHandle process, input, output;
};

Result<Child> StartChild(const std::string& request) {
    const Result<std::wstring> self = OwnExecutable();
    if (!self) return Why(self);
    Result<Pipe> toChild = MakePipe(), fromChild = MakePipe();
    if (!toChild || !fromChild) return Failure{"no pipe for the transfer"};
    SetHandleInformation(toChild->write.get(), HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(fromChild->read.get(), HANDLE_FLAG_INHERIT, 0);

    HANDLE inherited[] = {toChild->read.get(), fromChild->write.get()};
    SIZE_T listSize = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &listSize);
    std::vector<char> listBytes(listSize);
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(listBytes.data());
    if (!InitializeProcThreadAttributeList(list, 1, 0, &listSize))
        return Failure{"the transfer's process could not be prepared"};
    const bool listed = UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited,
                                                  sizeof(inherited), nullptr, nullptr);
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof(startup);
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = toChild->read.get();
    startup.StartupInfo.hStdOutput = fromChild->write.get();
    startup.lpAttributeList = listed ? list : nullptr;
    std::wstring commandLine = L"\"" + self.value() + L"\"" + std::wstring(kTransferSwitch);
    PROCESS_INFORMATION started{};
    BOOL created = FALSE;
    DWORD error = 0;
    // Wine now and then fails a start under load (ERROR_INTERNAL_ERROR); a
    // second try costs nothing when the first one worked.
    for (int attempt = 0; attempt < 2 && !created; ++attempt) {
        created = CreateProcessW(self->c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                 CREATE_NO_WINDOW | (listed ? EXTENDED_STARTUPINFO_PRESENT : 0), nullptr,
                                 nullptr, &startup.StartupInfo, &started);
        if (!created) error = GetLastError();
    }
    DeleteProcThreadAttributeList(list);
    if (!created)
        return Failure{"the transfer's process did not start (error " + std::to_string(error) + ")"};
    CloseHandle(started.hThread);
    Child child;
    child.process = OwnedHandle(started.hProcess);
    child.input = std::move(toChild->write);
    child.output = std::move(fromChild->read);
    // The child holds the request before it reads it: the pipe's buffer is
    // larger than any request.
    WriteAll(child.input.get(), request);
    child.input = OwnedHandle();
    return child;
}

// What the reader and the deadline share; the first to finish decides.
struct Outcome {
    std::mutex mutex;
    std::optional<TransferResult> result;
    std::function<void()> wake;

    bool Finish(TransferResult decided) {
        {
            std::lock_guard lock(mutex);
            if (result) return false;
            result = std::move(decided);
        }
        wake();
        return true;
    }
    bool Finished() {
        std::lock_guard lock(mutex);
        return result.has_value();
    }
};

class WinInetFetch final : public FetchRequest {
public:
    WinInetFetch(const std::wstring& url, std::function<void()> wake, std::chrono::milliseconds limit)
        : cacheKey_(ToUtf8(url)) {
        outcome_.wake = std::move(wake);
        std::string request = cacheKey_ + "\n";
        for (const std::string& line : SharedValidatorCache().ConditionalHeaders(cacheKey_))
            request += line + "\n";
        Result<Child> child = StartChild(request);
        if (!child) {
            outcome_.result = TransferResult(Why(child));
            return;
        }
        child_ = std::move(child.value());
        // The deadline's callback is short: it runs on the timer's own thread.
        if (!CreateTimerQueueTimer(&deadline_, nullptr, OnDeadline, this, static_cast<DWORD>(limit.count()),
                                   0, WT_EXECUTEONLYONCE | WT_EXECUTEINTIMERTHREAD)) {
            // Without its deadline a transfer could hang for good.
            deadline_ = nullptr;
            TerminateProcess(child_.process.get(), 1);
            outcome_.result = TransferResult(Failure{"no timer for the transfer"});
            return;
        }
        try {
            reader_ = std::thread([this] { ReadAnswer(); });
        } catch (const std::system_error&) {
            TerminateProcess(child_.process.get(), 1);
            std::lock_guard lock(outcome_.mutex);
            outcome_.result = TransferResult(Failure{"no thread for the transfer"});
        }
    }

    ~WinInetFetch() override {
        // Waits for a running deadline callback.
        if (deadline_) DeleteTimerQueueTimer(nullptr, deadline_, INVALID_HANDLE_VALUE);
        // An ended child closes its end of the pipe: the reader returns.
        if (child_.process.get()) TerminateProcess(child_.process.get(), 1);
        if (reader_.joinable()) reader_.join();
    }

    bool Busy() override { return !outcome_.Finished(); }

    Result<FetchedDocument> Take() override {
        std::lock_guard lock(outcome_.mutex);
        if (!outcome_.result) return Failure{"the transfer is still running"};
        return SettleTransfer(SharedValidatorCache(), cacheKey_, std::move(*outcome_.result));
    }

private:
    void ReadAnswer() {
        const std::string frame = ReadAll(child_.output.get(), kMaxFrameBytes);
        if (frame.size() > kMaxFrameBytes) TerminateProcess(child_.process.get(), 1);
        Result<TransferResult> decoded = DecodeFetchFrame(frame);
        outcome_.Finish(decoded ? std::move(decoded.value())
                                : TransferResult(Failure{"the transfer ended without an answer"}));
    }

    static void CALLBACK OnDeadline(void* context, BOOLEAN) {
        auto* self = static_cast<WinInetFetch*>(context);
        if (self->outcome_.Finish(Failure{"the transfer timed out"}))
            TerminateProcess(self->child_.process.get(), 1);
    }

    std::string cacheKey_;
    Outcome outcome_;
    Child child_;
    HANDLE deadline_ = nullptr;
    std::thread reader_;
};

}  // namespace

namespace win32 {

std::unique_ptr<FetchRequest> StartWinInetFetch(const Text& url, std::function<void()> wake,
                                                std::chrono::milliseconds limit) {
    return std::make_unique<WinInetFetch>(ToWide(url), std::move(wake), limit);
}

}  // namespace win32

std::unique_ptr<FetchRequest> StartHttpFetch(const Text& url, std::function<void()> wake) {
    return win32::StartWinInetFetch(url, std::move(wake), std::chrono::seconds(kTransferTimeoutSeconds));
}

}  // namespace velmora
