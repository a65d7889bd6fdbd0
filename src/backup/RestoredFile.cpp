#include "backup/RestoredFile.h"

#include "base/PieceBuffer.h"

#include <cerrno>

RestoredFile::RestoredFile(FileSystem& Disk)
    : disk_(Disk), buffer_(std::make_unique<PieceBuffer>(1 << 18)),
      stream_(std::make_unique<std::ostream>(buffer_.get()))
{
}

RestoredFile::~RestoredFile()
{
    Abort();
}

int RestoredFile::Begin(const std::string& Target, const SafeReplace::Options& Options)
{
    Abort();
    auto writer = std::make_unique<SafeReplace::Writer>(disk_);
    if (const int error = writer->Begin(Target, Options))
        return error;
    writer_ = std::move(writer);
    SafeReplace::Writer* file = writer_.get();
    buffer_->Reset([file](const char* Data, std::size_t Size) { return file->Write(Data, Size); });
    return 0;
}

std::unique_ptr<SafeReplace::Writer> RestoredFile::Finish(int& Error)
{
    Error = 0;
    if (!writer_) {
        Error = EBADF;
        return nullptr;
    }
    stream_->flush();
    if (!*stream_ || buffer_->Error() != 0) {
        Error = buffer_->Error() != 0 ? buffer_->Error() : EIO;
        Abort();
        return nullptr;
    }
    buffer_->Reset({});
    return std::move(writer_);
}

void RestoredFile::Abort()
{
    // The writer removes its new file as it goes.
    writer_.reset();
    buffer_->Reset({});
    stream_->clear();
}
