// The whole demo with its real content, headless: the scene is visible and
// turns, the music is audible, captures repeat exactly, missing data.
#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>
#include <vector>

#include "run_demo.h"

namespace fs = std::filesystem;

namespace {

struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
};

Picture ReadPng(const fs::path& file) {
    Picture p;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, file.c_str())) return p;
    image.format = PNG_FORMAT_RGB;
    p.rgb.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, p.rgb.data(), 0, nullptr)) return {};
    p.width = static_cast<int>(image.width);
    p.height = static_cast<int>(image.height);
    return p;
}

std::vector<char> ReadAll(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

fs::path DemoDir(const std::string& name) {
    const fs::path dir = e2e::FreshDir(name);
    for (const char* f : {"zel.xm", "vo.x", "building.bmp"}) EXPECT_TRUE(e2e::CopyData(f, dir)) << f;
    return dir;
}

double ChangedFraction(const Picture& a, const Picture& b) {
    size_t changed = 0;
    for (size_t i = 0; i + 2 < a.rgb.size() && i + 2 < b.rgb.size(); i += 3)
        if (std::abs(a.rgb[i] - b.rgb[i]) + std::abs(a.rgb[i + 1] - b.rgb[i + 1]) + std::abs(a.rgb[i + 2] - b.rgb[i + 2]) > 24)
            ++changed;
    return static_cast<double>(changed) / (a.rgb.size() / 3);
}

}  // namespace

TEST(DemoContent, TheSceneIsVisibleAndTurns) {
    const fs::path dir = DemoDir("content");
    const e2e::Run run = e2e::RunDemo(dir, {{"SOMBRELLA_FIXED_STEP_HZ", "60"},
                                           {"SOMBRELLA_CAPTURE_DIR", dir.string()},
                                           {"SOMBRELLA_CAPTURE_FRAMES", "1,60"},
                                           {"SOMBRELLA_QUIT_AFTER_FRAMES", "61"}});
    ASSERT_EQ(run.exitStatus, 0) << run.errors;
    const Picture first = ReadPng(dir / "frame_000001.png");
    const Picture later = ReadPng(dir / "frame_000060.png");
    ASSERT_EQ(first.width, 640);
    ASSERT_EQ(later.height, 480);
    std::set<uint32_t> colours;
    size_t lit = 0;
    for (size_t i = 0; i < first.rgb.size(); i += 3) {
        colours.insert(first.rgb[i] << 16 | first.rgb[i + 1] << 8 | first.rgb[i + 2]);
        if (first.rgb[i] + first.rgb[i + 1] + first.rgb[i + 2] > 30) ++lit;
    }
    EXPECT_GT(colours.size(), 100u) << "not one flat colour";
    EXPECT_GT(lit, first.rgb.size() / 3 / 5) << "at least a fifth of the screen shows the scene";
    EXPECT_GT(ChangedFraction(first, later), 0.05) << "the camera has moved";
    // The ground and the sky ring cover the whole picture: the black clear
    // colour shows nowhere to speak of.
    for (const Picture* p : {&first, &later}) {
        size_t black = 0;
        for (size_t i = 0; i + 2 < p->rgb.size(); i += 3)
            if (p->rgb[i] == 0 && p->rgb[i + 1] == 0 && p->rgb[i + 2] == 0) ++black;
        EXPECT_LT(black, p->rgb.size() / 3 / 100) << "black pixels";
    }
}

TEST(DemoContent, CapturesRepeatExactlyWithTheMusic) {
    std::vector<std::vector<char>> frames, music;
    for (int i = 0; i < 2; ++i) {
        const fs::path dir = DemoDir("repeat" + std::to_string(i));
        const e2e::Run run = e2e::RunDemo(dir, {{"SOMBRELLA_FIXED_STEP_HZ", "60"},
                                               {"SOMBRELLA_CAPTURE_DIR", dir.string()},
                                               {"SOMBRELLA_CAPTURE_FRAMES", "0-30"},
                                               {"SOMBRELLA_QUIT_AFTER_FRAMES", "31"}});
        ASSERT_EQ(run.exitStatus, 0) << run.errors;
        frames.push_back(ReadAll(dir / "frame_000030.png"));
        music.push_back(ReadAll(dir / "music.wav"));
    }
    EXPECT_FALSE(frames[0].empty());
    EXPECT_EQ(frames[0], frames[1]);
    // 31 frames at 60 Hz: floor(31 * 44100 / 60) stereo 16-bit samples after a 44-byte header.
    EXPECT_EQ(music[0].size(), 44u + (31 * 44100 / 60) * 4);
    EXPECT_EQ(music[0], music[1]);
}

TEST(DemoContent, MusicIsAudibleOnTheDiskDriver) {
    const fs::path dir = DemoDir("disk");
    const fs::path raw = dir / "audio.raw";
    const e2e::Run run = e2e::RunDemo(dir, {{"SDL_AUDIODRIVER", "disk"},
                                           {"SDL_DISKAUDIOFILE", raw.string()},
                                           {"SOMBRELLA_QUIT_AFTER_FRAMES", "90"}});
    ASSERT_EQ(run.exitStatus, 0) << run.errors;
    const std::vector<char> audio = ReadAll(raw);
    ASSERT_GT(audio.size(), 44100u) << "about a second and a half of audio";
    size_t loud = 0;
    for (size_t i = 0; i + 1 < audio.size(); i += 2) {
        const int16_t s = static_cast<int16_t>(static_cast<uint8_t>(audio[i]) | (audio[i + 1] << 8));
        if (s > 1000 || s < -1000) ++loud;
    }
    EXPECT_GT(loud, audio.size() / 2 / 50) << "not silence";
}

TEST(DemoContent, MissingTextureStillRunsAndSceneComesFromTheMediaFolder) {
    const fs::path dir = DemoDir("notexture");
    fs::remove(dir / "building.bmp");
    e2e::Run run = e2e::RunDemo(dir, {{"SOMBRELLA_QUIT_AFTER_FRAMES", "10"}, {"SOMBRELLA_REFRESH_HZ", "0"}});
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
    EXPECT_EQ(run.errors.find("Tiro el Sombrella"), std::string::npos) << run.errors;

    const fs::path media = dir / "sdk" / "D3DIM" / "Media";
    fs::create_directories(media);
    fs::rename(dir / "vo.x", media / "vo.x");
    run = e2e::RunDemo(dir, {{"SOMBRELLA_QUIT_AFTER_FRAMES", "10"},
                             {"SOMBRELLA_REFRESH_HZ", "0"},
                             {"SOMBRELLA_DXSDK_SAMPLES_PATH", (dir / "sdk").string()}});
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
    EXPECT_EQ(run.errors.find("Error Loading"), std::string::npos) << run.errors;
}
