#include "backup/ArchiveInput.h"

#include "backup/ArchiveChunk.h"
#include "backup/ArchiveFormat.h"

#include <cstring>
#include <istream>

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

ArchiveInput::ChunkResult ArchiveInput::Chunk(ArchiveChunk* Into)
{
    std::int32_t n = 0;
    if (!Int(n))
        return ChunkResult::Truncated;
    if (n == 0)
        return ChunkResult::SegmentEnd;
    // 64-bit: the magnitude of INT32_MIN does not fit in 32 bits.
    const std::int64_t m = n < 0 ? -static_cast<std::int64_t>(n) : n;
    if (m > ArchiveFormat::ChunkSize)
        return ChunkResult::TooLong; // no writer makes one; our buffers hold one chunk
    if (!Into)
        return Skip(m) ? ChunkResult::Data : ChunkResult::Truncated;
    Into->Length = n;
    Into->PlainSize = n < 0 ? static_cast<std::size_t>(m) : 0;
    if (!Bytes(n < 0 ? Into->Plain : Into->Packed, static_cast<std::size_t>(m)))
        return ChunkResult::Truncated;
    return ChunkResult::Data;
}
