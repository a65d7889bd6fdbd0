#include "backup/RestoredFile.h"

#include <cerrno>
#include <streambuf>
#include <vector>

// Collects the bytes in a large buffer and hands them to the writer in big
// pieces; a failed write makes the stream fail.
class RestoredFile::Buffer : public std::streambuf {
public:
    Buffer() : bytes_(1 << 18) { Reset(nullptr); }
    int Error() const { return error_; }
    // Starts over on another file (none: writes fail).
    void Reset(SafeReplace::Writer* Writer)
    {
        writer_ = Writer;
        error_ = 0;
        setp(bytes_.data(), bytes_.data() + bytes_.size());
    }

protected:
    int_type overflow(int_type Ch) override
    {
        if (Drain() != 0)
            return traits_type::eof();
        if (!traits_type::eq_int_type(Ch, traits_type::eof())) {
            *pptr() = traits_type::to_char_type(Ch);
            pbump(1);
        }
        return traits_type::not_eof(Ch);
    }
    int sync() override { return Drain() == 0 ? 0 : -1; }

private:
    int Drain()
    {
        if (error_ == 0 && pptr() > pbase())
            error_ = writer_ ? writer_->Write(pbase(), static_cast<std::size_t>(pptr() - pbase())) : EBADF;
        setp(bytes_.data(), bytes_.data() + bytes_.size());
        return error_;
    }

    SafeReplace::Writer* writer_ = nullptr;
    std::vector<char> bytes_;
    int error_ = 0;
};

RestoredFile::RestoredFile()
    : buffer_(std::make_unique<Buffer>()), stream_(std::make_unique<std::ostream>(buffer_.get()))
{
}

RestoredFile::~RestoredFile()
{
    Abort();
}

int RestoredFile::Begin(const std::string& Target, const SafeReplace::Options& Options)
{
    Abort();
    auto writer = std::make_unique<SafeReplace::Writer>();
    if (const int error = writer->Begin(Target, Options))
        return error;
    writer_ = std::move(writer);
    buffer_->Reset(writer_.get());
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
    buffer_->Reset(nullptr);
    return std::move(writer_);
}

void RestoredFile::Abort()
{
    // The writer removes its new file as it goes.
    writer_.reset();
    buffer_->Reset(nullptr);
    stream_->clear();
}
