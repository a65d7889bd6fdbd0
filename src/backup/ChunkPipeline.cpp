#include "backup/ChunkPipeline.h"

#include <algorithm>

ChunkPipeline::ChunkPipeline(const std::function<Work()>& MakeWork, int Workers)
{
    const auto workers = static_cast<std::size_t>(std::max(1, Workers));
    // Four chunks per worker: enough that a worker never waits on the
    // writer's turn, few enough to stay a few hundred kilobytes.
    slots_.resize(4 * workers);
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
    {
        std::lock_guard<std::mutex> lock(mutex_);
        slots_[submitted_ % slots_.size()]->Done = false;
        ++submitted_;
    }
    queued_.notify_one();
}

ArchiveChunk& ChunkPipeline::Oldest()
{
    Slot& slot = *slots_[released_ % slots_.size()];
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [&] { return slot.Done; });
    return slot.Chunk;
}

void ChunkPipeline::RunWorker(Work work)
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        queued_.wait(lock, [this] { return stopping_ || claimed_ < submitted_; });
        if (stopping_)
            return;
        Slot& slot = *slots_[claimed_ % slots_.size()];
        ++claimed_;
        lock.unlock();
        if (slot.Chunk.NeedsWork)
            work(slot.Chunk);
        lock.lock();
        slot.Done = true;
        done_.notify_all();
    }
}

ChunkPipeline::ReleaseOnExit::~ReleaseOnExit()
{
    while (!pipe_.Empty()) {
        pipe_.Oldest();
        pipe_.Release();
    }
}
