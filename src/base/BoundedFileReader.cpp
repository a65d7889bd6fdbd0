#include "base/BoundedFileReader.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace BoundedFileReader {

namespace {

struct Descriptor {
    int Fd;
    ~Descriptor() { ::close(Fd); }
};

Result Failed(Status Outcome, int Error = 0)
{
    return Result{Outcome, Error, {}};
}

} // namespace

Result Read(const std::string& Path, std::size_t MaxSize, std::unique_ptr<char[]>& Buffer, std::size_t& Size)
{
    Buffer.reset();
    Size = 0;
    const int fd = ::open(Path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        const int error = errno;
        const bool missing = error == ENOENT || error == ENOTDIR || error == ENAMETOOLONG;
        return Failed(missing ? Status::Missing : Status::OpenFailed, error);
    }
    const Descriptor closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return Failed(Status::ReadFailed, errno);
    if (!S_ISREG(st.st_mode))
        return Failed(Status::NotRegular);
    if (st.st_size < 0 || static_cast<std::uint64_t>(st.st_size) > MaxSize)
        return Failed(Status::TooLarge);
    // Room for the size the file has now and one byte more, so that reaching
    // its end needs no second buffer; a file that grows gets more room, up to
    // one byte past the bound.
    std::size_t capacity = static_cast<std::size_t>(st.st_size) + 1;
    std::unique_ptr<char[]> buffer(new char[capacity]);
    std::size_t used = 0;
    for (;;) {
        if (used == capacity) {
            if (used > MaxSize)
                return Failed(Status::TooLarge);
            const std::size_t larger = capacity <= MaxSize / 2 ? capacity * 2 : MaxSize + 1;
            std::unique_ptr<char[]> bigger(new char[larger]);
            std::memcpy(bigger.get(), buffer.get(), used);
            buffer = std::move(bigger);
            capacity = larger;
        }
        const ssize_t n = ::read(fd, buffer.get() + used, capacity - used);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return Failed(Status::ReadFailed, errno);
        if (n == 0)
            break;
        used += static_cast<std::size_t>(n);
    }
    if (used > MaxSize)
        return Failed(Status::TooLarge);
    Buffer = std::move(buffer);
    Size = used;
    return Result{Status::Read, 0, FileIdentity::Of(st)};
}

Result Read(const std::string& Path, std::size_t MaxSize, std::string& Content)
{
    Content.clear();
    std::unique_ptr<char[]> buffer;
    std::size_t size = 0;
    const Result result = Read(Path, MaxSize, buffer, size);
    if (result.Ok())
        Content.assign(buffer.get(), size);
    return result;
}

} // namespace BoundedFileReader
