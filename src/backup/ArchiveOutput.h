#pragma once
// Writes the archive's records to a stream: integers, strings, segment
// signatures and chunks (each one complete zlib stream, or the raw bytes
// when compressing does not pay). Knows nothing of files or volumes; the
// position is counted from the last Attach.
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>

class ArchiveOutput {
public:
    ArchiveOutput();
    ~ArchiveOutput();
    ArchiveOutput(const ArchiveOutput&) = delete;
    ArchiveOutput& operator=(const ArchiveOutput&) = delete;

    void Attach(std::ostream* Out);
    std::ostream* Stream() const { return out_; }
    std::int64_t Position() const { return position_; }

    bool Bytes(const void* Data, std::size_t Size);
    bool Int(std::int32_t Value);
    bool String(const std::string& Text);
    bool Signature();

    enum class ChunkResult { Written, WriteFailed, CompressionFailed };
    // One chunk of 1..ChunkSize bytes at the given zlib level. Nothing is
    // written when compression fails.
    ChunkResult Chunk(const unsigned char* Data, std::size_t Size, int ZlibLevel);

private:
    struct Deflater;
    std::unique_ptr<Deflater> z_;
    std::ostream* out_ = nullptr;
    std::int64_t position_ = 0;
};
