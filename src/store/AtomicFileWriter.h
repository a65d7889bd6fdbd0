#pragma once
// Replaces a file's content so that a crash or a failed write never leaves a
// shortened file: the bytes go to a new file in the same folder, which is
// flushed to disk and renamed over the old one; then the folder is flushed.
#include <cstddef>
#include <string>
#include <string_view>

class AtomicFileWriter {
public:
    virtual ~AtomicFileWriter();

    // Raises EFCreateError ("Cannot create file <FileName>") when the new file
    // cannot be created or renamed into place, and EWriteError when writing or
    // flushing fails. On any failure the old file is left as it was and no
    // temporary file remains.
    // Virtual so that headless tools and fuzzers can keep images in memory.
    virtual void WriteFile(const std::string& FileName, std::string_view Bytes);

    // The writer used when none is set on a file object.
    static AtomicFileWriter& Default();

protected:
    // Seam for tests: writes up to Size bytes to Fd; returns the count written
    // or -1 with errno set, like write(2).
    virtual long WriteSome(int Fd, const char* Data, std::size_t Size);
};
