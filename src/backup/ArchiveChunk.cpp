#include "backup/ArchiveChunk.h"

#include <zlib.h>

struct ChunkCodec::Streams {
    z_stream Deflate{};
    bool DeflateReady = false;
    int Level = 0;
    z_stream Inflate{};
    bool InflateReady = false;

    ~Streams()
    {
        if (DeflateReady)
            deflateEnd(&Deflate);
        if (InflateReady)
            inflateEnd(&Inflate);
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
    int r;
    if (!z.InflateReady) {
        z.Inflate = z_stream{};
        r = inflateInit(&z.Inflate);
        z.InflateReady = r == Z_OK;
    } else {
        r = inflateReset(&z.Inflate);
    }
    if (r != Z_OK)
        return UnpackResult::BadStream;
    z.Inflate.next_in = Chunk.Packed;
    z.Inflate.avail_in = static_cast<uInt>(Chunk.Length);
    z.Inflate.next_out = Chunk.Plain;
    z.Inflate.avail_out = ArchiveFormat::ChunkSize;
    r = inflate(&z.Inflate, Z_NO_FLUSH);
    if (r != Z_STREAM_END) {
        // Output full before the stream ended: more than one chunk's worth,
        // which no writer makes. Anything else is a bad stream.
        return z.Inflate.avail_out == 0 && r == Z_OK ? UnpackResult::TooLong : UnpackResult::BadStream;
    }
    Chunk.PlainSize = ArchiveFormat::ChunkSize - z.Inflate.avail_out;
    return UnpackResult::Ok;
}
