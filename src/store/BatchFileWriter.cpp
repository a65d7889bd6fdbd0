#include "store/BatchFileWriter.h"

#include "base/SafeReplace.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <set>
#include <sys/resource.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace {

// Flushes and releases wait on the disk, not on a core.
constexpr std::size_t MostThreads = 8;

// Runs Work(0..Count-1) on up to MostThreads threads, this one included.
void OnThreads(std::size_t Count, const std::function<void(std::size_t)>& Work)
{
    std::atomic<std::size_t> next{0};
    const auto loop = [&] {
        for (std::size_t i = next++; i < Count; i = next++)
            Work(i);
    };
    std::vector<std::thread> pool;
    for (std::size_t t = 1; t < std::min(MostThreads, Count); ++t) {
        try {
            pool.emplace_back(loop);
        } catch (const std::system_error&) {
            break; // fewer helpers, or none: this thread does the rest
        }
    }
    loop();
    for (auto& thread : pool)
        thread.join();
}

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

void BatchFileWriter::Add(const std::string& FileName, std::string_view Bytes, bool KnownChanged)
{
    Saves_.push_back({FileName, Bytes, KnownChanged});
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
    // Every new file is written first, on this thread: creating files in one
    // folder takes the folder's lock, so threads would only queue for it.
    // The old versions stay held meanwhile, none freed before the last new
    // file exists (a file system may search past recently freed entries
    // when it creates one).
    for (std::size_t i = 0; i < Count; ++i) {
        const Save& save = Saves_[First + i];
        try {
            auto replacement = std::make_unique<Replacement>(Seam_);
            if (replacement->Begin(save.FileName, save.Bytes, save.KnownChanged, true))
                pending[i] = std::move(replacement);
        } catch (...) {
            Failures[First + i] = std::current_exception();
        }
    }
    // Each is flushed and only then renamed into place; the flushes overlap.
    OnThreads(Count, [&](std::size_t i) {
        if (!pending[i])
            return;
        try {
            pending[i]->Commit();
        } catch (...) {
            Failures[First + i] = std::current_exception();
            pending[i].reset();
        }
    });
    // Once after the renames: each file is whole under its name before and
    // after, and only now are they all known to be there after a crash.
    std::set<std::string> folders;
    for (const auto& replacement : pending)
        if (replacement)
            folders.insert(replacement->Folder());
    for (const std::string& folder : folders)
        SafeReplace::SyncFolder(folder);
    // Freeing the old versions' blocks waits on the disk too (see
    // AtomicFileWriter): side by side.
    OnThreads(Count, [&](std::size_t i) {
        if (pending[i]) {
            const int replaced = pending[i]->TakeReplacedVersion();
            if (replaced >= 0)
                ::close(replaced);
        }
    });
}
