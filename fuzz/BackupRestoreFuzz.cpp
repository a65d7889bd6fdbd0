// Restores arbitrary bytes as an archive into a scratch folder. Nothing may
// crash, nothing may land outside the folder, and no restore may write more
// than the archive's chunks can hold.
//
// Input: one byte of settings, then the archive. Without a separator the
// archive is read from a caller's stream; with "#VOLUME#" between them the
// pieces are the volumes of a set (copia.bkp, copia.002, ...), read from
// files, so that continuation records are followed for real.
#include "backup/TBackupFile.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <string.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr char Separator[] = "#VOLUME#";
constexpr std::size_t MaxVolumes = 8;

const fs::path& Scratch()
{
    static const fs::path dir = [] {
        fs::path d = fs::temp_directory_path() / ("qvfuzz-backup-" + std::to_string(::getpid()));
        fs::remove_all(d);
        fs::create_directories(d / "dest");
        fs::create_directories(d / "set");
        return d;
    }();
    return dir;
}

std::vector<std::string> SplitVolumes(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::string> volumes;
    const char* at = reinterpret_cast<const char*>(data);
    const char* end = at + size;
    while (volumes.size() + 1 < MaxVolumes) {
        const void* hit = ::memmem(at, static_cast<std::size_t>(end - at), Separator, sizeof Separator - 1);
        if (!hit)
            break;
        const char* cut = static_cast<const char*>(hit);
        volumes.emplace_back(at, cut);
        at = cut + sizeof Separator - 1;
    }
    volumes.emplace_back(at, end);
    return volumes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const fs::path& root = Scratch();
    const fs::path dest = root / "dest";
    const fs::path set = root / "set";
    // The first byte picks the settings; the rest is the archive.
    const std::uint8_t mode = data[0];
    const std::vector<std::string> volumes = SplitVolumes(data + 1, size - 1);

    // Every chunk takes at least five bytes of the archive (its length and
    // one byte) and gives at most 16384: a restore that writes more than
    // that read something twice.
    const std::int64_t bound = static_cast<std::int64_t>(size) / 5 * TBackupFile::ChunkSize + TBackupFile::ChunkSize;

    std::istringstream in(volumes[0]);
    std::string archive = TBackupFile::StreamName;
    if (volumes.size() > 1) {
        archive = (set / "copia.bkp").string();
        for (std::size_t i = 0; i < volumes.size(); ++i)
            std::ofstream(i == 0 ? archive : TBackupFile::VolumeName(archive, static_cast<int>(i + 1)),
                          std::ios::binary | std::ios::trunc)
                << volumes[i];
    }

    TBackupFile b;
    b.RestoreFullPath = (mode & 1) != 0;
    b.RestoreMode = static_cast<TRestoreMode>((mode >> 1) % 5);
    // The client's restore: all or nothing.
    b.RestoreAllOrNothing = (mode & 0x80) != 0;
    b.RestoreStream = &in;
    b.OnProgress = [bound](TBackupFile* sender, const std::string&, TPercentage, bool&) {
        if (sender->ProcessedSize() > bound)
            std::abort(); // endless or duplicated reading
    };
    // The next volume is there or it is not; asking twice changes nothing.
    b.OnNeedDisk = [&archive](TBackupFile*, std::uint16_t disk, bool& go) {
        std::error_code ec;
        go = fs::exists(TBackupFile::VolumeName(archive, disk), ec);
    };
    bool restored = false;
    try {
        restored = b.Restore(archive, dest.string());
    } catch (const EBackupFileError&) {
    }
    if (b.Busy())
        std::abort();
    // A restore of all or nothing that failed put no file in place (the
    // folders of a full-path restore are made as it reads).
    if (b.RestoreAllOrNothing && !restored) {
        std::error_code ec;
        for (const auto& e : fs::recursive_directory_iterator(dest, ec))
            if (!e.is_directory())
                std::abort();
    }

    // Examining the same bytes must come to an end as well.
    in.clear();
    in.seekg(0);
    std::vector<TArchiveEntryInfo> entries;
    try {
        b.Examine(archive, entries);
    } catch (const EBackupFileError&) {
    }

    for (const auto& e : fs::directory_iterator(root))
        if (e.path() != dest && e.path() != set)
            std::abort(); // something escaped the destination
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dest, ec))
        fs::remove_all(e.path(), ec);
    for (const auto& e : fs::directory_iterator(set, ec))
        fs::remove(e.path(), ec);
    return 0;
}
