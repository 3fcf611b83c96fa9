#include "fmod/mixer.h"

#include <libopenmpt/libopenmpt.h>

#include <algorithm>
#include <cstring>
#include <mutex>

#include "fmod/song.h"

namespace sombrella::fmod {
namespace {
std::mutex g_lock;
FMUSIC_MODULE* g_playing = nullptr;
int g_rate = 44100;
uint64_t g_framesPlayed = 0;
}  // namespace

void MixerSetRate(int rate) {
    std::lock_guard<std::mutex> hold(g_lock);
    g_rate = rate;
}

int MixerRate() {
    std::lock_guard<std::mutex> hold(g_lock);
    return g_rate;
}

void MixerPlay(FMUSIC_MODULE* song) {
    std::lock_guard<std::mutex> hold(g_lock);
    if (song) openmpt_module_set_position_order_row(song->player, 0, 0);
    g_playing = song;
}

void MixerStop(FMUSIC_MODULE* song) {
    std::lock_guard<std::mutex> hold(g_lock);
    if (g_playing == song) g_playing = nullptr;
}

bool MixerIsPlaying(const FMUSIC_MODULE* song) {
    std::lock_guard<std::mutex> hold(g_lock);
    return song && g_playing == song;
}

void Mix(int16_t* out, size_t frames) {
    std::lock_guard<std::mutex> hold(g_lock);
    size_t done = 0;
    if (g_playing) {
        while (done < frames) {
            size_t got = openmpt_module_read_interleaved_stereo(
                g_playing->player, g_rate, frames - done, out + done * kChannels);
            // A looping song never ends; a song that does simply falls silent.
            if (got == 0) break;
            done += got;
            g_framesPlayed += got;
        }
    }
    std::fill(out + done * kChannels, out + frames * kChannels, int16_t{0});
}

uint64_t MixerFramesPlayed() {
    std::lock_guard<std::mutex> hold(g_lock);
    return g_framesPlayed;
}

double MixerPositionSeconds() {
    std::lock_guard<std::mutex> hold(g_lock);
    return g_playing ? openmpt_module_get_position_seconds(g_playing->player) : -1.0;
}

}  // namespace sombrella::fmod
