// A mode the file system cannot hold is not an error there: on a FAT stick
// (here a FAT image through FUSE, as the kernel of this machine has no FAT
// driver) files are written, replaced and moved in; on a file system that
// holds modes a refusal stays an error.
#include "base/FileModes.h"
#include "base/SafeReplace.h"
#include "support/ScopedMount.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

TEST(FileModes, AModeIsNoErrorOnlyWhereTheFileSystemHoldsNone)
{
    testsupport::TempFolder root("quorvex-modes");
    ASSERT_TRUE(root.Valid());
    testsupport::ScopedMount stick(testsupport::ScopedMount::Type::FatImage, root.File("stick.img"),
                                   root.File("stick"));
    ASSERT_FALSE(stick.Missing()) << stick.Why();
    if (!stick.Made())
        GTEST_SKIP() << stick.Why();
    const std::string onStick = root.File("stick/A.PRI");
    const std::string onDisk = root.File("disk.PRI");
    std::ofstream(onDisk) << "x";
    std::ofstream(onStick) << "x";
    const int fat = ::open(onStick.c_str(), O_RDWR | O_CLOEXEC);
    const int disk = ::open(onDisk.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(fat, 0);
    ASSERT_GE(disk, 0);
    // The stick really refuses: the failure the program met there.
    ASSERT_NE(::fchmod(fat, 0600), 0);
    const int refusal = errno;
    EXPECT_TRUE(refusal == ENOSYS || refusal == EOPNOTSUPP) << std::strerror(refusal);

    struct Case {
        const char* what;
        int fd, error;
        bool noModes;
    } cases[] = {
        {"FAT through FUSE, not implemented", fat, ENOSYS, true},
        {"FAT through FUSE, not supported", fat, EOPNOTSUPP, true},
        {"FUSE refusing a change it could hold", fat, EPERM, false},
        {"FAT through FUSE, another failure", fat, EIO, false},
        {"a disk that holds modes, refused", disk, EPERM, false},
        {"a disk that holds modes, not implemented", disk, ENOSYS, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FileModes::NoModesThere(c.fd, c.error), c.noModes) << c.what;
    EXPECT_EQ(FileModes::Change(fat, 0600), 0);
    EXPECT_EQ(FileModes::ChangeAt(onStick, 0600), 0);
    EXPECT_EQ(FileModes::Change(disk, 0640), 0);
    EXPECT_EQ(FileModes::Change(-1, 0600), -1) << "a bad descriptor stays an error";
    ::close(fat);
    ::close(disk);

    // What the steps do on the stick: a file replaced there, and one moved
    // in from the disk (copied and read back, another file system).
    const std::string bytes(5000, 'k');
    EXPECT_EQ(SafeReplace::ReplaceFile(root.File("stick/REQ.TXT"), bytes.data(), bytes.size()), 0);
    EXPECT_EQ(SafeReplace::ReplaceFile(root.File("stick/REQ.TXT"), "new", 3), 0) << "replaced in place";
    EXPECT_EQ(SafeReplace::MoveFile(onDisk, root.File("stick/chave.PRI"), false), 0);
    std::ifstream in(root.File("stick/chave.PRI"));
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "x");
    std::ifstream req(root.File("stick/REQ.TXT"));
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(req), {}), "new");
}
