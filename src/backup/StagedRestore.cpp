#include "backup/StagedRestore.h"

#include "backup/DosTime.h"
#include "base/ReplaceJournal.h"

#include <cerrno>
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
            SafeReplace::WipeAndRemove(item.Old, Disk_); // the target still holds it, unless a copy
        item.Old.clear();
    }
    items_.clear(); // each writer removes its new file
}

std::string StagedRestore::JournalFolder() const
{
    return SafeReplace::FolderOf(items_.front().File->Target());
}

int StagedRestore::SyncFolders() const
{
    std::set<std::string> folders;
    for (const Item& item : items_)
        folders.insert(SafeReplace::FolderOf(item.File->Target()));
    int error = 0;
    for (const std::string& folder : folders)
        if (const int failed = SafeReplace::SyncFolder(folder, Disk_); failed && !error)
            error = failed;
    return error;
}

int StagedRestore::HoldAll()
{
    for (Item& item : items_) {
        const std::string& target = item.File->Target();
        struct stat st {};
        errno = 0;
        item.Existed = ::lstat(target.c_str(), &st) == 0;
        if (!item.Existed && errno != ENOENT)
            return errno != 0 ? errno : EIO;
        if (!item.Existed)
            continue;
        // Only a regular file can be put back (a folder or a device under
        // the name is not replaced at all).
        if (!S_ISREG(st.st_mode))
            return S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        // A file system without hard links (FAT), or a file with too many:
        // a flushed copy.
        item.Old = SafeReplace::HoldOldVersionOrCopy(target, Disk_);
        if (item.Old.empty())
            return errno != 0 ? errno : EIO;
    }
    return 0;
}

void StagedRestore::KeepForTheJournal()
{
    for (Item& item : items_) {
        item.File->Release();
        item.Old.clear();
    }
    items_.clear();
}

bool StagedRestore::PutBack(std::size_t Renamed)
{
    bool back = true;
    for (std::size_t i = 0; i < Renamed; ++i) {
        Item& item = items_[i];
        const std::string& target = item.File->Target();
        if (!item.Old.empty()) {
            // Should even this fail, the old version keeps its second name
            // (and the journal) rather than losing its last one.
            if (Disk_.Rename(item.Old, target) == 0)
                item.Old.clear();
            else
                back = false;
        } else if (!item.Existed && Disk_.Unlink(target) != 0) {
            back = false;
        }
    }
    return SyncFolders() == 0 && back;
}

int StagedRestore::Commit(bool WipeReplaced)
{
    if (items_.empty())
        return 0;
    // Each new file carries its archived time stamp before it goes in: a
    // rename keeps it, also one that the next start finishes. Only a
    // comparison of stamps (a later restore of newer files) depends on it,
    // so it is no reason to fail.
    for (Item& item : items_)
        DosTime::SetFileStamp(item.File->Temporary(), item.Stamp);

    // A replacement that a crash cut short here is finished first: its
    // journal would otherwise be replaced by this one.
    const std::string journalFolder = JournalFolder();
    int error = ReplaceJournal::Recover(journalFolder, Disk_);
    if (error) {
        Discard();
        return error;
    }
    // Nothing is renamed unless every replaced version can be put back, and
    // until the new files, the second names and the journal last.
    error = HoldAll();
    if (!error)
        error = SyncFolders();
    std::vector<ReplaceJournal::Entry> entries;
    for (const Item& item : items_)
        entries.push_back({item.File->Temporary(), item.File->Target(), item.Old});
    if (!error)
        error = ReplaceJournal::Write(journalFolder, entries, ReplaceJournal::Direction::Forward, WipeReplaced, Disk_);
    if (error) {
        // A journal that stands (its folder's flush failed) goes before the
        // files it names: a crash must never find it naming new files
        // overwritten with zeros. One that cannot go keeps them all, and
        // the next start finishes forward.
        const int removed = ReplaceJournal::Remove(journalFolder, Disk_);
        if (removed == 0 || removed == ENOENT)
            Discard();
        else
            KeepForTheJournal();
        return error;
    }

    for (std::size_t i = 0; i < items_.size(); ++i) {
        // Renamed here rather than by the writer, which would wipe a new
        // file it could not put in place: the journal may still need it.
        SafeReplace::Writer& file = *items_[i].File;
        error = Disk_.Rename(file.Temporary(), file.Target()) == 0 ? 0 : (errno != 0 ? errno : EIO);
        if (error == 0)
            file.Release();
        if (error != 0) {
            // From here a crash finishes the way back, not forward. Should
            // the journal not turn, everything stays for the next start to
            // finish forward.
            if (ReplaceJournal::Write(journalFolder, entries, ReplaceJournal::Direction::Back, WipeReplaced, Disk_)
                != 0) {
                KeepForTheJournal();
                return error;
            }
            // Once every old version is back for good, the journal goes,
            // and only then the new files and the second names (a copy's
            // zeros must never be put back). Anything less keeps them all
            // for the journal: the next start tries again.
            if (PutBack(i) && ReplaceJournal::Remove(journalFolder, Disk_) == 0)
                Discard();
            else
                KeepForTheJournal();
            return error;
        }
    }
    // The renames last before the old versions are let go.
    if (const int failed = SyncFolders()) {
        // The journal stays: the next start finishes what may not last.
        committed_ += static_cast<int>(items_.size());
        KeepForTheJournal();
        return failed;
    }
    for (Item& item : items_) {
        if (item.Old.empty())
            continue;
        if (WipeReplaced)
            SafeReplace::WipeAndRemove(item.Old, Disk_); // zeroed unless another name holds it
        else
            Disk_.Unlink(item.Old);
        item.Old.clear();
    }
    SyncFolders();
    committed_ += static_cast<int>(items_.size());
    items_.clear();
    ReplaceJournal::Remove(journalFolder, Disk_);
    return 0;
}
