// The generated "zel.xm": a clean, long enough module that other players
// accept and play audibly.
#include <libopenmpt/libopenmpt.h>
#include <sys/wait.h>

#include <cstdlib>
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
    EXPECT_GE(openmpt_module_get_duration_seconds(mod), 45.0);
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
