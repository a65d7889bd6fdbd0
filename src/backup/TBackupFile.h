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
// File format: docs/backup-archive-format.md.
#include "base/Exception.h"

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

QUORVEX_EXCEPTION(EBackupFileError, Exception);

enum TBackupMode { bmAll = 0, bmIncremental = 1 };
enum TRestoreMode { rmAll = 0, rmNoOverwrite = 1, rmNewer = 2, rmExisting = 3, rmExistingNewer = 4 };
// The ordinal is what callers store; clFastest comes first on purpose.
enum TCompressionLevel { clFastest = 0, clNone = 1, clDefault = 2, clMax = 3 };
using TPercentage = std::uint8_t;

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
    std::string Name;          // as archived (lower-cased path, or "FILE:LIST")
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
    };
    static constexpr int ChunkSize = 16384;
    // A volume takes no chunk that would start this close to MaxSize.
    static constexpr int VolumeReserve = ChunkSize + 100;
    static constexpr const char* StreamName = ":STREAM";
    static constexpr const char* FileListName = "FILE:LIST";

    TBackupFile();
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
    // Entries a restore refused because their target would leave the
    // destination folder; reported here and skipped.
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
    std::int32_t TotalSize() const { return static_cast<std::int32_t>(FTotalSize); }
    std::int64_t ProcessedSize() const { return FProcessedSize; }
    std::int32_t TotalFiles() const { return FTotalFiles; }
    std::int32_t ProcessedFiles() const { return FProcessedFiles; }
    bool Busy() const { return FBusy; }
    const std::string& CurrentFile() const { return FCurrentFile; }
    std::int32_t ErrorCode() const { return FError; }
    bool Continuing() const { return FContinue; }
    const std::vector<std::string>& UnsafeEntries() const { return FUnsafeEntries; }
    // False after Examine when the archive ends without its final 0.
    bool TerminatorFound() const { return FTerminatorFound; }
    // Volume the last missing-volume question was about (0: none missing).
    int MissingVolume() const { return FMissingVolume; }

    // ---- helpers shared with the tool and the tests ----------------------
    static std::int32_t DosDateTimeFromTime(std::int64_t unixSeconds);
    static std::int64_t TimeFromDosDateTime(std::int32_t dos);
    static std::int32_t FileDosDateTime(const std::string& path); // -1 when missing
    static bool SetFileDosDateTime(const std::string& path, std::int32_t dos);
    // "copia.bkp", 2 -> "copia.002"
    static std::string VolumeName(const std::string& archive, int volume);

protected:
    // The seam every archive volume is written through; a test may return a
    // stream that fails part-way.
    virtual std::unique_ptr<std::ostream> CreateVolume(const std::string& path);

private:
    struct Source {
        std::string RealPath;     // what is opened
        std::string ArchivedName; // what is stored (lower-cased)
        bool IsFileList = false;
    };
    struct ReadState;

    void Collect(const std::string& item, std::vector<Source>& out, const std::string& archiveLower);
    void SetError(std::int32_t code);
    void Pump();
    void Progress(const std::string& name, std::int64_t done);
    void ReportError();
    bool EndRun(bool Result);
    bool AskDisk(int volume);

    // writer
    bool WriteBytes(const void* data, std::size_t size);
    bool WriteInt(std::int32_t value);
    bool WriteString(const std::string& s);
    void BackupOneFile(const Source& src, const std::string& archive);
    bool CompressChunk(const unsigned char* in, std::size_t size);

    // reader
    bool RunReader(const std::string& archive, const std::string& destination, bool examineOnly,
                   std::vector<TArchiveEntryInfo>* entries);
    std::string TargetFor(const std::string& name, const std::string& destination, bool& safe) const;
    enum class SegmentResult { Ok, Damaged };
    SegmentResult ReadSegment(ReadState& rs, std::ostream* target, bool extract, const std::string& shownName,
                              std::int64_t* size);

    TBackupMode FBackupMode = bmAll;
    std::int64_t FTotalSize = 0;
    std::int64_t FProcessedSize = 0;
    std::int32_t FTotalFiles = 0;
    std::int32_t FProcessedFiles = 0;
    bool FBusy = false;
    bool FContinue = false;
    std::int32_t FError = 0;
    std::string FCurrentFile;
    std::vector<std::string> FUnsafeEntries;
    bool FTerminatorFound = false;
    int FMissingVolume = 0;

    // writer state
    bool FArchiveKnown = false;
    std::uint64_t FArchiveDev = 0;
    std::uint64_t FArchiveIno = 0;
    std::ostream* FOut = nullptr;
    std::unique_ptr<std::ostream> FOwnedOut;
    std::int64_t FVolumePos = 0;
    int FVolume = 1;
    int FChunksInVolume = 0;

    struct ZState;
    std::unique_ptr<ZState> FZ;
};
