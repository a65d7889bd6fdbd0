#pragma once
// Collects the files of a backup from the caller's list: file names or
// wildcard patterns ('*', '?', any letter case; "*.*" is every name), each
// optionally followed by " /s" to search the subfolders too. Hidden folders
// and linked folders are not searched (a link loop would never end); a file
// is taken once; the archive being written is never taken into itself, under
// whatever name it is reached.
#include <cstdint>
#include <string>
#include <vector>

struct ArchiveSource {
    std::string RealPath;     // what is opened
    std::string ArchivedName; // what is stored (the full path, lower-cased)
    bool IsFileList = false;  // the file-ID list
};

class SourceCollector {
public:
    // Archive: the archive's path, or "" for a caller's stream.
    explicit SourceCollector(const std::string& Archive);

    void Add(const std::string& Item);
    std::vector<ArchiveSource>& Sources() { return sources_; }

    // The entries of a folder, sorted by name (an unreadable folder has none).
    static std::vector<std::string> SortedNames(const std::string& Folder);
    static bool WildcardMatch(const std::string& Pattern, const std::string& Name);

private:
    bool IsArchive(const std::string& Path, const std::string& Lower) const;

    std::vector<ArchiveSource> sources_;
    std::string archiveLower_;
    bool archiveKnown_ = false;
    std::uint64_t archiveDev_ = 0;
    std::uint64_t archiveIno_ = 0;
};
