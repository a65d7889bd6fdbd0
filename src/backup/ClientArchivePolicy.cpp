#include "backup/ClientArchivePolicy.h"

#include "backup/RestorePolicy.h"
#include "backup/SourceCollector.h"
#include "backup/TBackupFile.h"

#include <filesystem>

namespace ClientArchivePolicy {

namespace {

// The names in Folder that match Pattern (any letter case), by name: plain
// files (or links to them), not hidden.
std::vector<std::string> Found(const std::string& Folder, const char* Pattern)
{
    std::vector<std::string> found;
    for (const std::string& name : SourceCollector::SortedNames(Folder)) {
        std::error_code ec;
        if (name.empty() || name[0] == '.' || !SourceCollector::WildcardMatch(Pattern, name)
            || !std::filesystem::is_regular_file(Folder + name, ec))
            continue;
        found.push_back(name);
    }
    return found;
}

} // namespace

std::vector<std::string> BackupFiles(const std::string& DataDir)
{
    std::vector<std::string> files;
    const std::vector<std::string> registry = Found(DataDir, "ENTITY.DAT");
    if (!registry.empty())
        files.push_back(DataDir + registry.front());
    for (const std::string& name : Found(DataDir, "STORAGE.*.DAT"))
        files.push_back(DataDir + name);
    return files;
}

std::int32_t VolumeSize(const std::string& ShownPath, const std::string& Destination, const std::string& DriveA)
{
    const bool onDiskette = (!ShownPath.empty() && (ShownPath[0] == 'A' || ShownPath[0] == 'a'))
                            || Destination.compare(0, DriveA.size(), DriveA) == 0;
    return onDiskette ? DisketteVolumeSize : 0;
}

void SetUpBackup(TBackupFile& Archive, const std::string& Title, std::int32_t MaxSize)
{
    Archive.SetBackupMode(bmAll);
    Archive.CompressionLevel = clFastest;
    Archive.SaveFileID = true;
    Archive.BackupTitle = Title;
    Archive.MaxSize = MaxSize;
}

void RestoreOnlyDataFiles(TBackupFile& Archive, const std::string& Folder, std::vector<std::string>& Skipped)
{
    Archive.RestoreAllOrNothing = true;
    Archive.MaxRestoredTotalSize = RestorePolicy::MaxDataRestoreSize;
    // Only the data files: an archive could otherwise replace reinit, the
    // client or a kit library, which the next start would then run.
    Archive.OnRestoreFile = [Folder, &Skipped](TBackupFile* Sender, std::string& Target, std::int32_t, bool& Restore) {
        if (Restore && !RestorePolicy::IsDataFileIn(Folder, Target)) {
            Restore = false;
            Skipped.push_back(Sender->EntryName());
        }
    };
}

} // namespace ClientArchivePolicy
