#include "d3d/raster/band_runner.h"

#include <algorithm>
#include <chrono>

namespace sombrella::d3d::raster {
namespace {

// How long a worker looks for the next batch before it sleeps.
constexpr std::chrono::microseconds kStayAwake{1500};
constexpr int kMaxBands = 0xFFFF;

uint32_t BatchOf(uint64_t w) { return (uint32_t)(w >> 32); }
int CountOf(uint64_t w) { return (int)((w >> 16) & 0xFFFF); }
int NextOf(uint64_t w) { return (int)(w & 0xFFFF); }

}  // namespace

BandRunner::BandRunner(int threads) {
    for (int i = 1; i < threads; ++i) workers_.emplace_back([this] { Worker(); });
}

BandRunner::~BandRunner() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quit_.store(true);
    }
    wake_.notify_all();
    for (std::thread& t : workers_) t.join();
}

void BandRunner::Drain(uint32_t batch) {
    uint64_t w = work_.load(std::memory_order_acquire);
    for (;;) {
        if (BatchOf(w) != batch || NextOf(w) >= CountOf(w)) return;
        if (!work_.compare_exchange_weak(w, w + 1, std::memory_order_acq_rel, std::memory_order_acquire)) continue;
        job_(context_, first_ + NextOf(w));
        finished_.fetch_add(1, std::memory_order_release);
        w = work_.load(std::memory_order_acquire);
    }
}

void BandRunner::Worker() {
    uint32_t seen = 0;
    for (;;) {
        auto until = std::chrono::steady_clock::now() + kStayAwake;
        uint64_t w = work_.load(std::memory_order_acquire);
        for (int spins = 0; BatchOf(w) == seen && !quit_.load(std::memory_order_relaxed); ++spins) {
            if ((spins & 63) == 63 && std::chrono::steady_clock::now() > until) {
                std::unique_lock<std::mutex> lock(mutex_);
                sleepers_.fetch_add(1);
                wake_.wait(lock, [&] { return quit_.load() || BatchOf(work_.load()) != seen; });
                sleepers_.fetch_sub(1);
                until = std::chrono::steady_clock::now() + kStayAwake;
            } else {
                std::this_thread::yield();
            }
            w = work_.load(std::memory_order_acquire);
        }
        if (quit_.load()) return;
        seen = BatchOf(w);
        Drain(seen);
    }
}

void BandRunner::Run(int count, Job job, void* context) {
    for (int first = 0; first < count; first += kMaxBands) RunBatch(first, std::min(kMaxBands, count - first), job, context);
}

void BandRunner::RunBatch(int first, int n, Job job, void* context) {
    if (workers_.empty() || n == 1) {
        for (int b = 0; b < n; ++b) job(context, first + b);
        return;
    }
    job_ = job;
    context_ = context;
    first_ = first;
    finished_.store(0, std::memory_order_relaxed);
    const uint32_t batch = BatchOf(work_.load(std::memory_order_relaxed)) + 1;
    work_.store(((uint64_t)batch << 32) | ((uint64_t)n << 16));
    if (sleepers_.load() > 0) {
        { std::lock_guard<std::mutex> lock(mutex_); }
        wake_.notify_all();
    }
    Drain(batch);
    // What is left is at most one band per worker, already running.
    while (finished_.load(std::memory_order_acquire) < n) std::this_thread::yield();
}

}  // namespace sombrella::d3d::raster
