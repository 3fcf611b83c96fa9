// The FMOD 3 entry points the demo calls, over the mixer and one output.
// FSOUND_Init picks the output: the capture file when SOMBRELLA_CAPTURE_DIR
// and SOMBRELLA_FIXED_STEP_HZ are both set, else the sound card (SDL's audio
// device, which honours SDL_AUDIODRIVER; waveOut on Windows), else a silent
// output that keeps the song moving in real time, so a machine without sound
// still runs the demo.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

#include "common/knobs.h"
#include "common/present_hooks.h"
#include "fmod.h"
#include "fmod/fmod_state.h"
#include "fmod/mixer.h"
#include "fmod/output.h"
#include "fmod/song.h"

namespace sombrella::fmod {
namespace {

const Output* g_output = nullptr;
std::set<FMUSIC_MODULE*> g_songs;  // every song loaded and not yet freed

// A program may exit without FSOUND_Close (the demo does, with status 1, when
// "zel.xm" does not load): the output's feeder thread is stopped at exit so it
// never runs into static destruction. On Windows the system stops every other
// thread before the DLL hears of the exit, and joining then would hang: there
// the outputs' threads are simply left to it.
void CloseAtExit() { FSOUND_Close(); }
#ifdef _WIN32
bool g_exitHookSet = true;
#else
bool g_exitHookSet = false;
#endif

}  // namespace

const char* ActiveOutputName() { return g_output ? g_output->name : nullptr; }

}  // namespace sombrella::fmod

using namespace sombrella::fmod;

namespace {

// With no driver asked for, a run without a sound card says so once instead
// of playing to nothing without a word.
void SayAudioDriver(const char* driver) {
    static bool said = false;
    if (said || sombrella::knobs::String("SDL_AUDIODRIVER")) return;
    const bool silent = !driver || !std::strcmp(driver, "dummy") || !std::strcmp(driver, "disk");
    if (!silent) return;
    said = true;
    std::fprintf(stderr, "sombrella: no sound card could be opened; audio driver: %s (nothing is heard)\n",
                 driver ? driver : "silent");
}

}  // namespace

extern "C" {

float F_API FSOUND_GetVersion(void) { return FMOD_VERSION; }

signed char F_API FSOUND_Init(int mixrate, int maxsoftwarechannels, unsigned int flags) {
    (void)flags;  // no output-type flags matter here
    if (mixrate < 4000 || mixrate > 192000 || maxsoftwarechannels < 0) return 0;
    if (!g_exitHookSet) g_exitHookSet = std::atexit(CloseAtExit) == 0;
    if (g_output) {
        g_output->Close();
        g_output = nullptr;
    }
    MixerSetRate(mixrate);

    CaptureSettings capture;
    capture.dir = sombrella::knobs::String("SOMBRELLA_CAPTURE_DIR");
    capture.stepHz = sombrella::knobs::Int("SOMBRELLA_FIXED_STEP_HZ", 0);
    if ((capture.dir || sombrella::present::CurrentAudioSink()) && capture.stepHz > 0) {
        SetCaptureSettings(capture);
        if (kCaptureOutput.Open()) {
            g_output = &kCaptureOutput;
            return 1;
        }
        // Capture was asked for: never fall through to a real device.
    } else if (kDeviceOutput.Open()) {
        g_output = &kDeviceOutput;
#ifndef _WIN32
        SayAudioDriver(SdlAudioDriver());
#endif
        return 1;
    }
    // No sound card (or no capture file): the song still runs in real time.
    if (kSilentOutput.Open()) {
        g_output = &kSilentOutput;
        if (!capture.dir) SayAudioDriver(nullptr);
        return 1;
    }
    return 0;
}

void F_API FSOUND_Close(void) {
    MixerPlay(nullptr);
    if (g_output) {
        g_output->Close();
        g_output = nullptr;
    }
    for (FMUSIC_MODULE* song : g_songs) DestroySong(song);
    g_songs.clear();
}

FMUSIC_MODULE* F_API FMUSIC_LoadSong(const char* name) {
    FMUSIC_MODULE* song = LoadSongFile(name);
    if (song) g_songs.insert(song);
    return song;
}

signed char F_API FMUSIC_PlaySong(FMUSIC_MODULE* mod) {
    if (!g_output || !g_songs.count(mod)) return 0;
    MixerPlay(mod);
    return 1;
}

signed char F_API FMUSIC_FreeSong(FMUSIC_MODULE* mod) {
    if (!g_songs.count(mod)) return 0;
    MixerStop(mod);
    g_songs.erase(mod);
    DestroySong(mod);
    if (g_output) g_output->Flush();
    return 1;
}

}  // extern "C"
