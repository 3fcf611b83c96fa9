// "zel": the demo's tune, in A minor at 120 BPM, put together as an XM module.
#pragma once

#include "xm_writer.h"

namespace makemusic {

Module ComposeZel();

}  // namespace makemusic
