// Restores arbitrary bytes as an archive read from a caller's stream into a
// scratch folder. Nothing may crash, nothing may land outside the folder.
#include "backup/TBackupFile.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

const fs::path& Scratch()
{
    static const fs::path dir = [] {
        fs::path d = fs::temp_directory_path() / ("qvfuzz-backup-" + std::to_string(::getpid()));
        fs::remove_all(d);
        fs::create_directories(d / "dest");
        return d;
    }();
    return dir;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const fs::path& root = Scratch();
    const fs::path dest = root / "dest";
    // The first byte picks the settings; the rest is the archive.
    const std::uint8_t mode = data[0];
    std::istringstream in(std::string(reinterpret_cast<const char*>(data) + 1, size - 1));

    TBackupFile b;
    b.RestoreFullPath = (mode & 1) != 0;
    b.RestoreMode = static_cast<TRestoreMode>((mode >> 1) % 5);
    b.RestoreStream = &in;
    try {
        b.Restore(TBackupFile::StreamName, dest.string());
    } catch (const EBackupFileError&) {
    }
    if (b.Busy())
        std::abort();

    // Examining the same bytes must agree with itself as well.
    in.clear();
    in.seekg(0);
    std::vector<TArchiveEntryInfo> entries;
    try {
        b.Examine(TBackupFile::StreamName, entries);
    } catch (const EBackupFileError&) {
    }

    for (const auto& e : fs::directory_iterator(root))
        if (e.path() != dest)
            std::abort(); // something escaped the destination
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dest, ec))
        fs::remove_all(e.path(), ec);
    return 0;
}
