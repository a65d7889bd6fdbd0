#include "backup/ChunkPipeline.h"

#include <algorithm>

ChunkPipeline::ChunkPipeline(const std::function<Work()>& MakeWork, int Workers)
{
    const auto workers = static_cast<std::size_t>(std::max(1, Workers));
    workerCount_ = workers;
    // Four runs per worker: one being worked on, the rest queued or
    // waiting for the writer, so that a worker never waits on the writer's
    // turn; about a megabyte for each worker.
    slots_.resize(4 * RunLength * workers);
    for (auto& slot : slots_)
        slot = std::make_unique<Slot>();
    workers_.reserve(workers);
    try {
        for (std::size_t i = 0; i < workers; ++i)
            workers_.emplace_back([this, work = MakeWork()]() mutable { RunWorker(std::move(work)); });
    } catch (...) {
        // No thread to be had: the ones started end before this raises.
        StopWorkers();
        throw;
    }
}

ChunkPipeline::~ChunkPipeline()
{
    StopWorkers();
}

void ChunkPipeline::StopWorkers()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    queued_.notify_all();
    for (auto& worker : workers_)
        worker.join();
}

int ChunkPipeline::DefaultWorkers()
{
    const unsigned cores = std::thread::hardware_concurrency();
    return static_cast<int>(std::clamp(cores, 1U, 4U));
}

void ChunkPipeline::Submit()
{
    bool wake = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        slots_[submitted_ % slots_.size()]->Done = false;
        ++submitted_;
        wake = Waiting() % RunLength == 0;
    }
    if (wake)
        queued_.notify_one();
}

ArchiveChunk& ChunkPipeline::Oldest()
{
    Slot& slot = *slots_[released_ % slots_.size()];
    std::unique_lock<std::mutex> lock(mutex_);
    if (!slot.Done) {
        // A short run still queued is taken now rather than when it grows.
        callerWaits_ = true;
        if (Waiting() > 0)
            queued_.notify_all();
        done_.wait(lock, [&] { return slot.Done; });
        callerWaits_ = false;
    }
    return slot.Chunk;
}

void ChunkPipeline::RunWorker(Work work)
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        queued_.wait(lock, [this] { return stopping_ || Waiting() >= RunLength || (callerWaits_ && Waiting() > 0); });
        if (stopping_)
            return;
        const std::size_t first = claimed_;
        std::size_t count = std::min(Waiting(), RunLength);
        // The caller waits (at a file's end, say): what is left is shared
        // among the workers instead of one taking it all.
        if (callerWaits_)
            count = std::min(count, (Waiting() + workerCount_ - 1) / workerCount_);
        claimed_ += count;
        lock.unlock();
        for (std::size_t i = first; i < first + count; ++i) {
            ArchiveChunk& chunk = slots_[i % slots_.size()]->Chunk;
            if (chunk.NeedsWork)
                work(chunk);
        }
        lock.lock();
        for (std::size_t i = first; i < first + count; ++i)
            slots_[i % slots_.size()]->Done = true;
        if (callerWaits_)
            done_.notify_all();
    }
}

void ChunkPipeline::DropQueued()
{
    std::lock_guard<std::mutex> lock(mutex_);
    for (; claimed_ < submitted_; ++claimed_)
        slots_[claimed_ % slots_.size()]->Done = true;
}

ChunkPipeline::ReleaseOnExit::~ReleaseOnExit()
{
    // What no worker has started on is not worth waiting for.
    pipe_.DropQueued();
    while (!pipe_.Empty()) {
        pipe_.Oldest();
        pipe_.Release();
    }
}
