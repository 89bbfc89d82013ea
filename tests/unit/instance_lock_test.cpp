// The Linux program's single-instance lock and its quit request, which need
// no Qt.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "platform/qt/instance_lock.h"
#include "platform/qt/quit_request.h"

namespace velmora::qt {
namespace {

class QtInstanceLock : public ::testing::Test {
protected:
    std::filesystem::path root;
    std::string folder;
    void SetUp() override {
        char templ[] = "/tmp/velmora-lock-test-XXXXXX";
        ASSERT_NE(mkdtemp(templ), nullptr);
        root = templ;
        folder = (root / "run").string();
    }
    void TearDown() override { std::filesystem::remove_all(root); }

    // A child process that holds the lock; returns once it does. With
    // `execAway` it then becomes another program, which inherits nothing it
    // should not; otherwise it waits for a signal.
    pid_t StartHolder(bool execAway) {
        int ready[2];
        EXPECT_EQ(pipe2(ready, O_CLOEXEC), 0);
        const pid_t child = fork();
        EXPECT_GE(child, 0);
        if (child == 0) {
            InstanceLock lock(folder);
            if (lock.HeldElsewhere() || !lock.Holds()) _exit(1);
            // The pipe's write end closes at exec, or here.
            if (execAway) {
                execl("/bin/sh", "sh", "-c", "exec sleep 30", static_cast<char*>(nullptr));
                _exit(2);
            }
            close(ready[1]);
            pause();
            _exit(2);
        }
        close(ready[1]);
        char byte;
        EXPECT_EQ(read(ready[0], &byte, 1), 0);  // end of file: the child holds the lock (or died)
        close(ready[0]);
        return child;
    }
};

TEST_F(QtInstanceLock, FolderIsTheRuntimeDirectoryOrAPrivateOneInTmp) {
    EXPECT_EQ(InstanceLockFolder("/run/user/1000", 1000), "/run/user/1000");
    EXPECT_EQ(InstanceLockFolder(nullptr, 1000), "/tmp/velmora-1000");
    EXPECT_EQ(InstanceLockFolder("", 1000), "/tmp/velmora-1000");
    EXPECT_EQ(InstanceLockFolder("relative/dir", 7), "/tmp/velmora-7");
}

TEST_F(QtInstanceLock, TheSecondCopyFindsTheFirstUntilItGoes) {
    auto first = std::make_unique<InstanceLock>(folder);
    EXPECT_FALSE(first->HeldElsewhere());
    EXPECT_TRUE(first->Holds());
    EXPECT_EQ(std::filesystem::status(folder).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_all);

    InstanceLock second(folder);
    EXPECT_TRUE(second.HeldElsewhere());
    EXPECT_FALSE(second.Holds());
    first.reset();
    EXPECT_FALSE(second.HeldElsewhere());
    EXPECT_TRUE(second.Holds());
}

// A crash must not block the next start, and neither must a program the
// holder started (the browser behind xdg-open) that outlives it.
TEST_F(QtInstanceLock, TheLockDiesWithItsProcessAndIsNotInherited) {
    const pid_t child = StartHolder(true);

    InstanceLock next(folder);
    EXPECT_FALSE(next.HeldElsewhere()) << "the program started by the holder kept the lock";
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status)) << "the child could not take the lock";
}

// The holder gets SIGTERM and the asker returns once it has gone; a lock
// file left by a copy that has gone names no one to signal.
TEST_F(QtInstanceLock, QuitAsksTheHolderAloneAndWaitsForItToGo) {
    EXPECT_EQ(AskRunningCopyToQuit(folder, 1000), QuitOutcome::NotRunning);
    const pid_t child = StartHolder(false);

    EXPECT_EQ(AskRunningCopyToQuit(folder, 10000), QuitOutcome::Closed);
    int status = 0;
    EXPECT_EQ(waitpid(child, &status, WNOHANG), child) << "returned before the holder had gone";
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
    EXPECT_EQ(AskRunningCopyToQuit(folder, 1000), QuitOutcome::NotRunning);
}

TEST_F(QtInstanceLock, AFolderThatIsALinkIsNotTrusted) {
    std::filesystem::create_directory(root / "elsewhere");
    std::filesystem::create_directory_symlink(root / "elsewhere", folder);
    InstanceLock lock(folder);
    EXPECT_FALSE(lock.HeldElsewhere());  // runs, but without a lock
    EXPECT_FALSE(lock.Holds());
    EXPECT_FALSE(std::filesystem::exists(root / "elsewhere" / "velmora.lock"));
}

}  // namespace
}  // namespace velmora::qt
