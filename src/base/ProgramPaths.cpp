#include "base/ProgramPaths.h"

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string Environment(const char* Name)
{
    const char* value = std::getenv(Name);
    return value ? std::string(value) : std::string();
}

// Makes each missing folder of Path, owner-only: the data are the user's own.
void MakeFolders(const std::string& Path)
{
    for (std::size_t slash = Path.find('/', 1); slash != std::string::npos; slash = Path.find('/', slash + 1))
        ::mkdir(Path.substr(0, slash).c_str(), 0700);
    ::mkdir(Path.c_str(), 0700);
}

} // namespace

ProgramPaths::ProgramPaths(std::string DataFolder, std::string ProgramFolder, std::string DriveAFolder)
    : DataDir_(WithSlash(std::move(DataFolder))), ProgramDir_(WithSlash(std::move(ProgramFolder))),
      DriveAOverride_(WithSlash(std::move(DriveAFolder)))
{
}

std::string ProgramPaths::WithSlash(std::string Folder)
{
    if (!Folder.empty() && Folder.back() != '/')
        Folder += '/';
    return Folder;
}

std::string ProgramPaths::ExecutableFolder()
{
    std::string path(4096, '\0');
    const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= path.size())
        return "./";
    path.resize(static_cast<std::size_t>(length));
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

ProgramPaths ProgramPaths::ForExecutableFolder(const std::string& ExecutableFolder)
{
    const std::string programDir = WithSlash(ExecutableFolder);
    // The package marks its folder: the administrator who may write there
    // still keeps the data in their own data folder.
    const bool installed = ::access((programDir + InstalledMarker).c_str(), F_OK) == 0;
    if (!installed && ::access(programDir.c_str(), W_OK) == 0)
        return ProgramPaths(programDir, programDir);

    std::string base = Environment("XDG_DATA_HOME");
    if (base.empty() || base[0] != '/') {
        const std::string home = Environment("HOME");
        base = (home.empty() ? std::string("/tmp") : home) + "/.local/share";
    }
    const std::string dataDir = WithSlash(base) + "quorvex";
    MakeFolders(dataDir);
    return ProgramPaths(dataDir, programDir);
}

std::string ProgramPaths::DriveA() const
{
    if (!DriveAOverride_.empty())
        return DriveAOverride_;
    if (const std::string env = Environment("QUORVEX_DRIVE_A"); !env.empty())
        return WithSlash(env);
    if (!ChosenDriveA_.empty())
        return ChosenDriveA_;
    return DataDir_ + "A/";
}

void ProgramPaths::SetChosenDriveA(std::string Folder)
{
    ChosenDriveA_ = WithSlash(std::move(Folder));
}
