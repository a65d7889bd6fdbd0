#include "backup/RestoreCommitter.h"

#include "backup/ArchiveFormat.h"
#include "backup/DosTime.h"

#include <system_error>

RestoreCommitter::~RestoreCommitter()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

void RestoreCommitter::Hand(std::unique_ptr<SafeReplace::Writer> File, std::int32_t DosStamp)
{
    const std::string& target = File->Target();
    Item item{std::move(File), DosStamp, ArchiveFormat::LowerAscii(target.substr(target.find_last_of('/') + 1))};
    std::unique_lock<std::mutex> lock(mutex_);
    bool threaded = thread_.joinable();
    if (!threaded) {
        try {
            thread_ = std::thread([this] { Run(); });
            threaded = true;
        } catch (const std::system_error&) {
            threaded = false;
        }
    }
    changed_.wait(lock, [this] { return queue_.size() < MaxWaiting; });
    queue_.push_back(std::move(item));
    if (threaded)
        changed_.notify_all();
    else
        Place(lock);
}

int RestoreCommitter::Settle()
{
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return queue_.empty(); });
    return error_;
}

int RestoreCommitter::Error() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return error_;
}

int RestoreCommitter::Committed() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return committed_;
}

bool RestoreCommitter::MayMeet(const std::string& ArchivedName) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (queue_.empty())
        return false;
    const std::string lower = ArchiveFormat::LowerAscii(ArchivedName);
    std::size_t start = 0;
    while (start <= lower.size()) {
        std::size_t end = lower.find_first_of("/\\", start);
        if (end == std::string::npos)
            end = lower.size();
        const std::string part = lower.substr(start, end - start);
        for (const Item& item : queue_)
            if (item.LowerName == part)
                return true;
        start = end + 1;
    }
    return false;
}

void RestoreCommitter::Run()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (queue_.empty())
            return; // stopping, and nothing left to put in place
        Place(lock);
    }
}

void RestoreCommitter::Place(std::unique_lock<std::mutex>& Lock)
{
    Item& item = queue_.front();
    const bool drop = error_ != 0;
    Lock.unlock();
    int error = 0;
    if (drop) {
        item.File->Abort();
    } else if ((error = item.File->Commit()) == 0) {
        // Only a comparison of stamps (a later restore of newer files)
        // depends on it, so it is no reason to fail.
        DosTime::SetFileStamp(item.File->Target(), item.Stamp);
    }
    Lock.lock();
    if (error != 0 && error_ == 0)
        error_ = error;
    if (!drop && error == 0)
        ++committed_;
    queue_.pop_front();
    changed_.notify_all();
}
