// The single-instance test: an exclusive flock on a file in the user's
// runtime directory. The kernel drops the lock when the process dies, so a
// crash never blocks the next start. Plain POSIX, testable without Qt.
#pragma once

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <utility>

namespace velmora::qt {

// $XDG_RUNTIME_DIR when it is an absolute path, else a private folder in /tmp.
inline std::string InstanceLockFolder(const char* runtimeDir, uid_t uid) {
    if (runtimeDir && runtimeDir[0] == '/') return runtimeDir;
    return "/tmp/velmora-" + std::to_string(uid);
}

class InstanceLock {
public:
    explicit InstanceLock(std::string folder) : folder_(std::move(folder)) {}
    ~InstanceLock() {
        if (fd_ >= 0) close(fd_);
    }
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // True only when another process holds the lock. Any other failure (no
    // folder, a folder someone else owns) lets the program run: a broken
    // lock must not keep the user from the program.
    bool HeldElsewhere() {
        if (fd_ >= 0) return false;
        if (!PrivateFolder()) return false;
        // Close-on-exec: a browser started through xdg-open must not inherit
        // the lock and keep it after this process ends.
        const int fd =
            open((folder_ + "/velmora.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0) return false;
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const bool held = errno == EWOULDBLOCK;
            close(fd);
            return held;
        }
        // The holder names itself, for `velmora --quit`.
        const std::string pid = std::to_string(getpid()) + "\n";
        if (ftruncate(fd, 0) == 0) [[maybe_unused]]
            ssize_t ignored = pwrite(fd, pid.data(), pid.size(), 0);
        fd_ = fd;
        return false;
    }
    bool Holds() const { return fd_ >= 0; }

private:
    // Created on demand; in /tmp it must be ours and not a link, or anyone
    // could hold the lock for us.
    bool PrivateFolder() const {
        if (mkdir(folder_.c_str(), 0700) != 0 && errno != EEXIST) return false;
        struct stat info {};
        if (lstat(folder_.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return false;
        return info.st_uid == geteuid();
    }

    std::string folder_;
    int fd_ = -1;
};

}  // namespace velmora::qt
