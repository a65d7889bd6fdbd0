#include "backup/ArchiveChunk.h"

#include <libdeflate.h>
#include <zlib.h>

struct ChunkCodec::Streams {
    z_stream Deflate{};
    bool DeflateReady = false;
    int Level = 0;
    // Reading uses a whole-buffer inflate: a chunk and its output always fit
    // in memory, and it takes about half zlib's time for the same stream.
    libdeflate_decompressor* Inflate = nullptr;

    ~Streams()
    {
        if (DeflateReady)
            deflateEnd(&Deflate);
        libdeflate_free_decompressor(Inflate);
    }
};

ChunkCodec::ChunkCodec() : z_(std::make_unique<Streams>()) {}

ChunkCodec::~ChunkCodec() = default;

bool ChunkCodec::Pack(ArchiveChunk& Chunk, int ZlibLevel)
{
    Streams& z = *z_;
    // One deflate state reused with a reset per chunk: the same stream as a
    // fresh deflateInit2 with these parameters, without re-allocating.
    if (z.DeflateReady && z.Level != ZlibLevel) {
        deflateEnd(&z.Deflate);
        z.DeflateReady = false;
    }
    if (!z.DeflateReady) {
        z.Deflate = z_stream{};
        if (deflateInit2(&z.Deflate, ZlibLevel, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
            return false;
        z.DeflateReady = true;
        z.Level = ZlibLevel;
    } else if (deflateReset(&z.Deflate) != Z_OK) {
        return false;
    }
    z.Deflate.next_in = Chunk.Plain;
    z.Deflate.avail_in = static_cast<uInt>(Chunk.PlainSize);
    z.Deflate.next_out = Chunk.Packed;
    z.Deflate.avail_out = ArchiveFormat::ChunkSize;
    const int r = deflate(&z.Deflate, Z_FINISH);
    if (r == Z_STREAM_END) {
        Chunk.Length = static_cast<std::int32_t>(z.Deflate.total_out);
        return true;
    }
    if (r == Z_OK) {
        // Did not fit in one chunk: compressing does not pay, store it raw.
        Chunk.Length = -static_cast<std::int32_t>(Chunk.PlainSize);
        return true;
    }
    return false;
}

ChunkCodec::UnpackResult ChunkCodec::Unpack(ArchiveChunk& Chunk)
{
    if (Chunk.Length <= 0)
        return UnpackResult::Ok;
    Streams& z = *z_;
    if (!z.Inflate)
        z.Inflate = libdeflate_alloc_decompressor();
    if (!z.Inflate)
        return UnpackResult::BadStream;
    // Bytes after the stream's end within the chunk are ignored; the
    // Adler-32 at its end is checked.
    std::size_t produced = 0;
    switch (libdeflate_zlib_decompress(z.Inflate, Chunk.Packed, static_cast<std::size_t>(Chunk.Length), Chunk.Plain,
                                       ArchiveFormat::ChunkSize, &produced)) {
    case LIBDEFLATE_SUCCESS: Chunk.PlainSize = produced; return UnpackResult::Ok;
    // More than one chunk's worth, which no writer makes.
    case LIBDEFLATE_INSUFFICIENT_SPACE: return UnpackResult::TooLong;
    default: return UnpackResult::BadStream;
    }
}
