#include "base/FileModes.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace FileModes {

namespace {

// f_type values of statfs(2) (linux/magic.h and the drivers).
constexpr unsigned long MsdosMagic = 0x4d44;     // msdos, vfat
constexpr unsigned long ExfatMagic = 0x2011BAB0; // exfat
constexpr unsigned long NtfsMagic = 0x5346544e;  // ntfs (classic driver)
constexpr unsigned long Ntfs3Magic = 0x7366746e; // ntfs3
constexpr unsigned long FuseMagic = 0x65735546;  // fuse, fuseblk (fusefat, ntfs-3g, exfat-fuse...)

} // namespace

bool NoModesThere(int Fd, int Error)
{
    if (Error != EPERM && Error != ENOSYS && Error != EOPNOTSUPP)
        return false;
    struct statfs fs {};
    if (::fstatfs(Fd, &fs) != 0)
        return false;
    const auto type = static_cast<unsigned long>(fs.f_type);
    if (type == MsdosMagic || type == ExfatMagic || type == NtfsMagic || type == Ntfs3Magic)
        return true;
    // Through FUSE only "not implemented" says so: a FUSE file system that
    // keeps modes (sshfs, say) answers EPERM for a change it does not allow.
    return type == FuseMagic && (Error == ENOSYS || Error == EOPNOTSUPP);
}

int Change(int Fd, mode_t Mode)
{
    if (::fchmod(Fd, Mode) == 0)
        return 0;
    const int error = errno;
    if (NoModesThere(Fd, error))
        return 0;
    errno = error;
    return -1;
}

int ChangeAt(const std::string& Path, mode_t Mode)
{
    if (::chmod(Path.c_str(), Mode) == 0)
        return 0;
    const int error = errno;
    const int fd = ::open(Path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    const bool noModes = fd >= 0 && NoModesThere(fd, error);
    if (fd >= 0)
        ::close(fd);
    if (noModes)
        return 0;
    errno = error;
    return -1;
}

} // namespace FileModes
