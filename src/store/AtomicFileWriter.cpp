#include "store/AtomicFileWriter.h"

#include "base/FileErrors.h"
#include "base/FileModes.h"
#include "base/SafeReplace.h"

#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace {

// Data files hold keys (encrypted, but still): nobody but their owner reads
// them, whatever mode they were found with.
constexpr mode_t NotForOthers = 0077;

// True when the regular file already holds exactly Bytes. Every storage file
// is saved at start-up, mostly unchanged; comparing costs a read from the
// page cache, rewriting costs two flushes to disk per file.
bool HoldsExactly(const std::string& Path, const struct stat& Known, std::string_view Bytes)
{
    if (!S_ISREG(Known.st_mode) || static_cast<std::size_t>(Known.st_size) != Bytes.size())
        return false;
    const int fd = ::open(Path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char buffer[65536];
    std::size_t offset = 0;
    bool same = true;
    while (same) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            // Shorter than it claimed, or unreadable: write it anew.
            same = n == 0 && offset == Bytes.size();
            break;
        }
        const auto got = static_cast<std::size_t>(n);
        same = got <= Bytes.size() - offset && Bytes.compare(offset, got, std::string_view(buffer, got)) == 0;
        offset += got;
    }
    ::close(fd);
    return same;
}

// A file left in place still loses what others could do with it.
void KeepForOwnerOnly(const std::string& Path, const struct stat& Known)
{
    if (Known.st_mode & NotForOthers)
        FileModes::ChangeAt(Path, Known.st_mode & 07777 & ~NotForOthers);
}

// Set while WriteChangedFile runs on this thread: the caller knows the bytes
// are new, so WriteFile need not read the file back to compare.
thread_local bool CallerKnowsChanged = false;

// Dropping the last reference to a replaced version frees its blocks, and on
// a file system mounted to discard the kernel waits for the device to hear of
// them: a good part of a save that its caller need not wait for. The old
// version is held open across the rename and closed by a helper thread. When
// the helper is still closing an earlier one (many files saved at once), the
// saver closes its own, so that nothing piles up and bulk saves keep their
// overlap. The durability of the save is untouched: the new file and the
// folder are flushed before the helper ever sees the old one.
class ReplacedVersionCloser {
public:
    // Never destroyed: a save may run while static objects are torn down,
    // and the process's end closes whatever is left.
    static ReplacedVersionCloser& Instance()
    {
        static auto* closer = new ReplacedVersionCloser;
        return *closer;
    }

    void Close(int Fd)
    {
        std::unique_lock<std::mutex> lock(Mutex_);
        if (Pending_ >= 0 || !StartLocked()) {
            lock.unlock();
            ::close(Fd);
            return;
        }
        Pending_ = Fd;
        // Woken after the lock is let go, so that the helper does not wake
        // only to wait for the saver's lock (one more wake-up for the saver).
        lock.unlock();
        Wake_.notify_one();
    }

    void Wait()
    {
        std::unique_lock<std::mutex> lock(Mutex_);
        Idle_.wait(lock, [this] { return Pending_ < 0; });
    }

private:
    bool StartLocked()
    {
        if (!Started_) {
            try {
                std::thread([this] { Run(); }).detach();
                Started_ = true;
            } catch (const std::system_error&) {
                return false; // no thread to be had: the saver closes it
            }
        }
        return true;
    }

    void Run()
    {
        std::unique_lock<std::mutex> lock(Mutex_);
        for (;;) {
            Wake_.wait(lock, [this] { return Pending_ >= 0; });
            const int fd = Pending_;
            lock.unlock();
            ::close(fd);
            lock.lock();
            Pending_ = -1;
            Idle_.notify_all();
        }
    }

    std::mutex Mutex_;
    std::condition_variable Wake_;
    std::condition_variable Idle_;
    int Pending_ = -1; // the descriptor being closed, until it is
    bool Started_ = false;
};

} // namespace

AtomicFileWriter::~AtomicFileWriter() = default;

void AtomicFileWriter::WaitForReplacedVersions()
{
    ReplacedVersionCloser::Instance().Wait();
}

void AtomicFileWriter::WriteChangedFile(const std::string& FileName, std::string_view Bytes)
{
    struct Flag {
        Flag() { CallerKnowsChanged = true; }
        ~Flag() { CallerKnowsChanged = false; }
    } flag;
    WriteFile(FileName, Bytes);
}

AtomicFileWriter& AtomicFileWriter::Default()
{
    static AtomicFileWriter writer;
    return writer;
}

void AtomicFileWriter::WriteFileUnlessUnchanged(const std::string& FileName, std::string_view Bytes,
                                                const FileIdentity& ReadFrom)
{
    struct stat now {};
    if (!FileName.empty() && ::stat(FileName.c_str(), &now) == 0 && S_ISREG(now.st_mode)
        && static_cast<std::size_t>(now.st_size) == Bytes.size() && FileIdentity::Of(now).Matches(ReadFrom)
        && ::access(FileName.c_str(), W_OK) == 0) {
        KeepForOwnerOnly(FileName, now);
        return;
    }
    WriteFile(FileName, Bytes);
}

void AtomicFileWriter::WriteFile(const std::string& FileName, std::string_view Bytes)
{
    const bool knownChanged = CallerKnowsChanged;
    CallerKnowsChanged = false; // for this call only, not for any it makes
    Replacement replacement(Disk_);
    if (!replacement.Begin(FileName, Bytes, knownChanged, false))
        return;
    replacement.Commit();
    const int replaced = replacement.TakeReplacedVersion();
    if (replaced >= 0)
        ReplacedVersionCloser::Instance().Close(replaced);
}

AtomicFileWriter::Replacement::Replacement(FileSystem& Disk) : Disk_(Disk) {}

AtomicFileWriter::Replacement::~Replacement()
{
    if (Replaced_ >= 0)
        ::close(Replaced_);
}

bool AtomicFileWriter::Replacement::Begin(const std::string& FileName, std::string_view Bytes, bool KnownChanged,
                                          bool OneOfMany)
{
    if (FileName.empty() || FileName.back() == '/')
        throw EFCreateError(FileErrors::CannotCreateFile(FileName));
    FileName_ = FileName;

    struct stat old {};
    if (!KnownChanged && ::stat(FileName.c_str(), &old) == 0 && !S_ISDIR(old.st_mode)
        && ::access(FileName.c_str(), W_OK) == 0 && HoldsExactly(FileName, old, Bytes)) {
        KeepForOwnerOnly(FileName, old);
        return false;
    }

    Writer_ = std::make_unique<SafeReplace::Writer>(Disk_);
    SafeReplace::Options options;
    options.NewFileMode = 0600;
    options.RemoveBits = NotForOthers;
    options.StartWritingEarly = OneOfMany;
    options.FolderFlushedByCaller = OneOfMany;
    options.ExpectedSize = Bytes.size();
    if (Writer_->Begin(FileName, options) != 0)
        throw EFCreateError(FileErrors::CannotCreateFile(FileName));
    if (Writer_->Write(Bytes.data(), Bytes.size()) != 0)
        throw EWriteError(FileErrors::StreamWriteError());
    // Held across the rename, so that freeing its blocks can wait (see
    // ReplacedVersionCloser). Only a regular file: opening anything else may
    // have effects of its own.
    const struct stat* replaced = Writer_->Existing();
    if (replaced && S_ISREG(replaced->st_mode) && replaced->st_blocks > 0)
        Replaced_ = ::open(Writer_->Target().c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    return true;
}

void AtomicFileWriter::Replacement::Commit()
{
    const int committed = Writer_->Commit();
    if (committed != 0 && Replaced_ >= 0) {
        ::close(Replaced_);
        Replaced_ = -1;
    }
    if (committed != 0)
        std::rethrow_exception(CommitFailure(committed, FileName_));
}

std::exception_ptr AtomicFileWriter::CommitFailure(int Error, const std::string& FileName)
{
    if (Error == EIO || Error == ENOSPC || Error == EDQUOT)
        return std::make_exception_ptr(EWriteError(FileErrors::StreamWriteError()));
    return std::make_exception_ptr(EFCreateError(FileErrors::CannotCreateFile(FileName)));
}

std::string AtomicFileWriter::Replacement::Folder() const
{
    return SafeReplace::FolderOf(Writer_ ? Writer_->Target() : FileName_);
}

int AtomicFileWriter::Replacement::TakeReplacedVersion()
{
    const int fd = Replaced_;
    Replaced_ = -1;
    return fd;
}
