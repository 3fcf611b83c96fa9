// Runs numbered pieces of work on a fixed set of threads, the caller's among
// them, and returns when all are done. Workers stay awake for a moment after
// each batch: a frame flushes twice in quick succession (clear, then draws),
// and waking a sleeping thread costs as much as a small batch takes.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace sombrella::d3d::raster {

class BandRunner {
public:
    using Job = void (*)(void* context, int band);

    explicit BandRunner(int threads);
    ~BandRunner();
    BandRunner(const BandRunner&) = delete;
    BandRunner& operator=(const BandRunner&) = delete;

    // Runs job(context, b) once for every b in [0, count), in any order and
    // on any thread; returns when every call has returned.
    void Run(int count, Job job, void* context);

    int Threads() const { return (int)workers_.size() + 1; }

private:
    void RunBatch(int first, int n, Job job, void* context);
    // Claims bands of the current batch until none are left.
    void Drain(uint32_t batch);
    void Worker();

    // Batch number (high 32 bits), band count (bits 16..31) and next band to
    // claim (bits 0..15) in one word, so a thread late for a batch can never
    // claim a band of the next one.
    std::atomic<uint64_t> work_{0};
    std::atomic<int> finished_{0};
    std::atomic<int> sleepers_{0};
    std::atomic<bool> quit_{false};
    Job job_ = nullptr;
    void* context_ = nullptr;
    int first_ = 0;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<std::thread> workers_;
};

}  // namespace sombrella::d3d::raster
