// Structural check of FastTracker 2 modules before they reach the player:
// libopenmpt plays a cut-off XM with whatever it finds, the music library
// refuses it.
#pragma once

#include <cstddef>

namespace sombrella::fmod {

// True when data starts like an XM module.
bool LooksLikeXm(const unsigned char* data, size_t size);

// For an XM of version 0x0104: true when every pattern, instrument, sample
// header and sample the file declares is present in full and the counts are
// within the format's limits. Other versions are left to the player (true).
bool XmIsComplete(const unsigned char* data, size_t size);

}  // namespace sombrella::fmod
