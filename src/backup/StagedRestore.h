#pragma once
// The files of a restore that go in together or not at all (the client's
// data folder: a registry beside storage files of another copy would pair
// entities with keys that are not theirs). Each file, once all of its bytes
// are in, is flushed and waits, complete, under its temporary name beside
// its target; only after the whole archive has been read does Commit rename
// them over their targets. A run that fails, is stopped or raises before
// then removes them all (Discard, the destructor), every target untouched.
//
// Before the first rename every version to be replaced gets a second name
// (a hard link, or a flushed copy where no link can be made: "old"
// temporary name); one that cannot get one stops the commit, nothing
// renamed. Then a journal naming every new file, target and old version is
// flushed into the folder (base/ReplaceJournal), so that a crash or a power
// cut during the renames is finished at the next start, before anything is
// cleared: forward, since every new file is complete. A rename that fails
// part way turns the journal back and puts the old versions back, and a file
// that was new goes again, so that the folder holds either all of the
// archive's files or its own. Afterwards the old versions are let go, their
// bytes overwritten first when asked (files holding keys), and the journal
// goes last.
//
// Every creation, write, flush, rename, link and removal goes through the
// FileSystem given, as the files' own writers do through theirs.
#include "base/SafeReplace.h"

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

class StagedRestore {
public:
    explicit StagedRestore(FileSystem& Disk = FileSystem::Real()) : Disk_(Disk) {}
    ~StagedRestore(); // what was not committed is removed
    StagedRestore(const StagedRestore&) = delete;
    StagedRestore& operator=(const StagedRestore&) = delete;

    // Takes a file whose bytes are all written (begun without
    // WipeOldVersion: the old versions are kept here) and flushes it. A
    // later file for the same target replaces an earlier one, as it would
    // on disk. 0, or the errno value of the flush (the file is removed).
    int Add(std::unique_ptr<SafeReplace::Writer> File, std::int32_t DosStamp);
    // Puts every file in place, each with its archived time stamp. 0, or
    // the errno value of the step that failed: a version that could not be
    // kept aside, the journal, or the first rename that failed (everything
    // put back).
    int Commit(bool WipeReplaced);
    // Removes every file not yet committed.
    void Discard();

    std::size_t Waiting() const { return items_.size(); }
    int Committed() const { return committed_; }

private:
    struct Item {
        std::unique_ptr<SafeReplace::Writer> File;
        std::int32_t Stamp = 0;
        std::string Old;      // second name of the replaced version; empty when none
        bool Existed = false; // something stood under the target's name
    };
    // Keeps every replaced version under a second name; 0 or an errno value
    // (then none is kept).
    int HoldAll();
    // Puts back the old versions of the first Renamed files, and removes
    // a target that was new; true when all are back and the folders
    // flushed.
    bool PutBack(std::size_t Renamed);
    // Leaves every new file and old version where it is, for the journal
    // that names them (the next start finishes it), and forgets them.
    void KeepForTheJournal();
    // The folders of the targets (the new files and old versions lie there
    // too), each flushed; 0 or the first failure's errno value.
    int SyncFolders() const;
    // The folder that keeps the journal: the first target's.
    std::string JournalFolder() const;

    FileSystem& Disk_;
    std::vector<Item> items_;
    // Target -> its place in items_, while items_ holds anything.
    std::unordered_map<std::string, std::size_t> places_;
    int committed_ = 0;
};
