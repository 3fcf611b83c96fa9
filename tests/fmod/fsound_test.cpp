// The FMOD entry points: version, start-up on a device and without one,
// song lifetime and rejection of files that are not modules.
#include <fmod.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

#include "fmod/fmod_state.h"
#include "fmod/mixer.h"
#include "test_env.h"
#include "wav_file.h"

namespace {

// True once the song has moved on by at least `frames` from `start`; gives up
// after a generous while so a broken output fails instead of hanging.
bool WaitForPlayback(uint64_t start, uint64_t frames) {
    for (int i = 0; i < 1000; ++i) {
        if (sombrella::fmod::MixerFramesPlayed() >= start + frames) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

using FsoundTest = MusicTest;

TEST_F(FsoundTest, VersionIsExactlyThreePointTwo) {
    const float v = FSOUND_GetVersion();
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    EXPECT_EQ(bits, 0x404CCCCDu);
    EXPECT_EQ(v, FMOD_VERSION);
}

TEST_F(FsoundTest, PlaysThroughTheSdlDevice) {
    ASSERT_EQ(FSOUND_Init(44100, 32, 0), 1);
    EXPECT_STREQ(sombrella::fmod::ActiveOutputName(), "sdl");
    FMUSIC_MODULE* song = FMUSIC_LoadSong(ZelPath().c_str());
    ASSERT_NE(song, nullptr);
    const uint64_t before = sombrella::fmod::MixerFramesPlayed();
    EXPECT_EQ(FMUSIC_PlaySong(song), 1);
    EXPECT_TRUE(sombrella::fmod::MixerIsPlaying(song));
    EXPECT_TRUE(WaitForPlayback(before, 4410));
    EXPECT_EQ(FMUSIC_FreeSong(song), 1);
    FSOUND_Close();
    EXPECT_EQ(sombrella::fmod::ActiveOutputName(), nullptr);
}

TEST_F(FsoundTest, WithoutADeviceTheSongStillAdvances) {
    ::setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    ASSERT_EQ(FSOUND_Init(44100, 32, 0), 1);
    EXPECT_STREQ(sombrella::fmod::ActiveOutputName(), "silent");
    FMUSIC_MODULE* song = FMUSIC_LoadSong(ZelPath().c_str());
    ASSERT_NE(song, nullptr);
    const uint64_t before = sombrella::fmod::MixerFramesPlayed();
    ASSERT_EQ(FMUSIC_PlaySong(song), 1);
    EXPECT_TRUE(WaitForPlayback(before, 4410));
    EXPECT_GT(sombrella::fmod::MixerPositionSeconds(), 0.0);
    EXPECT_EQ(FMUSIC_FreeSong(song), 1);
    FSOUND_Close();
}

// The demo exits with status 1, without FSOUND_Close, when its song does not
// load; the silent output's thread must not turn that into an abort.
TEST_F(FsoundTest, ExitWithoutCloseKeepsTheExitStatus) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ::setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
            if (FSOUND_Init(44100, 32, 0) != 1) std::_Exit(3);
            if (std::strcmp(sombrella::fmod::ActiveOutputName(), "silent") != 0) std::_Exit(4);
            if (FMUSIC_LoadSong("no-such-song.xm") != nullptr) std::_Exit(5);
            std::exit(1);
        },
        ::testing::ExitedWithCode(1), "");
}

TEST_F(FsoundTest, SongLifetime) {
    FMUSIC_MODULE* early = FMUSIC_LoadSong(ZelPath().c_str());
    ASSERT_NE(early, nullptr);
    EXPECT_EQ(FMUSIC_PlaySong(early), 0) << "nothing to play on before FSOUND_Init";

    ASSERT_EQ(FSOUND_Init(44100, 32, 0), 1);
    FMUSIC_MODULE* song = FMUSIC_LoadSong(ZelPath().c_str());
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(FMUSIC_PlaySong(song), 1);
    EXPECT_EQ(FMUSIC_PlaySong(early), 1) << "a second song takes over";
    EXPECT_FALSE(sombrella::fmod::MixerIsPlaying(song));
    EXPECT_EQ(FMUSIC_FreeSong(song), 1);
    EXPECT_EQ(FMUSIC_FreeSong(song), 0) << "freed twice";
    EXPECT_EQ(FMUSIC_FreeSong(nullptr), 0);
    EXPECT_EQ(FMUSIC_PlaySong(nullptr), 0);
    // Close frees what is still loaded (early, while it plays); LSan checks it.
    FSOUND_Close();
    EXPECT_EQ(FMUSIC_FreeSong(early), 0);
    FSOUND_Close();  // twice is harmless
}

TEST_F(FsoundTest, RejectsAbsurdInitArguments) {
    EXPECT_EQ(FSOUND_Init(0, 32, 0), 0);
    EXPECT_EQ(FSOUND_Init(-44100, 32, 0), 0);
    EXPECT_EQ(FSOUND_Init(44100, -1, 0), 0);
    EXPECT_EQ(sombrella::fmod::ActiveOutputName(), nullptr);
}

TEST_F(FsoundTest, BackslashesInNamesAreFolderSeparators) {
    ScratchDir dir;
    std::filesystem::create_directories(dir.File("media"));
    std::filesystem::copy_file(ZelPath(), dir.File("media/zel.xm"));
    const std::string name = dir.Path() + "\\media\\zel.xm";
    FMUSIC_MODULE* song = FMUSIC_LoadSong(name.c_str());
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(FMUSIC_FreeSong(song), 1);
}

TEST_F(FsoundTest, FilesThatAreNotModulesGiveNull) {
    ScratchDir dir;
    const std::vector<unsigned char> zel = ReadBytes(ZelPath());
    ASSERT_GT(zel.size(), 4096u);
    const std::string text = "This is not a tracker module, just some text.\n";
    std::vector<unsigned char> noise(4096);
    uint32_t x = 12345;
    for (auto& b : noise) b = static_cast<unsigned char>((x = x * 1103515245u + 12345u) >> 24);
    std::vector<unsigned char> badHeader = zel;
    std::memcpy(badHeader.data(), "Extended Nodule: ", 17);

    ASSERT_TRUE(WriteBytes(dir.File("empty.xm"), "", 0));
    ASSERT_TRUE(WriteBytes(dir.File("text.xm"), text.data(), text.size()));
    ASSERT_TRUE(WriteBytes(dir.File("noise.xm"), noise.data(), noise.size()));
    ASSERT_TRUE(WriteBytes(dir.File("bad-header.xm"), badHeader.data(), badHeader.size()));
    ASSERT_TRUE(WriteBytes(dir.File("header-only.xm"), zel.data(), 60));
    ASSERT_TRUE(WriteBytes(dir.File("no-patterns.xm"), zel.data(), 400));
    ASSERT_TRUE(WriteBytes(dir.File("half.xm"), zel.data(), zel.size() / 2));
    ASSERT_TRUE(WriteBytes(dir.File("last-byte-missing.xm"), zel.data(), zel.size() - 1));
    // One pattern more than the file holds.
    std::vector<unsigned char> extraPattern = zel;
    extraPattern[70] = static_cast<unsigned char>(extraPattern[70] + 1);
    ASSERT_TRUE(WriteBytes(dir.File("extra-pattern.xm"), extraPattern.data(), extraPattern.size()));

    for (const char* name : {"missing.xm", "empty.xm", "text.xm", "noise.xm", "bad-header.xm", "header-only.xm",
                             "no-patterns.xm", "half.xm", "last-byte-missing.xm", "extra-pattern.xm"}) {
        FMUSIC_MODULE* song = FMUSIC_LoadSong(dir.File(name).c_str());
        EXPECT_EQ(song, nullptr) << name;
        if (song) FMUSIC_FreeSong(song);
    }
    EXPECT_EQ(FMUSIC_LoadSong(nullptr), nullptr);
    EXPECT_EQ(FMUSIC_LoadSong(""), nullptr);
    EXPECT_EQ(FMUSIC_LoadSong(dir.Path().c_str()), nullptr) << "a folder";
}

}  // namespace
