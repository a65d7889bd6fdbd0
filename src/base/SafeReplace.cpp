#include "base/SafeReplace.h"

#include "base/FileModes.h"
#include "base/ReplaceJournal.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace SafeReplace {

namespace {

// Smaller files gain nothing measurable from having their blocks set aside
// first.
constexpr std::size_t SetAsideFrom = 64 * 1024;

// Below this a piece is written in one go: halves of less than 64 KB are
// sent as two small requests, which cost more than the overlap gains.
constexpr std::size_t SplitFrom = 128 * 1024;

off_t PageSize()
{
    static const off_t size = [] {
        const long page = ::sysconf(_SC_PAGESIZE);
        return static_cast<off_t>(page > 0 ? page : 4096);
    }();
    return size;
}

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

bool ProcessIsGone(pid_t Pid)
{
    return Pid > 0 && ::kill(Pid, 0) != 0 && errno == ESRCH;
}

// Zeros the regular file open at Fd when its name is the only one: a file
// that another name still holds is someone's own (a hard link in the data
// folder, or the live target that a crash left linked as an old version).
void ZeroIfSoleName(int Fd, FileSystem& Disk)
{
    struct stat st {};
    if (::fstat(Fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 1)
        OverwriteWithZeros(Fd, Disk);
}

// Copies what is left to read at In to Out; 0 or an errno value.
int CopyBytes(int In, int Out, FileSystem& Disk)
{
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(In, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return ErrnoOr(EIO);
        if (n == 0)
            return 0;
        for (ssize_t done = 0; done < n;) {
            const ssize_t k = Disk.Write(Out, buffer + done, static_cast<std::size_t>(n - done));
            if (k < 0 && errno == EINTR)
                continue;
            if (k <= 0)
                return ErrnoOr(EIO);
            done += k;
        }
    }
}

// Whether two open files hold the same bytes.
bool SameBytes(int A, int B)
{
    char a[16384];
    char b[sizeof a];
    off_t at = 0;
    for (;;) {
        const ssize_t n = ::pread(A, a, sizeof a, at);
        if (n < 0)
            return false;
        ssize_t m = 0;
        while (m < n) {
            const ssize_t k = ::pread(B, b + m, static_cast<std::size_t>(n - m), at + m);
            if (k <= 0)
                return false;
            m += k;
        }
        if (n == 0)
            return ::pread(B, b, 1, at) == 0;
        if (std::memcmp(a, b, static_cast<std::size_t>(n)) != 0)
            return false;
        at += n;
    }
}

// Whether the file at Path, just written through Written and flushed,
// holds the bytes of From as the medium gives them back, not as the page
// cache still holds them: its pages, clean once flushed, are dropped first,
// and it is read again around the cache (O_DIRECT) where the file system
// allows that. What the device keeps in its own cache is beyond reach.
bool SameBytesOnMedium(int From, int Written, const std::string& Path)
{
    ::posix_fadvise(Written, 0, 0, POSIX_FADV_DONTNEED);
    int fd = ::open(Path.c_str(), O_RDONLY | O_DIRECT | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
        // Whole aligned blocks: a direct read ends short only at the end.
        alignas(4096) static thread_local char b[65536];
        char a[sizeof b];
        off_t at = 0;
        for (;;) {
            ssize_t k = ::pread(fd, b, sizeof b, at);
            if (k < 0 && errno == EINTR)
                continue;
            if (k < 0 && errno == EINVAL && at == 0)
                break; // direct reading refused after all: read as usual
            if (k < 0) {
                ::close(fd);
                return false;
            }
            ssize_t n = 0;
            while (n < k) {
                const ssize_t got = ::pread(From, a + n, static_cast<std::size_t>(k - n), at + n);
                if (got <= 0) {
                    ::close(fd);
                    return false;
                }
                n += got;
            }
            if (std::memcmp(a, b, static_cast<std::size_t>(k)) != 0) {
                ::close(fd);
                return false;
            }
            at += k;
            if (k < static_cast<ssize_t>(sizeof b)) {
                ::close(fd);
                return ::pread(From, a, 1, at) == 0;
            }
        }
        ::close(fd);
    }
    return SameBytes(From, Written);
}

} // namespace

std::string HoldOldVersion(const std::string& Target, FileSystem& Disk)
{
    std::string old = TemporaryName(FolderOf(Target), NamePart(Target), "old");
    return Disk.Link(Target, old) == 0 ? old : std::string();
}

std::string HoldOldVersionOrCopy(const std::string& Target, FileSystem& Disk)
{
    std::string old = HoldOldVersion(Target, Disk);
    if (!old.empty())
        return old;
    const int in = Disk.Open(Target, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (in < 0)
        return {};
    struct stat st {};
    if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        Disk.Close(in);
        errno = EINVAL;
        return {};
    }
    old = TemporaryName(FolderOf(Target), NamePart(Target), "old");
    const int out = Disk.Open(old, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (out < 0) {
        const int error = ErrnoOr(EIO);
        Disk.Close(in);
        errno = error;
        return {};
    }
    int error = CopyBytes(in, out, Disk);
    if (!error && Disk.Sync(out) != 0)
        error = ErrnoOr(EIO);
    Disk.Close(in);
    if (Disk.Close(out) != 0 && !error)
        error = ErrnoOr(EIO);
    if (error) {
        WipeAndRemove(old, Disk);
        errno = error;
        return {};
    }
    return old;
}

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

int OverwriteWithZeros(int Fd, FileSystem& Disk)
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
        const ssize_t n = Disk.WriteAt(Fd, Zeros, chunk, offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return ErrnoOr(EIO);
        offset += n;
    }
    return Disk.Sync(Fd) == 0 ? 0 : ErrnoOr(EIO);
}

int SyncFolder(const std::string& Folder, FileSystem& Disk)
{
    const int fd = Disk.Open(Folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return ErrnoOr(EIO);
    errno = 0;
    const int error = Disk.Sync(fd) == 0 ? 0 : ErrnoOr(EIO);
    Disk.Close(fd);
    // Some file systems cannot flush a folder at all; the content is safe
    // there, only its name may be lost in a power cut, and nothing better
    // can be had. Any other failure (EIO) says the names may not last.
    if (error == EINVAL || error == EOPNOTSUPP || error == ENOSYS)
        return 0;
    return error;
}

Writer::~Writer()
{
    Abort();
}

int Writer::ChangeMode(int Fd, mode_t Mode)
{
    return FileModes::Change(Fd, Mode);
}

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

int CreateTemporaryBeside(const std::string& Target, mode_t CreateMode, std::string& Path, FileSystem& Disk)
{
    const std::string folder = FolderOf(Target);
    const std::string name = NamePart(Target);
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        Path = TemporaryName(folder, name);
        fd = Disk.Open(Path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, CreateMode);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    return fd;
}

int Writer::Begin(const std::string& Target, const Options& Opts)
{
    Abort();
    if (Target.empty() || Target.back() == '/')
        return EINVAL;
    Options_ = Opts;

    // One look at the name serves both questions: is it a link, and what is
    // there. Only a link takes a second look, at the file it points at.
    Existing_ = {};
    TargetExisted_ = ::lstat(Target.c_str(), &Existing_) == 0;
    Target_ = Target;
    if (TargetExisted_ && S_ISLNK(Existing_.st_mode)) {
        if (Options_.ReplaceLink) {
            // The link goes; the new file takes its name as a new file.
            TargetExisted_ = false;
            Existing_ = {};
        } else {
            Target_ = FollowLink(Target);
            TargetExisted_ = ::stat(Target_.c_str(), &Existing_) == 0;
        }
    }
    if (TargetExisted_) {
        // A folder is not a file, and a file its owner made read-only stays
        // as it is, even though the folder would allow replacing it.
        if (S_ISDIR(Existing_.st_mode))
            return EISDIR;
        if (::access(Target_.c_str(), W_OK) != 0)
            return EACCES;
        Mode_ = (Existing_.st_mode & 07777) & ~Options_.RemoveBits;
    } else {
        Mode_ = Options_.NewFileMode;
    }

    Written_ = 0;
    Fd_ = CreateTemporaryBeside(Target_, 0600, TempPath_, Disk_);
    if (Fd_ < 0) {
        const int error = ErrnoOr(EIO);
        TempPath_.clear();
        return error;
    }
    // fchmod is not bent by the umask: the mode asked for is the mode given.
    // A file that cannot be given it (a data file left readable by others)
    // is not written at all.
    if (ChangeMode(Fd_, Mode_) != 0) {
        const int error = ErrnoOr(EPERM);
        Abort();
        return error;
    }
    // Beyond the end, so that the size stays what is written. A refusal (a
    // file system without it, no room) is left for the writes to report.
    if (Options_.ExpectedSize >= SetAsideFrom)
        ::fallocate(Fd_, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(Options_.ExpectedSize));
    return 0;
}

int Writer::WriteAll(const char* Bytes, std::size_t Size)
{
    while (Size > 0) {
        errno = 0;
        const ssize_t n = Disk_.Write(Fd_, Bytes, Size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return ErrnoOr(EIO);
        Bytes += n;
        Size -= static_cast<std::size_t>(n);
        Written_ += n;
    }
    return 0;
}

int Writer::Write(const void* Data, std::size_t Size)
{
    if (Fd_ < 0)
        return EBADF;
    auto bytes = static_cast<const char*>(Data);
    const off_t from = Written_;
    // A large piece goes in two: the disk starts on the first half while the
    // second is copied in, and the two are then written side by side, so
    // the flush at Commit waits for less. The cut falls on a page boundary:
    // a page already on its way to the disk is not written into again. A
    // file streamed in pieces that start early keeps the disk busy already.
    if (Size >= SplitFrom && !Options_.StartWritingEarly) {
        const off_t cut = (from + static_cast<off_t>(Size / 2)) & ~(PageSize() - 1);
        if (cut > from) {
            const auto first = static_cast<std::size_t>(cut - from);
            if (const int error = WriteAll(bytes, first))
                return error;
            StartWriting(from, cut - from);
            bytes += first;
            Size -= first;
        }
    }
    if (const int error = WriteAll(bytes, Size))
        return error;
    if (Options_.StartWritingEarly)
        StartWriting(from, Written_ - from);
    return 0;
}

// Only a request to begin: the flush at Commit is what makes the bytes
// durable, and a file system without it loses nothing.
void Writer::StartWriting(off_t From, off_t Length)
{
    ::sync_file_range(Fd_, From, Length, SYNC_FILE_RANGE_WRITE);
}

int Writer::Finish()
{
    if (Fd_ < 0)
        return TempPath_.empty() ? EBADF : 0; // finished already
    if (Disk_.Sync(Fd_) != 0) {
        const int error = ErrnoOr(EIO);
        Abort();
        return error;
    }
    const int closed = Disk_.Close(Fd_);
    Fd_ = -1;
    if (closed != 0) {
        const int error = ErrnoOr(EIO);
        Abort();
        return error;
    }
    return 0;
}

int Writer::Commit()
{
    if (const int error = Finish())
        return error;

    const std::string folder = FolderOf(Target_);
    std::string oldLink;
    // Without a link (e.g. a file system without hard links) it is replaced
    // anyway.
    if (Options_.WipeOldVersion && TargetExisted_)
        oldLink = HoldOldVersion(Target_, Disk_);
    if (Disk_.Rename(TempPath_, Target_) != 0) {
        const int error = ErrnoOr(EIO);
        if (!oldLink.empty())
            Disk_.Unlink(oldLink);
        Abort();
        return error;
    }
    TempPath_.clear();
    // The old version is wiped only once the rename that replaced it is on
    // the disk.
    int error = 0;
    if (!Options_.FolderFlushedByCaller || !oldLink.empty())
        error = SyncFolder(folder, Disk_);

    if (!oldLink.empty()) {
        if (error == 0) {
            WipeAndRemove(oldLink, Disk_);
            // Only the removal of the second name waits for this flush:
            // one that does not last is a temporary, wiped at the next start.
            SyncFolder(folder, Disk_);
        } else {
            // After a power cut the name may hold the old version again:
            // its bytes stay, only the second name goes.
            Disk_.Unlink(oldLink);
        }
    }
    return error;
}

void Writer::Abort()
{
    if (Fd_ >= 0) {
        Disk_.Close(Fd_);
        Fd_ = -1;
    }
    if (!TempPath_.empty()) {
        // What was written may be key material too.
        WipeAndRemove(TempPath_, Disk_);
        TempPath_.clear();
    }
}

int WipeAndRemove(const std::string& Path, FileSystem& Disk)
{
    struct stat st {};
    if (::lstat(Path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return Disk.Unlink(Path) == 0 ? 0 : ErrnoOr(EIO);
    std::string path = Path;
    bool zero = true;
    pid_t pid = 0;
    // A file under a name of its own (a storage file, a key file) leaves
    // that name first, for good, before its bytes are overwritten: a power
    // cut in between then never leaves zeros under the name. It is a
    // temporary meanwhile, which the next start wipes should this not.
    if (st.st_nlink == 1 && !IsTemporaryName(NamePart(Path), pid)) {
        const std::string hidden = TemporaryName(FolderOf(Path), NamePart(Path), "old");
        if (Disk.Rename(Path, hidden) == 0) {
            path = hidden;
            // Zeros that last before the rename does would be found under
            // the name: the bytes then stay, only the name goes.
            zero = SyncFolder(FolderOf(Path), Disk) == 0;
        }
    }
    if (zero) {
        const int fd = Disk.Open(path, O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) {
            ZeroIfSoleName(fd, Disk);
            Disk.Close(fd);
        }
    }
    return Disk.Unlink(path) == 0 ? 0 : ErrnoOr(EIO);
}

int MoveFile(const std::string& From, const std::string& To, bool Replace, FileSystem& Disk)
{
    return Mover(Disk).Move(From, To, Replace);
}

int Mover::RenameNoReplace(const std::string& From, const std::string& To)
{
    return Disk_.RenameNoReplace(From, To) == 0 ? 0 : ErrnoOr(EIO);
}

int Mover::Move(const std::string& From, const std::string& To, bool Replace)
{
    if (From == To)
        return 0;
    int error = 0;
    if (Replace)
        error = Disk_.Rename(From, To) == 0 ? 0 : ErrnoOr(EIO);
    else
        error = RenameNoReplace(From, To);
    // Another file system, or one that cannot rename without replacing.
    if (error == EXDEV || (error == EINVAL && !Replace))
        return Copy(From, To, Replace);
    if (error)
        return error;
    // The new name lasts before the old one may be found gone.
    const std::string to = FolderOf(To), from = FolderOf(From);
    error = SyncFolder(to, Disk_);
    if (!error && from != to)
        error = SyncFolder(from, Disk_);
    return error;
}

int Mover::Copy(const std::string& From, const std::string& To, bool Replace)
{
    const int in = Disk_.Open(From, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (in < 0)
        return ErrnoOr(EIO);
    struct stat st {};
    if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        Disk_.Close(in);
        return EINVAL;
    }
    if (!Replace && ::lstat(To.c_str(), &st) == 0) {
        Disk_.Close(in);
        return EEXIST;
    }

    const std::string folder = FolderOf(To);
    std::string temporary;
    int out = -1;
    for (int attempt = 0; attempt < 16 && out < 0; ++attempt) {
        temporary = TemporaryName(folder, NamePart(To));
        out = Disk_.Open(temporary, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (out < 0 && errno != EEXIST)
            break;
    }
    if (out < 0) {
        const int error = ErrnoOr(EIO);
        Disk_.Close(in);
        return error;
    }

    // Owner-only whatever the umask, as every key file the program writes.
    int error = FileModes::Change(out, 0600) == 0 ? 0 : ErrnoOr(EPERM);
    if (!error)
        error = CopyBytes(in, out, Disk_);
    // On the medium, and the same bytes as the original once read back.
    if (!error && Disk_.Sync(out) != 0)
        error = ErrnoOr(EIO);
    if (!error && !SameBytesOnMedium(in, out, temporary))
        error = EIO;
    Disk_.Close(in);
    if (Disk_.Close(out) != 0 && !error)
        error = ErrnoOr(EIO);
    if (!error)
        error = Place(temporary, To, Replace);
    if (error) {
        WipeAndRemove(temporary, Disk_);
        return error;
    }
    return SyncFolder(folder, Disk_);
}

int Mover::Place(const std::string& Temporary, const std::string& To, bool Replace)
{
    if (Replace)
        return Disk_.Rename(Temporary, To) == 0 ? 0 : ErrnoOr(EIO);
    const int error = RenameNoReplace(Temporary, To);
    if (error != EINVAL)
        return error;
    // A second name never replaces one: link, then drop the temporary name.
    if (Disk_.Link(Temporary, To) == 0) {
        Disk_.Unlink(Temporary);
        return 0;
    }
    if (errno == EEXIST)
        return EEXIST;
    // Neither exclusive rename nor hard links: the name was free a moment
    // ago, and only the user could have made it since.
    struct stat st {};
    if (::lstat(To.c_str(), &st) == 0)
        return EEXIST;
    return Disk_.Rename(Temporary, To) == 0 ? 0 : ErrnoOr(EIO);
}

int ReplaceFile(const std::string& Target, const void* Data, std::size_t Size, const Options& Opts, FileSystem& Disk)
{
    Writer writer(Disk);
    Options options = Opts;
    options.ExpectedSize = Size;
    if (const int error = writer.Begin(Target, options))
        return error;
    if (const int error = writer.Write(Data, Size))
        return error;
    return writer.Commit();
}

int RemoveStaleTemporaries(const std::string& Folder)
{
    // A replacement of many files still to be finished or rolled back needs
    // its new files and old versions, which are temporaries.
    struct stat journal {};
    if (::lstat(ReplaceJournal::PathIn(Folder).c_str(), &journal) == 0 && S_ISREG(journal.st_mode))
        return 0;
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
                ZeroIfSoleName(fd, FileSystem::Real());
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
