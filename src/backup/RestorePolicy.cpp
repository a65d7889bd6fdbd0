#include "backup/RestorePolicy.h"

#include "backup/ArchiveFormat.h"
#include "backup/SourceCollector.h"
#include "base/EntityNaming.h"
#include "base/ProgramPaths.h"

#include <cctype>
#include <filesystem>
#include <vector>

#include <sys/stat.h>

namespace fs = std::filesystem;
using ArchiveFormat::LowerAscii;
using ArchiveFormat::UpperAscii;

namespace {

std::vector<std::string> SplitPath(const std::string& Path)
{
    std::vector<std::string> parts;
    std::string part;
    for (const char c : Path) {
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
    return parts;
}

bool IsLink(const std::string& Path)
{
    struct stat st {};
    return ::lstat(Path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

} // namespace

// The entry of Folder that Name denotes. This file system tells case apart,
// so an existing file of any case is the one meant (the program's spelling
// preferred when several differ only by case). The program's own data files
// are always written under its spelling: a lower-case twin of ENTITY.DAT
// beside it must not receive the registry while the storage files replace
// the real ones. Each folder is listed once, at its first name; a name
// resolved here is remembered, since the restore is about to create it.
std::string RestorePolicy::ResolveComponent(const std::string& Folder, const std::string& Name, bool Last) const
{
    if (Last && EntityNaming::IsDataFileName(Name))
        return UpperAscii(Name);
    struct stat st {};
    if (::lstat((Folder + "/" + Name).c_str(), &st) == 0)
        return Name;
    auto listed = folders_.find(Folder);
    if (listed == folders_.end()) {
        std::unordered_map<std::string, std::string> names;
        for (const auto& candidate : SourceCollector::SortedNames(Folder)) {
            std::string& known = names[LowerAscii(candidate)];
            if (known.empty() || candidate == UpperAscii(candidate))
                known = candidate;
        }
        listed = folders_.emplace(Folder, std::move(names)).first;
    }
    std::string& known = listed->second[LowerAscii(Name)];
    if (known.empty())
        known = Name;
    return known;
}

RestorePolicy::RestorePolicy(std::string Destination, bool FullPath)
    : destination_(std::move(Destination)), fullPath_(FullPath)
{
    if (!destination_.empty() && destination_.back() != '/')
        destination_ += '/';
}

std::string RestorePolicy::TargetFor(const std::string& Name) const
{
    if (Name.empty() || ArchiveFormat::HasControlCharacter(Name))
        return {};
    std::vector<std::string> parts;
    std::string target;
    if (destination_.empty()) {
        // Back where it came from: only an absolute path of this system.
        if (Name[0] != '/' || Name.find('\\') != std::string::npos)
            return {};
        parts = SplitPath(Name);
        target = "/";
    } else if (fullPath_) {
        // Below the destination with the archived path less its drive:
        // "c:\dir\x" or "/dir/x" both become "dir/x".
        std::string rel = Name;
        if (rel.size() >= 2 && rel[1] == ':' && std::isalpha(static_cast<unsigned char>(rel[0])))
            rel = rel.substr(2);
        parts = SplitPath(rel);
        target = destination_;
    } else {
        parts.push_back(EntityNaming::FilePart(Name));
        target = destination_;
    }
    if (parts.empty())
        return {};
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const std::string& p = parts[i];
        if (p.empty() || p == "." || p == "..")
            return {};
        const bool last = i + 1 == parts.size();
        target += ResolveComponent(target.empty() ? "." : target, p, last);
        if (last)
            break;
        // A link in place of a folder would send the file anywhere.
        if (fullPath_ && !destination_.empty() && IsLink(target))
            return {};
        target += '/';
    }
    return target;
}

bool RestorePolicy::ShouldRestore(TRestoreMode Mode, std::int32_t Archived, std::int32_t Current)
{
    const bool exists = Current != -1;
    // The year sits in the top bits: from 2044 on a stamp is negative as a
    // signed number, so only the unsigned order is the order of time.
    const bool newer = static_cast<std::uint32_t>(Archived) > static_cast<std::uint32_t>(Current);
    switch (Mode) {
    case rmAll: return true;
    case rmNoOverwrite: return !exists;
    case rmNewer: return !exists || newer;
    case rmExisting: return exists;
    case rmExistingNewer: return exists && newer;
    }
    return false;
}

bool RestorePolicy::MakeFolders(const std::string& Target) const
{
    const fs::path parent = fs::path(Target).parent_path();
    if (parent.empty())
        return true;
    std::error_code ec;
    const bool below = !destination_.empty() && Target.compare(0, destination_.size(), destination_) == 0;
    if (!below || !fullPath_) {
        fs::create_directories(parent, ec);
        return fs::is_directory(parent, ec);
    }
    // Folder by folder below the destination, none of them a link (checked
    // again now that they are made: the tree may have changed meanwhile).
    std::string folder = destination_;
    for (const auto& part : SplitPath(Target.substr(destination_.size(), Target.size() - destination_.size()))) {
        if (folder.size() + part.size() >= Target.size())
            break; // the file itself
        folder += part;
        struct stat st {};
        if (::lstat(folder.c_str(), &st) != 0) {
            if (::mkdir(folder.c_str(), 0777) != 0)
                return false;
        } else if (!S_ISDIR(st.st_mode)) {
            return false; // a link, or a file where a folder should be
        }
        folder += '/';
    }
    return true;
}

bool RestorePolicy::IsDataFileIn(const std::string& Folder, const std::string& Target)
{
    return Target.size() > Folder.size() && Target.compare(0, Folder.size(), Folder) == 0
           && Target.find('/', Folder.size()) == std::string::npos
           && EntityNaming::IsDataFileName(Target.substr(Folder.size()));
}

bool RestorePolicy::HoldsProgram(const std::string& Folder)
{
    const std::string folder = ProgramPaths::WithSlash(Folder);
    for (const char* program : {"quorvex", "reinit"}) {
        struct stat st {};
        if (::stat((folder + program).c_str(), &st) == 0 && S_ISREG(st.st_mode))
            return true;
    }
    return false;
}
