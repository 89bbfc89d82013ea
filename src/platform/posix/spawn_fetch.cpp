#include "platform/posix/spawn_fetch.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "platform/fetch/fetch_frame.h"

extern char** environ;

namespace velmora {
namespace {

constexpr char kHelperName[] = "velmora-fetch";

std::string ErrnoText(int error) {
    return std::generic_category().message(error);
}

class SpawnFetchRequest final : public FetchRequest {
public:
    SpawnFetchRequest(const Text& url, std::function<void()> wake, const std::string& helper,
                      ValidatorCache& cache, std::chrono::milliseconds timeLimit)
        : url_(RequestUrl(url)), wake_(std::move(wake)), cache_(cache), timeLimit_(timeLimit) {
        Result<HelperProcess> started = Spawn(helper);
        if (!started) {
            Finish(CouldNotFetch(started.reason()));
            return;
        }
        pid_ = started->pid;
        readFd_ = started->output;
        // Lets the worker wait for the helper's end with a deadline, and
        // signals reach this helper even should its pid be reused meanwhile.
        pidFd_ = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
        try {
            worker_ = std::thread([this] { Run(); });
        } catch (const std::system_error&) {
            Kill();
            // Only so that no zombie is left; there is no frame to judge.
            static_cast<void>(Reap());
            Finish(CouldNotFetch("no thread for the transfer"));
        }
    }

    ~SpawnFetchRequest() override {
        cancelled_.store(true);
        // The helper's end closes the pipe, which ends the worker's read.
        Kill();
        if (worker_.joinable()) worker_.join();
        if (readFd_ >= 0) close(readFd_);
        if (pidFd_ >= 0) close(pidFd_);
    }

    SpawnFetchRequest(const SpawnFetchRequest&) = delete;
    SpawnFetchRequest& operator=(const SpawnFetchRequest&) = delete;

    bool Busy() override { return !done_.load(std::memory_order_acquire); }

    Result<FetchedDocument> Take() override {
        // Taking early waits for the transfer rather than returning half a document.
        if (worker_.joinable()) worker_.join();
        if (taken_) return Failure{"the document was already taken"};
        taken_ = true;
        return SettleTransfer(cache_, url_, std::move(result_));
    }

private:
    struct HelperProcess {
        pid_t pid;
        int output;  // the read end of the pipe the helper writes to
    };

    // Starts `helper URL [CONDITIONAL-HEADER...]` with /dev/null for input and
    // errors and a pipe for output, or says why it could not.
    Result<HelperProcess> Spawn(const std::string& helper) {
        if (helper.empty())
            return Failure{std::string("the fetch helper ") + kHelperName +
                           " is neither beside the program nor in ../libexec/velmora"};
        // Close-on-exec from the start: no other child (a browser started
        // meanwhile) may inherit an end and keep the pipe open.
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) != 0)
            return Failure{"no pipe for the fetch helper (" + ErrnoText(errno) + ")"};

        std::vector<std::string> args{helper, url_};
        for (std::string& line : cache_.ConditionalHeaders(url_)) args.push_back(std::move(line));
        std::vector<char*> argv;
        for (std::string& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        // Output first: the pipe's end may itself sit on 0 or 2 when the
        // program was started with those closed. dup2 clears close-on-exec.
        posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
        // Libraries of the program (the toolkit, the session bus) may hold
        // descriptors without close-on-exec; the helper gets none of them.
        posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
#endif
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        sigset_t none, defaults;
        sigemptyset(&none);
        sigemptyset(&defaults);
        sigaddset(&defaults, SIGPIPE);
        sigaddset(&defaults, SIGCHLD);
        posix_spawnattr_setsigmask(&attributes, &none);
        posix_spawnattr_setsigdefault(&attributes, &defaults);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

        pid_t pid = 0;
        const int result = posix_spawn(&pid, helper.c_str(), &actions, &attributes, argv.data(), environ);
        posix_spawnattr_destroy(&attributes);
        posix_spawn_file_actions_destroy(&actions);
        close(ends[1]);
        if (result != 0) {
            close(ends[0]);
            return Failure{"the fetch helper " + helper + " could not be started (" + ErrnoText(result) +
                           ")"};
        }
        return HelperProcess{pid, ends[0]};
    }

    using Deadline = std::chrono::steady_clock::time_point;

    static std::chrono::milliseconds Left(Deadline deadline) {
        return std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    }

    std::string TimedOut() const {
        return "timed out (the fetch helper did not finish within " +
               std::to_string(std::chrono::ceil<std::chrono::seconds>(timeLimit_).count()) + " s)";
    }

    void Run() {
        const Deadline deadline = std::chrono::steady_clock::now() + timeLimit_;
        Result<std::string> output = ReadOutput(deadline);
        // A helper that closed its output may still linger; the limit holds
        // until it has ended.
        if (output && !AwaitEnd(deadline)) output = Failure{TimedOut()};
        // Whatever stopped it early, the helper has nothing more to say.
        if (!output) Kill();
        const Result<int> status = Reap();
        Finish(Conclude(output, status));
    }

    // The helper's output until it closes it, or why it was not waited for.
    Result<std::string> ReadOutput(Deadline deadline) {
        std::string output;
        std::vector<char> buffer(64 * 1024);
        for (;;) {
            const auto left = Left(deadline);
            if (left.count() <= 0) return Failure{TimedOut()};
            // Blocks until output, the pipe's end or the deadline.
            pollfd ready{readFd_, POLLIN, 0};
            const int polled = poll(&ready, 1, static_cast<int>(std::min<long long>(left.count(), 60'000)));
            if (polled < 0 && errno != EINTR)
                return Failure{"waiting for the fetch helper failed (" + ErrnoText(errno) + ")"};
            if (polled <= 0) continue;
            const ssize_t got = read(readFd_, buffer.data(), buffer.size());
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) return Failure{"reading from the fetch helper failed (" + ErrnoText(errno) + ")"};
            if (got == 0) return output;
            if (output.size() + static_cast<std::size_t>(got) > kMaxFrameBytes)
                return Failure{"the document is larger than " +
                               std::to_string(kMaxDocumentBytes / (1024 * 1024)) + " MiB"};
            output.append(buffer.data(), static_cast<std::size_t>(got));
        }
    }

    // What the helper's run comes to, from its output and how it ended.
    TransferResult Conclude(const Result<std::string>& output, const Result<int>& status) const {
        if (cancelled_.load()) return CouldNotFetch("the transfer was abandoned");
        if (!output) return CouldNotFetch(output.reason());
        // Without its exit status the frame cannot be trusted to be whole.
        if (!status) return CouldNotFetch("how the fetch helper ended is unknown (" + status.reason() + ")");
        if (WIFSIGNALED(status.value()))
            return CouldNotFetch("the fetch helper was ended by signal " +
                                 std::to_string(WTERMSIG(status.value())));
        if (WEXITSTATUS(status.value()) != 0)
            return CouldNotFetch("the fetch helper failed with exit status " +
                                 std::to_string(WEXITSTATUS(status.value())));
        Result<TransferResult> frame = DecodeFetchFrame(output.value());
        if (!frame) return CouldNotFetch(frame.reason());
        return std::move(frame.value());
    }

    // Under the lock and only while unreaped, so that the pid cannot belong to
    // another process by then.
    void Kill() {
        std::lock_guard lock(pidMutex_);
        if (pid_ <= 0 || reaped_) return;
        if (pidFd_ >= 0) {
            syscall(SYS_pidfd_send_signal, pidFd_, SIGKILL, nullptr, 0);
        } else {
            kill(pid_, SIGKILL);
        }
    }

    // Whether the helper has ended (unreaped) before the deadline.
    bool AwaitEnd(Deadline deadline) {
        for (;;) {
            const auto left = Left(deadline);
            if (pidFd_ >= 0) {
                // The descriptor turns readable once the process has ended.
                pollfd ended{pidFd_, POLLIN, 0};
                const int polled =
                    poll(&ended, 1, static_cast<int>(std::clamp<long long>(left.count(), 0, 60'000)));
                if (polled > 0 || (polled < 0 && errno != EINTR)) return true;
            } else {
                // Kernels before 5.3 have no pidfd: look again every 50 ms.
                siginfo_t info{};
                if (waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) != 0) {
                    if (errno != EINTR) return true;  // Reap will say why
                } else if (info.si_pid == pid_) {
                    return true;
                }
                if (left.count() > 0)
                    std::this_thread::sleep_for(std::min(left, std::chrono::milliseconds(50)));
            }
            if (left.count() <= 0) return false;
        }
    }

    // Waits for the helper's end and reaps it: its wait status, or why that
    // is unknown.
    Result<int> Reap() {
        // Waiting without reaping keeps the pid ours while Kill may still use it.
        siginfo_t info{};
        while (waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOWAIT) != 0 && errno == EINTR) {
        }
        std::lock_guard lock(pidMutex_);
        reaped_ = true;
        int status = 0;
        while (waitpid(pid_, &status, 0) < 0)
            if (errno != EINTR) return Failure{ErrnoText(errno)};
        return status;
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
    std::function<void()> wake_;
    ValidatorCache& cache_;
    std::chrono::milliseconds timeLimit_;
    pid_t pid_ = 0;
    int readFd_ = -1;
    int pidFd_ = -1;  // -1 where the kernel has no pidfd
    std::mutex pidMutex_;
    bool reaped_ = false;  // under pidMutex_
    std::thread worker_;
    TransferResult result_ =
        Failure{"the transfer has not ended"};  // written by the worker only until `done` is set
    bool taken_ = false;
    std::atomic<bool> cancelled_{false};
    std::atomic<bool> done_{false};
};

}  // namespace

std::string FindFetchHelperFrom(const std::string& programFolder) {
    const std::filesystem::path folder(programFolder);
    for (const std::filesystem::path& candidate :
         {folder / kHelperName, (folder / ".." / "libexec" / "velmora" / kHelperName).lexically_normal()}) {
        struct stat info {};
        if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            access(candidate.c_str(), X_OK) == 0)
            return candidate.string();
    }
    return "";
}

std::string FindFetchHelper() {
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return "";
    return FindFetchHelperFrom(program.parent_path().string());
}

std::unique_ptr<FetchRequest> StartSpawnFetch(const Text& url, std::function<void()> wake,
                                              const std::string& helper, ValidatorCache& cache,
                                              std::chrono::milliseconds timeLimit) {
    return std::make_unique<SpawnFetchRequest>(url, std::move(wake), helper, cache, timeLimit);
}

}  // namespace velmora
