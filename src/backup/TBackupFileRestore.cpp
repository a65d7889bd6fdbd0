// The archive component's reading side: Restore and Examine.
#include "backup/TBackupFile.h"

#include "backup/ChunkPipeline.h"
#include "backup/DosTime.h"
#include "backup/RestoreCommitter.h"
#include "backup/RestorePolicy.h"
#include "backup/RestoredFile.h"
#include "backup/StagedRestore.h"

#include <algorithm>
#include <filesystem>
#include <ostream>

#include <sys/statvfs.h>

namespace fs = std::filesystem;

// The state of one run of the reader.
struct TBackupFile::ReadRun {
    ReadRun(const std::string& destination, bool fullPath, FileSystem& disk)
        : Policy(destination, fullPath), Pending(disk), Staged(disk)
    {
    }

    RestorePolicy Policy;
    bool ExamineOnly = false;
    std::vector<TArchiveEntryInfo>* Entries = nullptr;
    SafeReplace::Options Options;
    // The entry whose data is being read, when it is restored: its bytes go
    // to Pending, which replaces Target once all of them (from every volume)
    // are in.
    bool Restoring = false;
    std::string Target;
    std::int32_t Stamp = 0;
    std::int64_t PendingSize = 0; // bytes of the entry written so far
    RestoredFile Pending;
    // Puts complete files in place while the next one is being read, or,
    // for a restore of all or nothing, keeps them until the end (destroyed
    // first: what it still holds is removed).
    RestoreCommitter Committer;
    bool AllOrNothing = false;
    StagedRestore Staged;
};

bool TBackupFile::Restore(const std::string& archive, const std::string& destination)
{
    return RunReader(archive, destination, false, nullptr);
}

bool TBackupFile::Examine(const std::string& archive, std::vector<TArchiveEntryInfo>& entries)
{
    entries.clear();
    return RunReader(archive, "", true, &entries);
}

TBackupFile::SegmentResult TBackupFile::ReadSegment(std::ostream* target, bool extract, const std::string& shownName,
                                                    std::int64_t* size)
{
    switch (FIn.Signature()) {
    case ArchiveInput::SignatureResult::Ok: break;
    case ArchiveInput::SignatureResult::Missing: SetError(errCannotReadFile); return SegmentResult::Damaged;
    case ArchiveInput::SignatureResult::Wrong:
        if (extract) {
            SetError(errCannotReadFile);
            return SegmentResult::Damaged;
        }
        throw EBackupFileError(ErrorText(errInvalidArchiveType));
    }
    if (!extract)
        return SkipSegment();
    ChunkPipeline& pipe = Unpacker();
    const ChunkPipeline::ReleaseOnExit release{pipe};
    // Reads ahead to the segment's end while there is room, so that the
    // workers inflate what the writer has not reached yet. A chunk that
    // cannot be read goes in as news, in its place, and reading stops there.
    bool segmentRead = false;
    const auto readAhead = [&] {
        while (!segmentRead && !pipe.Full()) {
            ArchiveChunk& chunk = pipe.Next();
            const auto r = FIn.Chunk(&chunk);
            if (r == ArchiveInput::ChunkResult::SegmentEnd) {
                segmentRead = true;
                break;
            }
            chunk.NeedsWork = r == ArchiveInput::ChunkResult::Data;
            chunk.Outcome = r == ArchiveInput::ChunkResult::Data        ? chunkOk
                            : r == ArchiveInput::ChunkResult::Truncated ? chunkTruncated
                                                                        : chunkTooLong;
            segmentRead = !chunk.NeedsWork;
            pipe.Submit();
        }
    };
    while (FContinue) {
        readAhead();
        if (pipe.Empty())
            break;
        const ArchiveChunk& chunk = pipe.Oldest();
        switch (chunk.Outcome) {
        case chunkOk: break;
        case chunkBadStream: SetError(errCompression); return SegmentResult::Damaged;
        default: SetError(errCannotReadFile); return SegmentResult::Damaged;
        }
        const auto produced = static_cast<std::int64_t>(chunk.PlainSize);
        // Checked before the bytes go out: a file past the bound is never
        // written any further (a decompression bomb fills no disk).
        if (target && size && MaxRestoredFileSize > 0 && *size + produced > MaxRestoredFileSize) {
            SetError(errCannotReadFile);
            return SegmentResult::Damaged;
        }
        // Nor do many files, each within its bound: every byte written by
        // the restore counts (a file staged twice included).
        if (target && FRestoreLimit > 0 && FProcessedSize + produced > FRestoreLimit) {
            SetError(FRestoreLimitError);
            return SegmentResult::Damaged;
        }
        if (target) {
            target->write(reinterpret_cast<const char*>(chunk.Plain), static_cast<std::streamsize>(chunk.PlainSize));
            if (!*target) {
                SetError(errCannotReadFile);
                return SegmentResult::Damaged;
            }
        }
        pipe.Release();
        if (size)
            *size += produced;
        FProcessedSize += produced;
        Pump();
        Progress(shownName, FProcessedSize);
    }
    return SegmentResult::Ok;
}

// Moves past the rest of a segment that is not extracted.
TBackupFile::SegmentResult TBackupFile::SkipSegment()
{
    while (FContinue) {
        switch (FIn.Chunk(nullptr)) {
        case ArchiveInput::ChunkResult::Data: break;
        case ArchiveInput::ChunkResult::SegmentEnd: return SegmentResult::Ok;
        case ArchiveInput::ChunkResult::Truncated:
        case ArchiveInput::ChunkResult::TooLong: SetError(errCannotReadFile); return SegmentResult::Damaged;
        }
        Pump();
    }
    return SegmentResult::Ok;
}

// The restore's workers, made at the first chunk that is inflated.
ChunkPipeline& TBackupFile::Unpacker()
{
    if (!FPipeline) {
        FPipeline = std::make_unique<ChunkPipeline>([] {
            auto codec = std::make_shared<ChunkCodec>();
            return [codec](ArchiveChunk& chunk) {
                switch (codec->Unpack(chunk)) {
                case ChunkCodec::UnpackResult::Ok: chunk.Outcome = chunkOk; break;
                case ChunkCodec::UnpackResult::TooLong: chunk.Outcome = chunkTooLong; break;
                case ChunkCodec::UnpackResult::BadStream: chunk.Outcome = chunkBadStream; break;
                }
            };
        });
    }
    return *FPipeline;
}

// The restored entry's next segment, into its pending file.
bool TBackupFile::ExtractInto(ReadRun& run)
{
    std::ostream& out = run.Pending.Stream();
    const bool ok = ReadSegment(&out, true, run.Target, &run.PendingSize) == SegmentResult::Ok;
    if (OnFileRestored) {
        // The file is replaced under the name it was begun with.
        std::string shown = run.Target;
        OnFileRestored(this, shown, out);
    }
    if (!out.flush())
        SetError(errCannotReadFile);
    return ok && FError == errNone;
}

// The previous file had all of its data: it goes on its way to replace its
// target.
void TBackupFile::CommitPending(ReadRun& run)
{
    run.Restoring = false;
    if (!run.Pending.Active())
        return;
    int error = 0;
    auto file = run.Pending.Finish(error);
    if (!file) {
        SetError(errCannotReadFile);
        return;
    }
    if (!run.AllOrNothing) {
        run.Committer.Hand(std::move(file), run.Stamp);
        return;
    }
    if (run.Staged.Add(std::move(file), run.Stamp) != 0)
        SetError(errCannotReadFile);
}

// Waits for the files handed over to be in place, and counts them; a file
// that could not replace its target ends the run with an error.
void TBackupFile::SettleCommits(ReadRun& run)
{
    if (run.ExamineOnly)
        return;
    if (run.Committer.Settle() != 0)
        SetError(errCannotReadFile);
    FProcessedFiles = run.Committer.Committed() + run.Staged.Committed();
}

bool TBackupFile::ContinueOnNextVolume(ReadRun& run, const std::string& record)
{
    const int next = ArchiveFormat::ContinuationVolume(record);
    if (next == 0) {
        SetError(errCannotReadFile);
        return false;
    }
    switch (FVolumes.OpenNext(next)) {
    case ArchiveVolumes::NextResult::Opened: break;
    case ArchiveVolumes::NextResult::Stopped:
    case ArchiveVolumes::NextResult::Missing: FContinue = false; return false;
    case ArchiveVolumes::NextResult::Refused:
    case ArchiveVolumes::NextResult::Failed: SetError(errCannotReadFile); return false;
    }
    FIn.Attach(FVolumes.In());
    if (run.ExamineOnly && !run.Entries->empty()) {
        auto& e = run.Entries->back();
        e.LastVolume = next;
        return ReadSegment(nullptr, true, e.Name, &e.Size) == SegmentResult::Ok;
    }
    if (run.Restoring)
        return ExtractInto(run);
    return ReadSegment(nullptr, false, "", nullptr) == SegmentResult::Ok;
}

// An entry's name and stamp have been read; its first segment follows.
// False ends the run.
bool TBackupFile::StartEntry(ReadRun& run, const std::string& name, std::int32_t stamp)
{
    if (run.ExamineOnly) {
        run.Entries->push_back(TArchiveEntryInfo{name, stamp, 0, FVolumes.Number(), FVolumes.Number()});
        auto& e = run.Entries->back();
        if (ReadSegment(nullptr, true, e.Name, &e.Size) != SegmentResult::Ok)
            return false;
        if (name != FileListName)
            ++FProcessedFiles;
        return true;
    }
    if (name == FileListName)
        return ReadSegment(nullptr, false, "", nullptr) == SegmentResult::Ok;

    FEntryName = name;
    // Names resolve against the files in the destination; one still on its
    // way into place is waited for when this name could meet it.
    if (run.Committer.MayMeet(name))
        run.Committer.Settle();
    if (run.Committer.Error() != 0) {
        SetError(errCannotReadFile);
        return false;
    }
    std::string target = run.Policy.TargetFor(name);
    if (target.empty()) {
        // Would land outside the destination (or nowhere): never written.
        FUnsafeEntries.push_back(name);
        if (OnUnsafeEntry)
            OnUnsafeEntry(this, name);
        return ReadSegment(nullptr, false, "", nullptr) == SegmentResult::Ok;
    }
    bool doRestore = RestorePolicy::ShouldRestore(RestoreMode, stamp, DosTime::FileStamp(target));
    if (OnRestoreFile)
        OnRestoreFile(this, target, stamp, doRestore);
    if (doRestore && (target.empty() || !run.Policy.MakeFolders(target)))
        doRestore = false;
    if (!doRestore)
        return ReadSegment(nullptr, false, "", nullptr) == SegmentResult::Ok;

    run.Target = target;
    run.Stamp = stamp;
    run.PendingSize = 0;
    if (run.Pending.Begin(target, run.Options) != 0) {
        SetError(errCannotReadFile);
        return false;
    }
    run.Restoring = true;
    return ExtractInto(run);
}

std::int64_t TBackupFile::AvailableBytes(const std::string& Folder)
{
    struct statvfs fs {};
    if (::statvfs(Folder.c_str(), &fs) != 0)
        return -1;
    return static_cast<std::int64_t>(fs.f_bavail) * static_cast<std::int64_t>(fs.f_frsize);
}

// What the restore may write in all: the caller's bound, and what the
// destination's file system can take less the reserve. False (errNoSpace)
// when the archive's own total does not fit there: nothing is begun.
bool TBackupFile::SetRestoreLimit(const std::string& destination)
{
    FRestoreLimit = MaxRestoredTotalSize > 0 ? MaxRestoredTotalSize : 0;
    FRestoreLimitError = errCannotReadFile;
    if (destination.empty())
        return true; // files go back to their own folders, wherever they are
    const std::int64_t available = AvailableBytes(destination);
    if (available < 0)
        return true;
    const std::int64_t room = std::max<std::int64_t>(available - FreeSpaceReserve, 0);
    if (FTotalSize > room) {
        SetError(errNoSpace);
        return false;
    }
    if (FRestoreLimit == 0 || room < FRestoreLimit) {
        // At least one byte: 0 stands for no bound.
        FRestoreLimit = std::max<std::int64_t>(room, 1);
        FRestoreLimitError = errNoSpace;
    }
    return true;
}

bool TBackupFile::RunReader(const std::string& archive, const std::string& destination, bool examineOnly,
                            std::vector<TArchiveEntryInfo>* entries)
{
    FError = errNone;
    FProcessedFiles = 0;
    FContinue = true;
    FUnsafeEntries.clear();
    FEntryName.clear();
    FTerminatorFound = false;
    const bool stream = archive == StreamName;
    if (stream) {
        if (!RestoreStream)
            return false;
    } else {
        std::error_code ec;
        if (!fs::is_regular_file(archive, ec))
            return false;
    }
    WireVolumes();
    if (!FVolumes.OpenFirst(archive, stream ? RestoreStream : nullptr))
        throw EBackupFileError(ErrorText(errCannotReadArchive));
    FBusy = true;
    // Whatever way this ends (an exception included), the component is no
    // longer busy and the archive file is closed; a caller's stream stays
    // open. A file not yet complete is removed by its RestoredFile.
    struct BusyGuard {
        TBackupFile* self;
        ~BusyGuard()
        {
            self->FBusy = false;
            self->FVolumes.Close();
            self->FIn.Attach(nullptr);
            self->FPipeline.reset();
        }
    } guard{this};
    FIn.Attach(FVolumes.In());

    {
        std::int32_t titleLen = 0, total = 0, files = 0;
        if (!FIn.Int(titleLen) || titleLen < 0 || !FIn.Skip(titleLen) || !FIn.Int(total) || !FIn.Int(files))
            throw EBackupFileError(ErrorText(errCannotReadArchive));
        FTotalSize = total;
        FTotalFiles = files;
    }
    FProcessedSize = 0;
    if (!examineOnly && !SetRestoreLimit(destination)) {
        FVolumes.Close();
        FIn.Attach(nullptr);
        return EndRun(false);
    }

    ReadRun run(destination, RestoreFullPath, FDisk);
    // However the run ends, also by an exception, the files handed over are
    // in place (or removed) and counted before it returns.
    struct SettleGuard {
        TBackupFile* self;
        ReadRun& run;
        ~SettleGuard() { self->SettleCommits(run); }
    } settle{this, run};
    run.ExamineOnly = examineOnly;
    run.Entries = entries;
    run.Options.NewFileMode = 0600;
    run.AllOrNothing = RestoreAllOrNothing;
    // Staged files keep the versions they replace until all are in place
    // (StagedRestore), and wipe them then.
    run.Options.WipeOldVersion = WipeReplacedFiles && !run.AllOrNothing;
    run.Options.FolderFlushedByCaller = run.AllOrNothing;
    // Restored files are flushed one by one: the disk writes each while
    // the rest of it is still being inflated.
    run.Options.StartWritingEarly = true;

    while (FContinue) {
        std::string name;
        const auto got = FIn.Name(name);
        if (got == ArchiveInput::NameResult::End) {
            FTerminatorFound = true;
            CommitPending(run);
            break;
        }
        if (got == ArchiveInput::NameResult::Damaged) {
            // Among others: ended without its final 0 (interrupted, truncated).
            SetError(errCannotReadFile);
            break;
        }
        if (ArchiveFormat::IsContinuation(name)) {
            if (!ContinueOnNextVolume(run, name))
                break;
            continue;
        }
        CommitPending(run);
        if (!FContinue)
            break;
        std::int32_t stamp = 0;
        if (!FIn.Int(stamp)) {
            SetError(errCannotReadFile);
            break;
        }
        if (!StartEntry(run, name, stamp))
            break;
    }
    if (FError != errNone || !FContinue)
        run.Pending.Abort();
    // All or nothing: in place only when the archive was read whole.
    if (run.AllOrNothing) {
        if (FError == errNone && FContinue && FTerminatorFound) {
            if (run.Staged.Commit(WipeReplacedFiles) != 0)
                SetError(errOverwriteFailed);
        } else {
            run.Staged.Discard();
        }
    }
    SettleCommits(run);
    FVolumes.Close();
    FIn.Attach(nullptr);
    const bool result = FError == errNone && FContinue;
    return EndRun(result);
}
