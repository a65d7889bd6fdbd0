#include "backup/ArchiveOutput.h"

#include "backup/ArchiveFormat.h"

#include <zlib.h>

#include <ostream>

struct ArchiveOutput::Deflater {
    z_stream Stream{};
    bool Ready = false;
    int Level = 0;
    unsigned char Out[ArchiveFormat::ChunkSize];

    ~Deflater()
    {
        if (Ready)
            deflateEnd(&Stream);
    }
};

ArchiveOutput::ArchiveOutput() : z_(std::make_unique<Deflater>()) {}

ArchiveOutput::~ArchiveOutput() = default;

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

ArchiveOutput::ChunkResult ArchiveOutput::Chunk(const unsigned char* Data, std::size_t Size, int ZlibLevel)
{
    Deflater& z = *z_;
    // One deflate state reused with a reset per chunk: the same stream as a
    // fresh deflateInit2 with these parameters, without re-allocating.
    if (z.Ready && z.Level != ZlibLevel) {
        deflateEnd(&z.Stream);
        z.Ready = false;
    }
    if (!z.Ready) {
        z.Stream = z_stream{};
        if (deflateInit2(&z.Stream, ZlibLevel, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
            return ChunkResult::CompressionFailed;
        z.Ready = true;
        z.Level = ZlibLevel;
    } else if (deflateReset(&z.Stream) != Z_OK) {
        return ChunkResult::CompressionFailed;
    }
    z.Stream.next_in = const_cast<unsigned char*>(Data);
    z.Stream.avail_in = static_cast<uInt>(Size);
    z.Stream.next_out = z.Out;
    z.Stream.avail_out = ArchiveFormat::ChunkSize;
    const int r = deflate(&z.Stream, Z_FINISH);
    bool ok;
    if (r == Z_STREAM_END) {
        const auto n = static_cast<std::int32_t>(z.Stream.total_out);
        ok = Int(n) && Bytes(z.Out, static_cast<std::size_t>(n));
    } else if (r == Z_OK) {
        // Did not fit in one chunk: compressing does not pay, store it raw.
        ok = Int(-static_cast<std::int32_t>(Size)) && Bytes(Data, Size);
    } else {
        return ChunkResult::CompressionFailed;
    }
    return ok ? ChunkResult::Written : ChunkResult::WriteFailed;
}
