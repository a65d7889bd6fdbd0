#pragma once
// One file being restored: its bytes stream into a new file beside the
// target (SafeReplace: created exclusively under an unpredictable name,
// never through a link). Once all of them are in, Finish gives the new file
// up to be put in place (RestoreCommitter: flushed, then renamed over the
// target); until then the target stays as it was, so a damaged or
// interrupted archive leaves the existing file whole.
#include "base/SafeReplace.h"

#include <memory>
#include <ostream>
#include <string>

class PieceBuffer;

class RestoredFile {
public:
    // Disk: where the new file is created, written and flushed.
    explicit RestoredFile(FileSystem& Disk = FileSystem::Real());
    ~RestoredFile(); // an unfinished file is removed
    RestoredFile(const RestoredFile&) = delete;
    RestoredFile& operator=(const RestoredFile&) = delete;

    // 0 or an errno value.
    int Begin(const std::string& Target, const SafeReplace::Options& Options);
    bool Active() const { return writer_ != nullptr; }
    // Where the bytes go; it fails (and stays failed) once a write fails.
    std::ostream& Stream() { return *stream_; }
    // Writes out what is still buffered and hands over the new file, ready
    // to replace the target. Null, with Error set and the file removed, when
    // a write failed.
    std::unique_ptr<SafeReplace::Writer> Finish(int& Error);
    void Abort();

private:
    FileSystem& disk_;
    std::unique_ptr<SafeReplace::Writer> writer_;
    std::unique_ptr<PieceBuffer> buffer_; // bytes on their way to writer_
    std::unique_ptr<std::ostream> stream_;
};
