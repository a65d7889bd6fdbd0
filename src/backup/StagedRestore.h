#pragma once
// The files of a restore that go in together or not at all (the client's
// data folder: a registry beside storage files of another copy would pair
// entities with keys that are not theirs). Each file, once all of its bytes
// are in, is flushed and waits, complete, under its temporary name beside
// its target; only after the whole archive has been read does Commit rename
// them over their targets. A run that fails, is stopped or raises before
// then removes them all (Discard, the destructor), every target untouched.
//
// Until every rename is done the versions replaced stay reachable under a
// second name (a hard link, "old" temporary name): a rename that fails part
// way puts them back, and a file that was new goes again, so that the folder
// holds either all of the archive's files or its own. Afterwards they are
// let go, their bytes overwritten first when asked (files holding keys). A
// crash in between leaves them to RemoveStaleTemporaries.
//
// Every rename, link and removal goes through the FileSystem given, as the
// files' own writers do through theirs.
#include "base/SafeReplace.h"

#include <cstdint>
#include <memory>
#include <string>
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
    // the errno value of the first rename that failed (everything put back).
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
    void PutBack(std::size_t Renamed);

    FileSystem& Disk_;
    std::vector<Item> items_;
    int committed_ = 0;
};
