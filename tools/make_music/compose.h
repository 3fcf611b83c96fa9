// "zel": the demo's tune, in A minor, put together as an XM module and timed
// to the demo's 42 seconds.
#pragma once

#include "xm_writer.h"

namespace makemusic {

// A row is kSpeed ticks, a bar 16 rows (a beat is 0.5236 s, 114.6 beats a
// minute). The player makes a tick a whole number of samples: at the
// demo's 44,100 Hz, 2.5 / kBpm s rounds to 481 samples, so a section of
// kSectionBars bars is 960 ticks = 461,760 samples = 10.4707 s, and the
// sections start within 4 ms of 10.472, 20.944 and 31.416 s, the moments at
// which the demo's camera turns a whole multiple of 60 degrees a frame.
constexpr int kSpeed = 12;
constexpr int kBpm = 229;
constexpr int kMixRate = 44100;
constexpr int kSectionBars = 5;
// The module's global volume (0..64), which sets the level of the mix.
constexpr uint8_t kGlobalVolume = 48;

Module ComposeZel();

// The same module cut down to a few kilobytes (short samples, short
// patterns): a seed for fuzzing module loaders.
Module ShrinkForSeed(Module module);

}  // namespace makemusic
