#pragma once
// A disk that fails as a full disk would: it writes the first Allowed bytes
// of all it is given, then refuses. Allowed 0 refuses at once. And a
// data-file writer that saves on such a disk.
#include "base/FileSystem.h"
#include "store/AtomicFileWriter.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>

namespace testsupport {

class FailingDisk : public FileSystem {
public:
    explicit FailingDisk(std::size_t AllowedBytes) : Allowed(AllowedBytes) {}
    std::size_t Allowed;
    std::size_t Written = 0;

    ssize_t Write(int Fd, const void* Data, std::size_t Size) override
    {
        if (Written >= Allowed) {
            errno = ENOSPC;
            return -1;
        }
        const std::size_t n = std::min(Size, Allowed - Written);
        const ssize_t done = FileSystem::Write(Fd, Data, n);
        if (done > 0)
            Written += static_cast<std::size_t>(done);
        return done;
    }
};

// The disk first, so that it is there before the writer that uses it.
struct FailingDiskHolder {
    explicit FailingDiskHolder(std::size_t AllowedBytes) : Failing(AllowedBytes) {}
    FailingDisk Failing;
};

class FailingWriter : public FailingDiskHolder, public AtomicFileWriter {
public:
    explicit FailingWriter(std::size_t AllowedBytes) : FailingDiskHolder(AllowedBytes), AtomicFileWriter(Failing) {}
};

} // namespace testsupport
