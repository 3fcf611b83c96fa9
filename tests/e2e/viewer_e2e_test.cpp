// The viewer's command line and recording, through the real binary.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "run_demo.h"

namespace fs = std::filesystem;

namespace {

fs::path DemoDir(const std::string& name) {
    fs::path dir = e2e::FreshDir(name);
    for (const char* f : {"zel.xm", "vo.x", "building.bmp"}) EXPECT_TRUE(e2e::CopyData(f, dir)) << f;
    return dir;
}

e2e::Run Viewer(const fs::path& dir, std::vector<std::string> args, long fileSizeLimit = 0) {
    return e2e::RunDemo(dir, {}, 300, "", {std::move(args), fileSizeLimit});
}

std::string Shell(const std::string& command) {
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        pclose(p);
    }
    return out;
}

bool HaveFfmpeg() { return !Shell("command -v ffmpeg").empty() && !Shell("command -v ffprobe").empty(); }

// Decoded frames and audio as checksums, one line each; independent of how the file is laid out.
std::string DecodedHashes(const fs::path& file) {
    return Shell("ffmpeg -v error -i '" + file.string() + "' -f framemd5 - 2>&1 | grep -v '^#'");
}

long CountLines(const std::string& text, const std::string& prefix) {
    long n = 0;
    size_t at = 0;
    while ((at = text.find('\n' + prefix, at)) != std::string::npos) ++n, ++at;
    return n + (text.rfind(prefix, 0) == 0 ? 1 : 0);
}

// Raw decoded audio bytes (16-bit stereo).
size_t DecodedAudioBytes(const fs::path& file) {
    return std::stoul("0" + Shell("ffmpeg -v error -i '" + file.string() + "' -vn -f s16le - | wc -c | tr -d ' \\n'"));
}

}  // namespace

TEST(Viewer, HelpAndVersionPrintAndExitZero) {
    const fs::path dir = e2e::FreshDir("help");
    e2e::Run run = Viewer(dir, {"--help"});
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.output.rfind("usage: sombrella", 0), 0u) << run.output;
    EXPECT_NE(run.output.find("--record-size"), std::string::npos);
    run = Viewer(dir, {"--version"});
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.output.rfind("sombrella ", 0), 0u) << run.output;
}

TEST(Viewer, BadOptionsExitTwoWithTheUsageLineAndStartNothing) {
    const fs::path dir = DemoDir("badopts");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--bogus"}, {"--scale", "nine"}, {"--aa"}, {"--record", "out.nosuchformat"}}) {
        const e2e::Run run = e2e::RunDemo(dir, {{"SOMBRELLA_CAPTURE_DIR", dir.string()}}, 60, "", {args, 0});
        EXPECT_EQ(run.exitStatus, 2) << args[0] << ": " << run.errors;
        EXPECT_NE(run.errors.find("usage: sombrella"), std::string::npos) << run.errors;
        EXPECT_NE(run.errors.find(args.size() > 1 ? args[1] : args[0]), std::string::npos) << run.errors;
        EXPECT_FALSE(fs::exists(dir / "frame_000000.png"));
    }
    const e2e::Run run = e2e::RunDemo(dir, {{"SOMBRELLA_SCALE", "huge"}}, 60, "", {{}, 0});
    EXPECT_EQ(run.exitStatus, 2) << run.errors;
    EXPECT_NE(run.errors.find("SOMBRELLA_SCALE"), std::string::npos) << run.errors;
}

TEST(Viewer, QuitAfterEndsTheRunAfterThatManyFrames) {
    const fs::path dir = DemoDir("quitafter");
    const e2e::Run run = e2e::RunDemo(dir, {{"SOMBRELLA_CAPTURE_DIR", dir.string()}, {"SOMBRELLA_FIXED_STEP_HZ", "60"}},
                                      120, "", {{"--quit-after", "12", "--fps", "1000"}, 0});
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
    EXPECT_TRUE(fs::exists(dir / "frame_000011.png"));
}

// Frame 30 of a virtual-clock run with these options and environment, as PNG bytes.
static std::string Frame30(const std::string& name, std::vector<std::string> args,
                    std::vector<std::pair<std::string, std::string>> env = {}) {
    const fs::path dir = DemoDir(name);
    env.insert(env.end(), {{"SOMBRELLA_CAPTURE_DIR", dir.string()},
                           {"SOMBRELLA_CAPTURE_FRAMES", "30"},
                           {"SOMBRELLA_FIXED_STEP_HZ", "60"},
                           {"SOMBRELLA_QUIT_AFTER_FRAMES", "31"}});
    const e2e::Run run = e2e::RunDemo(dir, env, 300, "", {std::move(args), 0});
    EXPECT_EQ(run.exitStatus, 0) << name << ": " << run.errors;
    std::ifstream in(dir / "frame_000030.png", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The preset reaches the device as the options it stands for; the sizes are
// set back to 1 so the runs stay small, which also shows explicit values win.
TEST(Viewer, EnhancedTurnsMipmapsOnUnlessTheyAreTurnedOff) {
    const std::string faithful = Frame30("mip_faithful", {});
    const std::string mipmaps = Frame30("mip_on", {"--mipmaps"});
    ASSERT_FALSE(faithful.empty());
    ASSERT_FALSE(mipmaps.empty());
    EXPECT_EQ(Frame30("mip_enhanced", {"--enhanced", "--scale", "1", "--aa", "1"}), mipmaps);
    EXPECT_EQ(Frame30("mip_enhanced_env", {}, {{"SOMBRELLA_ENHANCED", "1"}, {"SOMBRELLA_SCALE", "1"}, {"SOMBRELLA_AA", "1"}}),
              mipmaps);
    EXPECT_EQ(Frame30("mip_enhanced_off", {"--enhanced", "--no-mipmaps", "--scale=1", "--aa=1"}), faithful);
    EXPECT_EQ(Frame30("mip_enhanced_env_off", {},
                      {{"SOMBRELLA_ENHANCED", "1"}, {"SOMBRELLA_MIPMAPS", "0"}, {"SOMBRELLA_SCALE", "1"}, {"SOMBRELLA_AA", "1"}}),
              faithful);
}

TEST(Viewer, LosslessRecordingHoldsExactlyTheFramesAndMusicAskedFor) {
    if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
    const fs::path dir = DemoDir("record_mkv");
    const e2e::Run run = Viewer(dir, {"--record", "demo.mkv", "--fps", "30", "--quit-after", "45"});
    ASSERT_EQ(run.exitStatus, 0) << run.errors;
    ASSERT_TRUE(fs::exists(dir / "demo.mkv"));
    EXPECT_FALSE(fs::exists(dir / "demo.mkv.part"));
    const std::string probe = Shell("ffprobe -v error -show_entries stream=codec_name,width,height -of csv=p=0 '" +
                                    (dir / "demo.mkv").string() + "'");
    EXPECT_NE(probe.find("ffv1,640,480"), std::string::npos) << probe;
    EXPECT_NE(probe.find("flac"), std::string::npos) << probe;
    const std::string hashes = DecodedHashes(dir / "demo.mkv");
    EXPECT_EQ(CountLines(hashes, "0,"), 45) << hashes;
    // floor(45 * 44100 / 30) stereo 16-bit sample frames.
    EXPECT_EQ(DecodedAudioBytes(dir / "demo.mkv"), 66150u * 4);

    // The same options again: the same frames and the same audio.
    const fs::path again = DemoDir("record_mkv_again");
    ASSERT_EQ(Viewer(again, {"--record", "demo.mkv", "--fps", "30", "--quit-after", "45"}).exitStatus, 0);
    EXPECT_EQ(DecodedHashes(again / "demo.mkv"), hashes);
}

TEST(Viewer, Mp4RecordingIsH264AndAacAndRepeatable) {
    if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
    const fs::path a = DemoDir("record_mp4_a"), b = DemoDir("record_mp4_b");
    for (const fs::path& dir : {a, b})
        ASSERT_EQ(e2e::RunDemo(dir, {{"SOMBRELLA_RECORD", "demo.mp4"}, {"SOMBRELLA_QUIT_AFTER_FRAMES", "30"}}, 300)
                      .exitStatus,
                  0);
    const std::string probe = Shell("ffprobe -v error -show_entries stream=codec_name,width,height,nb_frames -of "
                                    "csv=p=0 '" + (a / "demo.mp4").string() + "'");
    EXPECT_NE(probe.find("h264,640,480,30"), std::string::npos) << probe;
    EXPECT_NE(probe.find("aac"), std::string::npos) << probe;
    const std::string hashes = DecodedHashes(a / "demo.mp4");
    EXPECT_EQ(CountLines(hashes, "0,"), 30);
    EXPECT_EQ(DecodedHashes(b / "demo.mp4"), hashes);
}

TEST(Viewer, RecordSizePillarboxesThePicture) {
    if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
    const fs::path dir = DemoDir("record_size");
    const e2e::Run run = Viewer(dir, {"--record", "wide.mkv", "--record-size", "320x180", "--quit-after", "90"});
    ASSERT_EQ(run.exitStatus, 0) << run.errors;
    // The last frame as raw RGB: 240x180 of picture centred, black bars of 40 columns each side.
    const std::string rgb = Shell("ffmpeg -v error -sseof -0.02 -i '" + (dir / "wide.mkv").string() +
                                  "' -frames:v 1 -f rawvideo -pix_fmt rgb24 -");
    ASSERT_EQ(rgb.size(), 320u * 180 * 3);
    long barLight = 0, pictureLight = 0;
    for (int y = 0; y < 180; ++y)
        for (int x = 0; x < 320; ++x) {
            const unsigned char* p = reinterpret_cast<const unsigned char*>(rgb.data()) + (y * 320 + x) * 3;
            const int light = p[0] + p[1] + p[2];
            if (x < 38 || x >= 282) barLight += light;
            else if (x >= 42 && x < 278) pictureLight += light;
        }
    EXPECT_EQ(barLight, 0);
    EXPECT_GT(pictureLight, 236L * 180 * 30);
}

TEST(Viewer, WriteErrorsExitOneAndLeaveNoFinishedLookingFile) {
    const fs::path dir = DemoDir("record_errors");
    e2e::Run run = Viewer(dir, {"--record", (dir / "no" / "such" / "dir.mkv").string(), "--quit-after", "5"});
    EXPECT_EQ(run.exitStatus, 1) << run.errors;
    EXPECT_NE(run.errors.find("cannot write"), std::string::npos) << run.errors;

    // A disk that fills up during the run.
    run = Viewer(dir, {"--record", "full.mkv", "--quit-after", "600"}, 300 * 1024);
    EXPECT_EQ(run.exitStatus, 1) << run.errors;
    EXPECT_NE(run.errors.find("failed"), std::string::npos) << run.errors;
    EXPECT_FALSE(fs::exists(dir / "full.mkv"));
    EXPECT_FALSE(fs::exists(dir / "full.mkv.part"));
}
