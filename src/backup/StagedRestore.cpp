#include "backup/StagedRestore.h"

#include "backup/DosTime.h"

#include <set>

#include <sys/stat.h>
#include <unistd.h>

StagedRestore::~StagedRestore()
{
    Discard();
}

int StagedRestore::Add(std::unique_ptr<SafeReplace::Writer> File, std::int32_t DosStamp)
{
    // Flushed and closed now: an office's restore stages thousands of files,
    // more than a process may hold open.
    if (const int error = File->Finish())
        return error;
    // Committed or discarded since the last file: the places are gone.
    if (items_.empty())
        places_.clear();
    // One look-up by target: an archive of many entries must not compare
    // each with all before it.
    const auto [place, isNew] = places_.emplace(File->Target(), items_.size());
    if (!isNew) {
        Item& item = items_[place->second];
        item.File = std::move(File); // the earlier file is removed
        item.Stamp = DosStamp;
        return 0;
    }
    items_.push_back(Item{std::move(File), DosStamp, {}, false});
    return 0;
}

void StagedRestore::Discard()
{
    for (Item& item : items_) {
        if (!item.Old.empty())
            ::unlink(item.Old.c_str()); // the target still holds it
    }
    items_.clear(); // each writer removes its new file
}

void StagedRestore::PutBack(std::size_t Renamed)
{
    std::set<std::string> folders;
    for (std::size_t i = 0; i < Renamed; ++i) {
        Item& item = items_[i];
        const std::string& target = item.File->Target();
        if (!item.Old.empty()) {
            // Should even this fail, the old version keeps its second name
            // rather than losing its last one.
            ::rename(item.Old.c_str(), target.c_str());
            item.Old.clear();
        } else if (!item.Existed) {
            ::unlink(target.c_str());
        }
        folders.insert(SafeReplace::FolderOf(target));
    }
    for (const std::string& folder : folders)
        SafeReplace::SyncFolder(folder);
}

int StagedRestore::Commit(bool WipeReplaced)
{
    // Every replaced version gets its second name before anything is
    // renamed, so that any of them can be put back.
    for (Item& item : items_) {
        const std::string& target = item.File->Target();
        struct stat st {};
        item.Existed = ::lstat(target.c_str(), &st) == 0;
        if (!item.Existed || !S_ISREG(st.st_mode))
            continue;
        // A file system without hard links: replaced without a way back, as
        // a single save replaces it.
        item.Old = SafeReplace::HoldOldVersion(target);
    }

    std::set<std::string> folders;
    for (std::size_t i = 0; i < items_.size(); ++i) {
        const int error = items_[i].File->Commit();
        if (error != 0) {
            PutBack(i);
            Discard();
            return error;
        }
        folders.insert(SafeReplace::FolderOf(items_[i].File->Target()));
    }
    // The renames are on the disk before the old versions are let go.
    for (const std::string& folder : folders)
        SafeReplace::SyncFolder(folder);
    for (Item& item : items_) {
        // Only a comparison of stamps (a later restore of newer files)
        // depends on it, so it is no reason to fail.
        DosTime::SetFileStamp(item.File->Target(), item.Stamp);
        if (item.Old.empty())
            continue;
        if (WipeReplaced)
            SafeReplace::WipeAndRemove(item.Old); // zeroed unless another name holds it
        else
            ::unlink(item.Old.c_str());
        item.Old.clear();
    }
    for (const std::string& folder : folders)
        SafeReplace::SyncFolder(folder);
    committed_ += static_cast<int>(items_.size());
    items_.clear();
    return 0;
}
