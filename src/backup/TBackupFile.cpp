#include "backup/TBackupFile.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <istream>
#include <ostream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// Archived names longer than this are not names but damage; no real path
// comes near it, and it keeps a hostile length from allocating gigabytes.
constexpr std::int32_t MaxNameLength = 65536;
constexpr char Signature[4] = {'E', 'C', '2', '\0'};
constexpr const char* ContinuationPrefix = "NEXT:DISK";

std::string Lower(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

std::string Upper(std::string s)
{
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return s;
}

std::string Trim(const std::string& s)
{
    const auto first = s.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    const auto last = s.find_last_not_of(" \t\r\n");
    return s.substr(first, last - first + 1);
}

// Wildcards as the user writes them: '*' and '?', letters in any case, and
// "*.*" meaning every name (also those without a dot).
bool WildcardMatch(const std::string& pattern, const std::string& name)
{
    if (pattern == "*.*" || pattern == "*")
        return true;
    const std::string p = Lower(pattern), n = Lower(name);
    std::size_t pi = 0, ni = 0, star = std::string::npos, mark = 0;
    while (ni < n.size()) {
        if (pi < p.size() && (p[pi] == '?' || p[pi] == n[ni])) {
            ++pi;
            ++ni;
        } else if (pi < p.size() && p[pi] == '*') {
            star = pi++;
            mark = ni;
        } else if (star != std::string::npos) {
            pi = star + 1;
            ni = ++mark;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == '*')
        ++pi;
    return pi == p.size();
}

std::vector<std::string> SortedNames(const fs::path& dir)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

bool IsDataFileName(const std::string& lowerName)
{
    if (lowerName == "entity.dat")
        return true;
    const std::string head = "storage.", tail = ".dat";
    if (lowerName.size() <= head.size() + tail.size() || lowerName.compare(0, head.size(), head) != 0
        || lowerName.compare(lowerName.size() - tail.size(), tail.size(), tail) != 0)
        return false;
    const std::string digits = lowerName.substr(head.size(), lowerName.size() - head.size() - tail.size());
    return std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The entry of `dir` that `name` denotes. Archives hold lower-cased names and
// this file system tells case apart, so an existing file of any case is the
// one meant; a data file of the program that does not exist yet gets the
// program's own upper-case name instead of a lower-case twin.
std::string ResolveComponent(const std::string& dir, const std::string& name, bool last)
{
    std::error_code ec;
    if (fs::exists(fs::path(dir) / name, ec))
        return name;
    const std::string want = Lower(name);
    std::string found;
    for (const auto& candidate : SortedNames(dir)) {
        if (Lower(candidate) == want) {
            // Prefer the program's spelling when several differ only by case.
            if (found.empty() || candidate == Upper(candidate))
                found = candidate;
        }
    }
    if (!found.empty())
        return found;
    if (last && IsDataFileName(want))
        return Upper(name);
    return name;
}

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

// A file stream with a large buffer of its own: archives and restored files
// are written in big sequential pieces instead of one system call per chunk.
class BufferedFile : public std::fstream {
public:
    static constexpr std::size_t BufferSize = 1 << 18;
    BufferedFile(const std::string& path, std::ios::openmode mode) : buffer(new char[BufferSize])
    {
        rdbuf()->pubsetbuf(buffer.get(), BufferSize);
        open(path, mode);
    }
    // The buffer must outlive the final flush.
    ~BufferedFile() override { close(); }

private:
    std::unique_ptr<char[]> buffer;
};

// Forces a finished volume onto its medium before the user is asked to take
// the disk out, or before the backup is reported done. A volume that a
// subclass kept somewhere other than a file has nothing to sync.
bool SyncVolume(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return true;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

} // namespace

struct TBackupFile::ZState {
    z_stream Deflate{};
    z_stream Inflate{};
    bool DeflateReady = false;
    int DeflateLevel = 0;
    bool InflateReady = false;
    unsigned char In[ChunkSize];
    unsigned char Out[ChunkSize];

    ~ZState()
    {
        if (DeflateReady)
            deflateEnd(&Deflate);
        if (InflateReady)
            inflateEnd(&Inflate);
    }
};

struct TBackupFile::ReadState {
    std::istream* In = nullptr;
    std::unique_ptr<BufferedFile> Owned;
    std::string VolumePath;

    bool Open(const std::string& path)
    {
        Owned = std::make_unique<BufferedFile>(path, std::ios::in | std::ios::binary);
        if (!*Owned) {
            Owned.reset();
            In = nullptr;
            return false;
        }
        In = Owned.get();
        VolumePath = path;
        return true;
    }
    void Close()
    {
        Owned.reset();
        In = nullptr;
    }
    bool Read(void* buf, std::size_t n)
    {
        if (!In)
            return false;
        In->read(static_cast<char*>(buf), static_cast<std::streamsize>(n));
        return static_cast<std::size_t>(In->gcount()) == n;
    }
    bool ReadInt(std::int32_t& v)
    {
        unsigned char b[4];
        if (!Read(b, 4))
            return false;
        v = static_cast<std::int32_t>(static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8)
                                      | (static_cast<std::uint32_t>(b[2]) << 16)
                                      | (static_cast<std::uint32_t>(b[3]) << 24));
        return true;
    }
    bool Skip(std::int64_t n)
    {
        if (!In)
            return false;
        In->ignore(static_cast<std::streamsize>(n));
        return In->gcount() == n;
    }
};

TBackupFile::TBackupFile() : FZ(std::make_unique<ZState>()) {}

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

// ---- time stamps -----------------------------------------------------------

std::int32_t TBackupFile::DosDateTimeFromTime(std::int64_t unixSeconds)
{
    const std::time_t t = static_cast<std::time_t>(unixSeconds);
    std::tm lt{};
    if (!localtime_r(&t, &lt) || lt.tm_year < 80)
        return (1 << 21) | (1 << 16); // 1980-01-01 00:00, the earliest a stamp can say
    if (lt.tm_year > 207)
        return static_cast<std::int32_t>((127u << 25) | (12u << 21) | (31u << 16) | (23u << 11) | (59u << 5) | 29u);
    const std::uint32_t date = (static_cast<std::uint32_t>(lt.tm_year - 80) << 9)
                               | (static_cast<std::uint32_t>(lt.tm_mon + 1) << 5)
                               | static_cast<std::uint32_t>(lt.tm_mday);
    const std::uint32_t time = (static_cast<std::uint32_t>(lt.tm_hour) << 11)
                               | (static_cast<std::uint32_t>(lt.tm_min) << 5)
                               | static_cast<std::uint32_t>(lt.tm_sec / 2);
    return static_cast<std::int32_t>((date << 16) | time);
}

std::int64_t TBackupFile::TimeFromDosDateTime(std::int32_t dos)
{
    const auto u = static_cast<std::uint32_t>(dos);
    std::tm lt{};
    lt.tm_year = static_cast<int>((u >> 25) & 0x7F) + 80;
    lt.tm_mon = static_cast<int>((u >> 21) & 0x0F) - 1;
    lt.tm_mday = static_cast<int>((u >> 16) & 0x1F);
    lt.tm_hour = static_cast<int>((u >> 11) & 0x1F);
    lt.tm_min = static_cast<int>((u >> 5) & 0x3F);
    lt.tm_sec = static_cast<int>(u & 0x1F) * 2;
    lt.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&lt));
}

std::int32_t TBackupFile::FileDosDateTime(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    return DosDateTimeFromTime(st.st_mtime);
}

bool TBackupFile::SetFileDosDateTime(const std::string& path, std::int32_t dos)
{
    const std::int64_t t = TimeFromDosDateTime(dos);
    if (t == -1)
        return false;
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(t);
    times[1].tv_nsec = 0;
    return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

std::string TBackupFile::VolumeName(const std::string& archive, int volume)
{
    char ext[16];
    std::snprintf(ext, sizeof ext, ".%03d", volume);
    const auto slash = archive.find_last_of('/');
    const auto dot = archive.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return archive + ext;
    return archive.substr(0, dot) + ext;
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

bool TBackupFile::AskDisk(int volume)
{
    bool go = true;
    if (OnNeedDisk) {
        OnNeedDisk(this, static_cast<std::uint16_t>(volume), go);
        return go;
    }
    if (UiAskOkCancel) {
        std::string text = "Please insert disk %s and click OK to continue.";
        text.replace(text.find("%s"), 2, std::to_string(volume));
        return UiAskOkCancel(text);
    }
    return true;
}

// ---- writing ---------------------------------------------------------------

std::unique_ptr<std::ostream> TBackupFile::CreateVolume(const std::string& path)
{
    auto out = std::make_unique<BufferedFile>(path, std::ios::out | std::ios::binary | std::ios::trunc);
    if (!*out)
        return nullptr;
    return out;
}

bool TBackupFile::WriteBytes(const void* data, std::size_t size)
{
    if (!FOut)
        return false;
    FOut->write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!*FOut)
        return false;
    FVolumePos += static_cast<std::int64_t>(size);
    return true;
}

bool TBackupFile::WriteInt(std::int32_t value)
{
    const auto u = static_cast<std::uint32_t>(value);
    const unsigned char b[4] = {static_cast<unsigned char>(u), static_cast<unsigned char>(u >> 8),
                                static_cast<unsigned char>(u >> 16), static_cast<unsigned char>(u >> 24)};
    return WriteBytes(b, 4);
}

bool TBackupFile::WriteString(const std::string& s)
{
    return WriteInt(static_cast<std::int32_t>(s.size())) && WriteBytes(s.data(), s.size());
}

bool TBackupFile::CompressChunk(const unsigned char* in, std::size_t size)
{
    static constexpr int levels[] = {1, 0, Z_DEFAULT_COMPRESSION, 9};
    const int ordinal = static_cast<int>(CompressionLevel);
    if (ordinal < 0 || ordinal > 3) {
        SetError(errCompression);
        return false;
    }
    ZState& z = *FZ;
    const int level = levels[ordinal];
    // One deflate state reused with a reset per chunk: the same stream as a
    // fresh deflateInit2 with these parameters, without re-allocating.
    if (z.DeflateReady && z.DeflateLevel != level) {
        deflateEnd(&z.Deflate);
        z.DeflateReady = false;
    }
    if (!z.DeflateReady) {
        z.Deflate = z_stream{};
        if (deflateInit2(&z.Deflate, level, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
            SetError(errCompression);
            return false;
        }
        z.DeflateReady = true;
        z.DeflateLevel = level;
    } else if (deflateReset(&z.Deflate) != Z_OK) {
        SetError(errCompression);
        return false;
    }
    z.Deflate.next_in = const_cast<unsigned char*>(in);
    z.Deflate.avail_in = static_cast<uInt>(size);
    z.Deflate.next_out = z.Out;
    z.Deflate.avail_out = ChunkSize;
    const int r = deflate(&z.Deflate, Z_FINISH);
    bool ok;
    if (r == Z_STREAM_END) {
        const auto n = static_cast<std::int32_t>(z.Deflate.total_out);
        ok = WriteInt(n) && WriteBytes(z.Out, static_cast<std::size_t>(n));
    } else if (r == Z_OK) {
        // Did not fit in one chunk: compressing does not pay, store it raw.
        ok = WriteInt(-static_cast<std::int32_t>(size)) && WriteBytes(in, size);
    } else {
        SetError(errCompression);
        return false;
    }
    if (!ok)
        SetError(errCannotWriteArchive);
    return ok;
}

void TBackupFile::Collect(const std::string& item, std::vector<Source>& out, const std::string& archiveLower)
{
    std::string s = Trim(item);
    bool recurse = false;
    // The switch is a trailing " /s"; a path's own "/s..." (as in
    // "/data/storage.*.dat") is not one.
    if (s.size() >= 3 && Lower(s.substr(s.size() - 2)) == "/s" && (s[s.size() - 3] == ' ' || s[s.size() - 3] == '\t')) {
        recurse = true;
        s = Trim(s.substr(0, s.size() - 2));
    }
    if (s.empty())
        return;
    std::string folder, pattern;
    const auto slash = s.find_last_of('/');
    if (slash == std::string::npos) {
        folder = "./";
        pattern = s;
    } else {
        folder = s.substr(0, slash + 1);
        pattern = s.substr(slash + 1);
    }
    if (pattern.empty())
        return;
    std::error_code ec;
    std::string absFolder = fs::absolute(fs::path(folder), ec).lexically_normal().string();
    if (ec)
        return;
    if (absFolder.empty() || absFolder.back() != '/')
        absFolder += '/';

    const auto names = SortedNames(absFolder);
    if (recurse) {
        for (const auto& name : names) {
            if (name.empty() || name[0] == '.') // hidden folders are not searched
                continue;
            const fs::path p = fs::path(absFolder) / name;
            // Linked folders are left out so that a link loop cannot recurse forever.
            if (fs::is_symlink(fs::symlink_status(p, ec)) || !fs::is_directory(p, ec))
                continue;
            Collect(absFolder + name + "/" + pattern + " /s", out, archiveLower);
        }
    }
    for (const auto& name : names) {
        if (!WildcardMatch(pattern, name))
            continue;
        const std::string real = absFolder + name;
        if (!fs::is_regular_file(real, ec))
            continue;
        const std::string lower = Lower(real);
        if (lower == archiveLower)
            continue;
        // The archive reached by another name (a linked folder, a hard link)
        // is still the archive: reading it while it is being written would
        // never reach its end.
        struct stat st {};
        if (FArchiveKnown && ::stat(real.c_str(), &st) == 0 && static_cast<std::uint64_t>(st.st_dev) == FArchiveDev
            && static_cast<std::uint64_t>(st.st_ino) == FArchiveIno)
            continue;
        if (std::any_of(out.begin(), out.end(), [&](const Source& x) { return x.ArchivedName == lower; }))
            continue;
        // No archive attribute here: an incremental backup takes every file.
        out.push_back(Source{real, lower, false});
    }
}

bool TBackupFile::Backup(const std::vector<std::string>& files, const std::string& archive)
{
    FError = errNone;
    FBusy = true;
    const bool stream = archive == StreamName;
    std::string archiveLower;
    if (!stream) {
        std::error_code ec;
        archiveLower = Lower(fs::absolute(archive, ec).lexically_normal().string());
    }
    // An archive left from an earlier backup is rewritten in place, so its
    // identity on disk tells it apart from the sources whatever its name.
    FArchiveKnown = false;
    struct stat archiveStat {};
    if (!stream && ::stat(archive.c_str(), &archiveStat) == 0) {
        FArchiveKnown = true;
        FArchiveDev = static_cast<std::uint64_t>(archiveStat.st_dev);
        FArchiveIno = static_cast<std::uint64_t>(archiveStat.st_ino);
    }
    std::vector<Source> sources;
    for (const auto& item : files)
        Collect(item, sources, archiveLower);

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
                fileIds += src.ArchivedName + "\t" + std::to_string(DosDateTimeFromTime(st.st_mtime)) + "="
                           + std::to_string(static_cast<long long>(st.st_size)) + "\r\n";
        }
        ::close(fd);
    }
    FTotalFiles = static_cast<std::int32_t>(sources.size());

    std::string tempPath;
    if (SaveFileID) {
        std::error_code ec;
        std::string tmpl = (fs::temp_directory_path(ec) / "FIDXXXXXX").string();
        const int fd = ec ? -1 : ::mkstemp(tmpl.data());
        bool ok = fd >= 0;
        if (ok) {
            tempPath = tmpl;
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
        if (ok) {
            sources.insert(sources.begin(), Source{tempPath, FileListName, true});
            FTotalSize += static_cast<std::int64_t>(fileIds.size());
        } else {
            SetError(errTempFileIDs);
        }
    }

    // The archive.
    FVolume = 1;
    FVolumePos = 0;
    FChunksInVolume = 0;
    FOut = nullptr;
    FOwnedOut.reset();
    if (stream) {
        FOut = BackupStream;
    } else {
        FOwnedOut = CreateVolume(archive);
        FOut = FOwnedOut.get();
    }
    bool written = false;
    if (!FOut || !WriteString(BackupTitle) || !WriteInt(static_cast<std::int32_t>(FTotalSize))
        || !WriteInt(FTotalFiles)) {
        SetError(errCannotWriteArchive);
    } else {
        for (const auto& src : sources) {
            if (!FContinue)
                break;
            std::error_code ec;
            if (!fs::exists(src.RealPath, ec))
                continue; // counted in the header, gone since
            BackupOneFile(src, archive);
        }
        if (FContinue) {
            if (WriteInt(0))
                written = true;
            else
                SetError(errCannotWriteArchive);
        }
    }
    // Buffered bytes can still fail on their way to the disk: the archive
    // counts as written only once they are out.
    if (FOut && !(FOut->flush())) {
        written = false;
        SetError(errCannotWriteArchive);
    }
    FOut = nullptr;
    if (FOwnedOut) {
        FOwnedOut.reset();
        if (written && !SyncVolume(FVolume == 1 ? archive : VolumeName(archive, FVolume))) {
            written = false;
            SetError(errCannotWriteArchive);
        }
    }

    if (!tempPath.empty())
        ::unlink(tempPath.c_str());
    const bool result = written && FContinue && FError == errNone;
    return EndRun(result);
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

void TBackupFile::BackupOneFile(const Source& src, const std::string& archive)
{
    const bool stream = archive == StreamName;
    if (!WriteString(src.IsFileList ? std::string(FileListName) : src.ArchivedName)) {
        SetError(errCannotWriteArchive);
        return;
    }
    const int fd = ::open(src.RealPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        SetError(errCannotReadFile);
        return;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        SetError(errCannotReadFile);
        return;
    }
    if (!WriteInt(DosDateTimeFromTime(st.st_mtime))) {
        ::close(fd);
        SetError(errCannotWriteArchive);
        return;
    }
    unsigned char* buf = FZ->In;
    std::size_t have = 0;
    bool readOk = ReadFull(fd, buf, ChunkSize, have);
    for (;;) {
        if (!readOk) {
            SetError(errCannotReadFile);
            break;
        }
        if (!WriteBytes(Signature, 4)) {
            SetError(errCannotWriteArchive);
            break;
        }
        while (have > 0 && FContinue) {
            // A volume takes no chunk that would start too close to its
            // limit, but always at least one, so that a tiny MaxSize still
            // makes progress instead of asking for disks forever.
            if (!stream && MaxSize != 0 && FChunksInVolume > 0
                && FVolumePos >= static_cast<std::int64_t>(MaxSize) - VolumeReserve)
                break;
            if (!CompressChunk(buf, have))
                break;
            ++FChunksInVolume;
            FProcessedSize += static_cast<std::int64_t>(have);
            Pump();
            Progress(src.RealPath, FProcessedSize);
            readOk = ReadFull(fd, buf, ChunkSize, have);
            if (!readOk) {
                SetError(errCannotReadFile);
                break;
            }
        }
        if (!FContinue)
            break;
        if (!WriteInt(0)) {
            SetError(errCannotWriteArchive);
            break;
        }
        if (have == 0) {
            if (!src.IsFileList)
                ++FProcessedFiles;
            break;
        }
        // This volume is full.
        ++FVolume;
        if (FVolume > 999) { // the continuation record holds three digits
            SetError(errCannotWriteArchive);
            break;
        }
        char next[24];
        std::snprintf(next, sizeof next, "%s%03d", ContinuationPrefix, FVolume);
        if (!WriteString(next) || !FOut->flush()) {
            SetError(errCannotWriteArchive);
            break;
        }
        FOut = nullptr;
        FOwnedOut.reset();
        if (!SyncVolume(FVolume - 1 == 1 ? archive : VolumeName(archive, FVolume - 1))) {
            SetError(errCannotWriteArchive);
            break;
        }
        if (!AskDisk(FVolume)) {
            FContinue = false;
            break;
        }
        FOwnedOut = CreateVolume(VolumeName(archive, FVolume));
        FOut = FOwnedOut.get();
        FVolumePos = 0;
        FChunksInVolume = 0;
        if (!FOut) {
            SetError(errCannotWriteArchive);
            break;
        }
    }
    ::close(fd);
}

// ---- reading ---------------------------------------------------------------

std::string TBackupFile::TargetFor(const std::string& name, const std::string& destination, bool& safe) const
{
    safe = false;
    std::vector<std::string> parts;
    std::string base;
    auto split = [&parts](const std::string& path) {
        std::string part;
        for (char c : path) {
            if (c == '/' || c == '\\') {
                if (!part.empty())
                    parts.push_back(part);
                part.clear();
            } else {
                part += c;
            }
        }
        if (!part.empty())
            parts.push_back(part);
    };
    if (destination.empty()) {
        // Back where it came from: only an absolute path of this system.
        if (name.empty() || name[0] != '/' || name.find('\\') != std::string::npos)
            return {};
        split(name);
        base = "/";
    } else if (RestoreFullPath) {
        // Below the destination with the archived path less its drive:
        // "c:\dir\x" or "/dir/x" both become "dir/x".
        std::string rel = name;
        if (rel.size() >= 2 && rel[1] == ':' && std::isalpha(static_cast<unsigned char>(rel[0])))
            rel = rel.substr(2);
        split(rel);
        base = destination;
    } else {
        const auto cut = name.find_last_of("/\\:");
        parts.push_back(cut == std::string::npos ? name : name.substr(cut + 1));
        base = destination;
    }
    if (parts.empty())
        return {};
    std::string target = base;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const std::string& p = parts[i];
        if (p.empty() || p == "." || p == ".." || p.find('\0') != std::string::npos)
            return {};
        const std::string dir = target.empty() ? "." : target;
        target += ResolveComponent(dir, p, i + 1 == parts.size());
        if (i + 1 < parts.size())
            target += '/';
    }
    safe = true;
    return target;
}

TBackupFile::SegmentResult TBackupFile::ReadSegment(ReadState& rs, std::ostream* target, bool extract,
                                                    const std::string& shownName, std::int64_t* size)
{
    char sig[4];
    if (!rs.Read(sig, 4)) {
        SetError(errCannotReadFile);
        return SegmentResult::Damaged;
    }
    if (std::memcmp(sig, Signature, 4) != 0) {
        if (extract) {
            SetError(errCannotReadFile);
            return SegmentResult::Damaged;
        }
        throw EBackupFileError(ErrorText(errInvalidArchiveType));
    }
    ZState& z = *FZ;
    while (FContinue) {
        std::int32_t n = 0;
        if (!rs.ReadInt(n)) {
            SetError(errCannotReadFile);
            return SegmentResult::Damaged;
        }
        if (n == 0)
            break;
        // 64-bit: the magnitude of INT32_MIN does not fit in 32 bits.
        const std::int64_t m = n < 0 ? -static_cast<std::int64_t>(n) : n;
        if (m > ChunkSize) {
            // The writer never makes a longer chunk: this is damage, and our
            // buffers hold one chunk only.
            SetError(errCannotReadFile);
            return SegmentResult::Damaged;
        }
        if (!extract) {
            if (!rs.Skip(m)) {
                SetError(errCannotReadFile);
                return SegmentResult::Damaged;
            }
            Pump();
            continue;
        }
        if (!rs.Read(z.In, static_cast<std::size_t>(m))) {
            SetError(errCannotReadFile);
            return SegmentResult::Damaged;
        }
        const unsigned char* data = z.In;
        std::size_t produced = static_cast<std::size_t>(m);
        if (n > 0) {
            int r;
            if (!z.InflateReady) {
                z.Inflate = z_stream{};
                r = inflateInit(&z.Inflate);
                z.InflateReady = r == Z_OK;
            } else {
                r = inflateReset(&z.Inflate);
            }
            if (r != Z_OK) {
                SetError(errCompression);
                return SegmentResult::Damaged;
            }
            z.Inflate.next_in = z.In;
            z.Inflate.avail_in = static_cast<uInt>(m);
            z.Inflate.next_out = z.Out;
            z.Inflate.avail_out = ChunkSize;
            r = inflate(&z.Inflate, Z_NO_FLUSH);
            if (r != Z_STREAM_END) {
                // Output full before the stream ended: more than one chunk's
                // worth, which no writer makes. Anything else is a bad stream.
                SetError(z.Inflate.avail_out == 0 && r == Z_OK ? errCannotReadFile : errCompression);
                return SegmentResult::Damaged;
            }
            data = z.Out;
            produced = ChunkSize - z.Inflate.avail_out;
        }
        if (target) {
            target->write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(produced));
            if (!*target) {
                SetError(errCannotReadFile);
                return SegmentResult::Damaged;
            }
        }
        if (size)
            *size += static_cast<std::int64_t>(produced);
        FProcessedSize += static_cast<std::int64_t>(produced);
        Pump();
        Progress(shownName, FProcessedSize);
    }
    return SegmentResult::Ok;
}

bool TBackupFile::Restore(const std::string& archive, const std::string& destination)
{
    return RunReader(archive, destination, false, nullptr);
}

bool TBackupFile::Examine(const std::string& archive, std::vector<TArchiveEntryInfo>& entries)
{
    entries.clear();
    return RunReader(archive, "", true, &entries);
}

bool TBackupFile::RunReader(const std::string& archive, const std::string& destination, bool examineOnly,
                            std::vector<TArchiveEntryInfo>* entries)
{
    std::string dest = destination;
    if (!dest.empty() && dest.back() != '/')
        dest += '/';
    FError = errNone;
    FProcessedFiles = 0;
    FContinue = true;
    FUnsafeEntries.clear();
    FTerminatorFound = false;
    FMissingVolume = 0;
    const bool stream = archive == StreamName;
    ReadState rs;
    if (stream) {
        if (!RestoreStream)
            return false;
        rs.In = RestoreStream;
    } else {
        std::error_code ec;
        if (!fs::is_regular_file(archive, ec))
            return false;
        if (!rs.Open(archive))
            throw EBackupFileError(ErrorText(errCannotReadArchive));
    }
    FBusy = true;
    // Whatever way this ends (an exception included), the component is no
    // longer busy and the archive file is closed; a caller's stream stays open.
    struct BusyGuard {
        TBackupFile* self;
        ReadState* rs;
        ~BusyGuard()
        {
            self->FBusy = false;
            rs->Close();
        }
    } guard{this, &rs};

    {
        std::int32_t titleLen = 0, total = 0, files = 0;
        if (!rs.ReadInt(titleLen) || titleLen < 0 || !rs.Skip(titleLen) || !rs.ReadInt(total) || !rs.ReadInt(files))
            throw EBackupFileError(ErrorText(errCannotReadArchive));
        FTotalSize = total;
        FTotalFiles = files;
    }
    FProcessedSize = 0;

    bool haveEntry = false;
    bool restoring = false;
    std::string target;
    std::int32_t stamp = 0;
    int volume = 1;

    // A file is restored into a hidden file beside its target and renamed
    // over it only once all of its data (every volume) is in. A damaged or
    // interrupted archive then leaves the file as it was instead of cut
    // short: the registry and storage files are whole either way.
    std::string pending;
    auto discardPending = [&] {
        if (!pending.empty())
            ::unlink(pending.c_str());
        pending.clear();
        restoring = false;
    };
    auto commitPending = [&] {
        if (pending.empty())
            return;
        // The replaced file keeps its permissions.
        std::error_code ec;
        const auto st = fs::status(target, ec);
        if (!ec && fs::is_regular_file(st))
            fs::permissions(pending, st.permissions(), ec);
        if (std::rename(pending.c_str(), target.c_str()) != 0) {
            SetError(errCannotReadFile);
            discardPending();
            return;
        }
        pending.clear();
        ++FProcessedFiles;
    };
    struct PendingGuard {
        std::function<void()> discard;
        ~PendingGuard() { discard(); }
    } pendingGuard{discardPending};

    auto extractInto = [&](std::ios::openmode mode) {
        BufferedFile out(pending, std::ios::out | std::ios::binary | mode);
        if (!out) {
            SetError(errCannotReadFile);
            return false;
        }
        const bool ok = ReadSegment(rs, &out, true, target, nullptr) == SegmentResult::Ok;
        if (OnFileRestored)
            OnFileRestored(this, target, out);
        out.flush();
        if (!out)
            SetError(errCannotReadFile);
        out.close();
        // The archived stamp, set once the last byte is out; a rename keeps it.
        SetFileDosDateTime(pending, stamp);
        return ok && FError == errNone;
    };

    while (FContinue) {
        std::int32_t len = 0;
        if (!rs.ReadInt(len)) {
            // Ended without its final 0: an interrupted or truncated archive.
            SetError(errCannotReadFile);
            break;
        }
        if (len == 0) {
            FTerminatorFound = true;
            commitPending();
            break;
        }
        if (len < 0 || len > MaxNameLength) {
            SetError(errCannotReadFile);
            break;
        }
        std::string name(static_cast<std::size_t>(len), '\0');
        if (!rs.Read(name.data(), name.size())) {
            SetError(errCannotReadFile);
            break;
        }
        if (name.compare(0, 9, ContinuationPrefix) == 0) {
            int next = 0;
            const std::string digits = name.substr(9);
            if (digits.size() != 3 || !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })
                || (next = std::stoi(digits)) < 2 || stream) {
                SetError(errCannotReadFile);
                break;
            }
            const std::string current = rs.VolumePath;
            rs.Close();
            std::string path;
            for (;;) {
                if (!AskDisk(next)) {
                    FContinue = false;
                    break;
                }
                path = VolumeName(current, next);
                std::error_code ec;
                if (fs::is_regular_file(path, ec))
                    break;
                if (!OnNeedDisk && !UiAskOkCancel) {
                    // Nobody to insert a disk: asking again would never end.
                    FMissingVolume = next;
                    FContinue = false;
                    break;
                }
            }
            if (!FContinue)
                break;
            if (!rs.Open(path)) {
                SetError(errCannotReadFile);
                break;
            }
            volume = next;
            if (examineOnly && haveEntry && entries && !entries->empty()) {
                auto& e = entries->back();
                e.LastVolume = volume;
                if (ReadSegment(rs, nullptr, true, e.Name, &e.Size) != SegmentResult::Ok)
                    break;
            } else if (restoring) {
                if (!extractInto(std::ios::app))
                    break;
            } else {
                if (ReadSegment(rs, nullptr, false, "", nullptr) != SegmentResult::Ok)
                    break;
            }
            continue;
        }

        // The previous file had all of its data: it replaces its target now.
        commitPending();
        if (!FContinue)
            break;
        if (!rs.ReadInt(stamp)) {
            SetError(errCannotReadFile);
            break;
        }
        haveEntry = true;
        restoring = false;
        if (examineOnly) {
            entries->push_back(TArchiveEntryInfo{name, stamp, 0, volume, volume});
            auto& e = entries->back();
            if (ReadSegment(rs, nullptr, true, e.Name, &e.Size) != SegmentResult::Ok)
                break;
            if (name != FileListName)
                ++FProcessedFiles;
            continue;
        }
        if (name == FileListName) {
            ReadSegment(rs, nullptr, false, "", nullptr);
            continue;
        }
        bool safe = false;
        target = TargetFor(name, dest, safe);
        if (!safe) {
            // Would land outside the destination (or nowhere): never written.
            FUnsafeEntries.push_back(name);
            if (OnUnsafeEntry)
                OnUnsafeEntry(this, name);
            ReadSegment(rs, nullptr, false, "", nullptr);
            continue;
        }
        const std::int32_t current = FileDosDateTime(target);
        const bool exists = current != -1;
        bool doRestore = false;
        switch (RestoreMode) {
        case rmAll: doRestore = true; break;
        case rmNoOverwrite: doRestore = !exists; break;
        case rmNewer: doRestore = !exists || stamp > current; break;
        case rmExisting: doRestore = exists; break;
        case rmExistingNewer: doRestore = exists && stamp > current; break;
        }
        if (OnRestoreFile)
            OnRestoreFile(this, target, stamp, doRestore);
        if (doRestore) {
            std::error_code ec;
            const fs::path parent = fs::path(target).parent_path();
            if (!parent.empty())
                fs::create_directories(parent, ec);
            if (!parent.empty() && !fs::is_directory(parent, ec))
                doRestore = false;
        }
        if (!doRestore) {
            ReadSegment(rs, nullptr, false, "", nullptr);
            continue;
        }
        restoring = true;
        {
            const fs::path t(target);
            pending = (t.parent_path() / ("." + t.filename().string() + ".restoring")).string();
        }
        if (!extractInto(std::ios::trunc))
            break;
    }
    if (FError != errNone || !FContinue)
        discardPending();

    rs.Close();
    const bool result = FError == errNone && FContinue;
    return EndRun(result);
}
