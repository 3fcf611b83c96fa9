// "zel": the demo's tune, in A minor at 120 BPM, put together as an XM module.
#pragma once

#include "xm_writer.h"

namespace makemusic {

Module ComposeZel();

// The same module cut down to a few kilobytes (short samples, short
// patterns): a seed for fuzzing module loaders.
Module ShrinkForSeed(Module module);

}  // namespace makemusic
