// The BMP decoder against an independent decoder (Pillow) over a generated corpus,
// plus the RLE escapes and the malformed files that must fail cleanly.
#include <gtest/gtest.h>

#include <unistd.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>

#include "bmp_builder.h"
#include "common/pixel_format.h"
#include "win32/bmp_decode.h"

using namespace bmptest;
using sombrella::bmp::Decode;
using sombrella::bmp::Image;
using sombrella::bmp::Status;

namespace {

namespace fs = std::filesystem;

std::vector<uint32_t> MakePalette(uint32_t n) {
    std::vector<uint32_t> p;
    for (uint32_t i = 0; i < n; ++i) p.push_back(((i * 53 + 17) & 0xFF) << 16 | ((i * 101 + 3) & 0xFF) << 8 | ((i * 29 + 200) & 0xFF));
    return p;
}

std::vector<uint8_t> MakeIndexes(uint32_t w, uint32_t h, uint32_t colors) {
    std::vector<uint8_t> v(size_t{w} * h);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) v[y * w + x] = static_cast<uint8_t>((x * 7 + y * 3 + x * y) % colors);
    return v;
}

std::vector<uint32_t> MakeValues(uint32_t w, uint32_t h, uint32_t mask, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint32_t> v(size_t{w} * h);
    for (auto& x : v) x = rng() & mask;
    return v;
}

BmpFile Indexed(uint32_t headerSize, int32_t w, int32_t h, uint16_t bpp, uint32_t colors = 0) {
    BmpFile b;
    b.headerSize = headerSize;
    b.width = w;
    b.height = h;
    b.bitsPerPixel = bpp;
    const uint32_t n = colors ? colors : (1u << bpp);
    b.colorsUsed = colors;
    b.palette = MakePalette(n);
    const uint32_t rows = static_cast<uint32_t>(h < 0 ? -h : h);
    b.bits = PackIndexes(MakeIndexes(static_cast<uint32_t>(w), rows, n), static_cast<uint32_t>(w), rows, bpp);
    return b;
}

BmpFile Packed(uint32_t headerSize, int32_t w, int32_t h, uint16_t bpp, uint32_t compression, std::array<uint32_t, 4> masks,
               uint32_t seed) {
    BmpFile b;
    b.headerSize = headerSize;
    b.width = w;
    b.height = h;
    b.bitsPerPixel = bpp;
    b.compression = compression;
    for (int i = 0; i < 4; ++i) b.masks[i] = masks[i];
    const uint32_t rows = static_cast<uint32_t>(h < 0 ? -h : h);
    const uint32_t all = bpp == 32 ? 0xFFFFFFFFu : ((1u << bpp) - 1);
    b.bits = PackValues(MakeValues(static_cast<uint32_t>(w), rows, all, seed), static_cast<uint32_t>(w), rows, bpp / 8);
    return b;
}

// RGBA bytes of a decoded image, top row first.
std::vector<uint8_t> ToRgba(const Image& im) {
    std::vector<uint8_t> out;
    out.reserve(size_t{im.width} * im.height * 4);
    for (size_t i = 0; i < size_t{im.width} * im.height; ++i) {
        const uint32_t p = im.pixels[i];
        out.insert(out.end(), {uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p), uint8_t(p >> 24)});
    }
    return out;
}

Status DecodeBytes(const std::vector<uint8_t>& f, Image& im) { return Decode(f.data(), f.size(), im); }

RleWriter Rle8Writer(bool delta) {
    RleWriter w(20, 8, false);
    w.Run(5, 3);
    w.Absolute({1, 2, 3});
    w.Absolute({7, 8, 9, 10});
    w.Run(8, 200);
    w.EndOfLine();
    w.Run(20, 17);
    w.EndOfLine();
    if (delta) w.Delta(4, 1);
    w.Run(3, 99);
    w.Absolute({250, 251, 252, 253, 254});
    w.EndOfLine();
    w.Run(1, 1);
    if (delta) w.Delta(10, 2);
    w.Run(2, 5);
    w.EndOfLine();
    w.Run(20, 42);
    // Pillow wants every pixel drawn; the delta form leaves rows to the end-of-bitmap.
    for (uint8_t v = 60; !delta && w.y < 7; ++v) {
        w.EndOfLine();
        w.Run(20, v);
    }
    w.EndOfBitmap();
    return w;
}

BmpFile Rle8Sample(bool delta) {
    BmpFile b = Indexed(40, 20, 8, 8);
    b.compression = 1;
    b.bits = Rle8Writer(delta).bytes;
    return b;
}

RleWriter Rle4Writer(bool delta) {
    // Runs alternate two colours; absolute runs of even length (Pillow's limit).
    RleWriter w(19, 6, true);
    w.Run(7, 0x3C);
    w.Absolute({1, 2, 3, 4});
    w.Run(8, 0x55);
    w.EndOfLine();
    if (delta) w.Delta(3, 1);
    w.Run(5, 0x9A);
    w.EndOfLine();
    w.Absolute({15, 14, 13, 12, 11, 10});
    w.Run(13, 0x12);
    w.EndOfLine();
    w.Run(19, 0xF0);
    for (uint8_t v = 0x61; !delta && w.y < 5; ++v) {
        w.EndOfLine();
        w.Run(19, v);
    }
    w.EndOfBitmap();
    return w;
}

BmpFile Rle4Sample(bool delta) {
    BmpFile b = Indexed(40, 19, 6, 4);
    b.compression = 2;
    b.bits = Rle4Writer(delta).bytes;
    return b;
}

struct Case {
    std::string name;
    std::vector<uint8_t> file;       // what our decoder reads
    std::vector<uint8_t> reference;  // the same picture in a header Pillow reads
};

std::string FindPython() {
    for (const char* py : {"/usr/bin/python3", "python3"}) {
        const std::string cmd = std::string(py) + " -c \"import PIL\" >/dev/null 2>&1";
        if (std::system(cmd.c_str()) == 0) return py;
    }
    return "";
}

void WriteFile(const fs::path& p, const std::vector<uint8_t>& bytes) {
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> ReadFile(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

std::vector<Case> Corpus() {
    std::vector<Case> c;
    auto same = [&](const std::string& name, const BmpFile& b) { c.push_back({name, Encode(b), Encode(b)}); };
    auto as = [&](const std::string& name, const BmpFile& b, const BmpFile& ref) { c.push_back({name, Encode(b), Encode(ref)}); };

    // OS/2 1.x core header: 3-byte palette entries, 16-bit sizes.
    for (uint16_t bpp : {1, 4, 8}) same("core_" + std::to_string(bpp), Indexed(12, 13, 7, bpp));
    same("core_24", Packed(12, 13, 7, 24, 0, {}, 1));
    // BITMAPINFOHEADER, every depth, odd widths for the row padding.
    for (uint16_t bpp : {1, 4, 8}) {
        same("info_" + std::to_string(bpp), Indexed(40, 13, 7, bpp));
        same("info_" + std::to_string(bpp) + "_w33", Indexed(40, 33, 3, bpp));
        same("info_" + std::to_string(bpp) + "_topdown", Indexed(40, 13, -7, bpp));
    }
    same("info_8_short_palette", Indexed(40, 13, 7, 8, 5));
    same("info_4_short_palette", Indexed(40, 9, 4, 4, 3));
    same("info_1_w1", Indexed(40, 1, 5, 1));
    same("info_16_555", Packed(40, 13, 7, 16, 0, {}, 2));
    same("info_24", Packed(40, 13, 7, 24, 0, {}, 3));
    same("info_24_w1", Packed(40, 1, 3, 24, 0, {}, 4));
    same("info_24_topdown", Packed(40, 13, -7, 24, 0, {}, 5));
    same("info_24_w17", Packed(40, 17, 9, 24, 0, {}, 55));
    same("info_32", Packed(40, 13, 7, 32, 0, {}, 6));
    // Bit fields.
    same("fields_16_565", Packed(40, 13, 7, 16, 3, {0xF800, 0x07E0, 0x001F, 0}, 7));
    same("fields_16_555", Packed(40, 13, 7, 16, 3, {0x7C00, 0x03E0, 0x001F, 0}, 8));
    same("fields_16_565_topdown", Packed(40, 13, -7, 16, 3, {0xF800, 0x07E0, 0x001F, 0}, 9));
    same("fields_32_x888", Packed(40, 13, 7, 32, 3, {0xFF0000, 0xFF00, 0xFF, 0}, 10));
    same("fields_32_rgba_order", Packed(108, 13, 7, 32, 3, {0xFF, 0xFF00, 0xFF0000, 0xFF000000u}, 11));
    same("v4_32_alpha", Packed(108, 13, 7, 32, 3, {0xFF0000, 0xFF00, 0xFF, 0xFF000000u}, 12));
    same("v5_32_alpha", Packed(124, 13, -7, 32, 3, {0xFF0000, 0xFF00, 0xFF, 0xFF000000u}, 13));
    same("v4_24", Packed(108, 13, 7, 24, 0, {}, 14));
    same("v5_8", Indexed(124, 13, 7, 8));
    same("v5_16_565", Packed(124, 13, 7, 16, 3, {0xF800, 0x07E0, 0x001F, 0}, 15));
    // Alpha bit fields: four masks after a 40-byte header; Pillow reads the V4 form.
    {
        BmpFile b = Packed(40, 13, 7, 32, 6, {0xFF0000, 0xFF00, 0xFF, 0xFF000000u}, 16);
        BmpFile r = b;
        r.headerSize = 108;
        r.compression = 3;
        as("alphafields_32", b, r);
    }
    // V2 (52) and V3 (56) headers: masks in the header; Pillow reads the same picture as V4.
    for (uint32_t hs : {52u, 56u}) {
        BmpFile b = Packed(hs, 13, 7, 16, 3, {0xF800, 0x07E0, 0x001F, 0}, 17);
        BmpFile r = b;
        r.headerSize = 108;
        as("v" + std::to_string(hs) + "_16_565", b, r);
        BmpFile b24 = Packed(hs, 13, 7, 24, 0, {}, 18);
        BmpFile r24 = b24;
        r24.headerSize = 40;
        as("v" + std::to_string(hs) + "_24", b24, r24);
    }
    {
        BmpFile b = Packed(56, 13, 7, 32, 3, {0xFF0000, 0xFF00, 0xFF, 0xFF000000u}, 19);
        BmpFile r = b;
        r.headerSize = 108;
        as("v56_32_alpha", b, r);
    }
    // OS/2 2.x headers of several lengths: fields past the end read as zero.
    for (uint32_t hs : {16u, 24u, 36u, 64u}) {
        BmpFile b8 = Indexed(hs, 13, 7, 8);
        BmpFile r8 = b8;
        r8.headerSize = 40;
        as("os2_" + std::to_string(hs) + "_8", b8, r8);
        BmpFile b24 = Packed(hs, 13, 7, 24, 0, {}, 20);
        BmpFile r24 = b24;
        r24.headerSize = 40;
        as("os2_" + std::to_string(hs) + "_24", b24, r24);
    }
    // RLE8 and RLE4 with runs, absolute runs, end-of-line and end-of-bitmap.
    // (Pillow 9 misreads delta escapes; those are checked against the writer below.)
    c.push_back({"rle8_escapes", Encode(Rle8Sample(false)), Encode(Rle8Sample(false))});
    c.push_back({"rle4_escapes", Encode(Rle4Sample(false)), Encode(Rle4Sample(false))});
    return c;
}

class BmpAgainstPillow : public ::testing::Test {};

TEST_F(BmpAgainstPillow, CorpusMatchesPixelForPixel) {
    const std::string python = FindPython();
    if (python.empty()) GTEST_SKIP() << "python3 with PIL not available";
    const fs::path dir = fs::path(::testing::TempDir()) / ("bmp_corpus_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const auto corpus = Corpus();
    std::string cmd = python + " " + SOMBRELLA_PILLOW_SCRIPT;
    for (const auto& c : corpus) {
        WriteFile(dir / (c.name + ".bmp"), c.reference);
        cmd += " " + (dir / (c.name + ".bmp")).string();
    }
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    for (const auto& c : corpus) {
        SCOPED_TRACE(c.name);
        auto ref = ReadFile(dir / (c.name + ".bmp.rgba"));
        ASSERT_GE(ref.size(), 8u) << "Pillow refused: " << c.name;
        Image im;
        ASSERT_EQ(DecodeBytes(c.file, im), Status::kOk);
        const uint32_t w = ref[0] | ref[1] << 8 | ref[2] << 16 | uint32_t(ref[3]) << 24;
        const uint32_t h = ref[4] | ref[5] << 8 | ref[6] << 16 | uint32_t(ref[7]) << 24;
        ASSERT_EQ(im.width, w);
        ASSERT_EQ(im.height, h);
        const auto ours = ToRgba(im);
        ASSERT_EQ(ours.size(), ref.size() - 8);
        // Pillow widens 5- and 6-bit channels by truncating v * 255 / max; the
        // BMP suite's reference pictures (and we) round. Pillow's value still
        // names the channel value uniquely, so compare against it rounded.
        uint32_t bits[3] = {0, 0, 0};
        if (c.name.find("_16_565") != std::string::npos) bits[0] = 5, bits[1] = 6, bits[2] = 5;
        if (c.name.find("_16_555") != std::string::npos) bits[0] = bits[1] = bits[2] = 5;
        for (size_t i = 0; i < ours.size(); ++i) {
            if (i % 4 < 3 && bits[i % 4]) {
                const uint32_t max = (1u << bits[i % 4]) - 1;
                uint32_t v = 0;
                while (v < max && v * 255 / max < ref[8 + i]) ++v;
                ref[8 + i] = static_cast<uint8_t>(sombrella::pixel::Widen(v, max));
            }
            if (ours[i] != ref[8 + i]) {
                const size_t px = i / 4;
                FAIL() << "pixel (" << px % w << "," << px / w << ") channel " << i % 4 << ": ours " << int(ours[i])
                       << " Pillow " << int(ref[8 + i]);
            }
        }
    }
    fs::remove_all(dir);
}

// The RLE cases also against the picture their writer meant, independent of Pillow;
// these cover what Pillow reads differently (odd RLE4 absolute runs, runs past the row).
uint32_t PaletteWord(const BmpFile& b, uint8_t index) {
    return index < b.palette.size() ? 0xFF000000u | b.palette[index] : 0xFF000000u;
}

void ExpectRle(const BmpFile& b, const RleWriter& w) {
    Image im;
    ASSERT_EQ(DecodeBytes(Encode(b), im), Status::kOk);
    for (uint32_t y = 0; y < w.height; ++y)
        for (uint32_t x = 0; x < w.width; ++x)
            ASSERT_EQ(im.pixels[(w.height - 1 - y) * w.width + x], PaletteWord(b, w.grid[y * w.width + x]))
                << "x=" << x << " y=" << y;
}

TEST(BmpRle, DeltaEscapesMoveRightAndUp) {
    ExpectRle(Rle8Sample(true), Rle8Writer(true));
    ExpectRle(Rle4Sample(true), Rle4Writer(true));
}

TEST(BmpRle, Rle4OddAbsoluteRunsKeepWordPadding) {
    RleWriter w(11, 3, true);
    w.Absolute({1, 2, 3});
    w.Absolute({4, 5, 6, 7, 8});
    w.Run(3, 0x9F);
    w.EndOfLine();
    w.Absolute({9, 10, 11, 12, 13, 14, 15});
    w.Run(1, 0xE0);
    w.EndOfLine();
    w.Absolute({1, 2, 3});
    w.Run(8, 0x21);
    BmpFile b = Indexed(40, 11, 3, 4);
    b.compression = 2;
    b.bits = w.bytes;
    ExpectRle(b, w);
}

TEST(BmpRle, RunsPastTheRowAreCutOffAndTheNextRowStartsClean) {
    for (bool four : {false, true}) {
        RleWriter w(6, 3, four);
        w.Run(200, 0x12);  // far past the row
        w.Run(3, 0x34);    // still past it: nothing drawn
        w.EndOfLine();
        w.Absolute({1, 2, 3, 4, 5, 6, 7, 8, 9});  // absolute run past the row
        w.EndOfLine();
        w.Run(2, 0x56);
        // no end-of-bitmap: the stream just stops
        BmpFile b = Indexed(40, 6, 3, four ? 4 : 8);
        b.compression = four ? 2 : 1;
        b.bits = w.bytes;
        SCOPED_TRACE(four ? "rle4" : "rle8");
        ExpectRle(b, w);
    }
}

TEST(BmpRle, DeltaOffTheImageEndsDecoding) {
    RleWriter w(5, 4, false);
    w.Run(5, 9);
    w.Delta(2, 200);
    BmpFile b = Indexed(40, 5, 4, 8);
    b.compression = 1;
    b.bits = w.bytes;
    b.bits.insert(b.bits.end(), {5, 7});  // would draw, but lies beyond the image
    ExpectRle(b, w);
}

TEST(BmpRle, EscapesCutShortByTheEndOfDataFail) {
    BmpFile b = Indexed(40, 8, 2, 8);
    b.compression = 1;
    Image im;
    b.bits = {0, 2, 1};  // delta missing its second byte
    EXPECT_EQ(DecodeBytes(Encode(b), im), Status::kTruncated);
    b.bits = {0, 6, 1, 2, 3};  // absolute run of 6 with 3 bytes
    EXPECT_EQ(DecodeBytes(Encode(b), im), Status::kTruncated);
    b.bits = {4, 1, 0};  // a lone byte after a run is ignored like a missing end-of-bitmap
    EXPECT_EQ(DecodeBytes(Encode(b), im), Status::kOk);
}

TEST(BmpRle, TopDownOrWrongDepthIsRefused) {
    BmpFile b = Indexed(40, 4, -2, 8);
    b.compression = 1;
    b.bits = {4, 1, 0, 1};
    Image im;
    EXPECT_EQ(DecodeBytes(Encode(b), im), Status::kBadHeader);
    b.height = 2;
    b.compression = 2;  // RLE4 at 8 bits
    EXPECT_EQ(DecodeBytes(Encode(b), im), Status::kBadHeader);
}

TEST(BmpPalette, IndexesPastAShortPaletteAreBlack) {
    BmpFile b;
    b.width = 4;
    b.height = 1;
    b.bitsPerPixel = 8;
    b.colorsUsed = 2;
    b.palette = {0x112233, 0x445566};
    b.bits = {0, 1, 2, 255};
    Image im;
    ASSERT_EQ(DecodeBytes(Encode(b), im), Status::kOk);
    EXPECT_EQ(im.pixels[0], 0xFF112233u);
    EXPECT_EQ(im.pixels[1], 0xFF445566u);
    EXPECT_EQ(im.pixels[2], 0xFF000000u);
    EXPECT_EQ(im.pixels[3], 0xFF000000u);
    EXPECT_EQ(im.bitsPerPixel, 8);
}

TEST(BmpFields, GenericMasksScaleToFullRange) {
    // 4-4-4-4 ARGB and 10-10-10-2: layouts Pillow does not read.
    BmpFile b = Packed(108, 2, 1, 16, 3, {0x0F00, 0x00F0, 0x000F, 0xF000}, 0);
    b.bits = {0x00, 0x00, 0x00, 0x00};
    const uint16_t px0 = 0xF8A1, px1 = 0x7FFF;
    b.bits = {uint8_t(px0), uint8_t(px0 >> 8), uint8_t(px1), uint8_t(px1 >> 8)};
    Image im;
    ASSERT_EQ(DecodeBytes(Encode(b), im), Status::kOk);
    EXPECT_TRUE(im.hasAlpha);
    EXPECT_EQ(im.pixels[0], (0xFFu << 24) | (0x88u << 16) | (0xAAu << 8) | 0x11u);
    EXPECT_EQ(im.pixels[1], (0x77u << 24) | 0xFFFFFFu);

    BmpFile c = Packed(56, 1, 1, 32, 3, {0x3FF00000, 0x000FFC00, 0x000003FF, 0xC0000000u}, 0);
    const uint32_t v = (2u << 30) | (1023u << 20) | (512u << 10) | 1u;
    c.bits = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    ASSERT_EQ(DecodeBytes(Encode(c), im), Status::kOk);
    // Rounded to nearest: 512 of 1023 is 127.6 -> 128, 1 of 1023 is 0.25 -> 0.
    EXPECT_EQ(im.pixels[0], (170u << 24) | (255u << 16) | (128u << 8) | 0u);
}

TEST(BmpFields, BadMasksAreRefused) {
    Image im;
    for (std::array<uint32_t, 4> m : {std::array<uint32_t, 4>{0xF800, 0x0FE0, 0x1F, 0},   // overlap
                                      std::array<uint32_t, 4>{0xF100, 0x07E0, 0x1F, 0},   // gap
                                      std::array<uint32_t, 4>{0xF80000, 0x07E0, 0x1F, 0},  // outside 16 bits
                                      std::array<uint32_t, 4>{0, 0, 0, 0}}) {
        BmpFile b = Packed(40, 2, 2, 16, 3, m, 1);
        EXPECT_EQ(DecodeBytes(Encode(b), im), Status::kBadMasks) << std::hex << m[0] << " " << m[1];
        EXPECT_EQ(im.pixels, nullptr);
    }
}

// Malformed files: every one fails with a reason, never a crash or a read past the data.
TEST(BmpMalformed, HeadersAndSizes) {
    Image im;
    const std::vector<uint8_t> good = Encode(Packed(40, 5, 3, 24, 0, {}, 1));
    EXPECT_EQ(Decode(nullptr, 0, im), Status::kNotBmp);
    EXPECT_EQ(DecodeBytes({}, im), Status::kNotBmp);
    EXPECT_EQ(DecodeBytes({'B', 'M'}, im), Status::kTruncated);
    auto bad = good;
    bad[0] = 'X';
    EXPECT_EQ(DecodeBytes(bad, im), Status::kNotBmp);

    auto with = [&](auto edit) {
        BmpFile b = Packed(40, 5, 3, 24, 0, {}, 1);
        edit(b);
        return DecodeBytes(Encode(b), im);
    };
    EXPECT_EQ(with([](BmpFile& b) { b.width = 0; }), Status::kBadHeader);
    EXPECT_EQ(with([](BmpFile& b) { b.width = -5; }), Status::kBadHeader);
    EXPECT_EQ(with([](BmpFile& b) { b.height = 0; }), Status::kBadHeader);
    EXPECT_EQ(with([](BmpFile& b) { b.height = INT32_MIN; }), Status::kTooLarge);
    EXPECT_EQ(with([](BmpFile& b) { b.width = 0x7FFFFFFF; b.height = 0x7FFFFFFF; }), Status::kTooLarge);
    // Within the pixel limit but far more than the file holds: refused before allocating.
    EXPECT_EQ(with([](BmpFile& b) { b.width = 4000; b.height = 4000; }), Status::kTruncated);
    // More pixels than any texture holds (4096 x 4096), whatever the file carries.
    EXPECT_EQ(with([](BmpFile& b) { b.width = 4097; b.height = 4096; }), Status::kTooLarge);
    EXPECT_EQ(with([](BmpFile& b) { b.width = 16383; b.height = 16383; b.bitsPerPixel = 32; }), Status::kTooLarge);
    EXPECT_EQ(with([](BmpFile& b) { b.bitsPerPixel = 7; }), Status::kBadHeader);
    EXPECT_EQ(with([](BmpFile& b) { b.bitsPerPixel = 0; }), Status::kUnsupported);
    EXPECT_EQ(with([](BmpFile& b) { b.compression = 4; }), Status::kUnsupported);  // JPEG
    EXPECT_EQ(with([](BmpFile& b) { b.compression = 5; }), Status::kUnsupported);  // PNG
    EXPECT_EQ(with([](BmpFile& b) { b.compression = 1; }), Status::kBadHeader);    // RLE8 at 24 bits
    EXPECT_EQ(with([](BmpFile& b) { b.compression = 3; b.bitsPerPixel = 8; b.palette = MakePalette(256); }), Status::kBadHeader);
    EXPECT_EQ(with([](BmpFile& b) { b.headerSize = 41; }), Status::kBadHeader);
    EXPECT_EQ(with([](BmpFile& b) { b.headerSize = 200; }), Status::kBadHeader);
    EXPECT_EQ(with([](BmpFile& b) { b.headerSize = 8; }), Status::kBadHeader);
    EXPECT_EQ(with([](BmpFile& b) { b.headerSize = 24; b.compression = 3; }), Status::kUnsupported);  // OS/2 Huffman
    EXPECT_EQ(with([](BmpFile& b) { b.pixelOffset = 20; }), Status::kBadOffset);
    EXPECT_EQ(with([](BmpFile& b) { b.pixelOffset = 100000; }), Status::kBadOffset);
    EXPECT_EQ(with([](BmpFile& b) { b.pixelOffset = 0xFFFFFFFF; }), Status::kBadOffset);
    EXPECT_EQ(with([](BmpFile& b) { b.bits.resize(b.bits.size() - 4); }), Status::kTruncated);
    // The last row may lack its padding.
    EXPECT_EQ(with([](BmpFile& b) { b.bits.resize(b.bits.size() - 1); }), Status::kOk);
}

TEST(BmpMalformed, PaletteOverrunsAndHugeRle) {
    Image im;
    BmpFile b = Indexed(40, 4, 4, 8);
    b.colorsUsed = 0x80000000u;  // more colours than 8 bits index: only 256 are read
    EXPECT_EQ(DecodeBytes(Encode(b), im), Status::kOk);
    BmpFile c = Indexed(40, 4, 4, 8);
    c.palette.resize(10);  // the full 256-entry table is promised but absent
    c.bits.clear();
    auto bytes = Encode(c);
    EXPECT_EQ(DecodeBytes(bytes, im), Status::kTruncated);

    BmpFile r;
    r.width = r.height = 16384;
    r.bitsPerPixel = 8;
    r.palette = MakePalette(256);
    r.compression = 1;
    r.bits = {0, 1};  // two bytes that claim to cover 2^28 pixels
    EXPECT_EQ(DecodeBytes(Encode(r), im), Status::kTooLarge);
}

TEST(BmpMalformed, EveryPrefixOfValidFilesFailsOrDecodes) {
    std::vector<std::vector<uint8_t>> files;
    for (const auto& c : Corpus()) files.push_back(c.file);
    for (const auto& f : files) {
        for (size_t n = 0; n < f.size(); ++n) {
            std::vector<uint8_t> cut(f.begin(), f.begin() + static_cast<ptrdiff_t>(n));
            Image im;
            const Status s = DecodeBytes(cut, im);
            if (s != Status::kOk) {
                EXPECT_EQ(im.pixels, nullptr);
            }
        }
    }
}

TEST(BmpMalformed, RandomByteDamageNeverCrashes) {
    std::mt19937 rng(1234);
    const auto corpus = Corpus();
    int decoded = 0;
    for (int i = 0; i < 3000; ++i) {
        std::vector<uint8_t> f = corpus[i % corpus.size()].file;
        const int edits = 1 + static_cast<int>(rng() % 4);
        for (int e = 0; e < edits; ++e) {
            const size_t at = rng() % std::min<size_t>(f.size(), (rng() & 1) ? 80 : f.size());
            f[at] = static_cast<uint8_t>(rng());
        }
        Image im;
        sombrella::bmp::Limits limits;
        limits.maxPixels = 1u << 20;
        if (Decode(f.data(), f.size(), im, limits) == Status::kOk) {
            ++decoded;
            uint32_t sum = 0;
            for (size_t p = 0; p < size_t{im.width} * im.height; ++p) sum += im.pixels[p];
            EXPECT_GE(sum, 0u);
        }
    }
    EXPECT_GT(decoded, 0);
}

}  // namespace

namespace {

// Every value of 5- and 6-bit channels widens to round(v * 255 / max), the
// rule of the public BMP suite's reference pictures (rgb16, rgb16-565,
// rgb16bfdef): the default 5-5-5 layout and 5-6-5 bit fields.
TEST(BmpFields, SixteenBitChannelsRoundToNearest) {
    struct Layout {
        uint32_t compression;
        uint32_t masks[3];
        uint32_t bits[3];
    };
    const Layout layouts[] = {{0, {0x7C00, 0x03E0, 0x001F}, {5, 5, 5}}, {3, {0xF800, 0x07E0, 0x001F}, {5, 6, 5}}};
    for (const Layout& l : layouts) {
        // One pixel per value of the widest channel, the same value in all three.
        std::vector<uint32_t> values;
        for (uint32_t v = 0; v < 64; ++v) {
            uint32_t p = 0;
            for (int c = 0; c < 3; ++c) {
                const uint32_t max = (1u << l.bits[c]) - 1;
                p |= (std::min(v, max) << __builtin_ctz(l.masks[c])) & l.masks[c];
            }
            values.push_back(p);
        }
        BmpFile b;
        b.width = 64;
        b.height = -1;
        b.bitsPerPixel = 16;
        b.compression = l.compression;
        for (int c = 0; c < 3; ++c) b.masks[c] = l.compression ? l.masks[c] : 0;
        b.bits = PackValues(values, 64, 1, 2);
        Image im;
        ASSERT_EQ(DecodeBytes(Encode(b), im), Status::kOk);
        for (uint32_t v = 0; v < 64; ++v) {
            const uint32_t px = im.pixels[v];
            for (int c = 0; c < 3; ++c) {
                const uint32_t max = (1u << l.bits[c]) - 1;
                const uint32_t want = (std::min(v, max) * 255 + max / 2) / max;
                EXPECT_EQ((px >> (16 - 8 * c)) & 255, want) << "value " << v << " channel " << c;
            }
        }
    }
}

// The pixel data may not start inside the colour table or the masks.
TEST(BmpMalformed, PixelOffsetInsideThePaletteOrMasks) {
    Image im;
    BmpFile b = Indexed(40, 4, 4, 8, 16);
    const int64_t tableEnd = 14 + 40 + 16 * 4;
    b.pixelOffset = tableEnd;
    EXPECT_EQ(DecodeBytes(Encode(b), im), Status::kOk);
    b.pixelOffset = tableEnd - 4;  // the last palette entry
    EXPECT_EQ(DecodeBytes(Encode(b), im), Status::kBadOffset);
    BmpFile core = Indexed(12, 4, 4, 4);
    core.pixelOffset = 14 + 12 + 16 * 3 - 3;
    EXPECT_EQ(DecodeBytes(Encode(core), im), Status::kBadOffset);
    BmpFile f = Packed(40, 4, 4, 16, 3, {0xF800, 0x07E0, 0x001F, 0}, 1);
    f.pixelOffset = 14 + 40 + 8;  // on the blue mask
    EXPECT_EQ(DecodeBytes(Encode(f), im), Status::kBadOffset);
    f.pixelOffset = 14 + 40 + 12;
    EXPECT_EQ(DecodeBytes(Encode(f), im), Status::kOk);
}

}  // namespace

namespace {

// The shared rule itself: round to nearest for every width and mask
// position, and narrowing back gives the value again.
TEST(PixelFormat, WideningRoundsAndNarrowingReturnsTheValue) {
    for (uint32_t bits = 1; bits <= 16; ++bits) {
        for (uint32_t shift : {0u, 3u, 32u - bits}) {
            const uint32_t max = (1u << bits) - 1;
            const sombrella::pixel::Channel c(max << shift);
            ASSERT_EQ(c.bits, bits);
            ASSERT_EQ(c.max, max);
            for (uint32_t v = 0; v <= max; v += (bits > 10 ? 7 : 1)) {
                const uint32_t wide = c.Widen(v << shift, 0);
                const double exact = v * 255.0 / max;
                EXPECT_LE(std::abs(double(wide) - exact), 0.5) << bits << " bits, value " << v;
                if (bits <= 8) {
                    EXPECT_EQ(c.Pack(wide), v << shift) << bits << " bits, value " << v;
                }
            }
            EXPECT_EQ(c.Pack(255), max << shift);  // full scale fills every bit, wide channels too
            EXPECT_EQ(c.Pack(0), 0u);
        }
    }
    EXPECT_EQ(sombrella::pixel::Rgb565ToArgb(0x18E3), 0xFF191C19u);  // 3, 7, 3 -> 25, 28, 25
}

}  // namespace
