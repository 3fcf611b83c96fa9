// Read-only views into the music library's state, for tests and tools.
#pragma once

namespace sombrella::fmod {

// "sdl" (or "waveout"), "silent" or "capture" while initialised; nullptr otherwise.
const char* ActiveOutputName();

}  // namespace sombrella::fmod
