// Starts tests/support/feed_server.py for one test and stops it afterwards.
// The server listens on 127.0.0.1 only and ends by itself once the pipe to
// its standard input closes, so a crashed test leaves nothing running.
#pragma once

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace velmora::testing {

class FeedServer {
public:
    // `script` is feed_server.py, `root` the folder of the feed files; with a
    // certificate and its key the server speaks https.
    FeedServer(const std::string& script, const std::string& root, const std::string& certificate = "",
               const std::string& key = "")
        : scheme_(certificate.empty() ? "http" : "https") {
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0) throw std::runtime_error("pipe failed");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, in[1]);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        std::vector<std::string> args{"python3", script, "--root", root};
        if (!certificate.empty()) args.insert(args.end(), {"--cert", certificate, "--key", key});
        std::vector<char*> argv;
        for (std::string& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        int rc = posix_spawnp(&pid_, "python3", &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(in[0]);
        close(out[1]);
        stdin_ = in[1];
        if (rc != 0) {
            close(out[0]);
            Stop();
            throw std::runtime_error("cannot start python3");
        }
        port_ = ReadPort(out[0]);
        close(out[0]);
        if (port_.empty()) {
            Stop();
            throw std::runtime_error("the feed server did not report its port");
        }
    }

    ~FeedServer() { Stop(); }
    FeedServer(const FeedServer&) = delete;
    FeedServer& operator=(const FeedServer&) = delete;

    std::string Url(const std::string& path) const { return scheme_ + "://127.0.0.1:" + port_ + path; }
    const std::string& Port() const { return port_; }

private:
    // The first line of the server's output, waited for at most 10 s.
    static std::string ReadPort(int fd) {
        std::string line;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, 200) <= 0) continue;
            char c;
            if (read(fd, &c, 1) != 1) break;
            if (c == '\n') return line;
            line.push_back(c);
        }
        return "";
    }

    void Stop() {
        if (stdin_ >= 0) close(stdin_);
        stdin_ = -1;
        if (pid_ <= 0) return;
        // Closing its input asks it to stop; it gets 5 s before a kill.
        for (int i = 0; i < 100; ++i) {
            if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
                pid_ = 0;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = 0;
    }

    std::string scheme_;
    pid_t pid_ = 0;
    int stdin_ = -1;
    std::string port_;
};

}  // namespace velmora::testing
