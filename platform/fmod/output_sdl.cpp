#include <SDL.h>

#include <cstdint>

#include "fmod/mixer.h"
#include "fmod/output.h"

namespace sombrella::fmod {
namespace {

SDL_AudioDeviceID g_device = 0;

void SDLCALL Feed(void*, Uint8* stream, int len) {
    Mix(reinterpret_cast<int16_t*>(stream), static_cast<size_t>(len) / (kChannels * sizeof(int16_t)));
}

bool Open() {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
    SDL_AudioSpec want{};
    want.freq = MixerRate();
    want.format = AUDIO_S16SYS;
    want.channels = kChannels;
    want.samples = 1024;
    want.callback = Feed;
    SDL_AudioSpec have{};
    // No changes allowed: SDL converts to whatever the device really takes.
    g_device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (g_device == 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    SDL_PauseAudioDevice(g_device, 0);
    return true;
}

void Close() {
    if (g_device == 0) return;
    SDL_CloseAudioDevice(g_device);
    g_device = 0;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void Flush() {}

}  // namespace

const Output kSdlOutput = {"sdl", Open, Close, Flush};

const char* SdlAudioDriver() { return g_device ? SDL_GetCurrentAudioDriver() : nullptr; }

}  // namespace sombrella::fmod
