#pragma once
// Puts restored files in place on a thread of its own: each is flushed to
// disk, renamed over its target (SafeReplace), its folder flushed, and it
// gets its archived time stamp, one after another in the order handed in.
// Meanwhile the restore goes on inflating the next file instead of waiting
// on the disk. Only a few files wait at a time, so few stay open.
//
// Once a file fails to go in place, the ones handed in after it are removed
// unused, their targets untouched: the restore stops at the failure.
//
// Each file's flush, rename and folder flush go through the FileSystem its
// writer was begun on (SafeReplace::Writer); the committer itself writes
// nothing but the time stamps.
#include "base/SafeReplace.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class RestoreCommitter {
public:
    RestoreCommitter() = default;
    ~RestoreCommitter(); // puts in place what was handed in
    RestoreCommitter(const RestoreCommitter&) = delete;
    RestoreCommitter& operator=(const RestoreCommitter&) = delete;

    // Takes over a file whose bytes are all written; waits while the queue
    // is full. Without a thread to be had, puts it in place at once.
    void Hand(std::unique_ptr<SafeReplace::Writer> File, std::int32_t DosStamp);
    // Waits until everything handed in is in place (or removed). Returns
    // the first failure's errno value, or 0.
    int Settle();
    // The first failure so far, without waiting; 0 when none.
    int Error() const;
    // Files put in place so far.
    int Committed() const;
    // Whether an archived name may resolve against a file still to be put
    // in place: one of the name's parts is that file's name in any case.
    // Until the file is in place, its target does not show its new state.
    bool MayMeet(const std::string& ArchivedName) const;

private:
    struct Item {
        std::unique_ptr<SafeReplace::Writer> File;
        std::int32_t Stamp = 0;
        std::string LowerName;
    };
    static constexpr std::size_t MaxWaiting = 4;
    void Run();
    // Puts the front file in place, or removes it after a failure; called
    // without the lock, which it takes back.
    void Place(std::unique_lock<std::mutex>& Lock);

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    // The file being put in place stays at the front until it is.
    std::deque<Item> queue_;
    std::thread thread_;
    int error_ = 0;
    int committed_ = 0;
    bool stopping_ = false;
};
