// `velmora --quit`: the copy that holds the single-instance lock is asked to
// close as SIGTERM asks it (the same clean unload, its icon removed), and
// the caller waits until it has gone. Plain POSIX, testable without Qt.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace velmora::qt {

enum class QuitOutcome { Closed, NotRunning, StillRunning, Unreachable };

namespace quit_detail {

// The process the lock file names, 0 when it names none.
inline pid_t NamedHolder(int fd) {
    char text[16] = {};
    if (pread(fd, text, sizeof(text) - 1, 0) <= 0) return 0;
    const long pid = std::strtol(text, nullptr, 10);
    return pid > 1 ? static_cast<pid_t>(pid) : 0;
}

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

}  // namespace quit_detail

// `folder` is the lock's folder (InstanceLockFolder).
inline QuitOutcome AskRunningCopyToQuit(const std::string& folder, int timeoutMs) {
    using quit_detail::Fd;
    const Fd lock(open((folder + "/velmora.lock").c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (lock.get() < 0) return QuitOutcome::NotRunning;
    // Only a file of our own names a process we may signal.
    struct stat info {};
    if (fstat(lock.get(), &info) != 0 || info.st_uid != geteuid()) return QuitOutcome::Unreachable;
    const pid_t pid = quit_detail::NamedHolder(lock.get());
    // Held open, the process handle stays that process even if its number
    // is reused meanwhile.
    const Fd process(pid ? static_cast<int>(syscall(SYS_pidfd_open, pid, 0)) : -1);
    if (flock(lock.get(), LOCK_SH | LOCK_NB) == 0) return QuitOutcome::NotRunning;  // a copy that has gone
    // The holder is the named process only if the name did not change
    // while the lock was tested.
    if (process.get() < 0 || quit_detail::NamedHolder(lock.get()) != pid) return QuitOutcome::Unreachable;
    if (syscall(SYS_pidfd_send_signal, process.get(), SIGTERM, nullptr, 0) != 0)
        return QuitOutcome::Unreachable;
    pollfd ended{process.get(), POLLIN, 0};
    return poll(&ended, 1, timeoutMs) == 1 ? QuitOutcome::Closed : QuitOutcome::StillRunning;
}

}  // namespace velmora::qt
