// Real clocks read std::chrono's steady clock. With SOMBRELLA_FIXED_STEP_HZ=N
// every clock advances exactly 1/N s per presented frame instead, so a run
// is frame-for-frame reproducible.
#include "win32/clock.h"

#include <chrono>
#include <thread>

#include "common/knobs.h"
#include "common/present_hooks.h"
#include "windows.h"

namespace sombrella::win32 {
namespace {

using Steady = std::chrono::steady_clock;

struct ClockState {
    Steady::time_point start = Steady::now();
    long fixedHz = 0;
    ClockState() {
        long hz = knobs::Int("SOMBRELLA_FIXED_STEP_HZ", 0);
        fixedHz = hz > 0 && hz <= 100000 ? hz : 0;
    }
};

ClockState& State() {
    static ClockState state;
    return state;
}

// Virtual ticks: one frame is kTicksPerStep ticks, so the frequency is exact.
constexpr int64_t kTicksPerStep = 1000000;

}  // namespace

long FixedStepHz() { return State().fixedHz; }

uint64_t NowMilliseconds() {
    ClockState& s = State();
    if (s.fixedHz) return present::FramesPresented() * 1000ull / static_cast<uint64_t>(s.fixedHz);
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Steady::now() - s.start).count());
}

}  // namespace sombrella::win32

using namespace sombrella::win32;

BOOL WINAPI QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
    if (!frequency) return FALSE;
    long hz = FixedStepHz();
    frequency->QuadPart = hz ? hz * kTicksPerStep : 1000000000LL;
    return TRUE;
}

BOOL WINAPI QueryPerformanceCounter(LARGE_INTEGER* count) {
    if (!count) return FALSE;
    if (FixedStepHz()) {
        count->QuadPart = static_cast<LONGLONG>(sombrella::present::FramesPresented()) * kTicksPerStep;
    } else {
        count->QuadPart = std::chrono::duration_cast<std::chrono::nanoseconds>(
                              std::chrono::steady_clock::now().time_since_epoch())
                              .count();
    }
    return TRUE;
}

DWORD WINAPI timeGetTime(void) { return static_cast<DWORD>(NowMilliseconds()); }

void WINAPI Sleep(DWORD ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
