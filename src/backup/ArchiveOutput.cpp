#include "backup/ArchiveOutput.h"

#include "backup/ArchiveChunk.h"
#include "backup/ArchiveFormat.h"

#include <ostream>

void ArchiveOutput::Attach(std::ostream* Out)
{
    out_ = Out;
    position_ = 0;
}

bool ArchiveOutput::Bytes(const void* Data, std::size_t Size)
{
    if (!out_)
        return false;
    out_->write(static_cast<const char*>(Data), static_cast<std::streamsize>(Size));
    if (!*out_)
        return false;
    position_ += static_cast<std::int64_t>(Size);
    return true;
}

bool ArchiveOutput::Int(std::int32_t Value)
{
    const auto u = static_cast<std::uint32_t>(Value);
    const unsigned char b[4] = {static_cast<unsigned char>(u), static_cast<unsigned char>(u >> 8),
                                static_cast<unsigned char>(u >> 16), static_cast<unsigned char>(u >> 24)};
    return Bytes(b, 4);
}

bool ArchiveOutput::String(const std::string& Text)
{
    return Int(static_cast<std::int32_t>(Text.size())) && Bytes(Text.data(), Text.size());
}

bool ArchiveOutput::Signature()
{
    return Bytes(ArchiveFormat::Signature, 4);
}

bool ArchiveOutput::Chunk(const ArchiveChunk& Packed)
{
    return Int(Packed.Length) && Bytes(Packed.StoredBytes(), Packed.StoredSize());
}
