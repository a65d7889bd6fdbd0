#include "backup/RestoreSafety.h"

#include "backup/SourceCollector.h"
#include "backup/TBackupFile.h"
#include "base/EntityNaming.h"
#include "base/SafeReplace.h"
#include "base/Texts.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iterator>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace RestoreSafety {

namespace {

constexpr const char* ArchivePrefix = "dados-antes-da-restauracao-";
constexpr const char* ArchiveExtension = ".bkp";

std::string Counted(int N, const char* One, const char* Many)
{
    return std::to_string(N) + (N == 1 ? One : Many);
}

bool IsUpperCase(const std::string& Name)
{
    return std::none_of(Name.begin(), Name.end(), [](char c) { return c >= 'a' && c <= 'z'; });
}

// A new, empty file only the user may read; false when the name is taken.
bool CreatePrivate(const std::string& Path)
{
    const int fd = ::open(Path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

bool Flush(const std::string& Path)
{
    const int fd = ::open(Path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

} // namespace

std::string Question(int Entities, int Certificates)
{
    return std::string(Texts::BkRestoreQuestion1) + Counted(Entities, Texts::BkRestoreEntity, Texts::BkRestoreEntities)
           + Texts::BkRestoreAnd + Counted(Certificates, Texts::BkRestoreCertificate, Texts::BkRestoreCertificates)
           + Texts::BkRestoreQuestion2;
}

std::vector<std::string> DataFiles(const std::string& DataDir)
{
    std::vector<std::pair<std::int32_t, std::string>> storages;
    bool registry = false;
    for (const std::string& name : SourceCollector::SortedNames(DataDir)) {
        struct stat st {};
        if (::lstat((DataDir + name).c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        if (name == EntityNaming::RegistryFileName)
            registry = true;
        else if (const std::int32_t n = EntityNaming::StorageFileNumber(name); n > 0 && IsUpperCase(name))
            storages.emplace_back(n, name);
    }
    std::sort(storages.begin(), storages.end());
    std::vector<std::string> files;
    if (registry)
        files.push_back(DataDir + EntityNaming::RegistryFileName);
    for (const auto& [n, name] : storages)
        files.push_back(DataDir + name);
    return files;
}

std::string KeepCurrentData(const std::string& DataDir, std::time_t Now)
{
    const std::vector<std::string> files = DataFiles(DataDir);
    if (files.empty())
        return {};
    std::tm local{};
    char stamp[32] = "";
    if (!::localtime_r(&Now, &local) || !std::strftime(stamp, sizeof stamp, "%Y-%m-%d-%H%M%S", &local))
        return {};
    std::string archive;
    for (int attempt = 1; attempt <= 100 && archive.empty(); ++attempt) {
        const std::string name = std::string(ArchivePrefix) + stamp
                                 + (attempt == 1 ? std::string() : "-" + std::to_string(attempt)) + ArchiveExtension;
        // Made here, empty and private, so that the archive is never
        // readable by others, not even while it is being written.
        if (CreatePrivate(DataDir + name))
            archive = DataDir + name;
        else if (errno != EEXIST)
            return {};
    }
    if (archive.empty())
        return {};
    TBackupFile writer;
    writer.SetBackupMode(bmAll);
    writer.CompressionLevel = clFastest;
    writer.SaveFileID = true;
    bool ok = false;
    try {
        ok = writer.Backup(files, archive) && writer.ProcessedFiles() == static_cast<std::int32_t>(files.size());
    } catch (const std::exception&) {
        ok = false;
    }
    // Kept only once it is on the disk: the restore replaces the data next.
    // Private already: the archive takes the mode of the file made above.
    ok = ok && Flush(archive) && SafeReplace::SyncFolder(DataDir) == 0;
    if (!ok) {
        ::unlink(archive.c_str());
        return {};
    }
    return archive;
}

bool LeaveNotice(const std::string& DataDir, const std::string& Archive)
{
    SafeReplace::Writer notice;
    const std::string line = Archive + "\n";
    return notice.Begin(DataDir + NoticeFileName) == 0 && notice.Write(line.data(), line.size()) == 0
           && notice.Commit() == 0;
}

std::string TakeNotice(const std::string& DataDir)
{
    const std::string path = DataDir + NoticeFileName;
    std::string line;
    {
        std::ifstream in(path, std::ios::binary);
        if (!in)
            return {};
        // A path, never more: whatever else stands there is not ours.
        char text[4096];
        in.read(text, sizeof text);
        line.assign(text, static_cast<std::size_t>(in.gcount()));
    }
    ::unlink(path.c_str());
    const auto end = line.find('\n');
    if (end == std::string::npos)
        return {};
    line.resize(end);
    // Only an archive this client wrote in this folder, that is still there.
    const std::string name = line.compare(0, DataDir.size(), DataDir) == 0 ? line.substr(DataDir.size()) : "";
    struct stat st {};
    if (name.rfind(ArchivePrefix, 0) != 0 || name.find('/') != std::string::npos || ::lstat(line.c_str(), &st) != 0
        || !S_ISREG(st.st_mode))
        return {};
    return line;
}

} // namespace RestoreSafety
