// A loaded module: the libopenmpt player behind an FMUSIC_MODULE handle.
#pragma once

#include <cstddef>
#include <string>

#include "fmod.h"

struct openmpt_module;

struct FMUSIC_MODULE {
    openmpt_module* player = nullptr;
};

namespace sombrella::fmod {

// Largest module file we are willing to read into memory.
constexpr size_t kMaxSongBytes = 64u << 20;

// Loads a module from memory. Only the formats the music library knows
// (MOD, S3M, XM, IT) are accepted. Messages libopenmpt logs while loading
// are appended to log, one a line, when log is given. nullptr on failure.
FMUSIC_MODULE* LoadSongFromMemory(const void* data, size_t size, std::string* log = nullptr);

// Reads the file (backslashes taken as '/') and loads it; nullptr on failure.
FMUSIC_MODULE* LoadSongFile(const char* name, std::string* log = nullptr);

void DestroySong(FMUSIC_MODULE* song);

}  // namespace sombrella::fmod
