// Where mixed music goes. Each output is a small table of entry points; the
// library starts exactly one of them in FSOUND_Init.
#pragma once

namespace sombrella::fmod {

struct Output {
    const char* name;
    // Starts pulling from the mixer at the mixer's rate; false if unavailable.
    bool (*Open)();
    // Stops pulling; after it returns the mixer is no longer called.
    void (*Close)();
    // Brings anything written so far up to date (file headers).
    void (*Flush)();
};

// The SDL audio device ("sdl").
extern const Output kSdlOutput;
// The Windows sound card through waveOut ("waveout").
extern const Output kWaveOutOutput;
// The sound card output of this build: waveOut on Windows, SDL elsewhere.
#ifdef _WIN32
inline const Output& kDeviceOutput = kWaveOutOutput;
#else
inline const Output& kDeviceOutput = kSdlOutput;
#endif
// The SDL audio driver the open device plays through, or nullptr.
const char* SdlAudioDriver();
// No device: a thread advances the song in real time and drops the audio ("silent").
extern const Output kSilentOutput;
// Deterministic capture into a WAV file, one frame step per presented frame ("capture").
extern const Output kCaptureOutput;

// The capture output's settings, taken from the environment before Open.
struct CaptureSettings {
    const char* dir = nullptr;
    long stepHz = 0;
};
void SetCaptureSettings(const CaptureSettings& settings);

}  // namespace sombrella::fmod
