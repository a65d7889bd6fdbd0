#pragma once
// Writes the archive's records to a stream: integers, strings, segment
// signatures and chunks (as ChunkCodec packed them). Knows nothing of files
// or volumes; the position is counted from the last Attach.
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>

struct ArchiveChunk;

class ArchiveOutput {
public:
    void Attach(std::ostream* Out);
    std::ostream* Stream() const { return out_; }
    std::int64_t Position() const { return position_; }

    bool Bytes(const void* Data, std::size_t Size);
    bool Int(std::int32_t Value);
    bool String(const std::string& Text);
    bool Signature();

    // One packed chunk: its length, then its stored bytes.
    bool Chunk(const ArchiveChunk& Packed);

private:
    std::ostream* out_ = nullptr;
    std::int64_t position_ = 0;
};
