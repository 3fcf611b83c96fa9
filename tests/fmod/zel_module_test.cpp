// The generated "zel.xm": a clean, long enough module that other players
// accept and play audibly.
#include <libopenmpt/libopenmpt.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>
#include <string>

#include "fmod/song.h"
#include "test_env.h"
#include "wav_file.h"

namespace {

void Collect(const char* message, void* user) {
    static_cast<std::string*>(user)->append(message).push_back('\n');
}

TEST(ZelModule, LoadsCleanlyAndLastsLongEnough) {
    const std::vector<unsigned char> bytes = ReadBytes(ZelPath());
    ASSERT_FALSE(bytes.empty());
    std::string log;
    int error = 0;
    openmpt_module* mod = openmpt_module_create_from_memory2(bytes.data(), bytes.size(), Collect, &log, nullptr,
                                                             nullptr, &error, nullptr, nullptr);
    ASSERT_NE(mod, nullptr);
    EXPECT_EQ(log, "") << "libopenmpt had something to say";
    const char* type = openmpt_module_get_metadata(mod, "type");
    EXPECT_STREQ(type, "xm");
    openmpt_free_string(type);
    // The demo's 42 s and a rest after them before the song starts again.
    EXPECT_GE(openmpt_module_get_duration_seconds(mod), 43.0);
    EXPECT_GE(openmpt_module_get_num_patterns(mod), 4);
    EXPECT_GE(openmpt_module_get_num_instruments(mod), 6);
    openmpt_module_destroy(mod);

    // Our own loader sees the same.
    log.clear();
    FMUSIC_MODULE* song = sombrella::fmod::LoadSongFromMemory(bytes.data(), bytes.size(), &log);
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(log, "");
    sombrella::fmod::DestroySong(song);
}

// Played as the demo plays it (44,100 Hz, 16-bit stereo), the song's
// sections begin at the moments the camera steps a whole multiple of 60
// degrees a frame, nothing is clipped, and the last 300 ms of the demo's
// 42 s are silent: its exit never cuts a note.
TEST(ZelModule, SectionsLandOnTheCameraMomentsAndTheEndIsQuiet) {
    const std::vector<unsigned char> bytes = ReadBytes(ZelPath());
    ASSERT_FALSE(bytes.empty());
    openmpt_module* mod = openmpt_module_create_from_memory2(bytes.data(), bytes.size(), nullptr, nullptr, nullptr,
                                                             nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(mod, nullptr);
    openmpt_module_ctl_set_integer(mod, "dither", 0);
    constexpr int kRate = 44100, kChunk = 32;
    constexpr double kMoment = 10.0 * 3.14159265358979 / 3.0;
    std::vector<int16_t> pcm(size_t(kChunk) * 2);
    std::vector<size_t> sectionStart;  // first frame at which each order plays
    int order = openmpt_module_get_current_order(mod);
    size_t frame = 0, peakTail = 0, peak = 0;
    while (frame < size_t(42 * kRate)) {
        const size_t got = openmpt_module_read_interleaved_stereo(mod, kRate, kChunk, pcm.data());
        ASSERT_EQ(got, size_t(kChunk));
        for (size_t i = 0; i < got; ++i)
            for (int c = 0; c < 2; ++c) {
                const size_t v = size_t(std::abs(int(pcm[2 * i + size_t(c)])));
                peak = std::max(peak, v);
                if (frame + i >= size_t(41.7 * kRate)) peakTail = std::max(peakTail, v);
            }
        frame += got;
        const int now = openmpt_module_get_current_order(mod);
        if (now != order) sectionStart.push_back(frame - got);  // it began within this chunk
        order = now;
    }
    openmpt_module_destroy(mod);
    ASSERT_GE(sectionStart.size(), 3u);
    for (size_t k = 0; k < 3; ++k) {
        const double at = double(sectionStart[k]) / kRate, want = kMoment * double(k + 1);
        EXPECT_NEAR(at, want, 0.004 + double(kChunk) / kRate) << "section " << k + 2;
    }
    EXPECT_LT(peak, 32767u) << "clipped";
    EXPECT_LT(peakTail, 328u) << "not below -40 dBFS in the last 300 ms";
    EXPECT_GT(peak, 8000u) << "hardly audible";
}

bool HaveProgram(const char* name) {
    const std::string cmd = std::string("command -v ") + name + " >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0;
}

int RunQuietly(const std::string& cmd) {
    const int status = std::system((cmd + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void ExpectAudible(const std::string& path, double minSeconds) {
    WavFile wav;
    ASSERT_TRUE(ReadWav(path, wav)) << path;
    ASSERT_GT(wav.rate, 0);
    EXPECT_GE(double(wav.Frames()) / wav.rate, minSeconds);
    EXPECT_GT(wav.Rms(), 1000.0) << "too quiet";
    EXPECT_LT(wav.Peak(), 32767) << "clipped";
}

TEST(ZelModule, PlaysInXmp) {
    if (!HaveProgram("xmp")) GTEST_SKIP() << "xmp is not installed";
    ScratchDir dir;
    const std::string out = dir.File("xmp.wav");
    ASSERT_EQ(RunQuietly("xmp --quiet --nocmd --norc --driver wav -o '" + out + "' -t 20 '" + ZelPath() + "'"), 0);
    ExpectAudible(out, 19.0);
}

TEST(ZelModule, PlaysInOpenmpt123) {
    if (!HaveProgram("openmpt123")) GTEST_SKIP() << "openmpt123 is not installed";
    ScratchDir dir;
    const std::string copy = dir.File("zel.xm");
    ASSERT_EQ(RunQuietly("cp '" + ZelPath() + "' '" + copy + "'"), 0);
    ASSERT_EQ(RunQuietly("openmpt123 --quiet --render --force --no-float --samplerate 44100 --end-time 20 --output-type wav '" +
                  copy + "'"),
              0);
    ExpectAudible(copy + ".wav", 19.0);
}

}  // namespace
