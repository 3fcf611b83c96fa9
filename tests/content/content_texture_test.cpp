// The generated images: building.bmp decodes through the platform's bitmap
// loader as the demo loads it, tiles, and has the plain band that roofs and
// coordinate-less meshes sample; plaza.tga reads through the TGA reader.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "image_files.h"
#include "patterns.h"
#include "textures/texture_registry.h"
#include "textures/tga_reader.h"
#include "windows.h"

namespace {

namespace fs = std::filesystem;
using make_texture::Image;

class GeneratedImages : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device rd;
        dir_ = fs::temp_directory_path() / ("sombrella_images_" + std::to_string(rd()));
        fs::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    fs::path dir_;
};

bool PowerOfTwo(long v) { return v > 0 && (v & (v - 1)) == 0; }

uint32_t Word(const Image& img, int x, int y) {
    const uint8_t* p = img.At(x, y);
    return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
}

TEST_F(GeneratedImages, BuildingBmpIsA24BitPowerOfTwoBitmap) {
    Image facade = make_texture::MakeFacade();
    std::string path = (dir_ / "building.bmp").string();
    ASSERT_TRUE(make_texture::WriteBmp24(path, facade));

    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), {});
    ASSERT_EQ(bytes.size(), 54u + 256u * 256u * 3u);
    EXPECT_EQ(bytes.substr(0, 2), "BM");
    int32_t headerSize, height;
    uint16_t bits;
    std::memcpy(&headerSize, bytes.data() + 14, 4);
    std::memcpy(&height, bytes.data() + 22, 4);
    std::memcpy(&bits, bytes.data() + 28, 2);
    EXPECT_EQ(headerSize, 40);  // BITMAPINFOHEADER
    EXPECT_GT(height, 0);       // bottom-up
    EXPECT_EQ(bits, 24);

    HANDLE h = LoadImageA(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION);
    ASSERT_NE(h, nullptr);
    BITMAP bm{};
    ASSERT_EQ(GetObjectA(h, sizeof bm, &bm), int(sizeof bm));
    EXPECT_TRUE(PowerOfTwo(bm.bmWidth));
    EXPECT_TRUE(PowerOfTwo(bm.bmHeight));
    EXPECT_EQ(bm.bmWidth, facade.width);
    EXPECT_EQ(bm.bmHeight, facade.height);
    EXPECT_EQ(bm.bmBitsPixel, 24);
    ASSERT_NE(bm.bmBits, nullptr);

    // Decoded pixels are the generated ones, the image's top row first.
    const auto* words = static_cast<const uint32_t*>(bm.bmBits);
    int mismatches = 0;
    for (int y = 0; y < facade.height; ++y)
        for (int x = 0; x < facade.width; ++x)
            if ((words[size_t(y) * size_t(bm.bmWidthBytes / 4) + size_t(x)] & 0xFFFFFF) != Word(facade, x, y))
                ++mismatches;
    EXPECT_EQ(mismatches, 0);
    EXPECT_TRUE(DeleteObject(h));
}

TEST_F(GeneratedImages, FacadeHasWindowsAndAPlainBandAtItsSeam) {
    Image facade = make_texture::MakeFacade();
    std::set<uint32_t> colours;
    for (int y = 0; y < facade.height; ++y)
        for (int x = 0; x < facade.width; ++x) colours.insert(Word(facade, x, y));
    EXPECT_GT(colours.size(), 200u);

    // Rows either side of the wrap seam (v = 0) are one plain band, so a
    // surface mapped to v = 0 comes out even whichever row it samples.
    auto brightness = [&](int x, int y) {
        const uint8_t* p = facade.At(x, y);
        return int(p[0]) + p[1] + p[2];
    };
    int lo = 1 << 30, hi = 0;
    for (int y : {0, 1, 2, 3, facade.height - 4, facade.height - 3, facade.height - 2, facade.height - 1})
        for (int x = 0; x < facade.width; ++x) {
            lo = std::min(lo, brightness(x, y));
            hi = std::max(hi, brightness(x, y));
        }
    EXPECT_LE(hi - lo, 16);

    // Window rows: both lit (warm, bright) and glass appear.
    int lit = 0, glass = 0;
    for (int y = 0; y < facade.height; ++y)
        for (int x = 0; x < facade.width; ++x) {
            const uint8_t* p = facade.At(x, y);
            if (p[0] > 210 && p[0] > p[2] + 30) ++lit;
            if (p[0] < 160 && p[2] > p[0] + 20) ++glass;
        }
    EXPECT_GT(lit, 1000);
    EXPECT_GT(glass, 6000);
}

// Shown over 8 to 20 pixels a cell and point sampled, the facade must not
// hold detail that breaks up: every edge lies on the grid of features, so
// each aligned square of kFeature texels is one area (grain and a gentle
// gradient aside), and neighbouring areas differ by a moderate step.
TEST_F(GeneratedImages, FacadeIsBuiltOfWholeFeaturesOfModerateContrast) {
    Image facade = make_texture::MakeFacade();
    constexpr int f = make_texture::kFeature;
    ASSERT_EQ(facade.width % f, 0);
    const int cells = facade.width / f;
    std::vector<std::array<float, 3>> mean(size_t(cells * cells));
    int worstRange = 0;
    for (int by = 0; by < cells; ++by)
        for (int bx = 0; bx < cells; ++bx) {
            for (int c = 0; c < 3; ++c) {
                int lo = 255, hi = 0, sum = 0;
                for (int y = by * f; y < (by + 1) * f; ++y)
                    for (int x = bx * f; x < (bx + 1) * f; ++x) {
                        const int v = facade.At(x, y)[c];
                        lo = std::min(lo, v);
                        hi = std::max(hi, v);
                        sum += v;
                    }
                worstRange = std::max(worstRange, hi - lo);
                mean[size_t(by * cells + bx)][size_t(c)] = float(sum) / float(f * f);
            }
        }
    EXPECT_LE(worstRange, 16) << "detail finer than " << f << " texels";
    float worstStep = 0;
    std::set<int> tones;
    for (int by = 0; by < cells; ++by)
        for (int bx = 0; bx < cells; ++bx) {
            const auto& m = mean[size_t(by * cells + bx)];
            const auto& right = mean[size_t(by * cells + (bx + 1) % cells)];
            const auto& below = mean[size_t(((by + 1) % cells) * cells + bx)];
            for (int c = 0; c < 3; ++c)
                worstStep = std::max({worstStep, std::fabs(m[size_t(c)] - right[size_t(c)]),
                                      std::fabs(m[size_t(c)] - below[size_t(c)])});
            tones.insert(int(m[0]) / 8 << 10 | int(m[1]) / 8 << 5 | int(m[2]) / 8);
        }
    EXPECT_LE(worstStep, 120.0f) << "neighbouring areas too far apart";
    EXPECT_GE(tones.size(), 20u) << "windows of many kinds, not one repeated";
}

TEST_F(GeneratedImages, PavingTgaReadsThroughTheTextureReader) {
    Image paving = make_texture::MakePaving();
    std::string path = (dir_ / "plaza.tga").string();
    ASSERT_TRUE(make_texture::WriteTga24(path, paving));
    TextureEntry entry{};
    ASSERT_EQ(ReadTgaTexture(&entry, path.c_str()), S_OK);
    EXPECT_EQ(entry.width, uint32_t(paving.width));
    EXPECT_EQ(entry.height, uint32_t(paving.height));
    EXPECT_EQ(entry.bitsPerPixel, 24u);
    ASSERT_NE(entry.pixels, nullptr);
    // Words are 0xRRGGBBAA with row 0 on top.
    for (int y : {0, 5, paving.height - 1})
        for (int x : {0, 17, paving.width - 1})
            EXPECT_EQ(entry.pixels[size_t(y) * entry.width + size_t(x)] >> 8, Word(paving, x, y)) << x << "," << y;
    delete[] entry.pixels;
}

}  // namespace
