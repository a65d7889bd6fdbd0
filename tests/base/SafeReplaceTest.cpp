// What a crash in the middle of a save leaves behind is cleared at the next
// start: the temporaries of processes that are gone, wiped before removal.
#include "base/SafeReplace.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string ReadAll(int fd)
{
    std::string bytes;
    char buffer[256];
    ssize_t n;
    off_t at = 0;
    while ((n = ::pread(fd, buffer, sizeof buffer, at)) > 0) {
        bytes.append(buffer, static_cast<std::size_t>(n));
        at += n;
    }
    return bytes;
}

// A process number that belonged to a process that has ended.
pid_t DeadPid()
{
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(0);
    ::waitpid(pid, nullptr, 0);
    return pid;
}

} // namespace

TEST(SafeReplace, StaleTemporariesOfEndedProcessesAreWipedAndRemoved)
{
    char pattern[] = "/tmp/quorvex-stale-XXXXXX";
    const std::string dir = std::string(::mkdtemp(pattern)) + "/";
    const pid_t dead = DeadPid();
    const std::string tag = "0123456789abcdef";
    auto name = [&](const std::string& file, pid_t pid, const char* kind) {
        return "." + file + "." + std::to_string(pid) + "." + tag + "." + kind;
    };
    auto write = [&](const std::string& file, const std::string& bytes) { std::ofstream(dir + file) << bytes; };

    // A storage file's new version and a key file's old version of a killed
    // save: both hold key material. Links made here keep them readable.
    const std::string tmp = name("STORAGE.1.DAT", dead, "tmp");
    const std::string old = name("{KEY}.PRI", dead, "old");
    write(tmp, "KeyFile=0123456789ABCDEF");
    write(old, "QVXKEY private");
    fs::create_hard_link(dir + tmp, dir + "peek-tmp");
    fs::create_hard_link(dir + old, dir + "peek-old");
    const int tmpFd = ::open((dir + "peek-tmp").c_str(), O_RDONLY);
    const int oldFd = ::open((dir + "peek-old").c_str(), O_RDONLY);
    ASSERT_GE(tmpFd, 0);
    ASSERT_GE(oldFd, 0);
    // A link under a temporary's name goes; what it points at stays.
    write("outside", "keep me");
    const std::string link = name("STORAGE.2.DAT", dead, "tmp");
    fs::create_symlink(dir + "outside", dir + link);
    // What is not ours, or whose writer still runs, stays.
    const std::string live = name("STORAGE.3.DAT", ::getpid(), "tmp");
    write(live, "being written");
    const std::string fifo = name("STORAGE.4.DAT", dead, "tmp");
    ASSERT_EQ(::mkfifo((dir + fifo).c_str(), 0600), 0);
    const std::vector<std::string> kept = {live, fifo, "STORAGE.1.DAT", ".STORAGE.1.DAT.1.nothex.tmp",
                                           name("STORAGE.1.DAT", dead, "bak")};
    for (std::size_t i = 2; i < kept.size(); ++i)
        write(kept[i], "x");

    EXPECT_EQ(SafeReplace::RemoveStaleTemporaries(dir), 3);

    for (const std::string& gone : {tmp, old, link})
        EXPECT_FALSE(fs::exists(fs::symlink_status(dir + gone))) << gone;
    EXPECT_EQ(ReadAll(tmpFd), std::string(24, '\0'));
    EXPECT_EQ(ReadAll(oldFd), std::string(14, '\0'));
    ::close(tmpFd);
    ::close(oldFd);
    std::ifstream outside(dir + "outside");
    std::stringstream content;
    content << outside.rdbuf();
    EXPECT_EQ(content.str(), "keep me");
    for (const std::string& stays : kept)
        EXPECT_TRUE(fs::exists(fs::symlink_status(dir + stays))) << stays;

    // A folder that cannot be read holds nothing to remove.
    EXPECT_EQ(SafeReplace::RemoveStaleTemporaries(dir + "none/"), 0);
    fs::remove_all(dir);
}
