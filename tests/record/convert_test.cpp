// The recorder's own colour conversion: against the BT.601 equations in
// floating point, the widening the PNG capture uses, and the frame's edges.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "common/pixel_format.h"
#include "record/convert.h"

namespace {

using sombrella::record::Picture;
using sombrella::record::ToBgr0;
using sombrella::record::ToYuv420;

struct Yuv {
    std::vector<uint8_t> y, u, v;
    int cw, ch;
};

// Planes sized exactly (no padding), so a write past an edge is caught by the sanitizers.
Yuv Convert(const Picture& p) {
    Yuv out;
    out.cw = (p.width + 1) / 2, out.ch = (p.height + 1) / 2;
    out.y.assign(static_cast<size_t>(p.width) * p.height, 0);
    out.u.assign(static_cast<size_t>(out.cw) * out.ch, 0);
    out.v.assign(out.u.size(), 0);
    ToYuv420(p, out.y.data(), p.width, out.u.data(), out.cw, out.v.data(), out.cw);
    return out;
}

// ITU-R BT.601, studio range, from 8-bit R'G'B'.
void Reference(double r, double g, double b, double* y, double* cb, double* cr) {
    *y = 16 + 219 * (0.299 * r + 0.587 * g + 0.114 * b) / 255;
    *cb = 128 + 224 * (-0.168736 * r - 0.331264 * g + 0.5 * b) / 255;
    *cr = 128 + 224 * (0.5 * r - 0.418688 * g - 0.081312 * b) / 255;
}

TEST(RecordConvert, LumaAndChromaFollowBt601StudioRange) {
    // Flat 2x2 blocks of one colour each, 32-bit pixels B, G, R, X.
    std::mt19937 rng(7);
    std::vector<uint32_t> colours = {0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0x808080, 0xFFFF00};
    for (int i = 0; i < 200; ++i) colours.push_back(rng() & 0xFFFFFF);
    const int w = static_cast<int>(colours.size()) * 2, h = 2;
    std::vector<uint8_t> px(static_cast<size_t>(w) * h * 4);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint32_t c = colours[x / 2];
            uint8_t* p = &px[(static_cast<size_t>(y) * w + x) * 4];
            p[0] = c & 255, p[1] = (c >> 8) & 255, p[2] = (c >> 16) & 255, p[3] = 0x5A;  // X is ignored
        }
    const Yuv out = Convert({px.data(), w, h, w * 4, 32, 0});
    for (size_t i = 0; i < colours.size(); ++i) {
        const uint32_t c = colours[i];
        double ry, rcb, rcr;
        Reference(c >> 16, (c >> 8) & 255, c & 255, &ry, &rcb, &rcr);
        EXPECT_NEAR(out.y[2 * i], ry, 1.0) << std::hex << c;
        EXPECT_NEAR(out.y[w + 2 * i + 1], ry, 1.0) << std::hex << c;
        EXPECT_NEAR(out.u[i], rcb, 1.0) << std::hex << c;
        EXPECT_NEAR(out.v[i], rcr, 1.0) << std::hex << c;
    }
    EXPECT_EQ(out.y[0], 16);
    EXPECT_EQ(out.y[2], 235);
    EXPECT_EQ(out.u[0], 128);
    EXPECT_EQ(out.v[1], 128);
}

TEST(RecordConvert, SixteenBitPixelsWidenAsTheCaptureDoes) {
    // Every RGB565 and RGB555 value once, in a padded frame.
    for (const uint32_t green : {0x07E0u, 0x03E0u}) {
        const int w = 256, h = 256, pitch = w * 2 + 6;
        std::vector<uint8_t> px(static_cast<size_t>(pitch) * h, 0xEE);
        for (int i = 0; i < w * h; ++i) {
            uint8_t* p = &px[static_cast<size_t>(i / w) * pitch + (i % w) * 2];
            p[0] = i & 255, p[1] = static_cast<uint8_t>(i >> 8);
        }
        std::vector<uint8_t> bgr0(static_cast<size_t>(w) * h * 4);
        ToBgr0({px.data(), w, h, pitch, 16, green}, bgr0.data(), w * 4);
        for (int i = 0; i < w * h; ++i) {
            const uint32_t want = green == 0x07E0u ? sombrella::pixel::Rgb565ToArgb(static_cast<uint32_t>(i))
                                                   : sombrella::pixel::Rgb555ToArgb(static_cast<uint32_t>(i));
            const uint8_t* p = &bgr0[static_cast<size_t>(i) * 4];
            const uint32_t got = 0xFF000000u | (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
            ASSERT_EQ(got, want) << std::hex << i;
            ASSERT_EQ(p[3], 0);
        }
        // The same pixels through YUV: luma is the luma of the widened colour.
        const Yuv out = Convert({px.data(), w, h, pitch, 16, green});
        for (int i = 0; i < w * h; i += 97) {
            const uint8_t* p = &bgr0[static_cast<size_t>(i) * 4];
            double ry, rcb, rcr;
            Reference(p[2], p[1], p[0], &ry, &rcb, &rcr);
            EXPECT_NEAR(out.y[static_cast<size_t>(i)], ry, 1.0) << i;
        }
    }
}

TEST(RecordConvert, ChromaIsTheMeanOfEachTwoByTwoBlockAndOddEdgesStayInside) {
    // 5x3: a red/blue checker; the last column and row have no partner pixels.
    const int w = 5, h = 3, pitch = w * 4;
    std::vector<uint8_t> px(static_cast<size_t>(pitch) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = &px[static_cast<size_t>(y) * pitch + x * 4];
            const bool red = (x + y) % 2 == 0;
            p[0] = red ? 0 : 255, p[1] = 0, p[2] = red ? 255 : 0, p[3] = 0;
        }
    const Yuv out = Convert({px.data(), w, h, pitch, 32, 0});
    double ry, rcb, rcr, by, bcb, bcr, my, mcb, mcr;
    Reference(255, 0, 0, &ry, &rcb, &rcr);
    Reference(0, 0, 255, &by, &bcb, &bcr);
    Reference(127.5, 0, 127.5, &my, &mcb, &mcr);
    EXPECT_NEAR(out.y[0], ry, 1.0);
    EXPECT_NEAR(out.y[1], by, 1.0);
    EXPECT_NEAR(out.y[2 * w + 4], ry, 1.0);  // the last pixel is converted too
    // Full blocks: the mean of two red and two blue pixels.
    EXPECT_NEAR(out.u[0], mcb, 1.0);
    EXPECT_NEAR(out.v[1], mcr, 1.0);
    // Last column (x = 4) repeats itself: rows 0 and 1 there are red and blue.
    EXPECT_NEAR(out.u[2], mcb, 1.0);
    // Last row (y = 2) repeats itself: red, blue, red ... so again the mean per pair.
    EXPECT_NEAR(out.v[out.cw], mcr, 1.0);
    // The corner: one red pixel alone.
    EXPECT_NEAR(out.u[out.cw + 2], rcb, 1.0);
    EXPECT_NEAR(out.v[out.cw + 2], rcr, 1.0);
}

}  // namespace
