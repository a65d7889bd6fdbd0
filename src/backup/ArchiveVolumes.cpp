#include "backup/ArchiveVolumes.h"

#include "backup/ArchiveFormat.h"
#include "base/FileModes.h"
#include "base/FormatText.h"
#include "base/PieceBuffer.h"
#include "base/SafeReplace.h"
#include "base/Texts.h"

#include <cerrno>
#include <cstdio>
#include <fstream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// A file stream with a large buffer of its own: volumes are read in big
// sequential pieces instead of one system call per chunk.
class ArchiveVolumes::File : public std::fstream {
public:
    static constexpr std::size_t BufferSize = 1 << 18;
    File(const std::string& Path, std::ios::openmode Mode) : buffer_(new char[BufferSize])
    {
        rdbuf()->pubsetbuf(buffer_.get(), BufferSize);
        open(Path, Mode);
    }
    // The buffer must outlive the final flush.
    ~File() override { close(); }

private:
    std::unique_ptr<char[]> buffer_;
};

namespace {

// A volume being written: the bytes go out in large pieces (see
// PieceBuffer), and the disk starts on each piece at once, so that the flush
// at the volume's end waits only for the last one. A failed write makes the
// stream fail. The descriptor stays the volumes' own: it is flushed and
// closed once the stream is gone.
class VolumeOut : public std::ostream {
public:
    explicit VolumeOut(int Fd)
        : std::ostream(nullptr), fd_(Fd),
          buffer_(1 << 20, [this](const char* Data, std::size_t Size) { return Put(Data, Size); })
    {
        rdbuf(&buffer_);
    }
    ~VolumeOut() override { buffer_.pubsync(); }
    VolumeOut(const VolumeOut&) = delete;
    VolumeOut& operator=(const VolumeOut&) = delete;

private:
    int Put(const char* Data, std::size_t Size)
    {
        const off_t at = written_;
        for (std::size_t rest = Size; rest > 0;) {
            const ssize_t n = ::write(fd_, Data, rest);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return n < 0 ? errno : EIO;
            Data += n;
            rest -= static_cast<std::size_t>(n);
        }
        written_ += static_cast<off_t>(Size);
        // Only a request to begin: FinishVolume's flush is what makes the
        // bytes durable.
        ::sync_file_range(fd_, at, static_cast<off_t>(Size), SYNC_FILE_RANGE_WRITE);
        return 0;
    }

    int fd_;
    off_t written_ = 0;
    PieceBuffer buffer_;
};

// Creates the file of a volume beside Final under a fresh temporary name and
// returns its descriptor (-1 when it cannot be made); Path receives the name.
// Volumes hold every encrypted key: a new one is created for its owner
// alone, and an existing Final lends its mode less what it granted to
// others. A link as Final (not followed) lends no mode.
int ReserveTemporary(const std::string& Final, std::string& Path)
{
    struct stat old {};
    const bool existed = ::lstat(Final.c_str(), &old) == 0 && S_ISREG(old.st_mode);
    old.st_mode &= ~static_cast<mode_t>(S_IRWXG | S_IRWXO);
    const int fd = SafeReplace::CreateTemporaryBeside(Final, 0600, Path);
    if (fd < 0)
        return -1;
    const bool ok = !existed || FileModes::Change(fd, old.st_mode & 07777) == 0;
    if (ok)
        return fd;
    ::close(fd);
    ::unlink(Path.c_str());
    return -1;
}

} // namespace

ArchiveVolumes::ArchiveVolumes() : MakeFile(&ArchiveVolumes::CreateFile) {}

std::unique_ptr<std::ostream> ArchiveVolumes::CreateFile(const std::string&, int Fd)
{
    return std::make_unique<VolumeOut>(Fd);
}

ArchiveVolumes::~ArchiveVolumes()
{
    Close();
}

std::string ArchiveVolumes::VolumeName(const std::string& Archive, int Volume)
{
    char ext[16];
    std::snprintf(ext, sizeof ext, ".%03d", Volume);
    const auto slash = Archive.find_last_of('/');
    const auto dot = Archive.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return Archive + ext;
    return Archive.substr(0, dot) + ext;
}

std::string ArchiveVolumes::DiskQuestion(int Volume)
{
    return FormatText(Texts::BkInsertDisk, {std::to_string(Volume)});
}

bool ArchiveVolumes::AskForDisk(int Volume) const
{
    if (NeedDisk)
        return NeedDisk(Volume);
    if (AskOkCancel)
        return AskOkCancel(DiskQuestion(Volume));
    return true;
}

bool ArchiveVolumes::CreateFirst(const std::string& Archive, std::ostream* CallerStream)
{
    Close();
    archive_ = Archive;
    number_ = 1;
    stream_ = CallerStream != nullptr;
    if (stream_) {
        out_ = CallerStream;
        return out_ != nullptr;
    }
    // An archive reached through a symbolic link is written where the link
    // points, as it always was, and the link stays: the user named it.
    return CreateVolume(SafeReplace::FollowLink(Archive));
}

// Final is written as it is named: a link there is replaced on Commit.
bool ArchiveVolumes::CreateVolume(const std::string& Final)
{
    std::string temporary;
    outFd_ = ReserveTemporary(Final, temporary);
    if (outFd_ < 0)
        return false;
    uncommitted_.push_back(Written{temporary, Final});
    // The volume is written through the descriptor it was created with: its
    // name, on a medium that is anyone's, is never opened again.
    ownedOut_ = MakeFile(temporary, outFd_);
    out_ = ownedOut_.get();
    return out_ != nullptr;
}

bool ArchiveVolumes::Commit()
{
    if (out_ && !FinishVolume())
        return false;
    bool ok = true;
    std::string lastFolder;
    for (const Written& w : uncommitted_) {
        if (!ok || ::rename(w.Temporary.c_str(), w.Final.c_str()) != 0) {
            ok = false;
            ::unlink(w.Temporary.c_str());
            continue;
        }
        // A rename is durable only once its folder is flushed.
        const std::string folder = SafeReplace::FolderOf(w.Final);
        if (folder != lastFolder)
            SafeReplace::SyncFolder(folder);
        lastFolder = folder;
    }
    uncommitted_.clear();
    return ok;
}

void ArchiveVolumes::DiscardUncommitted()
{
    for (const Written& w : uncommitted_)
        ::unlink(w.Temporary.c_str());
    uncommitted_.clear();
}

bool ArchiveVolumes::FinishVolume()
{
    if (!out_)
        return false;
    // Buffered bytes can still fail on their way to the disk: the volume
    // counts as written only once they are out.
    const bool flushed = static_cast<bool>(out_->flush());
    out_ = nullptr;
    if (!ownedOut_)
        return flushed;
    ownedOut_.reset();
    // Forces the volume onto its medium before the user is asked to take
    // the disk out, or before the backup is reported done.
    const bool synced = ::fsync(outFd_) == 0;
    CloseOutFd();
    return flushed && synced;
}

void ArchiveVolumes::CloseOutFd()
{
    if (outFd_ >= 0)
        ::close(outFd_);
    outFd_ = -1;
}

bool ArchiveVolumes::CreateNext()
{
    if (stream_ || number_ >= ArchiveFormat::MaxVolume)
        return false;
    ++number_;
    // Volumes after the first take names of the program's choosing, never
    // asked about: a link found under one (planted on a medium, which is
    // anyone's) is replaced by the volume, never followed, or the backup
    // would overwrite whatever file it points at.
    return CreateVolume(VolumeName(archive_, number_));
}

bool ArchiveVolumes::OpenFirst(const std::string& Archive, std::istream* CallerStream)
{
    Close();
    archive_ = Archive;
    number_ = 1;
    missing_ = 0;
    read_.clear();
    stream_ = CallerStream != nullptr;
    if (stream_) {
        in_ = CallerStream;
        return true;
    }
    struct stat st {};
    if (::stat(Archive.c_str(), &st) == 0)
        read_.emplace(static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino));
    ownedIn_ = std::make_unique<File>(Archive, std::ios::in | std::ios::binary);
    if (!*ownedIn_) {
        ownedIn_.reset();
        return false;
    }
    in_ = ownedIn_.get();
    return true;
}

ArchiveVolumes::NextResult ArchiveVolumes::OpenNext(int Announced)
{
    // Only ever the next one: a record that points back (or ahead) would
    // otherwise read volumes round and round, the restored file growing all
    // the while.
    if (stream_ || Announced != number_ + 1 || Announced > ArchiveFormat::MaxVolume)
        return NextResult::Refused;
    ownedIn_.reset();
    in_ = nullptr;
    const std::string path = VolumeName(archive_, Announced);
    struct stat st {};
    for (;;) {
        if (!AskForDisk(Announced))
            return NextResult::Stopped;
        if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            break;
        if (!CanAsk()) {
            // Nobody to insert a disk: asking again would never end.
            missing_ = Announced;
            return NextResult::Missing;
        }
    }
    // The same file under another name (a link to an earlier volume).
    if (!read_.emplace(static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)).second)
        return NextResult::Refused;
    ownedIn_ = std::make_unique<File>(path, std::ios::in | std::ios::binary);
    if (!*ownedIn_) {
        ownedIn_.reset();
        return NextResult::Failed;
    }
    in_ = ownedIn_.get();
    number_ = Announced;
    return NextResult::Opened;
}

void ArchiveVolumes::Close()
{
    ownedIn_.reset();
    in_ = nullptr;
    ownedOut_.reset();
    out_ = nullptr;
    CloseOutFd();
    DiscardUncommitted();
}
