#include "store/AtomicFileWriter.h"

#include "base/FileErrors.h"
#include "base/SafeReplace.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Data files hold keys (encrypted, but still): nobody but their owner reads
// them, whatever mode they were found with.
constexpr mode_t NotForOthers = 0077;

// The base writer, with its writes sent through the store's seam.
class SeamWriter : public SafeReplace::Writer {
public:
    explicit SeamWriter(AtomicFileWriter& Owner) : Owner_(Owner) {}

protected:
    ssize_t WriteSome(int Fd, const void* Data, std::size_t Size) override
    {
        return Owner_.WriteSomeBytes(Fd, static_cast<const char*>(Data), Size);
    }

private:
    AtomicFileWriter& Owner_;
};

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

long AtomicFileWriter::WriteSomeBytes(int Fd, const char* Data, std::size_t Size)
{
    return WriteSome(Fd, Data, Size);
}

long AtomicFileWriter::WriteSome(int Fd, const char* Data, std::size_t Size)
{
    return static_cast<long>(::write(Fd, Data, Size));
}

void AtomicFileWriter::WriteFile(const std::string& FileName, std::string_view Bytes)
{
    if (FileName.empty() || FileName.back() == '/')
        throw EFCreateError(FileErrors::CannotCreateFile(FileName));

    struct stat old {};
    if (::stat(FileName.c_str(), &old) == 0 && !S_ISDIR(old.st_mode) && ::access(FileName.c_str(), W_OK) == 0
        && HoldsExactly(FileName, old, Bytes)) {
        if (old.st_mode & NotForOthers)
            ::chmod(FileName.c_str(), old.st_mode & 07777 & ~NotForOthers);
        return;
    }

    SeamWriter writer(*this);
    SafeReplace::Options options;
    options.NewFileMode = 0600;
    options.RemoveBits = NotForOthers;
    if (writer.Begin(FileName, options) != 0)
        throw EFCreateError(FileErrors::CannotCreateFile(FileName));
    if (writer.Write(Bytes.data(), Bytes.size()) != 0)
        throw EWriteError(FileErrors::StreamWriteError());
    const int committed = writer.Commit();
    if (committed == EIO || committed == ENOSPC || committed == EDQUOT)
        throw EWriteError(FileErrors::StreamWriteError());
    if (committed != 0)
        throw EFCreateError(FileErrors::CannotCreateFile(FileName));
}
