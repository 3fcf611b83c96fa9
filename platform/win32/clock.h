// The process clocks, real or virtual (SOMBRELLA_FIXED_STEP_HZ).
#pragma once

#include <cstdint>

namespace sombrella::win32 {

// Milliseconds since the clock started, as timeGetTime reports them.
uint64_t NowMilliseconds();
// Steps of the virtual clock per second, or 0 when the real clock runs.
long FixedStepHz();

}  // namespace sombrella::win32
