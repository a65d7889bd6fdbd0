#include "store/BatchFileWriter.h"

#include "base/SafeReplace.h"

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <map>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace {

// Flushes and releases wait on the disk, not on a core.
constexpr std::size_t MostThreads = 8;

// Runs Work on up to MostThreads - 1 threads of its own; Join waits for
// them. Without threads to be had, Join runs Work on the caller's.
class Helpers {
public:
    Helpers(std::size_t Count, std::function<void()> Work) : Work_(std::move(Work))
    {
        for (std::size_t t = 1; t < std::min(MostThreads, Count); ++t) {
            try {
                Threads_.emplace_back(Work_);
            } catch (...) {
                break; // fewer helpers: the caller does the rest
            }
        }
    }
    Helpers(const Helpers&) = delete;
    Helpers& operator=(const Helpers&) = delete;
    // The caller joins in, then waits for the rest.
    void Join()
    {
        Work_();
        for (auto& thread : Threads_)
            thread.join();
        Threads_.clear();
    }
    ~Helpers()
    {
        for (auto& thread : Threads_)
            thread.join();
    }

private:
    std::function<void()> Work_;
    std::vector<std::thread> Threads_;
};

// Each file in flight holds two descriptors (its new file and its replaced
// version): a share of the process's allowance, so that the rest of the
// program never runs short.
std::size_t FilesAtOnce()
{
    std::size_t allowed = 1024;
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0)
        allowed = limit.rlim_cur == RLIM_INFINITY ? 65536 : static_cast<std::size_t>(limit.rlim_cur);
    return std::max<std::size_t>(16, allowed / 8);
}

} // namespace

void BatchFileWriter::Add(const std::string& FileName, Render Bytes, bool KnownChanged, std::function<void()> Saved)
{
    Saves_.push_back({FileName, std::move(Bytes), KnownChanged, std::move(Saved)});
}

std::vector<std::exception_ptr> BatchFileWriter::Run()
{
    std::vector<std::exception_ptr> failures(Saves_.size());
    const std::size_t part = FilesAtOnce();
    for (std::size_t first = 0; first < Saves_.size(); first += part)
        RunPart(first, std::min(part, Saves_.size() - first), failures);
    Saves_.clear();
    return failures;
}

void BatchFileWriter::RunPart(std::size_t First, std::size_t Count, std::vector<std::exception_ptr>& Failures)
{
    using Replacement = AtomicFileWriter::Replacement;
    std::vector<std::unique_ptr<Replacement>> pending(Count);
    std::mutex mutex;
    std::condition_variable written;
    std::size_t ready = 0; // files [0, ready) are written (or failed)
    std::size_t next = 0;  // the next file for a helper to commit

    // Each file is flushed and only then renamed into place, by the helpers,
    // as soon as it is written; the flushes overlap with each other and with
    // the writing of the files after it.
    Helpers helpers(Count, [&] {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            const std::size_t i = next;
            if (i >= Count)
                return;
            if (i >= ready) {
                written.wait(lock);
                continue;
            }
            ++next;
            lock.unlock();
            if (pending[i]) {
                try {
                    pending[i]->Commit();
                } catch (...) {
                    Failures[First + i] = std::current_exception();
                    pending[i].reset();
                }
                // Its replaced version stays held whatever Saved does: it
                // is let go only after the folder is flushed.
                try {
                    if (pending[i] && Saves_[First + i].Saved)
                        Saves_[First + i].Saved();
                } catch (...) {
                    Failures[First + i] = std::current_exception();
                }
            }
            lock.lock();
        }
    });
    // The new files are written on this thread: creating files in one folder
    // takes the folder's lock, so threads would only queue for it. The old
    // versions stay held until every new file exists (a file system may
    // search past recently freed entries each time it creates one).
    for (std::size_t i = 0; i < Count; ++i) {
        Save& save = Saves_[First + i];
        try {
            auto replacement = std::make_unique<Replacement>(Disk_);
            if (replacement->Begin(save.FileName, save.Bytes(), save.KnownChanged, true))
                pending[i] = std::move(replacement);
            else if (save.Saved)
                save.Saved();
        } catch (...) {
            Failures[First + i] = std::current_exception();
        }
        {
            std::lock_guard<std::mutex> lock(mutex);
            ready = i + 1;
        }
        written.notify_one(); // one file more: one helper more to work
    }
    written.notify_all(); // the rest see that nothing is left
    helpers.Join();

    // Once after the renames: each file is whole under its name before and
    // after, and only now are they all known to be there after a crash. A
    // folder that cannot be flushed fails each file renamed into it, as it
    // fails a single save: a power cut may bring back its old version.
    std::map<std::string, int> folders;
    for (const auto& replacement : pending)
        if (replacement)
            folders.emplace(replacement->Folder(), 0);
    for (auto& [folder, error] : folders)
        error = SafeReplace::SyncFolder(folder, Disk_);
    for (std::size_t i = 0; i < Count; ++i) {
        if (!pending[i] || Failures[First + i])
            continue;
        if (const int error = folders[pending[i]->Folder()])
            Failures[First + i] = AtomicFileWriter::CommitFailure(error, Saves_[First + i].FileName);
    }

    // Freeing the old versions' blocks waits on the disk too (see
    // AtomicFileWriter): side by side.
    std::size_t release = 0;
    Helpers releasers(Count, [&] {
        for (;;) {
            std::unique_ptr<Replacement> done;
            {
                std::lock_guard<std::mutex> lock(mutex);
                if (release >= Count)
                    return;
                done = std::move(pending[release++]);
            }
            if (done) {
                const int replaced = done->TakeReplacedVersion();
                if (replaced >= 0)
                    ::close(replaced);
            }
        }
    });
    releasers.Join();
}
