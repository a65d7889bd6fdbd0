#include "base/DriveAGuard.h"

#include "base/ProgramPaths.h"
#include "base/Texts.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
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
// system's folders hang (/home, /media, /mnt, /run, /tmp). /run/user holds
// each user's runtime folder (sockets, keyrings): all of it is the system's.
const SystemFolder SystemFolders[] = {
    {"/", false},          {"/bin", true},      {"/boot", true},       {"/dev", true},      {"/etc", true},
    {"/home", false},      {"/lib", true},      {"/lib32", true},      {"/lib64", true},    {"/libx32", true},
    {"/lost+found", true}, {"/media", false},   {"/mnt", false},       {"/opt", true},      {"/proc", true},
    {"/root", false},      {"/run", false},     {"/run/media", false}, {"/run/user", true}, {"/sbin", true},
    {"/snap", true},       {"/srv", false},     {"/sys", true},        {"/tmp", false},     {"/usr", true},
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

// A folder's identity: device and inode, whatever the path that reached it.
struct Identity {
    dev_t Device = 0;
    ino_t Inode = 0;
    bool operator==(const Identity& O) const { return Device == O.Device && Inode == O.Inode; }
};

bool IdentityOf(int Fd, Identity& Id)
{
    struct stat st {};
    if (::fstat(Fd, &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    Id = {st.st_dev, st.st_ino};
    return true;
}

bool IdentityOf(const std::string& Path, Identity& Id)
{
    struct stat st {};
    if (Path.empty() || ::stat(Path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    Id = {st.st_dev, st.st_ino};
    return true;
}

// The folder open at Fd and every folder above it, nearest first, up to the
// root (where ".." is the folder itself). A bind mount's ".." is the folder
// above the place it is mounted at, as its path says.
std::vector<Identity> Chain(int Fd)
{
    std::vector<Identity> chain;
    int current = ::fcntl(Fd, F_DUPFD_CLOEXEC, 0);
    while (current >= 0 && chain.size() < 4096) {
        Identity id;
        if (!IdentityOf(current, id) || (!chain.empty() && chain.back() == id))
            break;
        chain.push_back(id);
        const int parent = ::openat(current, "..", O_PATH | O_DIRECTORY | O_CLOEXEC);
        ::close(current);
        current = parent;
    }
    if (current >= 0)
        ::close(current);
    return chain;
}

std::vector<Identity> Chain(const std::string& Path)
{
    if (Path.empty())
        return {};
    const int fd = ::open(Path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return {};
    std::vector<Identity> chain = Chain(fd);
    ::close(fd);
    return chain;
}

bool Contains(const std::vector<Identity>& Chain, const Identity& Id)
{
    return std::find(Chain.begin(), Chain.end(), Id) != Chain.end();
}

// The folders above a folder that does not exist yet: those of the nearest
// one of its parents that does.
std::vector<Identity> ChainAbove(const std::string& Folder)
{
    fs::path path = fs::path(Resolved(Folder));
    while (path.has_relative_path()) {
        path = path.parent_path();
        std::vector<Identity> chain = Chain(path.string());
        if (!chain.empty())
            return chain;
    }
    return Chain(std::string("/"));
}

// The reason by identity; null when none. Chain is the folder's own chain
// (itself first) when it exists, Above the folders above it.
const char* IdentityReason(const ProgramPaths& Paths, const Identity* Self, const std::vector<Identity>& Above)
{
    std::vector<Identity> scratch;
    for (const char* folder : ScratchFolders)
        if (Identity id; IdentityOf(folder, id))
            scratch.push_back(id);
    for (const SystemFolder& system : SystemFolders) {
        Identity id;
        if (!IdentityOf(system.Path, id))
            continue;
        if (Self && *Self == id)
            return Texts::DriveAIsSystem;
        if (!system.Subtree)
            continue;
        // Inside the system's tree, unless a scratch folder comes first.
        for (const Identity& above : Above) {
            if (Contains(scratch, above))
                break;
            if (above == id)
                return Texts::DriveAIsSystem;
        }
    }
    if (!Self)
        return nullptr;
    if (Contains(Chain(Paths.DataDir()), *Self))
        return Texts::DriveAHoldsData;
    if (Contains(Chain(Paths.ProgramDir()), *Self))
        return Texts::DriveAHoldsProgram;
    for (const std::string& home : HomeFolders())
        if (Contains(Chain(home), *Self))
            return Texts::DriveAHoldsHome;
    return nullptr;
}

std::string Folded(std::string Text)
{
    for (char& c : Text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return Text;
}

// Folder holds or is Other, in any letter case, on one device: a FAT stick
// answers to every spelling of a name, and a file system through FUSE may
// give each spelling an inode of its own.
bool HoldsOrIsInAnyCase(const std::string& Folder, const std::string& Other)
{
    struct stat a {
    }, b{};
    return !Folder.empty() && !Other.empty() && ::stat(Folder.c_str(), &a) == 0 && ::stat(Other.c_str(), &b) == 0
           && a.st_dev == b.st_dev && HoldsOrIs(Folded(Folder), Folded(Other));
}

bool Holds(const std::string& Folder, const std::string& Other)
{
    return HoldsOrIs(Folder, Other) || HoldsOrIsInAnyCase(Folder, Other);
}

// The reason by spelling (links resolved); null when none. It also judges a
// folder that does not exist yet by the path it would have.
const char* PathReason(const ProgramPaths& Paths, const std::string& Folder)
{
    const std::string folder = Resolved(Folder);
    if (IsSystemFolder(folder))
        return Texts::DriveAIsSystem;
    if (Holds(folder, Resolved(Paths.DataDir())))
        return Texts::DriveAHoldsData;
    if (Holds(folder, Resolved(Paths.ProgramDir())))
        return Texts::DriveAHoldsProgram;
    for (const std::string& home : HomeFolders())
        if (Holds(folder, home))
            return Texts::DriveAHoldsHome;
    return nullptr;
}

std::string RefusalText(const std::string& Folder, const char* Reason)
{
    if (!Reason)
        return {};
    return std::string(Texts::DriveARefused1) + Folder + Texts::DriveARefused2 + Reason;
}

} // namespace

namespace DriveAGuard {

std::string Refusal(const ProgramPaths& Paths, const std::string& Folder)
{
    if (Resolved(Folder).empty())
        return {}; // no folder: nothing there to empty
    const int fd = ::open(Folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        std::string refusal = Refusal(Paths, Folder, fd);
        ::close(fd);
        return refusal;
    }
    const char* reason = IdentityReason(Paths, nullptr, ChainAbove(Folder));
    return RefusalText(Folder, reason ? reason : PathReason(Paths, Folder));
}

std::string Refusal(const ProgramPaths& Paths, const std::string& Folder, int FolderFd)
{
    const std::vector<Identity> chain = Chain(FolderFd);
    if (chain.empty())
        return RefusalText(Folder, PathReason(Paths, Folder));
    const std::vector<Identity> above(chain.begin() + 1, chain.end());
    const char* reason = IdentityReason(Paths, &chain.front(), above);
    return RefusalText(Folder, reason ? reason : PathReason(Paths, Folder));
}

} // namespace DriveAGuard
