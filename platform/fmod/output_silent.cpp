#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "fmod/mixer.h"
#include "fmod/output.h"

namespace sombrella::fmod {
namespace {

// Never destroyed at exit: a joinable std::thread destroyed then would abort
// (on Windows the system has already stopped the thread when the DLL unloads).
std::thread* g_thread = nullptr;
std::mutex g_lock;
std::condition_variable g_wake;
bool g_stop = false;

// Renders what a sound card would have consumed by now and throws it away,
// so the song keeps its place in time without a device.
void Run() {
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const int64_t rate = MixerRate();
    int64_t done = 0;
    std::vector<int16_t> scratch(4096 * kChannels);
    std::unique_lock<std::mutex> hold(g_lock);
    while (!g_stop) {
        g_wake.wait_for(hold, std::chrono::milliseconds(10));
        if (g_stop) break;
        hold.unlock();
        const int64_t ns =
            std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count();
        const int64_t due = static_cast<int64_t>(static_cast<long double>(ns) * rate / 1e9L);
        while (done < due) {
            const int64_t n = std::min<int64_t>(due - done, 4096);
            Mix(scratch.data(), static_cast<size_t>(n));
            done += n;
        }
        hold.lock();
    }
}

bool Open() {
    {
        std::lock_guard<std::mutex> hold(g_lock);
        g_stop = false;
    }
    g_thread = new std::thread(Run);
    return true;
}

void Close() {
    if (!g_thread) return;
    {
        std::lock_guard<std::mutex> hold(g_lock);
        g_stop = true;
    }
    g_wake.notify_all();
    g_thread->join();
    delete g_thread;
    g_thread = nullptr;
}

void Flush() {}

}  // namespace

const Output kSilentOutput = {"silent", Open, Close, Flush};

}  // namespace sombrella::fmod
