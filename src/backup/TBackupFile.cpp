// The archive component: settings, reporting, and the backup. The restore
// is in TBackupFileRestore.cpp.
#include "backup/TBackupFile.h"

#include "backup/ChunkPipeline.h"
#include "backup/DosTime.h"
#include "backup/SourceCollector.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

bool ReadFull(int fd, unsigned char* buf, std::size_t want, std::size_t& got)
{
    got = 0;
    while (got < want) {
        const ssize_t n = ::read(fd, buf + got, want - got);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0)
            break; // the end, or a file that shrank meanwhile: stop here
        got += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

TBackupFile::TBackupFile(FileSystem& Disk) : FDisk(Disk) {}

TBackupFile::~TBackupFile() = default;

std::string TBackupFile::ErrorText(std::int32_t code)
{
    switch (code) {
    case errCannotReadFile: return "Cannot read file";
    case errOverwriteFailed: return "Overwriting file failed";
    case errCannotReadArchive: return "Cannot read archive";
    case errCannotWriteArchive: return "Cannot write to archive";
    case errInvalidArchiveType: return "Invalid archive type";
    case errCompression: return "Compression error";
    case errTempFileIDs: return "Cannot create temporary file to save the file IDs";
    case errNoSpace: return "Not enough free disk space to restore the archive";
    default: return {};
    }
}

void TBackupFile::SetBackupMode(TBackupMode mode)
{
    if (mode == FBackupMode)
        return;
    FBackupMode = mode;
    if (mode == bmIncremental)
        SetArchiveFlag = true;
}

std::int32_t TBackupFile::DosDateTimeFromTime(std::int64_t unixSeconds)
{
    return DosTime::FromTime(unixSeconds);
}

std::int64_t TBackupFile::TimeFromDosDateTime(std::int32_t dos)
{
    return DosTime::ToTime(dos);
}

std::int32_t TBackupFile::FileDosDateTime(const std::string& path)
{
    return DosTime::FileStamp(path);
}

bool TBackupFile::SetFileDosDateTime(const std::string& path, std::int32_t dos)
{
    return DosTime::SetFileStamp(path, dos);
}

std::string TBackupFile::VolumeName(const std::string& archive, int volume)
{
    return ArchiveVolumes::VolumeName(archive, volume);
}

std::unique_ptr<std::ostream> TBackupFile::CreateVolume(const std::string& path, int fd)
{
    return ArchiveVolumes::CreateFile(path, fd);
}

// ---- shared ----------------------------------------------------------------

void TBackupFile::SetError(std::int32_t code)
{
    if (FError == errNone)
        FError = code;
    FContinue = false;
}

void TBackupFile::Pump()
{
    if (UiProcessMessages)
        UiProcessMessages();
}

void TBackupFile::Progress(const std::string& name, std::int64_t done)
{
    FCurrentFile = name;
    // 64-bit so that large archives do not overflow; capped because a file
    // may grow while it is read.
    std::int64_t percent = FTotalSize > 0 ? done * 100 / FTotalSize : 0;
    percent = std::clamp<std::int64_t>(percent, 0, 100);
    if (OnProgress) {
        bool go = true;
        OnProgress(this, name, static_cast<TPercentage>(percent), go);
        if (!go)
            FContinue = false;
    }
}

void TBackupFile::ReportError()
{
    if (FError == errNone)
        return;
    if (OnError)
        OnError(this, FError, ErrorText(FError));
    else if (UiShowError)
        UiShowError(ErrorText(FError));
}

// The common end of a backup and a restore: the bar full, the component
// free again, and any error reported once.
bool TBackupFile::EndRun(bool Result)
{
    if (OnProgress) {
        bool go = true;
        OnProgress(this, "", 100, go);
    }
    FCurrentFile.clear();
    FBusy = false;
    ReportError();
    return Result;
}

// The volume set asks its question through this component's events.
void TBackupFile::WireVolumes()
{
    FVolumes.MakeFile = [this](const std::string& path, int fd) { return CreateVolume(path, fd); };
    FVolumes.NeedDisk = nullptr;
    if (OnNeedDisk) {
        FVolumes.NeedDisk = [this](int volume) {
            bool go = true;
            OnNeedDisk(this, static_cast<std::uint16_t>(volume), go);
            return go;
        };
    }
    FVolumes.AskOkCancel = UiAskOkCancel;
}

// ---- writing ---------------------------------------------------------------

std::string TBackupFile::WriteFileIdList(std::vector<ArchiveSource>& sources, const std::string& fileIds)
{
    // Created exclusively under an unpredictable name (mkstemp).
    std::error_code ec;
    std::string path = (fs::temp_directory_path(ec) / "FIDXXXXXX").string();
    const int fd = ec ? -1 : ::mkstemp(path.data());
    bool ok = fd >= 0;
    if (ok) {
        std::size_t done = 0;
        while (ok && done < fileIds.size()) {
            const ssize_t n = ::write(fd, fileIds.data() + done, fileIds.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            ok = n > 0;
            if (ok)
                done += static_cast<std::size_t>(n);
        }
        ok = (::close(fd) == 0) && ok;
    }
    if (!ok) {
        if (fd >= 0)
            ::unlink(path.c_str());
        SetError(errTempFileIDs);
        return {};
    }
    sources.insert(sources.begin(), ArchiveSource{path, FileListName, true});
    FTotalSize += static_cast<std::int64_t>(fileIds.size());
    return path;
}

bool TBackupFile::Backup(const std::vector<std::string>& files, const std::string& archive)
{
    FError = errNone;
    FBusy = true;
    const bool stream = archive == StreamName;
    SourceCollector collector(stream ? std::string() : archive);
    for (const auto& item : files)
        collector.Add(item);
    std::vector<ArchiveSource>& sources = collector.Sources();

    FContinue = true;
    FCurrentFile.clear();
    if (OnProgress) {
        bool go = true;
        OnProgress(this, "", 0, go);
        if (!go)
            FContinue = false;
    }
    FProcessedSize = 0;
    FProcessedFiles = 0;

    FTotalSize = 0;
    std::string fileIds;
    for (const auto& src : sources) {
        const int fd = ::open(src.RealPath.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat st {};
        if (::fstat(fd, &st) == 0) {
            FTotalSize += st.st_size;
            if (SaveFileID)
                fileIds += src.ArchivedName + "\t" + std::to_string(DosTime::FromTime(st.st_mtime)) + "="
                           + std::to_string(static_cast<long long>(st.st_size)) + "\r\n";
        }
        ::close(fd);
    }
    FTotalFiles = static_cast<std::int32_t>(sources.size());
    const std::string tempPath = SaveFileID ? WriteFileIdList(sources, fileIds) : std::string();

    WireVolumes();
    // Chunks are packed on the workers while this thread reads the files and
    // writes the packed chunks in order: the same bytes as packing them one
    // by one.
    const int level = ArchiveFormat::ZlibLevel(static_cast<int>(CompressionLevel));
    try {
        FPipeline = std::make_unique<ChunkPipeline>([level] {
            auto codec = std::make_shared<ChunkCodec>();
            return [codec, level](ArchiveChunk& chunk) {
                chunk.Outcome = codec->Pack(chunk, level) ? chunkOk : chunkPackFailed;
            };
        });
    } catch (const std::exception&) {
        // No thread or memory for the workers: nothing is written.
        SetError(errCompression);
    }
    bool written = false;
    FChunksInVolume = 0;
    if (!FVolumes.CreateFirst(archive, stream ? BackupStream : nullptr)) {
        SetError(errCannotWriteArchive);
    } else {
        FOut.Attach(FVolumes.Out());
        if (!FOut.String(BackupTitle) || !FOut.Int(TotalSize()) || !FOut.Int(FTotalFiles)) {
            SetError(errCannotWriteArchive);
        } else {
            for (std::size_t i = 0; i < sources.size() && FContinue; ++i) {
                std::error_code ec;
                if (!fs::exists(sources[i].RealPath, ec))
                    continue; // counted in the header, gone since
                BackupOneFile(sources[i], i + 1 < sources.size() ? sources[i + 1].ArchivedName.size() : 0);
            }
            if (FContinue) {
                if (FOut.Int(0))
                    written = true;
                else
                    SetError(errCannotWriteArchive);
            }
        }
        if (FVolumes.Out() && !FVolumes.FinishVolume()) {
            written = false;
            SetError(errCannotWriteArchive);
        }
        // Only a whole archive replaces the previous one; a failed or
        // cancelled run leaves it as it was (Close removes what was written).
        if (written && FContinue && FError == errNone && !FVolumes.Commit()) {
            written = false;
            SetError(errCannotWriteArchive);
        }
    }
    FVolumes.Close();
    FOut.Attach(nullptr);
    FPipeline.reset();

    if (!tempPath.empty())
        ::unlink(tempPath.c_str());
    const bool result = written && FContinue && FError == errNone;
    return EndRun(result);
}

// A chunk never starts at or beyond MaxSize - VolumeReserve. The mark
// leaves room for the chunk, its segment's end, and either a continuation
// record or the next entry's start (a name of up to 61 bytes) with what
// closes the volume after it; a longer next name moves the mark down by the
// difference, unless that would leave no room for any chunk. Only when
// MaxSize leaves no room for even one chunk after a volume's segment
// signature does each volume take one chunk anyway (one in all, whichever
// file it belongs to), so that the backup still comes to an end.
bool TBackupFile::ChunkMayStart(int chunksInVolume, std::size_t nextNameLength) const
{
    if (MaxSize == 0 || FVolumes.IsStream())
        return true;
    constexpr auto signature = static_cast<std::int64_t>(sizeof ArchiveFormat::Signature);
    // After a chunk (4 + ChunkSize) and its segment's 0: the next entry's
    // name (4 + length), stamp, signature and 0, and the continuation record.
    const std::int64_t afterChunk = 4 + ChunkSize + 4 + 4 + static_cast<std::int64_t>(nextNameLength) + 4 + 4 + 4 + 16;
    const std::int64_t reserve = std::max<std::int64_t>(VolumeReserve, afterChunk - 1);
    std::int64_t limit = static_cast<std::int64_t>(MaxSize) - reserve;
    if (limit <= signature)
        limit = static_cast<std::int64_t>(MaxSize) - VolumeReserve;
    if (FOut.Position() < limit)
        return true;
    const bool tooSmallForAnyChunk = limit <= signature;
    return tooSmallForAnyChunk && chunksInVolume == 0;
}

// Closes the full volume with a continuation record, flushes it onto its
// medium, asks for the next disk and opens the next volume.
bool TBackupFile::NextVolume()
{
    const int next = FVolumes.Number() + 1;
    if (next > ArchiveFormat::MaxVolume) {
        SetError(errCannotWriteArchive);
        return false;
    }
    if (!FOut.String(ArchiveFormat::ContinuationName(next)) || !FVolumes.FinishVolume()) {
        SetError(errCannotWriteArchive);
        return false;
    }
    // Someone is asked for the next disk: the medium in the drive may be
    // taken out, so its volume takes its name now. Unasked, every volume
    // stays where it is written and waits for the end of the backup.
    if (FVolumes.CanAsk() && !FVolumes.Commit()) {
        SetError(errCannotWriteArchive);
        return false;
    }
    if (!FVolumes.AskForDisk(next)) {
        FContinue = false;
        return false;
    }
    if (!FVolumes.CreateNext()) {
        SetError(errCannotWriteArchive);
        return false;
    }
    FOut.Attach(FVolumes.Out());
    return true;
}

void TBackupFile::BackupOneFile(const ArchiveSource& src, std::size_t nextNameLength)
{
    if (!FOut.String(src.IsFileList ? std::string(FileListName) : src.ArchivedName)) {
        SetError(errCannotWriteArchive);
        return;
    }
    const int fd = ::open(src.RealPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        SetError(errCannotReadFile);
        return;
    }
    struct FdCloser {
        int fd;
        ~FdCloser() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        SetError(errCannotReadFile);
        return;
    }
    if (!FOut.Int(DosTime::FromTime(st.st_mtime))) {
        SetError(errCannotWriteArchive);
        return;
    }
    ChunkPipeline& pipe = *FPipeline;
    // A chunk still in flight when this ends early belongs to nobody.
    const ChunkPipeline::ReleaseOnExit release{pipe};
    // Reads ahead while there is room: the workers pack what the writer has
    // not reached yet. A piece that cannot be read goes in as news, in its
    // place, and reading stops there.
    bool readAll = false;
    const auto readAhead = [&] {
        while (!readAll && !pipe.Full()) {
            ArchiveChunk& chunk = pipe.Next();
            std::size_t have = 0;
            const bool read = ReadFull(fd, chunk.Plain, ChunkSize, have);
            if (read && have == 0) {
                readAll = true;
                break;
            }
            chunk.PlainSize = have;
            chunk.NeedsWork = read;
            chunk.Outcome = read ? chunkOk : chunkUnreadable;
            readAll = !read;
            pipe.Submit();
        }
    };
    if (!FOut.Signature()) {
        SetError(errCannotWriteArchive);
        return;
    }
    for (;;) {
        readAhead();
        if (pipe.Empty() || !FContinue)
            break;
        ArchiveChunk& chunk = pipe.Oldest();
        if (chunk.Outcome == chunkUnreadable) {
            SetError(errCannotReadFile);
            return;
        }
        if (!ChunkMayStart(FChunksInVolume, nextNameLength)) {
            if (!FOut.Int(0)) {
                SetError(errCannotWriteArchive);
                return;
            }
            if (!NextVolume())
                return;
            if (!FOut.Signature()) {
                SetError(errCannotWriteArchive);
                return;
            }
            FChunksInVolume = 0;
        }
        if (chunk.Outcome == chunkPackFailed) {
            SetError(errCompression);
            return;
        }
        if (!FOut.Chunk(chunk)) {
            SetError(errCannotWriteArchive);
            return;
        }
        ++FChunksInVolume;
        FProcessedSize += static_cast<std::int64_t>(chunk.PlainSize);
        pipe.Release();
        Pump();
        Progress(src.RealPath, FProcessedSize);
    }
    if (!FContinue)
        return;
    if (!FOut.Int(0)) {
        SetError(errCannotWriteArchive);
        return;
    }
    if (!src.IsFileList)
        ++FProcessedFiles;
}
