#include "d3d/raster/band_runner.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace sombrella::d3d::raster {
namespace {

struct Tally {
    std::vector<std::atomic<int>> runs;
    int slowBand = -1;
    explicit Tally(size_t n) : runs(n) {}
};

void Count(void* context, int band) {
    auto* t = static_cast<Tally*>(context);
    if (band == t->slowBand) std::this_thread::sleep_for(std::chrono::microseconds(300));
    t->runs[(size_t)band].fetch_add(1, std::memory_order_relaxed);
}

// Every band of every batch runs exactly once and has finished when Run
// returns: back to back (workers awake), after pauses long enough for them
// to sleep, with a slow band left to the end, and past the 16-bit batch size.
TEST(BandRunner, EveryBandOnceAndDoneOnReturn) {
    for (int threads : {1, 2, 3, 5}) {
        BandRunner runner(threads);
        EXPECT_EQ(runner.Threads(), threads);
        const int counts[] = {0, 1, 2, 3, 30, 90, 120, 70000};
        for (int round = 0; round < 300; ++round) {
            const int n = counts[round % 8];
            if (n > 1000 && round > 8) continue;
            Tally tally((size_t)n + 1);
            tally.slowBand = round % 3 == 0 ? n - 1 : -1;
            if (round % 50 == 7) std::this_thread::sleep_for(std::chrono::milliseconds(3));
            runner.Run(n, &Count, &tally);
            int wrong = 0;
            for (int b = 0; b < n; ++b) wrong += tally.runs[(size_t)b].load() != 1;
            ASSERT_EQ(wrong, 0) << threads << " threads, round " << round << ", " << n << " bands";
            ASSERT_EQ(tally.runs[(size_t)n].load(), 0);
        }
    }
}

}  // namespace
}  // namespace sombrella::d3d::raster
