#include "crypto/TFlushedFileStream.h"

#include "base/FormatText.h"
#include "base/Texts.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

TFlushedFileStream::TFlushedFileStream(const std::string& FileName) : FFileName(FileName)
{
    do {
        FHandle = ::open(FileName.c_str(), O_WRONLY | O_CLOEXEC);
    } while (FHandle < 0 && errno == EINTR);
    if (FHandle < 0)
        throw EFOpenError(FileErrors::CannotOpenFile(FileName) + ". " + std::strerror(errno));
}

TFlushedFileStream::~TFlushedFileStream()
{
    Close();
}

void TFlushedFileStream::Close()
{
    if (FHandle >= 0) {
        ::close(FHandle);
        FHandle = -1;
    }
}

int64_t TFlushedFileStream::Size() const
{
    struct stat st {};
    if (FHandle < 0 || ::fstat(FHandle, &st) != 0)
        throw EWriteError(FileErrors::StreamWriteError());
    return static_cast<int64_t>(st.st_size);
}

void TFlushedFileStream::Write(const void* Buffer, std::size_t Count)
{
    const char* data = static_cast<const char*>(Buffer);
    while (Count > 0) {
        const ssize_t written = ::pwrite(FHandle, data, Count, static_cast<off_t>(FPosition));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            throw EWriteError(FileErrors::StreamWriteError());
        data += written;
        Count -= static_cast<std::size_t>(written);
        FPosition += written;
    }
}

void TFlushedFileStream::Flush()
{
    const int error = FHandle < 0 ? EBADF : (::fsync(FHandle) != 0 ? errno : 0);
    if (error != 0)
        throw EFlushError(FormatText(Texts::FlushError, {std::to_string(error)}));
}
