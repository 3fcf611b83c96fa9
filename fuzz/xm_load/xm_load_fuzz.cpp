// libFuzzer target: the music library's module load path (structure check,
// libopenmpt load, format filter) and a moment of playback of what loads.
#include <libopenmpt/libopenmpt.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "fmod/song.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FMUSIC_MODULE* song = sombrella::fmod::LoadSongFromMemory(data, size);
    if (!song) return 0;
    std::vector<int16_t> audio(512 * 2);
    openmpt_module_read_interleaved_stereo(song->player, 44100, 512, audio.data());
    sombrella::fmod::DestroySong(song);
    return 0;
}
