#pragma once
// Replaces a data file's content through the base's safe replace, in the
// store's exceptions. A file that already holds exactly the new bytes is left
// in place (every storage file is saved at start-up, mostly unchanged).
#include "base/FileIdentity.h"

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
    // The same for bytes the caller knows to differ from what the file held
    // when the caller last read or wrote it: the file is not read back for
    // the comparison. Goes through WriteFile, so a writer that overrides it
    // still sees every save.
    void WriteChangedFile(const std::string& FileName, std::string_view Bytes);
    // The same for bytes the caller read from the file, as ReadFrom, and
    // that are still what it read: when the file is still that version, it
    // is left in place as WriteFile leaves a file holding the bytes, without
    // reading it again (every storage file is saved once loaded). Anything
    // else goes to WriteFile.
    void WriteFileUnlessUnchanged(const std::string& FileName, std::string_view Bytes, const FileIdentity& ReadFrom);

    // Waits until the versions that saves replaced are released: their
    // blocks are freed after the save returns (benchmarks time a save apart
    // from that work; nothing else needs to wait).
    static void WaitForReplacedVersions();

    // The writer used when none is set on a file object.
    static AtomicFileWriter& Default();

    // Forwards to WriteSome for the base writer.
    long WriteSomeBytes(int Fd, const char* Data, std::size_t Size);

protected:
    // Seam for tests: writes up to Size bytes to Fd; returns the count written
    // or -1 with errno set, like write(2).
    virtual long WriteSome(int Fd, const char* Data, std::size_t Size);
};
