// Which vector instruction set the pixel pipeline runs with. The best one
// the CPU has is chosen at start-up; benchmarks and tests may force another.
#pragma once

namespace sombrella::d3d::raster {

// The name of the target the span code dispatches to now, e.g. "AVX2",
// "SSE4", "AVX3" (AVX-512), "NEON", "SVE", "EMU128" (portable C++).
const char* ActiveSimdTarget();

// Makes later draws run with the named target. False (nothing changed) when
// the name is unknown or this CPU or build lacks it; nullptr or "best"
// restores the start-up choice. Call only while no frame is being rendered.
bool ForceSimdTarget(const char* name);

// The names of every target this CPU and build can run, best first,
// separated by spaces.
const char* AvailableSimdTargets();

}  // namespace sombrella::d3d::raster
