#pragma once
// One chunk on its way into or out of the archive, and the zlib work on it.
// Each chunk is a complete zlib stream of its own (or its raw bytes when
// compressing does not pay), so chunks can be packed and unpacked in any
// order, on any thread, each codec keeping its own state.
#include "backup/ArchiveFormat.h"

#include <cstddef>
#include <cstdint>
#include <memory>

// What became of a chunk on its way.
enum ChunkOutcome : int {
    chunkOk,
    chunkUnreadable, // the file could not be read at this point
    chunkPackFailed, // zlib refused the level
    chunkTruncated,  // the archive ended inside the chunk
    chunkTooLong,    // more than one chunk's bytes
    chunkBadStream,  // not a zlib stream
};

struct ArchiveChunk {
    // The file's bytes: read before packing, or produced by unpacking.
    unsigned char Plain[ArchiveFormat::ChunkSize];
    std::size_t PlainSize = 0;
    // The length as recorded: n > 0 for a zlib stream of n bytes in Packed,
    // -PlainSize for a chunk kept raw (its bytes are Plain).
    std::int32_t Length = 0;
    unsigned char Packed[ArchiveFormat::ChunkSize];
    ChunkOutcome Outcome = chunkOk;
    // False for a chunk that only carries news in its place in the order
    // (the file could not be read there, say): the codec leaves it alone.
    bool NeedsWork = true;

    const unsigned char* StoredBytes() const { return Length > 0 ? Packed : Plain; }
    std::size_t StoredSize() const { return Length > 0 ? static_cast<std::size_t>(Length) : PlainSize; }
};

class ChunkCodec {
public:
    ChunkCodec();
    ~ChunkCodec();
    ChunkCodec(const ChunkCodec&) = delete;
    ChunkCodec& operator=(const ChunkCodec&) = delete;

    // Plain -> Length and Packed at a zlib level; false when zlib refuses.
    // The same bytes as a fresh deflateInit2 (window 15, memory level 8,
    // default strategy) and Z_FINISH on the chunk alone.
    bool Pack(ArchiveChunk& Chunk, int ZlibLevel);

    enum class UnpackResult { Ok, TooLong, BadStream };
    // Packed (Length > 0) -> Plain; a raw chunk already is. TooLong when
    // it inflates to more than one chunk, which no writer makes.
    UnpackResult Unpack(ArchiveChunk& Chunk);

private:
    struct Streams;
    std::unique_ptr<Streams> z_;
};
