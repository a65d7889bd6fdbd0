#include "backup/RestoredFile.h"

#include "backup/DosTime.h"

#include <cerrno>
#include <streambuf>
#include <vector>

// Collects the bytes in a large buffer and hands them to the writer in big
// pieces; a failed write makes the stream fail.
class RestoredFile::Buffer : public std::streambuf {
public:
    explicit Buffer(SafeReplace::Writer& Writer) : writer_(Writer), bytes_(1 << 18)
    {
        setp(bytes_.data(), bytes_.data() + bytes_.size());
    }
    int Error() const { return error_; }
    void Reset()
    {
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
            error_ = writer_.Write(pbase(), static_cast<std::size_t>(pptr() - pbase()));
        setp(bytes_.data(), bytes_.data() + bytes_.size());
        return error_;
    }

    SafeReplace::Writer& writer_;
    std::vector<char> bytes_;
    int error_ = 0;
};

RestoredFile::RestoredFile()
    : buffer_(std::make_unique<Buffer>(writer_)), stream_(std::make_unique<std::ostream>(buffer_.get()))
{
}

RestoredFile::~RestoredFile()
{
    Abort();
}

int RestoredFile::Begin(const std::string& Target, const SafeReplace::Options& Options)
{
    Abort();
    if (const int error = writer_.Begin(Target, Options))
        return error;
    active_ = true;
    return 0;
}

int RestoredFile::Commit(std::int32_t DosStamp)
{
    if (!active_)
        return EBADF;
    active_ = false;
    stream_->flush();
    if (!*stream_ || buffer_->Error() != 0) {
        const int error = buffer_->Error() != 0 ? buffer_->Error() : EIO;
        writer_.Abort();
        return error;
    }
    if (const int error = writer_.Commit())
        return error;
    // The archived stamp, once the last byte is in place. Only a comparison
    // of stamps (rmNewer) depends on it, so it is no reason to fail.
    DosTime::SetFileStamp(writer_.Target(), DosStamp);
    return 0;
}

void RestoredFile::Abort()
{
    active_ = false;
    writer_.Abort();
    buffer_->Reset();
    stream_->clear();
}
