// One client per data folder: the lock is exclusive, dies with its process
// however it ends, and is not handed down to programs the client starts.
#include "base/InstanceLock.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <functional>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class InstanceLockTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/quorvex-lock-XXXXXX";
        Dir = std::string(::mkdtemp(pattern)) + "/";
    }
    void TearDown() override { fs::remove_all(Dir); }

    // A child process that runs Body and then waits to be killed; returns
    // once Body has run.
    pid_t Child(const std::function<void()>& Body)
    {
        int fds[2];
        EXPECT_EQ(::pipe(fds), 0);
        const pid_t pid = ::fork();
        if (pid == 0) {
            Body();
            [[maybe_unused]] const auto n = ::write(fds[1], "x", 1);
            for (;;)
                ::pause();
        }
        char c = 0;
        EXPECT_EQ(::read(fds[0], &c, 1), 1);
        ::close(fds[0]);
        ::close(fds[1]);
        return pid;
    }

    static void Kill(pid_t pid)
    {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }

    std::string Dir;
};

} // namespace

TEST_F(InstanceLockTest, OneHolderAtATime)
{
    InstanceLock first;
    ASSERT_EQ(first.Acquire(Dir), InstanceLock::Result::Acquired);
    EXPECT_TRUE(first.Held());
    const std::string file = Dir + InstanceLock::FileName;
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);

    InstanceLock second;
    EXPECT_EQ(second.Acquire(Dir), InstanceLock::Result::HeldByOther);
    EXPECT_FALSE(second.Held());
    EXPECT_FALSE(InstanceLock::WaitUntilFree(Dir, 100));
    first.Release();
    EXPECT_TRUE(InstanceLock::WaitUntilFree(Dir, 100));
    EXPECT_EQ(second.Acquire(Dir), InstanceLock::Result::Acquired);
}

TEST_F(InstanceLockTest, AKilledHolderLeavesNothingStuck)
{
    const pid_t holder = Child([this] {
        static InstanceLock lock;
        if (lock.Acquire(Dir) != InstanceLock::Result::Acquired)
            ::_exit(1);
    });
    InstanceLock mine;
    EXPECT_EQ(mine.Acquire(Dir), InstanceLock::Result::HeldByOther);
    Kill(holder);
    EXPECT_TRUE(InstanceLock::WaitUntilFree(Dir, 5000));
    EXPECT_EQ(mine.Acquire(Dir), InstanceLock::Result::Acquired);
}

// reinit is started by the client that is about to end: it must not keep the
// lock that the client it starts again will ask for.
TEST_F(InstanceLockTest, ProgramsStartedByTheHolderDoNotHoldIt)
{
    InstanceLock lock;
    ASSERT_EQ(lock.Acquire(Dir), InstanceLock::Result::Acquired);
    // The pipe closes in the child when it has replaced itself with sleep.
    int fds[2];
    ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
    const pid_t started = ::fork();
    if (started == 0) {
        ::execl("/bin/sleep", "sleep", "30", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(fds[1]);
    char c;
    EXPECT_EQ(::read(fds[0], &c, 1), 0);
    ::close(fds[0]);
    lock.Release();
    InstanceLock next;
    EXPECT_EQ(next.Acquire(Dir), InstanceLock::Result::Acquired);
    Kill(started);
}

TEST_F(InstanceLockTest, APlantedLinkIsNotFollowed)
{
    const std::string outside = Dir + "outside";
    std::ofstream(outside) << "keep";
    fs::create_symlink(outside, Dir + InstanceLock::FileName);
    InstanceLock lock;
    EXPECT_EQ(lock.Acquire(Dir), InstanceLock::Result::Unavailable);
    EXPECT_EQ(fs::file_size(outside), 4u);
    EXPECT_EQ(fs::status(outside).permissions() & fs::perms::owner_write, fs::perms::owner_write);
}
