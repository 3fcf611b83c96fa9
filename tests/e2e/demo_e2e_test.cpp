// The real binary, headless: how runs end, exit statuses, messages, capture.
#include <gtest/gtest.h>

#include <fstream>

#include "run_demo.h"

namespace fs = std::filesystem;

namespace {

// A small scene so that the demo gets past its scene set-up.
void WriteSmallScene(const fs::path& dir) {
    std::ofstream(dir / "vo.x") << "xof 0302txt 0032\n"
                                   "Mesh ground {\n 4;\n -100.0;0.0;-100.0;, -100.0;0.0;100.0;, 100.0;0.0;100.0;,"
                                   " 100.0;0.0;-100.0;;\n 1;\n 4;0,1,2,3;;\n}\n";
}

fs::path ReadyDir(const std::string& name) {
    fs::path dir = e2e::FreshDir(name);
    EXPECT_TRUE(e2e::CopyData("zel.xm", dir));
    WriteSmallScene(dir);
    return dir;
}

// Width and height from a PNG's header, or (0, 0).
std::pair<int, int> PngSize(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    unsigned char h[24] = {};
    in.read(reinterpret_cast<char*>(h), sizeof h);
    if (!in || h[1] != 'P' || h[2] != 'N' || h[3] != 'G') return {0, 0};
    auto be = [&](int o) { return (h[o] << 24) | (h[o + 1] << 16) | (h[o + 2] << 8) | h[o + 3]; };
    return {be(16), be(20)};
}

}  // namespace

TEST(Demo, EscapeEndsTheRunWithStatusZero) {
    const fs::path dir = ReadyDir("escape");
    const e2e::Run run = e2e::RunDemo(dir, {{"SOMBRELLA_QUIT_AFTER_FRAMES", "5"}, {"SOMBRELLA_REFRESH_HZ", "0"}});
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
    EXPECT_EQ(run.errors.find("Tiro el Sombrella"), std::string::npos) << run.errors;
}

TEST(Demo, TheExitTimerEndsARunAfter42Seconds) {
    const fs::path dir = ReadyDir("timer");
    // 5 virtual frames a second: the timer is due at frame 210.
    const e2e::Run run = e2e::RunDemo(dir, {{"SOMBRELLA_FIXED_STEP_HZ", "5"},
                                           {"SOMBRELLA_CAPTURE_DIR", dir.string()},
                                           {"SOMBRELLA_CAPTURE_FRAMES", "205-260"}},
                                      600);
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
    EXPECT_TRUE(fs::exists(dir / "frame_000209.png"));
    EXPECT_FALSE(fs::exists(dir / "frame_000212.png"));
}

TEST(Demo, MusicProblemsExitOneWithoutMessage) {
    const fs::path missing = e2e::FreshDir("nomusic");
    WriteSmallScene(missing);
    e2e::Run run = e2e::RunDemo(missing, {{"SOMBRELLA_QUIT_AFTER_FRAMES", "5"}});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.errors.find("Tiro el Sombrella"), std::string::npos) << run.errors;

    const fs::path empty = e2e::FreshDir("emptymusic");
    WriteSmallScene(empty);
    std::ofstream(empty / "zel.xm").close();
    run = e2e::RunDemo(empty, {{"SOMBRELLA_QUIT_AFTER_FRAMES", "5"}});
    EXPECT_EQ(run.exitStatus, 1);

    const fs::path corrupt = e2e::FreshDir("corruptmusic");
    WriteSmallScene(corrupt);
    std::ofstream(corrupt / "zel.xm") << "Extended Module: this is not really a module at all";
    run = e2e::RunDemo(corrupt, {{"SOMBRELLA_QUIT_AFTER_FRAMES", "5"}});
    EXPECT_EQ(run.exitStatus, 1);
}

TEST(Demo, MissingSceneShowsTheLoadMessageAndExitsZero) {
    const fs::path dir = e2e::FreshDir("noscene");
    ASSERT_TRUE(e2e::CopyData("zel.xm", dir));
    const e2e::Run run = e2e::RunDemo(dir, {{"SOMBRELLA_QUIT_AFTER_FRAMES", "5"}});
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_NE(run.errors.find("Tiro el Sombrella: Error Loading Direct3D X File"), std::string::npos) << run.errors;

    // A corrupt scene is the same load failure, never a crash.
    std::ofstream(dir / "vo.x") << "xof 0302txt 0032\nMesh broken { 99999999; 1.0; }";
    const e2e::Run corrupt = e2e::RunDemo(dir, {{"SOMBRELLA_QUIT_AFTER_FRAMES", "5"}});
    EXPECT_EQ(corrupt.exitStatus, 0);
    EXPECT_NE(corrupt.errors.find("Error Loading Direct3D X File"), std::string::npos) << corrupt.errors;
}

TEST(Demo, CapturedFramesArePngsOfTheDisplay) {
    const fs::path dir = ReadyDir("capture");
    const fs::path shots = dir / "shots";
    fs::create_directories(shots);
    const e2e::Run run = e2e::RunDemo(dir, {{"SOMBRELLA_QUIT_AFTER_FRAMES", "4"},
                                           {"SOMBRELLA_REFRESH_HZ", "0"},
                                           {"SOMBRELLA_CAPTURE_DIR", shots.string()},
                                           {"SOMBRELLA_CAPTURE_FRAMES", "0,3"}});
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
    EXPECT_EQ(PngSize(shots / "frame_000000.png"), std::make_pair(640, 480));
    EXPECT_EQ(PngSize(shots / "frame_000003.png"), std::make_pair(640, 480));
    EXPECT_FALSE(fs::exists(shots / "frame_000001.png"));
}

TEST(Demo, WindowedRunEndsTheSameWay) {
    const fs::path dir = ReadyDir("windowed");
    const e2e::Run run = e2e::RunDemo(dir, {{"SOMBRELLA_WINDOWED", "1"}, {"SOMBRELLA_QUIT_AFTER_FRAMES", "3"}});
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
}
