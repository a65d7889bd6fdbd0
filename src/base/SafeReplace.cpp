#include "base/SafeReplace.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace SafeReplace {

namespace {

int ErrnoOr(int Fallback)
{
    return errno != 0 ? errno : Fallback;
}

std::string RandomHex(std::size_t Bytes)
{
    unsigned char raw[16] = {};
    if (Bytes > sizeof raw)
        Bytes = sizeof raw;
    if (::getrandom(raw, Bytes, 0) != static_cast<ssize_t>(Bytes)) {
        // Never reached on Linux for 16 bytes; exclusive creation still
        // keeps a guessed name from being used.
        for (std::size_t i = 0; i < Bytes; ++i)
            raw[i] = static_cast<unsigned char>(std::rand());
    }
    static const char Digits[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < Bytes; ++i) {
        out += Digits[raw[i] >> 4];
        out += Digits[raw[i] & 15];
    }
    return out;
}

std::string NamePart(const std::string& Path)
{
    const auto slash = Path.find_last_of('/');
    return slash == std::string::npos ? Path : Path.substr(slash + 1);
}

// A symbolic link as target stays a link: the file it points at is replaced.
std::string FollowLink(const std::string& Path)
{
    struct stat st {};
    if (::lstat(Path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char resolved[PATH_MAX];
        if (::realpath(Path.c_str(), resolved))
            return resolved;
    }
    return Path;
}

bool ProcessIsGone(pid_t Pid)
{
    return Pid > 0 && ::kill(Pid, 0) != 0 && errno == ESRCH;
}

} // namespace

std::string FolderOf(const std::string& Path)
{
    const auto slash = Path.find_last_of('/');
    if (slash == std::string::npos)
        return "./";
    return Path.substr(0, slash + 1);
}

std::string TemporaryName(const std::string& Folder, const std::string& Name, const char* Kind)
{
    return Folder + "." + Name + "." + std::to_string(::getpid()) + "." + RandomHex(8) + "." + Kind;
}

bool IsTemporaryName(const std::string& FileName, pid_t& Pid)
{
    // ".<name>.<pid>.<16 hex>.<tmp|old>"
    if (FileName.size() < 24 || FileName[0] != '.')
        return false;
    const std::size_t kindDot = FileName.find_last_of('.');
    const std::string kind = FileName.substr(kindDot + 1);
    if (kind != "tmp" && kind != "old")
        return false;
    const std::size_t hexDot = FileName.find_last_of('.', kindDot - 1);
    if (hexDot == std::string::npos || kindDot - hexDot - 1 != 16)
        return false;
    for (std::size_t i = hexDot + 1; i < kindDot; ++i)
        if (!std::isxdigit(static_cast<unsigned char>(FileName[i])))
            return false;
    const std::size_t pidDot = FileName.find_last_of('.', hexDot - 1);
    if (pidDot == std::string::npos || pidDot == 0 || hexDot - pidDot - 1 == 0 || hexDot - pidDot - 1 > 9)
        return false;
    long pid = 0;
    for (std::size_t i = pidDot + 1; i < hexDot; ++i) {
        if (FileName[i] < '0' || FileName[i] > '9')
            return false;
        pid = pid * 10 + (FileName[i] - '0');
    }
    Pid = static_cast<pid_t>(pid);
    return pid > 0;
}

int OverwriteWithZeros(int Fd)
{
    struct stat st {};
    if (::fstat(Fd, &st) != 0)
        return ErrnoOr(EIO);
    if (!S_ISREG(st.st_mode))
        return EINVAL;
    static const char Zeros[65536] = {};
    off_t offset = 0;
    while (offset < st.st_size) {
        const auto chunk =
            static_cast<std::size_t>(std::min<off_t>(static_cast<off_t>(sizeof Zeros), st.st_size - offset));
        const ssize_t n = ::pwrite(Fd, Zeros, chunk, offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return ErrnoOr(EIO);
        offset += n;
    }
    return ::fsync(Fd) == 0 ? 0 : ErrnoOr(EIO);
}

int SyncFolder(const std::string& Folder)
{
    const int fd = ::open(Folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return ErrnoOr(EIO);
    // Some file systems refuse to flush a folder; the content is safe then,
    // only its name may be lost in a power cut.
    ::fsync(fd);
    ::close(fd);
    return 0;
}

Writer::~Writer()
{
    Abort();
}

ssize_t Writer::WriteSome(int Fd, const void* Data, std::size_t Size)
{
    return ::write(Fd, Data, Size);
}

int Writer::Begin(const std::string& Target, const Options& Opts)
{
    Abort();
    if (Target.empty() || Target.back() == '/')
        return EINVAL;
    Options_ = Opts;
    Target_ = FollowLink(Target);
    const std::string folder = FolderOf(Target_);
    const std::string name = NamePart(Target_);

    struct stat old {};
    TargetExisted_ = ::stat(Target_.c_str(), &old) == 0;
    if (TargetExisted_) {
        // A folder is not a file, and a file its owner made read-only stays
        // as it is, even though the folder would allow replacing it.
        if (S_ISDIR(old.st_mode))
            return EISDIR;
        if (::access(Target_.c_str(), W_OK) != 0)
            return EACCES;
        Mode_ = (old.st_mode & 07777) & ~Options_.RemoveBits;
    } else {
        Mode_ = Options_.NewFileMode;
    }

    for (int attempt = 0; attempt < 16 && Fd_ < 0; ++attempt) {
        TempPath_ = TemporaryName(folder, name);
        Fd_ = ::open(TempPath_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (Fd_ < 0 && errno != EEXIST)
            break;
    }
    if (Fd_ < 0) {
        const int error = ErrnoOr(EIO);
        TempPath_.clear();
        return error;
    }
    // fchmod is not bent by the umask: the mode asked for is the mode given.
    ::fchmod(Fd_, Mode_);
    return 0;
}

int Writer::Write(const void* Data, std::size_t Size)
{
    if (Fd_ < 0)
        return EBADF;
    auto bytes = static_cast<const char*>(Data);
    while (Size > 0) {
        errno = 0;
        const ssize_t n = WriteSome(Fd_, bytes, Size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return ErrnoOr(EIO);
        bytes += n;
        Size -= static_cast<std::size_t>(n);
    }
    return 0;
}

int Writer::Commit()
{
    if (Fd_ < 0)
        return EBADF;
    if (::fsync(Fd_) != 0) {
        const int error = ErrnoOr(EIO);
        Abort();
        return error;
    }
    const int closed = ::close(Fd_);
    Fd_ = -1;
    if (closed != 0) {
        const int error = ErrnoOr(EIO);
        Abort();
        return error;
    }

    const std::string folder = FolderOf(Target_);
    std::string oldLink;
    if (Options_.WipeOldVersion && TargetExisted_) {
        oldLink = TemporaryName(folder, NamePart(Target_), "old");
        if (::link(Target_.c_str(), oldLink.c_str()) != 0)
            oldLink.clear(); // e.g. a file system without hard links: replace anyway
    }
    if (::rename(TempPath_.c_str(), Target_.c_str()) != 0) {
        const int error = ErrnoOr(EIO);
        if (!oldLink.empty())
            ::unlink(oldLink.c_str());
        Abort();
        return error;
    }
    TempPath_.clear();
    SyncFolder(folder);

    if (!oldLink.empty()) {
        const int fd = ::open(oldLink.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd >= 0) {
            OverwriteWithZeros(fd);
            ::close(fd);
        }
        ::unlink(oldLink.c_str());
        SyncFolder(folder);
    }
    return 0;
}

void Writer::Abort()
{
    if (Fd_ >= 0) {
        ::close(Fd_);
        Fd_ = -1;
    }
    if (!TempPath_.empty()) {
        // What was written may be key material too.
        const int fd = ::open(TempPath_.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd >= 0) {
            OverwriteWithZeros(fd);
            ::close(fd);
        }
        ::unlink(TempPath_.c_str());
        TempPath_.clear();
    }
}

int ReplaceFile(const std::string& Target, const void* Data, std::size_t Size, const Options& Opts)
{
    Writer writer;
    if (const int error = writer.Begin(Target, Opts))
        return error;
    if (const int error = writer.Write(Data, Size))
        return error;
    return writer.Commit();
}

int RemoveStaleTemporaries(const std::string& Folder)
{
    DIR* dir = ::opendir(Folder.c_str());
    if (!dir)
        return 0;
    const int dirFd = ::dirfd(dir);
    int removed = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        pid_t pid = 0;
        if (!IsTemporaryName(name, pid) || !ProcessIsGone(pid))
            continue;
        struct stat st {};
        if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISREG(st.st_mode)) {
            const int fd = ::openat(dirFd, name.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0) {
                OverwriteWithZeros(fd);
                ::close(fd);
            }
        } else if (!S_ISLNK(st.st_mode)) {
            continue; // a folder or a special file is not ours
        }
        if (::unlinkat(dirFd, name.c_str(), 0) == 0)
            ++removed;
    }
    ::closedir(dir);
    return removed;
}

} // namespace SafeReplace
