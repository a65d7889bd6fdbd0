#pragma once
// Reads the archive's records from a stream: integers, names, segment
// signatures and chunks. A chunk is refused when it claims more than
// ChunkSize bytes or inflates to more, so no buffer can be overrun. Knows
// nothing of files or volumes: the restore fuzz target drives it from memory.
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>

class ArchiveInput {
public:
    ArchiveInput();
    ~ArchiveInput();
    ArchiveInput(const ArchiveInput&) = delete;
    ArchiveInput& operator=(const ArchiveInput&) = delete;

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
        Data,       // Data/Size hold the chunk's bytes (when extracting)
        SegmentEnd, // the segment's terminating 0
        Truncated,  // the archive ended inside the chunk
        TooLong,    // a length above ChunkSize, or more output than that
        BadStream,  // not a zlib stream
    };
    // The next chunk of a segment. Extract false only moves past it.
    ChunkResult Chunk(bool Extract, const unsigned char*& Data, std::size_t& Size);

private:
    struct Inflater;
    std::unique_ptr<Inflater> z_;
    std::istream* in_ = nullptr;
};
