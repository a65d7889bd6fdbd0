// qvarchive: the backup archive from the command line.
//
//   qvarchive list    ARCHIVE
//   qvarchive verify  ARCHIVE
//   qvarchive create  [-l fastest|none|default|max] [-m MAXSIZE] [-t TITLE] [-i] ARCHIVE FILE...
//   qvarchive restore [-f] [-a] [-r all|nooverwrite|newer|existing|existingnewer] ARCHIVE FOLDER
//
// Exit status: 0 done, 1 failed (the reason on stderr), 2 wrong usage.
#include "backup/ArchiveFormat.h"
#include "backup/ClientArchivePolicy.h"
#include "backup/RestorePolicy.h"
#include "backup/TBackupFile.h"
#include "base/InstanceLock.h"
#include "base/ProgramPaths.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const char* Usage = "usage:\n"
                    "  qvarchive list    ARCHIVE\n"
                    "  qvarchive verify  ARCHIVE\n"
                    "  qvarchive create  [-l fastest|none|default|max] [-m MAXSIZE] [-t TITLE] [-i] ARCHIVE FILE...\n"
                    "  qvarchive restore [-f] [-a] [-r all|nooverwrite|newer|existing|existingnewer] ARCHIVE FOLDER\n"
                    "\n"
                    "create: FILE may hold wildcards and end in \" /s\" to search subfolders;\n"
                    "        -m splits the archive into volumes (ARCHIVE, .002, .003, ...) of at most MAXSIZE bytes;\n"
                    "        -i stores the list of file IDs as the first entry.\n"
                    "restore: -f keeps the archived folders below FOLDER instead of the bare file names;\n"
                    "         into a folder that holds the client, only its data files are restored\n"
                    "         unless -a (all) is given.\n";

bool Interactive()
{
    return ::isatty(STDIN_FILENO) && ::isatty(STDERR_FILENO);
}

std::string StampText(std::int32_t dos)
{
    const std::time_t t = static_cast<std::time_t>(TBackupFile::TimeFromDosDateTime(dos));
    std::tm lt{};
    char buf[32];
    if (t == -1 || !localtime_r(&t, &lt) || !std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &lt))
        return "(no valid date)    ";
    return buf;
}

// A progress line that rewrites itself, only when someone is watching.
class ProgressLine {
public:
    explicit ProgressLine(TBackupFile& b) : shown(::isatty(STDERR_FILENO))
    {
        if (!shown)
            return;
        b.OnProgress = [this](TBackupFile*, const std::string& name, TPercentage pct, bool&) {
            if (name.empty() && !dirty)
                return;
            std::string file = name;
            if (file.size() > 60)
                file = "..." + file.substr(file.size() - 57);
            std::fprintf(stderr, "\r\033[K%3u%% %s", static_cast<unsigned>(pct), file.c_str());
            std::fflush(stderr);
            dirty = true;
        };
    }
    void Done()
    {
        if (shown && dirty)
            std::fprintf(stderr, "\r\033[K");
        dirty = false;
    }
    ~ProgressLine() { Done(); }

private:
    bool shown;
    bool dirty = false;
};

void ReportErrors(TBackupFile& b)
{
    b.OnError = [](TBackupFile*, std::int32_t code, const std::string& text) {
        std::fprintf(stderr, "\nqvarchive: error %d: %s\n", code, text.c_str());
    };
}

// Reading: a volume is there or it is not; on a terminal the user may fetch it.
void VolumesFromDisk(TBackupFile& b, const std::string& archive)
{
    b.OnNeedDisk = [archive](TBackupFile*, std::uint16_t disk, bool& go) {
        const std::string path = TBackupFile::VolumeName(archive, disk);
        std::error_code ec;
        if (fs::exists(path, ec))
            return;
        if (Interactive()) {
            std::fprintf(stderr,
                         "\nVolume %u (%s) is missing. Put it there and press Enter, or type q to give up: ", disk,
                         path.c_str());
            std::string answer;
            if (std::getline(std::cin, answer) && answer != "q" && answer != "Q")
                return;
        } else {
            std::fprintf(stderr, "\nqvarchive: volume %u is missing: %s\n", disk, path.c_str());
        }
        go = false;
    };
}

int List(const std::string& archive, bool verify)
{
    std::error_code ec;
    if (!fs::exists(archive, ec)) {
        std::fprintf(stderr, "qvarchive: %s: no such archive\n", archive.c_str());
        return 1;
    }
    TBackupFile b;
    ReportErrors(b);
    VolumesFromDisk(b, archive);
    std::vector<TArchiveEntryInfo> entries;
    bool ok;
    {
        ProgressLine progress(b);
        try {
            ok = b.Examine(archive, entries);
        } catch (const std::exception& e) {
            progress.Done();
            std::fprintf(stderr, "qvarchive: %s: %s\n", archive.c_str(), e.what());
            return 1;
        }
    }
    int volumes = 1;
    for (const auto& e : entries)
        volumes = std::max(volumes, e.LastVolume);
    if (!verify) {
        for (const auto& e : entries)
            // Archived names are outside input: control bytes reach no terminal.
            std::printf("%s  %12lld  %s\n", StampText(e.TimeStamp).c_str(), static_cast<long long>(e.Size),
                        ArchiveFormat::PrintableName(e.Name).c_str());
    }
    if (!ok) {
        if (b.ErrorCode() != 0)
            std::fprintf(stderr, "qvarchive: %s is damaged or incomplete\n", archive.c_str());
        else
            std::fprintf(stderr, "qvarchive: %s: stopped before its end\n", archive.c_str());
        return 1;
    }
    if (verify)
        std::printf("%s: OK, %zu entries, %d volume%s, %lld bytes\n", archive.c_str(), entries.size(), volumes,
                    volumes == 1 ? "" : "s", static_cast<long long>(b.ProcessedSize()));
    return 0;
}

int Create(std::vector<std::string> args)
{
    TBackupFile b;
    ReportErrors(b);
    std::size_t i = 0;
    for (; i < args.size() && args[i].size() > 1 && args[i][0] == '-'; ++i) {
        const std::string& opt = args[i];
        auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size()) {
                std::fprintf(stderr, "qvarchive: %s needs a value\n", opt.c_str());
                std::exit(2);
            }
            return args[++i];
        };
        if (opt == "-l") {
            const std::string& v = value();
            if (v == "fastest")
                b.CompressionLevel = clFastest;
            else if (v == "none")
                b.CompressionLevel = clNone;
            else if (v == "default")
                b.CompressionLevel = clDefault;
            else if (v == "max")
                b.CompressionLevel = clMax;
            else {
                std::fprintf(stderr, "qvarchive: unknown level %s\n", v.c_str());
                return 2;
            }
        } else if (opt == "-m") {
            char* end = nullptr;
            const std::string& v = value();
            const long long m = std::strtoll(v.c_str(), &end, 10);
            if (*end || m < 0 || m > 0x7FFFFFFF) {
                std::fprintf(stderr, "qvarchive: bad size %s\n", v.c_str());
                return 2;
            }
            b.MaxSize = static_cast<std::int32_t>(m);
        } else if (opt == "-t") {
            b.BackupTitle = value();
        } else if (opt == "-i") {
            b.SaveFileID = true;
        } else {
            std::fprintf(stderr, "qvarchive: unknown option %s\n%s", opt.c_str(), Usage);
            return 2;
        }
    }
    if (args.size() - i < 2) {
        std::fputs(Usage, stderr);
        return 2;
    }
    const std::string archive = args[i++];
    const std::vector<std::string> files(args.begin() + static_cast<long>(i), args.end());
    // Writing: the next volume goes beside the first; on a terminal the user
    // may change the medium first.
    b.OnNeedDisk = [](TBackupFile*, std::uint16_t disk, bool& go) {
        if (!Interactive())
            return;
        std::fprintf(stderr, "\nPlease insert disk %u and press Enter, or type q to give up: ", disk);
        std::string answer;
        go = std::getline(std::cin, answer) && answer != "q" && answer != "Q";
    };
    bool ok;
    {
        ProgressLine progress(b);
        ok = b.Backup(files, archive);
    }
    if (!ok) {
        if (b.ErrorCode() == 0)
            std::fprintf(stderr, "qvarchive: stopped; %s is incomplete\n", archive.c_str());
        return 1;
    }
    std::printf("%s: %d file%s, %lld bytes\n", archive.c_str(), b.ProcessedFiles(), b.ProcessedFiles() == 1 ? "" : "s",
                static_cast<long long>(b.ProcessedSize()));
    // An archive of nothing is valid, but from the command line it is almost
    // always a mistyped pattern: say so in the exit code.
    if (b.ProcessedFiles() == 0) {
        std::fprintf(stderr, "qvarchive: no file matched; %s holds no files\n", archive.c_str());
        return 1;
    }
    return 0;
}

int Restore(std::vector<std::string> args)
{
    TBackupFile b;
    ReportErrors(b);
    std::size_t i = 0;
    bool everything = false;
    for (; i < args.size() && args[i].size() > 1 && args[i][0] == '-'; ++i) {
        const std::string& opt = args[i];
        if (opt == "-f") {
            b.RestoreFullPath = true;
        } else if (opt == "-a") {
            everything = true;
        } else if (opt == "-r" && i + 1 < args.size()) {
            const std::string& v = args[++i];
            if (v == "all")
                b.RestoreMode = rmAll;
            else if (v == "nooverwrite")
                b.RestoreMode = rmNoOverwrite;
            else if (v == "newer")
                b.RestoreMode = rmNewer;
            else if (v == "existing")
                b.RestoreMode = rmExisting;
            else if (v == "existingnewer")
                b.RestoreMode = rmExistingNewer;
            else {
                std::fprintf(stderr, "qvarchive: unknown restore mode %s\n", v.c_str());
                return 2;
            }
        } else {
            std::fprintf(stderr, "qvarchive: unknown option %s\n%s", opt.c_str(), Usage);
            return 2;
        }
    }
    if (args.size() - i != 2) {
        std::fputs(Usage, stderr);
        return 2;
    }
    const std::string archive = args[i], folder = args[i + 1];
    if (folder.empty()) {
        std::fprintf(stderr, "qvarchive: give a folder to restore into\n");
        return 2;
    }
    std::error_code ec;
    if (!fs::exists(archive, ec)) {
        std::fprintf(stderr, "qvarchive: %s: no such archive\n", archive.c_str());
        return 1;
    }
    // A client running on the folder writes what it holds in memory over
    // its data files when it ends, and meanwhile works on the old ones: the
    // folder is taken with the client's own lock for the whole restore, or
    // left as it is. Every folder a client has run on has the lock file; a
    // portable copy's folder is one too. Other folders get no lock file.
    const std::string destination = ProgramPaths::WithSlash(folder);
    InstanceLock lock;
    if ((fs::exists(destination + InstanceLock::FileName, ec) || RestorePolicy::HoldsProgram(destination))
        && lock.Acquire(destination) == InstanceLock::Result::HeldByOther) {
        std::fprintf(stderr,
                     "qvarchive: %s is in use by a running client; nothing was restored. Close the client and "
                     "restore again\n",
                     folder.c_str());
        return 1;
    }
    VolumesFromDisk(b, archive);
    b.OnUnsafeEntry = [](TBackupFile*, const std::string& name) {
        std::fprintf(stderr,
                     "\nqvarchive: skipped %s: it would land outside the folder, pass through a linked folder, "
                     "or its name holds control characters\n",
                     ArchiveFormat::PrintableName(name).c_str());
    };
    // A portable copy's folder is also its program's: as the client does, the
    // archive replaces only the data files there, unless asked for all.
    std::vector<std::string> skipped;
    if (!everything && RestorePolicy::HoldsProgram(destination)) {
        ClientArchivePolicy::RestoreOnlyDataFiles(b, destination, skipped);
    }
    bool ok;
    {
        ProgressLine progress(b);
        try {
            ok = b.Restore(archive, folder);
        } catch (const std::exception& e) {
            progress.Done();
            std::fprintf(stderr, "qvarchive: %s: %s\n", archive.c_str(), e.what());
            return 1;
        }
    }
    for (const std::string& name : skipped)
        std::fprintf(stderr,
                     "qvarchive: skipped %s: %s holds the client, so only data files are restored there (-a "
                     "restores every file)\n",
                     ArchiveFormat::PrintableName(name).c_str(), folder.c_str());
    if (!ok) {
        if (b.ErrorCode() == 0)
            std::fprintf(stderr, "qvarchive: stopped before the end of %s\n", archive.c_str());
        return 1;
    }
    std::printf("%d file%s restored into %s\n", b.ProcessedFiles(), b.ProcessedFiles() == 1 ? "" : "s", folder.c_str());
    return b.UnsafeEntries().empty() ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fputs(Usage, stderr);
        return 2;
    }
    const std::string cmd = argv[1];
    std::vector<std::string> args(argv + 2, argv + argc);
    if ((cmd == "list" || cmd == "verify") && args.size() == 1)
        return List(args[0], cmd == "verify");
    if (cmd == "create")
        return Create(args);
    if (cmd == "restore")
        return Restore(args);
    if (cmd == "-h" || cmd == "--help" || cmd == "help") {
        std::fputs(Usage, stdout);
        return 0;
    }
    std::fputs(Usage, stderr);
    return 2;
}
