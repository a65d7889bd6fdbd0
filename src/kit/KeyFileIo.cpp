#include "kit/KeyFileIo.h"

#include "base/SafeReplace.h"
#include "kit/HlKit.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kit {

bool WriteFileAtomically(const std::string& path, const std::uint8_t* data, std::size_t size)
{
    // A key file holds the private key, encrypted: owner-only, and the version
    // it replaces (a password change, a stored certificate) is overwritten
    // before its blocks are freed.
    SafeReplace::Options options;
    options.NewFileMode = 0600;
    options.RemoveBits = 0077;
    options.WipeOldVersion = true;
    return SafeReplace::ReplaceFile(path, data, size, options) == 0;
}

std::int32_t ReadWholeFile(const std::string& path, std::size_t maxSize, std::string& out, bool& missing)
{
    missing = false;
    // A planted pipe must not hold the open: the type is checked below.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        missing = (errno == ENOENT);
        return HL_E_FILE_OPEN;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        return HL_E_FILE_READ;
    }
    if (!S_ISREG(st.st_mode) || static_cast<std::size_t>(st.st_size) > maxSize) {
        ::close(fd);
        return HL_E_FILE_FORMAT;
    }
    std::string content;
    content.resize(maxSize + 1);
    std::size_t total = 0;
    for (;;) {
        const ssize_t n = ::read(fd, content.data() + total, content.size() - total);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ::close(fd);
            return HL_E_FILE_READ;
        }
        if (n == 0)
            break;
        total += static_cast<std::size_t>(n);
        if (total > maxSize) {
            // Grew while we read it: not a file we can trust.
            ::close(fd);
            return HL_E_FILE_FORMAT;
        }
    }
    ::close(fd);
    content.resize(total);
    out = std::move(content);
    return HL_OK;
}

} // namespace kit
