#pragma once
// Replaces a data file's content through the base's safe replace, in the
// store's exceptions. A file that already holds exactly the new bytes is left
// in place (every storage file is saved at start-up, mostly unchanged).
// Every write, flush and rename goes through the FileSystem given.
#include "base/FileIdentity.h"
#include "base/FileSystem.h"

#include <cstddef>
#include <exception>
#include <memory>
#include <string>
#include <string_view>

namespace SafeReplace {
class Writer;
}

class AtomicFileWriter {
public:
    explicit AtomicFileWriter(FileSystem& Disk = FileSystem::Real()) : Disk_(Disk) {}
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;
    virtual ~AtomicFileWriter();

    // Raises EFCreateError ("Cannot create file <FileName>") when the new file
    // cannot be created or renamed into place, and EWriteError when writing or
    // flushing fails. On any failure but the folder's flush the old file is
    // left as it was; none leaves a temporary file. A folder that cannot be
    // flushed after the rename raises EWriteError too: the new file stands
    // under the name, but a power cut may bring the old one back.
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

    // One save in two steps, so that many files can be written first and
    // then flushed side by side (see BatchFileWriter); WriteFile takes both
    // steps at once. Each step raises what WriteFile would raise there, and
    // a failure leaves the old file as it was and no temporary file.
    class Replacement {
    public:
        explicit Replacement(FileSystem& Disk);
        Replacement(const Replacement&) = delete;
        Replacement& operator=(const Replacement&) = delete;
        // A new file not committed is removed; a replaced version still
        // held is let go.
        ~Replacement();

        // Writes Bytes to a new file beside FileName. False when the file
        // already holds them: it is left in place, as WriteFile leaves it.
        // KnownChanged: as WriteChangedFile. OneOfMany: the disk starts on
        // the bytes at once, and Commit leaves the folder for the caller to
        // flush once after the last rename.
        bool Begin(const std::string& FileName, std::string_view Bytes, bool KnownChanged, bool OneOfMany);
        // Flushes the new file and renames it over the old one.
        void Commit();
        // The folder of the file replaced (once begun).
        std::string Folder() const;
        // The replaced version, held open across the rename so that the
        // caller chooses when its blocks are freed (see the closer in the
        // source); -1 when there is none. The caller closes it.
        int TakeReplacedVersion();

    private:
        FileSystem& Disk_;
        std::unique_ptr<SafeReplace::Writer> Writer_;
        std::string FileName_;
        int Replaced_ = -1;
    };

    // Waits until the versions that saves replaced are released: their
    // blocks are freed after the save returns (benchmarks time a save apart
    // from that work; nothing else needs to wait).
    static void WaitForReplacedVersions();

    // The writer used when none is set on a file object.
    static AtomicFileWriter& Default();

    // Where the saves are written.
    FileSystem& Disk() const { return Disk_; }

    // What a save of FileName raises for the errno value Error of its
    // commit (the rename, or the folder's flush after it).
    static std::exception_ptr CommitFailure(int Error, const std::string& FileName);

private:
    FileSystem& Disk_;
};
