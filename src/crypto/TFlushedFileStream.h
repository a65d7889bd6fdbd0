#pragma once
// A write-only stream over an existing file that can force what was written
// to the disk. Used by WipeFile, which overwrites a key file in place.
#include "base/FileErrors.h"

#include <cstdint>
#include <string>

// Forcing the data to disk failed: "A <errno> Windows error occurred."
QUORVEX_EXCEPTION(EFlushError, EWriteError);

class TFlushedFileStream {
public:
    // Opens an existing file for writing only, without truncating it. A file
    // that cannot be opened raises EFOpenError.
    explicit TFlushedFileStream(const std::string& FileName);
    ~TFlushedFileStream();
    TFlushedFileStream(const TFlushedFileStream&) = delete;
    TFlushedFileStream& operator=(const TFlushedFileStream&) = delete;

    int64_t Size() const;
    int64_t Position() const { return FPosition; }
    void Seek(int64_t Position) { FPosition = Position; }
    // Writes Count bytes at the current position and moves past them;
    // anything short of all of them raises EWriteError.
    void Write(const void* Buffer, std::size_t Count);
    // Forces the file's written data to disk (fsync).
    void Flush();
    void Close();
    int Handle() const { return FHandle; }

private:
    std::string FFileName;
    int FHandle = -1;
    int64_t FPosition = 0;
};
