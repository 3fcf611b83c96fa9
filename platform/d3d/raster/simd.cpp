#include "d3d/raster/simd.h"

#include <hwy/targets.h>

#include <atomic>
#include <cstring>
#include <string>

namespace sombrella::d3d::raster {
namespace {

// The forced target's bit, 0 for none. Kept here because Highway's
// SupportedTargets reports only the forced set while one is forced.
std::atomic<int64_t> g_forced{0};

// The targets compiled into this library that the CPU runs, best (lowest bit) first.
int64_t Runnable() {
    const int64_t forced = g_forced.load();
    if (forced) hwy::SetSupportedTargetsForTest(0);
    const int64_t all = hwy::SupportedTargets() & HWY_TARGETS;
    if (forced) hwy::SetSupportedTargetsForTest(forced);
    return all;
}

int64_t Best(int64_t targets) { return targets & -targets; }

}  // namespace

const char* ActiveSimdTarget() {
    const int64_t forced = g_forced.load();
    return hwy::TargetName(forced ? forced : Best(Runnable()));
}

bool ForceSimdTarget(const char* name) {
    if (!name || std::strcmp(name, "best") == 0) {
        g_forced = 0;
        hwy::SetSupportedTargetsForTest(0);
        return true;
    }
    for (int64_t rest = Runnable(); rest != 0; rest &= rest - 1) {
        const int64_t target = Best(rest);
        if (std::strcmp(hwy::TargetName(target), name) == 0) {
            g_forced = target;
            hwy::SetSupportedTargetsForTest(target);
            return true;
        }
    }
    return false;
}

const char* AvailableSimdTargets() {
    static std::string names;
    names.clear();
    for (int64_t rest = Runnable(); rest != 0; rest &= rest - 1) {
        if (!names.empty()) names += ' ';
        names += hwy::TargetName(Best(rest));
    }
    return names.c_str();
}

}  // namespace sombrella::d3d::raster
