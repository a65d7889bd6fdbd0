#pragma once
// One file being restored: its bytes stream into a new file beside the
// target (SafeReplace: created exclusively under an unpredictable name,
// never through a link) and replace the target only at Commit, flushed, with
// the archived time stamp. A damaged or interrupted archive therefore leaves
// the existing file whole.
#include "base/SafeReplace.h"

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>

class RestoredFile {
public:
    RestoredFile();
    ~RestoredFile(); // an uncommitted file is removed
    RestoredFile(const RestoredFile&) = delete;
    RestoredFile& operator=(const RestoredFile&) = delete;

    // 0 or an errno value.
    int Begin(const std::string& Target, const SafeReplace::Options& Options);
    bool Active() const { return active_; }
    // Where the bytes go; it fails (and stays failed) once a write fails.
    std::ostream& Stream() { return *stream_; }
    // Replaces the target and gives it the DOS time stamp. 0 or an errno.
    int Commit(std::int32_t DosStamp);
    void Abort();

private:
    class Buffer;
    SafeReplace::Writer writer_;
    std::unique_ptr<Buffer> buffer_;
    std::unique_ptr<std::ostream> stream_;
    bool active_ = false;
};
