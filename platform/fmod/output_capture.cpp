// Capture mode: with SOMBRELLA_CAPTURE_DIR (or a recorder's audio sink) and
// SOMBRELLA_FIXED_STEP_HZ=N the music follows presented frames instead of a
// clock. "<dir>/music.wav" and the sink
// (16-bit stereo) holds N-ths of a second per presented frame, counted from
// the program's first frame: frames shown before FSOUND_Init are silence, so
// sample 0 lines up with frame 0 of a frame capture. After frame k (0-based)
// exactly floor((k+1)*rate/N) sample frames are written; the remainder is
// carried, never rounded away. No audio device is touched, so two runs give
// the same file bit for bit.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "common/present_hooks.h"
#include "fmod/mixer.h"
#include "fmod/output.h"
#include "fmod/wav_writer.h"

namespace sombrella::fmod {
namespace {

CaptureSettings g_settings;
WavWriter g_wav;
std::vector<int16_t> g_scratch;
uint64_t g_written = 0;  // sample frames handed on so far

// Sample frames that belong before the end of the given number of frames.
uint64_t SamplesFor(uint64_t frames) {
    return frames * static_cast<uint64_t>(MixerRate()) / static_cast<uint64_t>(g_settings.stepHz);
}

void WriteUpTo(uint64_t target, bool silent) {
    uint64_t& have = g_written;
    while (have < target) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(target - have, 4096));
        g_scratch.assign(n * kChannels, 0);
        if (!silent) Mix(g_scratch.data(), n);
        if (const present::AudioSink* sink = present::CurrentAudioSink()) sink->Samples(sink->user, g_scratch.data(), n);
        if (g_wav.IsOpen() && !g_wav.Write(g_scratch.data(), n)) g_wav.Close();  // disk full: stop quietly
        have += n;
    }
}

void OnPresent(void*, uint64_t frameIndex) { WriteUpTo(SamplesFor(frameIndex + 1), false); }

bool Open() {
    const present::AudioSink* sink = present::CurrentAudioSink();
    if ((!g_settings.dir && !sink) || g_settings.stepHz <= 0) return false;
    if (g_settings.dir) {
        const std::string path = std::string(g_settings.dir) + "/music.wav";
        if (!g_wav.Open(path, MixerRate(), kChannels)) {
            std::fprintf(stderr, "sombrella: cannot write %s\n", path.c_str());
            if (!sink) return false;
        }
    }
    if (sink) sink->Begin(sink->user, MixerRate());
    g_written = 0;
    WriteUpTo(SamplesFor(present::FramesPresented()), true);
    present::AddListener(OnPresent, nullptr);
    return true;
}

void Close() {
    present::RemoveListener(OnPresent, nullptr);
    g_wav.Close();
    g_scratch.clear();
    g_scratch.shrink_to_fit();
}

void Flush() { g_wav.Update(); }

}  // namespace

void SetCaptureSettings(const CaptureSettings& settings) { g_settings = settings; }

const Output kCaptureOutput = {"capture", Open, Close, Flush};

}  // namespace sombrella::fmod
