#include "backup/ArchiveInput.h"

#include "backup/ArchiveFormat.h"

#include <zlib.h>

#include <cstring>
#include <istream>

struct ArchiveInput::Inflater {
    z_stream Stream{};
    bool Ready = false;
    unsigned char In[ArchiveFormat::ChunkSize];
    unsigned char Out[ArchiveFormat::ChunkSize];

    ~Inflater()
    {
        if (Ready)
            inflateEnd(&Stream);
    }
};

ArchiveInput::ArchiveInput() : z_(std::make_unique<Inflater>()) {}

ArchiveInput::~ArchiveInput() = default;

bool ArchiveInput::Bytes(void* Data, std::size_t Size)
{
    if (!in_)
        return false;
    in_->read(static_cast<char*>(Data), static_cast<std::streamsize>(Size));
    return static_cast<std::size_t>(in_->gcount()) == Size;
}

bool ArchiveInput::Int(std::int32_t& Value)
{
    unsigned char b[4];
    if (!Bytes(b, 4))
        return false;
    Value = static_cast<std::int32_t>(static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8)
                                      | (static_cast<std::uint32_t>(b[2]) << 16)
                                      | (static_cast<std::uint32_t>(b[3]) << 24));
    return true;
}

bool ArchiveInput::Skip(std::int64_t Size)
{
    if (!in_)
        return false;
    in_->ignore(static_cast<std::streamsize>(Size));
    return in_->gcount() == Size;
}

ArchiveInput::NameResult ArchiveInput::Name(std::string& Out)
{
    std::int32_t length = 0;
    if (!Int(length))
        return NameResult::Damaged; // ended without its final 0
    if (length == 0)
        return NameResult::End;
    if (length < 0 || length > ArchiveFormat::MaxNameLength)
        return NameResult::Damaged;
    Out.assign(static_cast<std::size_t>(length), '\0');
    return Bytes(Out.data(), Out.size()) ? NameResult::Name : NameResult::Damaged;
}

ArchiveInput::SignatureResult ArchiveInput::Signature()
{
    char signature[4];
    if (!Bytes(signature, 4))
        return SignatureResult::Missing;
    return std::memcmp(signature, ArchiveFormat::Signature, 4) == 0 ? SignatureResult::Ok : SignatureResult::Wrong;
}

ArchiveInput::ChunkResult ArchiveInput::Chunk(bool Extract, const unsigned char*& Data, std::size_t& Size)
{
    Data = nullptr;
    Size = 0;
    std::int32_t n = 0;
    if (!Int(n))
        return ChunkResult::Truncated;
    if (n == 0)
        return ChunkResult::SegmentEnd;
    // 64-bit: the magnitude of INT32_MIN does not fit in 32 bits.
    const std::int64_t m = n < 0 ? -static_cast<std::int64_t>(n) : n;
    if (m > ArchiveFormat::ChunkSize)
        return ChunkResult::TooLong; // no writer makes one; our buffers hold one chunk
    if (!Extract)
        return Skip(m) ? ChunkResult::Data : ChunkResult::Truncated;
    Inflater& z = *z_;
    if (!Bytes(z.In, static_cast<std::size_t>(m)))
        return ChunkResult::Truncated;
    if (n < 0) {
        Data = z.In;
        Size = static_cast<std::size_t>(m);
        return ChunkResult::Data;
    }
    int r;
    if (!z.Ready) {
        z.Stream = z_stream{};
        r = inflateInit(&z.Stream);
        z.Ready = r == Z_OK;
    } else {
        r = inflateReset(&z.Stream);
    }
    if (r != Z_OK)
        return ChunkResult::BadStream;
    z.Stream.next_in = z.In;
    z.Stream.avail_in = static_cast<uInt>(m);
    z.Stream.next_out = z.Out;
    z.Stream.avail_out = ArchiveFormat::ChunkSize;
    r = inflate(&z.Stream, Z_NO_FLUSH);
    if (r != Z_STREAM_END) {
        // Output full before the stream ended: more than one chunk's worth,
        // which no writer makes. Anything else is a bad stream.
        return z.Stream.avail_out == 0 && r == Z_OK ? ChunkResult::TooLong : ChunkResult::BadStream;
    }
    Data = z.Out;
    Size = ArchiveFormat::ChunkSize - z.Stream.avail_out;
    return ChunkResult::Data;
}
