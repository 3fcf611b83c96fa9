// The one place song audio is produced; every output pulls from here.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fmod.h"

namespace sombrella::fmod {

constexpr int kChannels = 2;

void MixerSetRate(int rate);
int MixerRate();

// The song that Mix renders from; nullptr plays silence. Starting a song
// rewinds it.
void MixerPlay(FMUSIC_MODULE* song);
// Stops the song if it is the one playing.
void MixerStop(FMUSIC_MODULE* song);
bool MixerIsPlaying(const FMUSIC_MODULE* song);

// Renders frames stereo frames (interleaved 16-bit) and advances the song.
// Safe to call from the audio thread while the main thread plays/stops.
void Mix(int16_t* out, size_t frames);

// Frames rendered from songs since start-up; grows only while a song plays.
uint64_t MixerFramesPlayed();

// Playback position of the playing song in seconds; -1 when none plays.
double MixerPositionSeconds();

}  // namespace sombrella::fmod
