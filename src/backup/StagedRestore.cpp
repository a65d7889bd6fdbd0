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
    for (Item& item : items_) {
        if (item.File->Target() == File->Target()) {
            item.File = std::move(File); // the earlier file is removed
            item.Stamp = DosStamp;
            return 0;
        }
    }
    items_.push_back(Item{std::move(File), DosStamp, {}, false});
    return 0;
}

void StagedRestore::Discard()
{
    for (Item& item : items_) {
        if (!item.Old.empty())
            Disk_.Unlink(item.Old); // the target still holds it
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
            Disk_.Rename(item.Old, target);
            item.Old.clear();
        } else if (!item.Existed) {
            Disk_.Unlink(target);
        }
        folders.insert(SafeReplace::FolderOf(target));
    }
    for (const std::string& folder : folders)
        SafeReplace::SyncFolder(folder, Disk_);
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
        item.Old = SafeReplace::HoldOldVersion(target, Disk_);
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
        SafeReplace::SyncFolder(folder, Disk_);
    for (Item& item : items_) {
        // Only a comparison of stamps (a later restore of newer files)
        // depends on it, so it is no reason to fail.
        DosTime::SetFileStamp(item.File->Target(), item.Stamp);
        if (item.Old.empty())
            continue;
        if (WipeReplaced)
            SafeReplace::WipeAndRemove(item.Old, Disk_); // zeroed unless another name holds it
        else
            Disk_.Unlink(item.Old);
        item.Old.clear();
    }
    for (const std::string& folder : folders)
        SafeReplace::SyncFolder(folder, Disk_);
    committed_ += static_cast<int>(items_.size());
    items_.clear();
    return 0;
}
