#pragma once
// A data-file writer that fails as a full disk would: it writes the first
// Allowed bytes of all it is given, then refuses. Allowed 0 refuses at once.
#include "store/AtomicFileWriter.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>

namespace testsupport {

class FailingWriter : public AtomicFileWriter {
public:
    explicit FailingWriter(std::size_t AllowedBytes) : Allowed(AllowedBytes) {}
    std::size_t Allowed;
    std::size_t Written = 0;

protected:
    long WriteSome(int Fd, const char* Data, std::size_t Size) override
    {
        if (Written >= Allowed) {
            errno = ENOSPC;
            return -1;
        }
        const std::size_t n = std::min(Size, Allowed - Written);
        const long done = AtomicFileWriter::WriteSome(Fd, Data, n);
        if (done > 0)
            Written += static_cast<std::size_t>(done);
        return done;
    }
};

} // namespace testsupport
