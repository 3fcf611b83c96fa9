// Capture mode: the music follows presented frames into "<dir>/music.wav".
#include <fmod.h>

#include "common/present_hooks.h"
#include "fmod/fmod_state.h"
#include "test_env.h"
#include "wav_file.h"

namespace {

class CaptureTest : public MusicTest {
protected:
    // Plays zel.xm for the given number of presented frames at stepHz.
    // The file also covers frames presented before start-up (as silence):
    // `before` tells how many there were.
    WavFile Capture(const ScratchDir& dir, const char* stepHz, int frames, uint64_t* before = nullptr) {
        if (before) *before = sombrella::present::FramesPresented();
        ::setenv("SOMBRELLA_CAPTURE_DIR", dir.Path().c_str(), 1);
        ::setenv("SOMBRELLA_FIXED_STEP_HZ", stepHz, 1);
        WavFile wav;
        EXPECT_EQ(FSOUND_Init(44100, 32, 0), 1);
        EXPECT_STREQ(sombrella::fmod::ActiveOutputName(), "capture");
        FMUSIC_MODULE* song = FMUSIC_LoadSong(ZelPath().c_str());
        EXPECT_NE(song, nullptr);
        if (!song) return wav;
        FMUSIC_PlaySong(song);
        for (int i = 0; i < frames; ++i) sombrella::present::NotifyFramePresented();
        FMUSIC_FreeSong(song);
        FSOUND_Close();
        EXPECT_TRUE(ReadWav(dir.File("music.wav"), wav));
        return wav;
    }
};

TEST_F(CaptureTest, WritesExactlyTheFramesWorthOfMusic) {
    ScratchDir dir;
    uint64_t before = 0;
    const WavFile wav = Capture(dir, "60", 150, &before);  // 2.5 s of music
    EXPECT_EQ(wav.channels, 2);
    EXPECT_EQ(wav.rate, 44100);
    EXPECT_EQ(wav.bits, 16);
    EXPECT_EQ(wav.Frames(), (before + 150) * 44100u / 60u);
    EXPECT_EQ(wav.riffSize + 8, wav.fileSize) << "header fixed up";
    EXPECT_GT(wav.Rms(), 300.0) << "the intro is playing";
    EXPECT_LT(wav.Peak(), 32767);
}

TEST_F(CaptureTest, CarriesFractionsOfASample) {
    // 44.1 samples a frame: the total is floored once, not per frame.
    for (int frames : {1, 7, 10, 33}) {
        ScratchDir dir;
        uint64_t before = 0;
        const WavFile wav = Capture(dir, "1000", frames, &before);
        EXPECT_EQ(wav.Frames(), (before + frames) * 441u / 10u) << frames << " frames after " << before;
    }
}

TEST_F(CaptureTest, FramesBeforeStartUpAreSilence) {
    for (int i = 0; i < 3; ++i) sombrella::present::NotifyFramePresented();
    ScratchDir dir;
    uint64_t before = 0;
    const WavFile wav = Capture(dir, "30", 30, &before);
    ASSERT_GE(before, 3u);
    const size_t lead = size_t(before * 1470u);
    ASSERT_EQ(wav.Frames(), lead + 30u * 1470u);
    for (size_t i = 0; i < lead * 2; ++i) ASSERT_EQ(wav.samples[i], 0) << "sample " << i;
    WavFile music = wav;
    music.samples.erase(music.samples.begin(), music.samples.begin() + long(lead * 2));
    EXPECT_GT(music.Rms(), 300.0);
}

TEST_F(CaptureTest, IsReproducible) {
    ScratchDir a, b;
    uint64_t beforeA = 0, beforeB = 0;
    const WavFile first = Capture(a, "30", 45, &beforeA);
    const WavFile second = Capture(b, "30", 45, &beforeB);
    ASSERT_EQ(first.Frames(), (beforeA + 45) * 1470u);
    ASSERT_EQ(second.Frames(), (beforeB + 45) * 1470u);
    // Same music after each one's leading silence.
    const auto tail = [](const WavFile& w) {
        return std::vector<int16_t>(w.samples.end() - 45 * 1470 * 2, w.samples.end());
    };
    EXPECT_EQ(tail(first), tail(second));
}

TEST_F(CaptureTest, WithoutAStepRateTheDeviceIsUsed) {
    ScratchDir dir;
    ::setenv("SOMBRELLA_CAPTURE_DIR", dir.Path().c_str(), 1);
    ASSERT_EQ(FSOUND_Init(44100, 32, 0), 1);
    EXPECT_STREQ(sombrella::fmod::ActiveOutputName(), "sdl");
    FSOUND_Close();
    EXPECT_FALSE(std::filesystem::exists(dir.File("music.wav")));
}

TEST_F(CaptureTest, UnwritableFolderStaysSilentAndOffTheDevice) {
    ::setenv("SOMBRELLA_CAPTURE_DIR", "/nonexistent/sombrella/capture", 1);
    ::setenv("SOMBRELLA_FIXED_STEP_HZ", "60", 1);
    ASSERT_EQ(FSOUND_Init(44100, 32, 0), 1);
    EXPECT_STREQ(sombrella::fmod::ActiveOutputName(), "silent");
    FSOUND_Close();
}

}  // namespace
