#pragma once
// Packs or unpacks the archive's chunks on worker threads while the calling
// thread reads and writes them in their order. A fixed ring of chunks is in
// flight, so memory stays bounded whatever the archive's size; the caller
// takes the oldest chunk back (waiting for it if needed) before it may hand
// in another once the ring is full.
//
//     while (more to read) {
//         if (pipe.Full()) { consume(pipe.Oldest()); pipe.Release(); }
//         fill(pipe.Next()); pipe.Submit();
//     }
//     while (!pipe.Empty()) { consume(pipe.Oldest()); pipe.Release(); }
//
// Chunks change hands in runs: a worker takes up to RunLength waiting
// chunks at once and gives them back together, and is woken only once a
// run's worth waits (or the caller needs the oldest now). Handing over one
// chunk at a time would cost two thread switches per chunk, as much as
// inflating it.
//
// Destroying the pipeline drops what is still queued and waits only for the
// chunks being worked on, so a cancel stops at once.
#include "backup/ArchiveChunk.h"

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class ChunkPipeline {
public:
    using Work = std::function<void(ArchiveChunk&)>;
    // Every worker thread calls MakeWork once for a Work of its own (its own
    // zlib state).
    explicit ChunkPipeline(const std::function<Work()>& MakeWork, int Workers = DefaultWorkers());
    ~ChunkPipeline();
    ChunkPipeline(const ChunkPipeline&) = delete;
    ChunkPipeline& operator=(const ChunkPipeline&) = delete;

    // One worker per core, up to four.
    static int DefaultWorkers();
    static constexpr std::size_t RunLength = 8;

    bool Full() const { return submitted_ - released_ == slots_.size(); }
    bool Empty() const { return submitted_ == released_; }
    // The free chunk to fill; only when not Full.
    ArchiveChunk& Next() { return slots_[submitted_ % slots_.size()]->Chunk; }
    void Submit();
    // The oldest chunk handed in, once its work is done; only when not Empty.
    ArchiveChunk& Oldest();
    void Release() { ++released_; }
    // Marks the chunks no worker has taken yet as done, untouched.
    void DropQueued();

    // Gives back whatever is still in flight when a run leaves early, so
    // that the next file or segment starts on an empty ring.
    class ReleaseOnExit {
    public:
        explicit ReleaseOnExit(ChunkPipeline& Pipe) : pipe_(Pipe) {}
        ~ReleaseOnExit();
        ReleaseOnExit(const ReleaseOnExit&) = delete;
        ReleaseOnExit& operator=(const ReleaseOnExit&) = delete;

    private:
        ChunkPipeline& pipe_;
    };

private:
    struct Slot {
        ArchiveChunk Chunk;
        bool Done = false;
    };
    void RunWorker(Work work);
    void StopWorkers();
    std::size_t Waiting() const { return submitted_ - claimed_; }

    std::vector<std::unique_ptr<Slot>> slots_;
    std::vector<std::thread> workers_;
    std::size_t workerCount_ = 1;
    std::mutex mutex_;
    std::condition_variable queued_;
    std::condition_variable done_;
    // Counters of chunks: handed in, taken by a worker, given back. Only
    // the caller's thread changes submitted_ and released_.
    std::size_t submitted_ = 0;
    std::size_t claimed_ = 0;
    std::size_t released_ = 0;
    // The caller waits for the oldest chunk: workers take shorter runs and
    // say when the chunk is done.
    bool callerWaits_ = false;
    bool stopping_ = false;
};
