#include "store/AtomicFileWriter.h"

#include "store/StoreErrors.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Closes and removes the half-made file unless it was renamed into place.
class TempFile {
public:
    TempFile(int Fd, std::string Path) : Fd_(Fd), Path_(std::move(Path)) {}
    ~TempFile()
    {
        if (Fd_ >= 0)
            ::close(Fd_);
        if (!Path_.empty())
            ::unlink(Path_.c_str());
    }
    int Fd() const { return Fd_; }
    const std::string& Path() const { return Path_; }
    bool Close()
    {
        const int rc = ::close(Fd_);
        Fd_ = -1;
        return rc == 0;
    }
    void Keep() { Path_.clear(); }

private:
    int Fd_;
    std::string Path_;
};

// A symbolic link stays a link: the file it points at is the one replaced.
std::string ResolveTarget(const std::string& FileName)
{
    struct stat st {};
    if (::lstat(FileName.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char resolved[PATH_MAX];
        if (::realpath(FileName.c_str(), resolved))
            return resolved;
    }
    return FileName;
}

void SplitPath(const std::string& Path, std::string& Folder, std::string& Name)
{
    const auto slash = Path.find_last_of('/');
    if (slash == std::string::npos) {
        Folder = ".";
        Name = Path;
    } else {
        Folder = slash == 0 ? "/" : Path.substr(0, slash);
        Name = Path.substr(slash + 1);
    }
}

void SyncFolder(const std::string& Folder)
{
    const int fd = ::open(Folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    // The new content is already in place; a folder that cannot be flushed
    // (some file systems refuse) only weakens durability after a power cut.
    ::fsync(fd);
    ::close(fd);
}

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

} // namespace

AtomicFileWriter::~AtomicFileWriter() = default;

AtomicFileWriter& AtomicFileWriter::Default()
{
    static AtomicFileWriter writer;
    return writer;
}

long AtomicFileWriter::WriteSome(int Fd, const char* Data, std::size_t Size)
{
    return static_cast<long>(::write(Fd, Data, Size));
}

void AtomicFileWriter::WriteFile(const std::string& FileName, std::string_view Bytes)
{
    if (FileName.empty())
        throw EFCreateError(StoreErrors::CannotCreateFile(FileName));
    const std::string target = ResolveTarget(FileName);
    std::string folder, name;
    SplitPath(target, folder, name);
    if (name.empty())
        throw EFCreateError(StoreErrors::CannotCreateFile(FileName));

    // Keep the permissions of the file being replaced; a new one gets the
    // usual 0666 less the umask.
    mode_t mode = 0666;
    bool keepMode = false;
    struct stat old {};
    if (::stat(target.c_str(), &old) == 0) {
        // A folder is not a file, and a file its owner made read-only must
        // stay as it is, even though the folder would allow replacing it.
        if (S_ISDIR(old.st_mode) || ::access(target.c_str(), W_OK) != 0)
            throw EFCreateError(StoreErrors::CannotCreateFile(FileName));
        mode = old.st_mode & 07777;
        keepMode = true;
        if (HoldsExactly(target, old, Bytes))
            return;
    }

    static std::atomic<unsigned> counter{0};
    int fd = -1;
    std::string tempPath;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        tempPath = folder + "/." + name + "." + std::to_string(::getpid()) + "."
            + std::to_string(counter++) + ".tmp";
        fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        throw EFCreateError(StoreErrors::CannotCreateFile(FileName));
    TempFile temp(fd, tempPath);
    if (keepMode)
        ::fchmod(fd, mode);

    const char* data = Bytes.data();
    std::size_t left = Bytes.size();
    while (left > 0) {
        const long n = WriteSome(fd, data, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw EWriteError(StoreErrors::StreamWriteError());
        data += n;
        left -= static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0 || !temp.Close())
        throw EWriteError(StoreErrors::StreamWriteError());
    if (::rename(temp.Path().c_str(), target.c_str()) != 0)
        throw EFCreateError(StoreErrors::CannotCreateFile(FileName));
    temp.Keep();
    SyncFolder(folder);
}
