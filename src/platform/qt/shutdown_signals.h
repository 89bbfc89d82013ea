// SIGTERM, SIGINT and SIGHUP (kill, Ctrl+C, the terminal or session going
// away) as a close request on the event loop. The handler only writes a byte
// to a pipe; a socket notifier on the loop reads it and calls back. SIGINT
// and SIGHUP ignored at start stay ignored.
#pragma once

#include <signal.h>

#include <QSocketNotifier>
#include <functional>
#include <memory>

namespace velmora::qt {

class ShutdownSignals {
public:
    // One instance at a time: the handlers write to its pipe.
    explicit ShutdownSignals(std::function<void()> onSignal);
    ~ShutdownSignals();
    ShutdownSignals(const ShutdownSignals&) = delete;
    ShutdownSignals& operator=(const ShutdownSignals&) = delete;

private:
    std::function<void()> onSignal_;
    int pipe_[2] = {-1, -1};
    struct sigaction previous_[3] = {};  // SIGTERM, SIGINT, SIGHUP as they were
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace velmora::qt
