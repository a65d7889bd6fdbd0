#pragma once
// The program's own backup archive: a header, then one entry per file whose
// data is cut into chunks of at most 16384 bytes, each chunk an independent
// zlib stream (or the raw bytes when compressing does not pay). An archive
// can be split into volumes of bounded size (copia.bkp, copia.002, ...).
//
// The component is synchronous and has no widgets. Whatever reaches the
// screen goes through callbacks that the window sets (UiProcessMessages,
// UiAskOkCancel, UiShowError); without them it runs headless: nothing is
// shown and the pending error stays readable through ErrorCode().
//
// The parts, each readable alone: ArchiveOutput and ArchiveInput (the
// bytes, on any stream), ArchiveChunk and ChunkPipeline (the chunks packed
// and unpacked on worker threads, taken in order), ArchiveVolumes (volume names, the next volume, the
// question for the next disk), SourceCollector (what a backup takes),
// RestorePolicy (which file an archived name replaces), RestoredFile (the
// replacement being written) and RestoreCommitter (which puts it in place,
// flushed). This class runs them and reports.
//
// File format: docs/backup-archive-format.md.
#include "backup/ArchiveFormat.h"
#include "backup/ArchiveInput.h"
#include "backup/ArchiveOutput.h"
#include "backup/ArchiveVolumes.h"
#include "backup/BackupTypes.h"
#include "base/Exception.h"
#include "base/FileSystem.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

struct ArchiveSource;
class ChunkPipeline;

QUORVEX_EXCEPTION(EBackupFileError, Exception);

class TBackupFile;

using TProgressEvent =
    std::function<void(TBackupFile* Sender, const std::string& Filename, TPercentage Percent, bool& Continue)>;
using TNeedDiskEvent = std::function<void(TBackupFile* Sender, std::uint16_t DiskID, bool& Continue)>;
using TRestoreFileEvent =
    std::function<void(TBackupFile* Sender, std::string& Filename, std::int32_t FA, bool& DoRestore)>;
using TFileRestoredEvent = std::function<void(TBackupFile* Sender, std::string& Filename, std::ostream& Stream)>;
using TBackupErrorEvent = std::function<void(TBackupFile* Sender, std::int32_t Error, const std::string& ErrString)>;

// One entry as the examiner sees it (tool: list, verify).
struct TArchiveEntryInfo {
    std::string Name;           // as archived (lower-cased path, or "FILE:LIST")
    std::int32_t TimeStamp = 0; // DOS date and time
    std::int64_t Size = 0;      // bytes after decompression
    int FirstVolume = 1;
    int LastVolume = 1;
};

class TBackupFile {
public:
    // Error codes of an operation, reported at its end.
    enum : std::int32_t {
        errNone = 0,
        errCannotReadFile = 1,
        errOverwriteFailed = 2,
        errCannotReadArchive = 3,
        errCannotWriteArchive = 4,
        errInvalidArchiveType = 5,
        errCompression = 6,
        errTempFileIDs = 7,
        // The folder restored into has too little free space for what the
        // archive says it holds, or for what it turned out to hold.
        errNoSpace = 8,
    };
    // Free space a restore leaves in the folder it restores into: the data
    // files still have to be saved there afterwards.
    static constexpr std::int64_t FreeSpaceReserve = std::int64_t(16) << 20;
    static constexpr int ChunkSize = ArchiveFormat::ChunkSize;
    // A volume takes no chunk that would start this close to MaxSize.
    static constexpr int VolumeReserve = ArchiveFormat::VolumeReserve;
    static constexpr const char* StreamName = ":STREAM";
    static constexpr const char* FileListName = ArchiveFormat::FileListName;

    // Disk: where a restore creates, writes, flushes and renames its files.
    explicit TBackupFile(FileSystem& Disk = FileSystem::Real());
    virtual ~TBackupFile();
    TBackupFile(const TBackupFile&) = delete;
    TBackupFile& operator=(const TBackupFile&) = delete;

    static std::string ErrorText(std::int32_t code);

    // ---- settings --------------------------------------------------------
    std::string Version() const { return "5.00"; }
    void SetVersion(const std::string&) {}
    TBackupMode BackupMode() const { return FBackupMode; }
    // Incremental backups always clear the archive flag of what they stored.
    void SetBackupMode(TBackupMode mode);

    std::string BackupTitle;
    TCompressionLevel CompressionLevel = clFastest;
    TRestoreMode RestoreMode = rmAll;
    std::int32_t MaxSize = 0;
    bool SetArchiveFlag = false;
    bool RestoreFullPath = false;
    bool SaveFileID = false;
    // A restore overwrites the bytes of each file it replaces before letting
    // them go (files that hold keys).
    bool WipeReplacedFiles = false;
    // A restore puts its files in place only once the whole archive has been
    // read without error, all together (StagedRestore): a damaged, hostile,
    // stopped or failing archive leaves every target as it was. The client's
    // data files are one whole; each file put in place at once (the default)
    // suits a restore of unrelated files.
    bool RestoreAllOrNothing = false;
    // A restored file that would grow past this many bytes ends the restore
    // as damaged (errCannotReadFile) and is not written further; 0 for no
    // bound. Small chunks that inflate to 16384 bytes each make even a
    // small archive fill a disk.
    std::int64_t MaxRestoredFileSize = 0;
    // The same for all the files of a restore together (errCannotReadFile);
    // 0 for no bound. Whatever the bound, a restore into a folder stops
    // with errNoSpace before it would leave less than FreeSpaceReserve free
    // there, and does not begin when the archive's stated total does not
    // fit.
    std::int64_t MaxRestoredTotalSize = 0;

    TProgressEvent OnProgress;
    TNeedDiskEvent OnNeedDisk;
    TRestoreFileEvent OnRestoreFile;
    TFileRestoredEvent OnFileRestored;
    TBackupErrorEvent OnError;

    // What the component would show itself; the window sets these. Unset,
    // nothing is pumped or shown, and a missing next volume ends a restore.
    std::function<void()> UiProcessMessages;
    std::function<bool(const std::string& text)> UiAskOkCancel;
    std::function<void(const std::string& text)> UiShowError;
    // Entries a restore refused (their target would leave the destination
    // folder, pass through a linked folder, or the name holds a control
    // character); reported here and skipped.
    std::function<void(TBackupFile* Sender, const std::string& ArchivedName)> OnUnsafeEntry;

    // Caller-owned streams used when the archive name is ":STREAM".
    std::ostream* BackupStream = nullptr;
    std::istream* RestoreStream = nullptr;

    // ---- operations ------------------------------------------------------
    bool Backup(const std::vector<std::string>& files, const std::string& archive);
    bool Restore(const std::string& archive, const std::string& destination);
    // Reads the whole archive, inflating every chunk, writing nothing.
    // Result true when every chunk inflated, every volume was found and the
    // terminator is there. Raises like Restore on an unreadable header.
    bool Examine(const std::string& archive, std::vector<TArchiveEntryInfo>& entries);
    void Stop() { FContinue = false; }

    // ---- run-time state --------------------------------------------------
    // The header holds the total in 32 bits: data beyond 2 GiB is stated
    // as the largest total the field can hold, never as a wrapped (small,
    // zero or negative) one that a reader would divide its progress by.
    std::int32_t TotalSize() const { return static_cast<std::int32_t>(std::min<std::int64_t>(FTotalSize, INT32_MAX)); }
    std::int64_t ProcessedSize() const { return FProcessedSize; }
    std::int32_t TotalFiles() const { return FTotalFiles; }
    // After a restore, also one that raised: the files already replaced.
    std::int32_t ProcessedFiles() const { return FProcessedFiles; }
    bool Busy() const { return FBusy; }
    const std::string& CurrentFile() const { return FCurrentFile; }
    // The archived name of the entry a restore is deciding on (while
    // OnRestoreFile or OnUnsafeEntry runs).
    const std::string& EntryName() const { return FEntryName; }
    std::int32_t ErrorCode() const { return FError; }
    bool Continuing() const { return FContinue; }
    const std::vector<std::string>& UnsafeEntries() const { return FUnsafeEntries; }
    // False after Examine when the archive ends without its final 0.
    bool TerminatorFound() const { return FTerminatorFound; }
    // Volume the last missing-volume question was about (0: none missing).
    int MissingVolume() const { return FVolumes.MissingVolume(); }

    // ---- helpers shared with the tool and the tests ----------------------
    static std::int32_t DosDateTimeFromTime(std::int64_t unixSeconds);
    static std::int64_t TimeFromDosDateTime(std::int32_t dos);
    static std::int32_t FileDosDateTime(const std::string& path); // -1 when missing
    static bool SetFileDosDateTime(const std::string& path, std::int32_t dos);
    // "copia.bkp", 2 -> "copia.002"
    static std::string VolumeName(const std::string& archive, int volume);

protected:
    // The seam every archive volume is written through; a test may return a
    // stream that fails part-way. fd is the new file, open for writing (it
    // stays the caller's: flushed and closed once the stream is gone).
    virtual std::unique_ptr<std::ostream> CreateVolume(const std::string& path, int fd);
    // Bytes an unprivileged writer may still put in Folder's file system;
    // -1 when it cannot be told.
    virtual std::int64_t AvailableBytes(const std::string& Folder);

private:
    struct ReadRun;

    void SetError(std::int32_t code);
    void Pump();
    void Progress(const std::string& name, std::int64_t done);
    void ReportError();
    bool EndRun(bool Result);
    void WireVolumes();

    // writer
    std::string WriteFileIdList(std::vector<ArchiveSource>& sources, const std::string& fileIds);
    void BackupOneFile(const ArchiveSource& src, std::size_t nextNameLength);
    bool ChunkMayStart(int chunksInVolume, std::size_t nextNameLength) const;
    bool NextVolume();

    // reader
    bool RunReader(const std::string& archive, const std::string& destination, bool examineOnly,
                   std::vector<TArchiveEntryInfo>* entries);
    enum class SegmentResult { Ok, Damaged };
    SegmentResult ReadSegment(std::ostream* target, bool extract, const std::string& shownName, std::int64_t* size);
    SegmentResult SkipSegment();
    ChunkPipeline& Unpacker();
    bool ContinueOnNextVolume(ReadRun& run, const std::string& record);
    bool StartEntry(ReadRun& run, const std::string& name, std::int32_t stamp);
    bool ExtractInto(ReadRun& run);
    void CommitPending(ReadRun& run);
    void SettleCommits(ReadRun& run);
    bool SetRestoreLimit(const std::string& destination);

    TBackupMode FBackupMode = bmAll;
    std::int64_t FTotalSize = 0;
    std::int64_t FProcessedSize = 0;
    std::int32_t FTotalFiles = 0;
    // Chunks written to the current volume, by every file in it.
    int FChunksInVolume = 0;
    std::int32_t FProcessedFiles = 0;
    bool FBusy = false;
    bool FContinue = false;
    std::int32_t FError = 0;
    std::string FCurrentFile;
    std::string FEntryName;
    std::vector<std::string> FUnsafeEntries;
    bool FTerminatorFound = false;
    // Bytes the running restore may write in all (0: no bound), and the
    // error it ends with past them.
    std::int64_t FRestoreLimit = 0;
    std::int32_t FRestoreLimitError = errNone;

    FileSystem& FDisk;
    ArchiveVolumes FVolumes;
    ArchiveOutput FOut;
    ArchiveInput FIn;
    // The workers of the running backup or restore.
    std::unique_ptr<ChunkPipeline> FPipeline;
};
