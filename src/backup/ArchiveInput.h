#pragma once
// Reads the archive's records from a stream: integers, names, segment
// signatures and chunks (as stored; ChunkCodec inflates them). A chunk is
// refused when it claims more than ChunkSize bytes, so no buffer can be
// overrun. Knows nothing of files or volumes: the restore fuzz target drives
// it from memory.
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>

struct ArchiveChunk;

class ArchiveInput {
public:
    void Attach(std::istream* In) { in_ = In; }
    std::istream* Stream() const { return in_; }

    bool Bytes(void* Data, std::size_t Size);
    bool Int(std::int32_t& Value);
    bool Skip(std::int64_t Size);

    enum class NameResult { Name, End, Damaged };
    // The next record's name; End at the archive's final 0.
    NameResult Name(std::string& Out);

    enum class SignatureResult { Ok, Missing, Wrong };
    SignatureResult Signature();

    enum class ChunkResult {
        Data,       // Into holds the chunk as stored (when extracting)
        SegmentEnd, // the segment's terminating 0
        Truncated,  // the archive ended inside the chunk
        TooLong,    // a length above ChunkSize
    };
    // The next chunk of a segment: its length and stored bytes (a raw
    // chunk's bytes go to Plain). Without Into, only moves past it.
    ChunkResult Chunk(ArchiveChunk* Into);

private:
    std::istream* in_ = nullptr;
};
