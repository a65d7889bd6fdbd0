// What a crash in the middle of a save leaves behind is cleared at the next
// start: the temporaries of processes that are gone, wiped before removal.
#include "base/SafeReplace.h"
#include "support/ProcessFiles.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <iostream>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const std::string& Path)
{
    std::ifstream in(Path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

} // namespace

TEST(SafeReplace, StaleTemporariesOfEndedProcessesAreWipedAndRemoved)
{
    char pattern[] = "/tmp/quorvex-stale-XXXXXX";
    const std::string dir = std::string(::mkdtemp(pattern)) + "/";
    const pid_t dead = testsupport::DeadPid();
    const std::string tag = "0123456789abcdef";
    auto name = [&](const std::string& file, pid_t pid, const char* kind) {
        return "." + file + "." + std::to_string(pid) + "." + tag + "." + kind;
    };
    auto write = [&](const std::string& file, const std::string& bytes) { std::ofstream(dir + file) << bytes; };

    // A storage file's new version and a key file's old version of a killed
    // save: both hold key material. Descriptors kept open here read them.
    const std::string tmp = name("STORAGE.1.DAT", dead, "tmp");
    const std::string old = name("{KEY}.PRI", dead, "old");
    write(tmp, "KeyFile=0123456789ABCDEF");
    write(old, "QVXKEY private");
    const int tmpFd = ::open((dir + tmp).c_str(), O_RDONLY);
    const int oldFd = ::open((dir + old).c_str(), O_RDONLY);
    ASSERT_GE(tmpFd, 0);
    ASSERT_GE(oldFd, 0);
    // Killed between linking the old version and renaming the new one in:
    // the old version is still the live file, which keeps its bytes.
    write("STORAGE.5.DAT", "live data");
    const std::string liveOld = name("STORAGE.5.DAT", dead, "old");
    fs::create_hard_link(dir + "STORAGE.5.DAT", dir + liveOld);
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

    EXPECT_EQ(SafeReplace::RemoveStaleTemporaries(dir), 4);

    for (const std::string& gone : {tmp, old, link, liveOld})
        EXPECT_FALSE(fs::exists(fs::symlink_status(dir + gone))) << gone;
    EXPECT_EQ(testsupport::ReadAll(tmpFd), std::string(24, '\0'));
    EXPECT_EQ(testsupport::ReadAll(oldFd), std::string(14, '\0'));
    ::close(tmpFd);
    ::close(oldFd);
    EXPECT_EQ(ReadFile(dir + "outside"), "keep me");
    for (const std::string& stays : kept)
        EXPECT_TRUE(fs::exists(fs::symlink_status(dir + stays))) << stays;
    EXPECT_EQ(ReadFile(dir + "STORAGE.5.DAT"), "live data");

    // A folder that cannot be read holds nothing to remove.
    EXPECT_EQ(SafeReplace::RemoveStaleTemporaries(dir + "none/"), 0);
    fs::remove_all(dir);
}

// The old version of a key file is overwritten before its blocks are freed,
// but only when no other name holds it: a file hard-linked under the key
// file's name is someone's own, and only loses that name.
TEST(SafeReplace, TheOldVersionIsWipedOnlyWhenNoOtherNameHoldsIt)
{
    char pattern[] = "/tmp/quorvex-wipeold-XXXXXX";
    const std::string dir = std::string(::mkdtemp(pattern)) + "/";
    struct Case {
        const char* what;
        bool otherName;
        std::string oldAfterwards; // what the old version holds afterwards
    } cases[] = {{"sole name", false, std::string(9, '\0')}, {"hard-linked user's file", true, "old bytes"}};
    for (const Case& c : cases) {
        const std::string target = dir + "{KEY}.PRI";
        std::ofstream(target) << "old bytes";
        if (c.otherName)
            fs::create_hard_link(target, dir + "user-file");
        const int oldFd = ::open(target.c_str(), O_RDONLY);
        ASSERT_GE(oldFd, 0);
        SafeReplace::Options options;
        options.WipeOldVersion = true;
        EXPECT_EQ(SafeReplace::ReplaceFile(target, "new", 3, options), 0) << c.what;
        EXPECT_EQ(ReadFile(target), "new") << c.what;
        EXPECT_EQ(testsupport::ReadAll(oldFd), c.oldAfterwards) << c.what;
        ::close(oldFd);
        if (c.otherName) {
            EXPECT_EQ(ReadFile(dir + "user-file"), "old bytes");
        }
        fs::remove(dir + "user-file");
    }
    // Only the target and nothing of the replacement's making remain.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);

    // Removing a file directly: the same rule.
    std::ofstream(dir + "storage") << "keys";
    fs::create_hard_link(dir + "storage", dir + "kept");
    EXPECT_EQ(SafeReplace::WipeAndRemove(dir + "storage"), 0);
    EXPECT_EQ(ReadFile(dir + "kept"), "keys");
    EXPECT_FALSE(fs::exists(dir + "storage"));
    fs::remove_all(dir);
}

// A mode that cannot be set is an error: nothing is written, the target and
// the folder stay as they were.
TEST(SafeReplace, AModeThatCannotBeSetIsAnError)
{
    struct ModeRefused : SafeReplace::Writer {
        int ChangeMode(int, mode_t) override
        {
            errno = EPERM;
            return -1;
        }
    };
    char pattern[] = "/tmp/quorvex-mode-XXXXXX";
    const std::string dir = std::string(::mkdtemp(pattern)) + "/";
    std::ofstream(dir + "data") << "old";
    ModeRefused writer;
    EXPECT_EQ(writer.Begin(dir + "data"), EPERM);
    EXPECT_EQ(writer.Write("new", 3), EBADF);
    EXPECT_EQ(writer.Commit(), EBADF);
    EXPECT_EQ(ReadFile(dir + "data"), "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
    fs::remove_all(dir);
}

// Setting a large file's blocks aside first never shows in its content: a
// replacement holds what was written, even when less than announced.
TEST(SafeReplace, ASizeAnnouncedInAdvanceNeverChangesWhatTheFileHolds)
{
    char pattern[] = "/tmp/quorvex-size-XXXXXX";
    const std::string dir = std::string(::mkdtemp(pattern)) + "/";
    const std::string bytes(300000, 'k');
    EXPECT_EQ(SafeReplace::ReplaceFile(dir + "data", bytes.data(), bytes.size()), 0);
    EXPECT_EQ(ReadFile(dir + "data"), bytes);
    SafeReplace::Writer writer;
    SafeReplace::Options options;
    options.ExpectedSize = 4 * bytes.size();
    ASSERT_EQ(writer.Begin(dir + "data", options), 0);
    ASSERT_EQ(writer.Write(bytes.data(), 100000), 0);
    ASSERT_EQ(writer.Commit(), 0);
    EXPECT_EQ(ReadFile(dir + "data"), bytes.substr(0, 100000));
    fs::remove_all(dir);
}

namespace {

// A file system that cannot rename without replacing.
struct NoExclusiveRename : FileSystem {
    int RenameNoReplace(const std::string&, const std::string&) override
    {
        errno = EINVAL;
        return -1;
    }
};

std::string ExecutableFolder()
{
    return fs::read_symlink("/proc/self/exe").parent_path().string();
}

bool OnAnotherFileSystem(const std::string& A, const std::string& B)
{
    struct stat a {
    }, b{};
    return ::stat(A.c_str(), &a) == 0 && ::stat(B.c_str(), &b) == 0 && a.st_dev != b.st_dev;
}

} // namespace

// A file is put under its final name across file systems and where the file
// system cannot rename without replacing: copied, flushed, read back; a file
// already there is replaced only when asked, and never by the exclusive move.
TEST(SafeReplace, MovingAFileWorksAcrossFileSystemsAndWithoutExclusiveRename)
{
    char pattern[] = "/tmp/quorvex-move-XXXXXX";
    const std::string local = std::string(::mkdtemp(pattern)) + "/";
    struct Case {
        std::string what, from, to;
        bool exclusiveRename;
    };
    std::vector<Case> cases = {{"no exclusive rename", local + "a/", local + "b/", false}};
    // The build folder against the shared-memory file system, both ways.
    const std::string build = ExecutableFolder() + "/";
    char shmPattern[] = "/dev/shm/quorvex-move-XXXXXX";
    std::string shm;
    if (OnAnotherFileSystem("/dev/shm", build) && ::mkdtemp(shmPattern)) {
        shm = std::string(shmPattern) + "/";
        const std::string buildSide = build + "move-" + std::to_string(::getpid()) + "/";
        cases.push_back({"memory to build folder", shm + "a/", buildSide + "b/", true});
        cases.push_back({"build folder to memory", buildSide + "a/", shm + "b/", true});
    } else {
        std::cout << "[ SKIPPED  ] across file systems: /dev/shm and the build folder " << build
                  << " are not two file systems here\n";
    }
    const std::string key(3000, 'K');
    NoExclusiveRename noExclusiveRename;
    for (const Case& c : cases) {
        fs::create_directories(c.from);
        fs::create_directories(c.to);
        auto mover = std::make_unique<SafeReplace::Mover>(c.exclusiveRename ? FileSystem::Real() : noExclusiveRename);
        std::ofstream(c.from + "x.PRI") << key;
        EXPECT_EQ(mover->Move(c.from + "x.PRI", c.to + "chave.PRI", false), 0) << c.what;
        EXPECT_EQ(ReadFile(c.to + "chave.PRI"), key) << c.what;
        struct stat st {};
        EXPECT_EQ(::stat((c.to + "chave.PRI").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 077, 0u) << c.what << ": owner only";

        // An existing file is not replaced unless asked.
        std::ofstream(c.from + "y.PRI") << "second";
        EXPECT_EQ(mover->Move(c.from + "y.PRI", c.to + "chave.PRI", false), EEXIST) << c.what;
        EXPECT_EQ(ReadFile(c.to + "chave.PRI"), key) << c.what;
        EXPECT_EQ(ReadFile(c.from + "y.PRI"), "second") << c.what;
        EXPECT_EQ(mover->Move(c.from + "y.PRI", c.to + "chave.PRI", true), 0) << c.what;
        EXPECT_EQ(ReadFile(c.to + "chave.PRI"), "second") << c.what;
        // Nothing of the copy's making is left beside the target.
        EXPECT_EQ(std::distance(fs::directory_iterator(c.to), fs::directory_iterator()), 1) << c.what;
        fs::remove_all(c.from);
        fs::remove_all(c.to);
    }
    fs::remove_all(local);
    if (!shm.empty()) {
        fs::remove_all(shm);
        fs::remove_all(build + "move-" + std::to_string(::getpid()));
    }
}

// The read back of a copy across file systems checks what the medium holds,
// not the pages just written: they are dropped after the flush and the file
// is read around the cache, so none of it is left in memory after the move.
// (Before, every page of the copy stayed cached and the read back compared
// the cache with itself.)
TEST(SafeReplace, TheReadBackOfACopyReadsTheMediumNotTheCache)
{
    const std::string build = ExecutableFolder() + "/";
    if (!OnAnotherFileSystem("/dev/shm", build))
        GTEST_SKIP() << "/dev/shm and the build folder " << build << " are not two file systems here";
    char shmPattern[] = "/dev/shm/quorvex-readback-XXXXXX";
    ASSERT_NE(::mkdtemp(shmPattern), nullptr);
    const std::string from = std::string(shmPattern) + "/key.PRI";
    const std::string to = build + "readback-" + std::to_string(::getpid()) + ".PRI";
    std::string bytes(256 * 1024, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 7 + i / 4096);
    std::ofstream(from, std::ios::binary) << bytes;

    ASSERT_EQ(SafeReplace::MoveFile(from, to, false), 0);

    // Which of the copy's pages are in memory now, looked at without reading them.
    const int fd = ::open(to.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    const std::size_t pages = (bytes.size() + 4095) / 4096;
    void* map = ::mmap(nullptr, bytes.size(), PROT_READ, MAP_SHARED, fd, 0);
    ASSERT_NE(map, MAP_FAILED);
    std::vector<unsigned char> resident(pages);
    EXPECT_EQ(::mincore(map, bytes.size(), resident.data()), 0);
    std::size_t cached = 0;
    for (unsigned char page : resident)
        cached += page & 1;
    ::munmap(map, bytes.size());
    ::close(fd);
    EXPECT_EQ(cached, 0u) << cached << " of " << pages << " pages of the copy were still cached";
    EXPECT_EQ(ReadFile(to), bytes);
    fs::remove(to);
    fs::remove_all(shmPattern);
}
