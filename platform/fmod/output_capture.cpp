// Capture mode: with SOMBRELLA_CAPTURE_DIR and SOMBRELLA_FIXED_STEP_HZ=N the
// music follows presented frames instead of a clock. Each presented frame
// renders the next 1/N s of music into "<dir>/music.wav" (16-bit stereo), the
// remainder of N carried so that after k frames exactly floor(k*rate/N)
// frames are written. No audio device is touched, so two runs give the same
// file bit for bit.
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
uint64_t g_frames = 0;  // presented frames since Open
std::vector<int16_t> g_scratch;

void OnPresent(void*, uint64_t) {
    ++g_frames;
    const uint64_t rate = static_cast<uint64_t>(MixerRate());
    const uint64_t target = g_frames * rate / static_cast<uint64_t>(g_settings.stepHz);
    uint64_t have = g_wav.FramesWritten();
    while (have < target) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(target - have, 4096));
        g_scratch.resize(n * kChannels);
        Mix(g_scratch.data(), n);
        if (!g_wav.Write(g_scratch.data(), n)) return;  // disk full: stop quietly
        have += n;
    }
}

bool Open() {
    if (!g_settings.dir || g_settings.stepHz <= 0) return false;
    const std::string path = std::string(g_settings.dir) + "/music.wav";
    if (!g_wav.Open(path, MixerRate(), kChannels)) {
        std::fprintf(stderr, "sombrella: cannot write %s\n", path.c_str());
        return false;
    }
    g_frames = 0;
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
