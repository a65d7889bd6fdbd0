#include "base/DriveAGuard.h"

#include "base/ProgramPaths.h"
#include "base/Texts.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Absolute, links resolved as far as the path exists, "." and ".." gone,
// no trailing '/' (but "/" itself).
std::string Resolved(const std::string& Path)
{
    if (Path.empty())
        return {};
    std::error_code ec;
    fs::path resolved = fs::weakly_canonical(fs::absolute(Path, ec), ec);
    if (ec)
        resolved = fs::absolute(Path, ec).lexically_normal();
    std::string text = resolved.string();
    while (text.size() > 1 && text.back() == '/')
        text.pop_back();
    return text;
}

// Folder is Other or one of the folders above it.
bool HoldsOrIs(const std::string& Folder, const std::string& Other)
{
    if (Folder.empty() || Other.empty())
        return false;
    if (Folder == "/" || Folder == Other)
        return true;
    return Other.size() > Folder.size() && Other.compare(0, Folder.size(), Folder) == 0 && Other[Folder.size()] == '/';
}

bool StrictlyInside(const std::string& Folder, const std::string& Other)
{
    return Folder != Other && HoldsOrIs(Other, Folder);
}

struct SystemFolder {
    const char* Path;
    // Everything below it belongs to the system too.
    bool Subtree;
};

// Folders of the system itself, and the places where users' and the
// system's folders hang (/home, /media, /mnt, /run, /tmp).
const SystemFolder SystemFolders[] = {
    {"/", false},          {"/bin", true},      {"/boot", true},       {"/dev", true},       {"/etc", true},
    {"/home", false},      {"/lib", true},      {"/lib32", true},      {"/lib64", true},     {"/libx32", true},
    {"/lost+found", true}, {"/media", false},   {"/mnt", false},       {"/opt", true},       {"/proc", true},
    {"/root", false},      {"/run", false},     {"/run/media", false}, {"/run/user", false}, {"/sbin", true},
    {"/snap", true},       {"/srv", false},     {"/sys", true},        {"/tmp", false},      {"/usr", true},
    {"/var", true},        {"/var/tmp", false}, {"/dev/shm", false},
};

// Scratch places open to every user: a folder inside them is anyone's own,
// though they sit in the system's trees.
const char* const ScratchFolders[] = {"/tmp", "/var/tmp", "/dev/shm"};

bool IsSystemFolder(const std::string& Folder)
{
    for (const char* scratch : ScratchFolders)
        if (StrictlyInside(Folder, Resolved(scratch)))
            return false;
    for (const SystemFolder& system : SystemFolders) {
        // Both spellings: /lib may be a link to /usr/lib.
        for (const std::string& path : {std::string(system.Path), Resolved(system.Path)}) {
            if (Folder == path || (system.Subtree && StrictlyInside(Folder, path)))
                return true;
        }
    }
    return false;
}

std::vector<std::string> HomeFolders()
{
    std::vector<std::string> homes;
    if (const char* home = std::getenv("HOME"); home && *home)
        homes.push_back(Resolved(home));
    struct passwd entry {};
    struct passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir
        && *found->pw_dir)
        homes.push_back(Resolved(found->pw_dir));
    return homes;
}

} // namespace

namespace DriveAGuard {

std::string Refusal(const ProgramPaths& Paths, const std::string& Folder)
{
    const std::string folder = Resolved(Folder);
    if (folder.empty())
        return {}; // no folder: nothing there to empty
    const char* reason = nullptr;
    if (IsSystemFolder(folder))
        reason = Texts::DriveAIsSystem;
    else if (HoldsOrIs(folder, Resolved(Paths.DataDir())))
        reason = Texts::DriveAHoldsData;
    else if (HoldsOrIs(folder, Resolved(Paths.ProgramDir())))
        reason = Texts::DriveAHoldsProgram;
    else {
        for (const std::string& home : HomeFolders())
            if (HoldsOrIs(folder, home))
                reason = Texts::DriveAHoldsHome;
    }
    if (!reason)
        return {};
    return std::string(Texts::DriveARefused1) + Folder + Texts::DriveARefused2 + reason;
}

} // namespace DriveAGuard
