// Capture mode: with SOMBRELLA_CAPTURE_DIR and SOMBRELLA_FIXED_STEP_HZ=N the
// music follows presented frames instead of a clock. "<dir>/music.wav"
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

// Sample frames that belong before the end of the given number of frames.
uint64_t SamplesFor(uint64_t frames) {
    return frames * static_cast<uint64_t>(MixerRate()) / static_cast<uint64_t>(g_settings.stepHz);
}

void WriteUpTo(uint64_t target, bool silent) {
    uint64_t have = g_wav.FramesWritten();
    while (have < target) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(target - have, 4096));
        g_scratch.assign(n * kChannels, 0);
        if (!silent) Mix(g_scratch.data(), n);
        if (!g_wav.Write(g_scratch.data(), n)) return;  // disk full: stop quietly
        have += n;
    }
}

void OnPresent(void*, uint64_t frameIndex) { WriteUpTo(SamplesFor(frameIndex + 1), false); }

bool Open() {
    if (!g_settings.dir || g_settings.stepHz <= 0) return false;
    const std::string path = std::string(g_settings.dir) + "/music.wav";
    if (!g_wav.Open(path, MixerRate(), kChannels)) {
        std::fprintf(stderr, "sombrella: cannot write %s\n", path.c_str());
        return false;
    }
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
