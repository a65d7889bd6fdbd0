// A folder that cannot be flushed after a save's rename: the save may not
// survive a power cut, and is reported, by one save and by many saved
// together (the exit) alike; the replaced version then keeps its bytes. A
// file system that cannot flush a folder at all is no failure.
#include "base/FileErrors.h"
#include "base/SafeReplace.h"
#include "store/AtomicFileWriter.h"
#include "store/TRequestFile.h"
#include "support/TempFolder.h"
#include "support/ProcessFiles.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <exception>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Flushing a folder fails with Error; everything else is the real disk.
class FolderFlushFails : public FileSystem {
public:
    explicit FolderFlushFails(int Error) : Error_(Error) {}
    int Sync(int Fd) override
    {
        struct stat st {};
        if (::fstat(Fd, &st) == 0 && S_ISDIR(st.st_mode)) {
            errno = Error_;
            return -1;
        }
        return FileSystem::Sync(Fd);
    }

private:
    int Error_;
};

std::size_t Entries(const std::string& Dir)
{
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(Dir), fs::directory_iterator()));
}

} // namespace

TEST(FolderFlush, AFailedFolderFlushFailsOneSaveAndEachOfManySavedTogether)
{
    testsupport::TempFolder dir("quorvex-folderflush");
    FolderFlushFails disk(EIO);

    // One save.
    dir.Write("ENTITY.DAT", "old");
    AtomicFileWriter writer(disk);
    EXPECT_THROW(writer.WriteFile(dir.File("ENTITY.DAT"), "new"), EWriteError);
    EXPECT_EQ(Entries(dir.Path()), 1u);

    // Many together: each file renamed into the folder fails as the single
    // save does.
    std::vector<std::unique_ptr<TRequestFile>> files;
    std::vector<TRequestFile*> pointers;
    for (int n = 1; n <= 3; ++n) {
        const std::string name = "STORAGE." + std::to_string(n) + ".DAT";
        dir.Write(name, "[Fingerprint]\r\nValue=OLD\r\n\r\n");
        files.push_back(std::make_unique<TRequestFile>(dir.File(name)));
        files.back()->WriteString("Fingerprint", "Value", "NEW" + std::to_string(n));
        pointers.push_back(files.back().get());
    }
    const std::vector<std::exception_ptr> failures = TRequestFile::UpdateFiles(pointers, {}, disk);
    ASSERT_EQ(failures.size(), 3u);
    for (const auto& failure : failures) {
        ASSERT_TRUE(failure);
        EXPECT_THROW(std::rethrow_exception(failure), EWriteError);
    }
    EXPECT_EQ(Entries(dir.Path()), 4u);

    // Not taken as done: the next exit writes them again, and then they are.
    struct stat before {};
    ASSERT_EQ(::stat(pointers[0]->FileName().c_str(), &before), 0);
    for (const auto& failure : TRequestFile::UpdateFiles(pointers))
        EXPECT_FALSE(failure);
    struct stat after {};
    ASSERT_EQ(::stat(pointers[0]->FileName().c_str(), &after), 0);
    EXPECT_NE(after.st_ino, before.st_ino);
    EXPECT_EQ(dir.Read("STORAGE.1.DAT"), "[Fingerprint]\r\nValue=NEW1\r\n\r\n");
}

// The replaced version of a key file is overwritten only once the rename
// that replaced it lasts: until then, a power cut may bring it back under
// its name.
TEST(FolderFlush, TheOldVersionKeepsItsBytesWhenTheFolderCannotBeFlushed)
{
    testsupport::TempFolder dir("quorvex-folderflush");
    dir.Write("{KEY}.PRI", "old key");
    const int oldFd = ::open(dir.File("{KEY}.PRI").c_str(), O_RDONLY);
    ASSERT_GE(oldFd, 0);
    FolderFlushFails disk(EIO);
    SafeReplace::Options options;
    options.WipeOldVersion = true;
    EXPECT_EQ(SafeReplace::ReplaceFile(dir.File("{KEY}.PRI"), "new key", 7, options, disk), EIO);
    EXPECT_EQ(testsupport::ReadAll(oldFd), "old key");
    ::close(oldFd);
    EXPECT_EQ(dir.Read("{KEY}.PRI"), "new key");
    EXPECT_EQ(Entries(dir.Path()), 1u);
}

TEST(FolderFlush, AFileSystemThatCannotFlushAFolderAtAllIsNoFailure)
{
    testsupport::TempFolder dir("quorvex-folderflush");
    for (const int error : {EINVAL, EOPNOTSUPP, ENOSYS}) {
        FolderFlushFails disk(error);
        AtomicFileWriter writer(disk);
        EXPECT_NO_THROW(writer.WriteFile(dir.File("ENTITY.DAT"), "new " + std::to_string(error)));
        EXPECT_EQ(dir.Read("ENTITY.DAT"), "new " + std::to_string(error));
        EXPECT_EQ(SafeReplace::SyncFolder(dir.Path(), disk), 0);
    }
    FolderFlushFails failing(EIO);
    EXPECT_EQ(SafeReplace::SyncFolder(dir.Path(), failing), EIO);
    EXPECT_EQ(SafeReplace::SyncFolder(dir.Path() + "missing/"), ENOENT);
}
