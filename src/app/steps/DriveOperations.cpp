#include "app/steps/DriveOperations.h"

#include "base/ProgramPaths.h"
#include "base/SafeReplace.h"
#include "crypto/TRSAMedia.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <memory>

namespace {

struct DirCloser {
    void operator()(DIR* d) const { closedir(d); }
};

bool IsDotEntry(const char* name)
{
    return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

} // namespace

bool IsDriveWritable(const std::string& Dir)
{
    try {
        if (Dir.empty())
            return false;
        const std::string probe = ProgramPaths::WithSlash(Dir) + NewGuidText() + "~tf";
        const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0)
            return false;
        ::close(fd);
        ::unlink(probe.c_str());
        return true;
    } catch (...) {
        return false;
    }
}

bool DriveHasFiles(const std::string& Dir)
{
    if (Dir.empty())
        return false;
    std::unique_ptr<DIR, DirCloser> dir(::opendir(Dir.c_str()));
    if (!dir)
        return false;
    while (const dirent* entry = ::readdir(dir.get())) {
        if (!IsDotEntry(entry->d_name))
            return true;
    }
    return false;
}

int FilesToClear(const std::string& Dir)
{
    if (Dir.empty())
        return 0;
    std::unique_ptr<DIR, DirCloser> dir(::opendir(Dir.c_str()));
    if (!dir)
        return 0;
    int count = 0;
    while (const dirent* entry = ::readdir(dir.get())) {
        struct stat st {};
        if (!IsDotEntry(entry->d_name) && ::fstatat(::dirfd(dir.get()), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0
            && !S_ISDIR(st.st_mode))
            ++count;
    }
    return count;
}

void ClearDrive(const std::string& Dir)
{
    if (Dir.empty())
        return;
    const std::string folder = ProgramPaths::WithSlash(Dir);
    std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.c_str()));
    if (!dir)
        return;
    while (const dirent* entry = ::readdir(dir.get())) {
        if (IsDotEntry(entry->d_name))
            continue;
        // unlink never removes a folder and never follows a link.
        ::unlink((folder + entry->d_name).c_str());
    }
}

bool FlushFileAndFolder(const std::string& FileName)
{
    const int fd = ::open(FileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced && SafeReplace::SyncFolder(SafeReplace::FolderOf(FileName)) == 0;
}
