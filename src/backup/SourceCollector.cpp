#include "backup/SourceCollector.h"

#include "backup/ArchiveFormat.h"

#include <algorithm>
#include <filesystem>

#include <sys/stat.h>

namespace fs = std::filesystem;
using ArchiveFormat::LowerAscii;

namespace {

std::string Trim(const std::string& s)
{
    const auto first = s.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    const auto last = s.find_last_not_of(" \t\r\n");
    return s.substr(first, last - first + 1);
}

} // namespace

SourceCollector::SourceCollector(const std::string& Archive)
{
    if (Archive.empty())
        return;
    std::error_code ec;
    archiveLower_ = LowerAscii(fs::absolute(Archive, ec).lexically_normal().string());
    // An archive left from an earlier backup is rewritten in place, so its
    // identity on disk tells it apart from the sources whatever its name.
    struct stat st {};
    if (::stat(Archive.c_str(), &st) == 0) {
        archiveKnown_ = true;
        archiveDev_ = static_cast<std::uint64_t>(st.st_dev);
        archiveIno_ = static_cast<std::uint64_t>(st.st_ino);
    }
}

std::vector<std::string> SourceCollector::SortedNames(const std::string& Folder)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(Folder, ec), end; !ec && it != end; it.increment(ec))
        names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

bool SourceCollector::WildcardMatch(const std::string& Pattern, const std::string& Name)
{
    if (Pattern == "*.*" || Pattern == "*")
        return true;
    const std::string p = LowerAscii(Pattern), n = LowerAscii(Name);
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

bool SourceCollector::IsArchive(const std::string& Path, const std::string& Lower) const
{
    if (!archiveLower_.empty() && Lower == archiveLower_)
        return true;
    // The archive reached by another name (a linked folder, a hard link) is
    // still the archive: reading it while it is being written would never
    // reach its end.
    struct stat st {};
    return archiveKnown_ && ::stat(Path.c_str(), &st) == 0 && static_cast<std::uint64_t>(st.st_dev) == archiveDev_
           && static_cast<std::uint64_t>(st.st_ino) == archiveIno_;
}

void SourceCollector::Add(const std::string& Item)
{
    std::string s = Trim(Item);
    bool recurse = false;
    // The switch is a trailing " /s"; a path's own "/s..." (as in
    // "/data/storage.*.dat") is not one.
    if (s.size() >= 3 && LowerAscii(s.substr(s.size() - 2)) == "/s"
        && (s[s.size() - 3] == ' ' || s[s.size() - 3] == '\t')) {
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
            if (fs::is_symlink(fs::symlink_status(p, ec)) || !fs::is_directory(p, ec))
                continue;
            Add(absFolder + name + "/" + pattern + " /s");
        }
    }
    for (const auto& name : names) {
        if (!WildcardMatch(pattern, name))
            continue;
        const std::string real = absFolder + name;
        if (!fs::is_regular_file(real, ec))
            continue;
        const std::string lower = LowerAscii(real);
        if (IsArchive(real, lower))
            continue;
        if (std::any_of(sources_.begin(), sources_.end(),
                        [&](const ArchiveSource& x) { return x.ArchivedName == lower; }))
            continue;
        // No archive attribute here: an incremental backup takes every file.
        sources_.push_back(ArchiveSource{real, lower, false});
    }
}
