// libFuzzer target: the music library's module load path (structure check,
// libopenmpt load, format filter) and a moment of playback of what loads.
// The same bytes also go to libopenmpt directly, past our own checks, so that
// what those checks would refuse still reaches the library behind them.
#include <libopenmpt/libopenmpt.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "fmod/song.h"

namespace {

void Play(openmpt_module* player) {
    std::vector<int16_t> audio(512 * 2);
    for (int i = 0; i < 4; ++i)
        if (openmpt_module_read_interleaved_stereo(player, 44100, 512, audio.data()) == 0) break;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (FMUSIC_MODULE* song = sombrella::fmod::LoadSongFromMemory(data, size)) {
        Play(song->player);
        sombrella::fmod::DestroySong(song);
    }
    int error = 0;
    openmpt_module* raw = openmpt_module_create_from_memory2(data, size, nullptr, nullptr, nullptr, nullptr, &error,
                                                             nullptr, nullptr);
    if (raw) {
        openmpt_module_set_repeat_count(raw, 0);
        Play(raw);
        openmpt_module_destroy(raw);
    }
    return 0;
}
