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
    WavFile Capture(const ScratchDir& dir, const char* stepHz, int frames) {
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
    const WavFile wav = Capture(dir, "60", 150);  // 2.5 s
    EXPECT_EQ(wav.channels, 2);
    EXPECT_EQ(wav.rate, 44100);
    EXPECT_EQ(wav.bits, 16);
    EXPECT_EQ(wav.Frames(), 150u * 44100u / 60u);
    EXPECT_EQ(wav.riffSize + 8, wav.fileSize) << "header fixed up";
    EXPECT_GT(wav.Rms(), 300.0) << "the intro is playing";
    EXPECT_LT(wav.Peak(), 32767);
}

TEST_F(CaptureTest, CarriesFractionsOfASample) {
    ScratchDir dir;
    // 44100 / 1000 = 44.1 samples a frame: 7 frames are 308.7, so 308.
    EXPECT_EQ(Capture(dir, "1000", 7).Frames(), 308u);
    ScratchDir dir2;
    EXPECT_EQ(Capture(dir2, "1000", 10).Frames(), 441u);
}

TEST_F(CaptureTest, IsReproducible) {
    ScratchDir a, b;
    Capture(a, "30", 45);
    Capture(b, "30", 45);
    const auto first = ReadBytes(a.File("music.wav"));
    EXPECT_EQ(first.size(), 44u + 45u * 1470u * 4u);
    EXPECT_EQ(first, ReadBytes(b.File("music.wav")));
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
