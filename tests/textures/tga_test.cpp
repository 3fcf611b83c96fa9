// The TGA reader: header rules, row order, pixel words, packets, and damaged
// files; plus a comparison with an independent decoder (Pillow).
#include <gtest/gtest.h>

#include <cstring>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <unistd.h>

#include "textures/texture_registry.h"
#include "textures/tga_reader.h"
#include "tga_writer.h"

using namespace tga_test;

namespace {

struct Entry : TextureEntry {
    Entry() : TextureEntry{} {}
    ~Entry() { delete[] pixels; }
    uint32_t At(DWORD x, DWORD y) const { return pixels[size_t(y) * width + x]; }
};

HRESULT Decode(Entry& e, const std::vector<uint8_t>& bytes) {
    return DecodeTgaTexture(&e, bytes.data(), bytes.size());
}

Header Make(uint8_t type, uint16_t w, uint16_t h, uint8_t bpp, uint8_t desc = 0) {
    Header hd;
    hd.imageType = type;
    hd.width = w;
    hd.height = h;
    hd.bitsPerPixel = bpp;
    hd.descriptor = desc;
    return hd;
}

}  // namespace

TEST(TgaReader, BottomUpTwentyFourBitFlipsRowsAndAddsOpaqueAlpha) {
    // File rows bottom to top: first stored row is the picture's last.
    auto bytes = Writer(Make(2, 2, 2, 24, 0x00)).Pixel(0x302010FF).Pixel(0x01020300).Pixel(0xA0B0C0FF).Pixel(0xFFFFFF00).bytes;
    Entry e;
    ASSERT_EQ(Decode(e, bytes), S_OK);
    EXPECT_EQ(e.width, 2u);
    EXPECT_EQ(e.height, 2u);
    EXPECT_EQ(e.bitsPerPixel, 24u);
    EXPECT_EQ(e.At(0, 1), 0x302010FFu);  // bytes 10 20 30 -> 0x302010FF
    EXPECT_EQ(e.At(1, 1), 0x010203FFu);  // alpha is 255 whatever we meant
    EXPECT_EQ(e.At(0, 0), 0xA0B0C0FFu);
    EXPECT_EQ(e.At(1, 0), 0xFFFFFFFFu);
}

TEST(TgaReader, TopDownThirtyTwoBitKeepsRowsAndAlpha) {
    for (uint8_t desc : {uint8_t(0x28), uint8_t(0x38)}) {  // 0x10 (right-to-left) changes nothing
        auto bytes = Writer(Make(2, 2, 2, 32, desc)).Pixel(0x11223344).Pixel(0x55667788).Pixel(0x99AABBCC).Pixel(0xDDEEFF00).bytes;
        Entry e;
        ASSERT_EQ(Decode(e, bytes), S_OK);
        EXPECT_EQ(e.bitsPerPixel, 32u);
        EXPECT_EQ(e.At(0, 0), 0x11223344u);
        EXPECT_EQ(e.At(1, 0), 0x55667788u);
        EXPECT_EQ(e.At(0, 1), 0x99AABBCCu);
        EXPECT_EQ(e.At(1, 1), 0xDDEEFF00u);
        EXPECT_EQ(reinterpret_cast<const uint8_t*>(e.pixels)[0], 0x44);  // word in memory: A B G R
    }
}

TEST(TgaReader, IdBytesAreSkipped) {
    Header h = Make(2, 1, 1, 24);
    h.idLength = 5;
    auto bytes = Writer(h).Id({0xEE, 0xEE, 0xEE, 0xEE, 0xEE}).Pixel(0x123456FF).bytes;
    Entry e;
    ASSERT_EQ(Decode(e, bytes), S_OK);
    EXPECT_EQ(e.At(0, 0), 0x123456FFu);
}

TEST(TgaReader, PacketHeadersCoverOneTo128Pixels) {
    // 0x80 run of 1, 0x00 one raw, 0xFF run of 128, 0x7F 128 raw: one row of 258.
    std::vector<uint32_t> raw128;
    for (uint32_t i = 0; i < 128; ++i) raw128.push_back((i << 24) | 0xFF);
    Writer w(Make(10, 258, 1, 24, 0x20));
    w.Byte(0x80).Pixel(0xAA0000FF).Byte(0x00).Pixel(0x00BB00FF).Byte(0xFF).Pixel(0x0000CCFF).Byte(0x7F);
    for (uint32_t p : raw128) w.Pixel(p);
    Entry e;
    ASSERT_EQ(Decode(e, w.bytes), S_OK);
    EXPECT_EQ(e.At(0, 0), 0xAA0000FFu);
    EXPECT_EQ(e.At(1, 0), 0x00BB00FFu);
    for (int x = 2; x < 130; ++x) ASSERT_EQ(e.At(x, 0), 0x0000CCFFu) << x;
    for (int x = 130; x < 258; ++x) ASSERT_EQ(e.At(x, 0), raw128[x - 130]) << x;
}

TEST(TgaReader, PacketsNeverContinueIntoTheNextRow) {
    // Width 4, top-down. Row 0: raw 2, then a run of 128 starting two columns
    // before the end: only 2 stored. Row 1 must start with its own header.
    // Row 2: a raw packet of 6 values: the last 2 are read and dropped.
    Writer w(Make(10, 4, 3, 24, 0x20));
    w.Raw({0x010101FF, 0x020202FF}).Run(128, 0x0A0A0AFF);
    w.Run(4, 0x0B0B0BFF);
    w.Raw({0x11, 0x22, 0x33, 0x44, 0x55, 0x66});
    Entry e;
    ASSERT_EQ(Decode(e, w.bytes), S_OK);
    EXPECT_EQ(e.At(0, 0), 0x010101FFu);
    EXPECT_EQ(e.At(1, 0), 0x020202FFu);
    EXPECT_EQ(e.At(2, 0), 0x0A0A0AFFu);
    EXPECT_EQ(e.At(3, 0), 0x0A0A0AFFu);
    for (int x = 0; x < 4; ++x) EXPECT_EQ(e.At(x, 1), 0x0B0B0BFFu);
    // Values written as 0x000000nn words: alpha byte dropped in 24-bit files.
    EXPECT_EQ(e.At(0, 2), 0x000000FFu);
    EXPECT_EQ(e.At(3, 2), 0x000000FFu);
}

TEST(TgaReader, RawValuesDroppedAtRowEndDoNotLeakIntoTheNextRow) {
    // Bottom-up, width 2: file row 0 (picture row 1) gets a raw packet of 3.
    Writer w(Make(10, 2, 2, 32, 0x00));
    w.Raw({0x01, 0x02, 0x03}).Raw({0x04, 0x05});
    Entry e;
    ASSERT_EQ(Decode(e, w.bytes), S_OK);
    EXPECT_EQ(e.At(0, 1), 0x01u);
    EXPECT_EQ(e.At(1, 1), 0x02u);
    EXPECT_EQ(e.At(0, 0), 0x04u);
    EXPECT_EQ(e.At(1, 0), 0x05u);
}

TEST(TgaReader, EmptyImagesLoadWithoutPixels) {
    for (auto [w, h] : {std::pair<uint16_t, uint16_t>{0, 7}, {7, 0}, {0, 0}}) {
        Entry e;
        ASSERT_EQ(Decode(e, Writer(Make(10, w, h, 32)).bytes), S_OK);
        EXPECT_EQ(e.width, w);
        EXPECT_EQ(e.height, h);
        EXPECT_EQ(e.pixels, nullptr);
    }
}

TEST(TgaReader, SixteenBitFilesAreReadAsThreeBytesPerPixel) {
    auto bytes = Writer(Make(2, 2, 1, 16, 0x20)).Pixel(0x332211FF).Pixel(0x665544FF).bytes;
    Entry e;
    ASSERT_EQ(Decode(e, bytes), S_OK);
    EXPECT_EQ(e.bitsPerPixel, 16u);
    EXPECT_EQ(e.At(0, 0), 0x332211FFu);
    EXPECT_EQ(e.At(1, 0), 0x665544FFu);
}

TEST(TgaReader, RefusesColourMappedAndOtherImageTypes) {
    for (uint8_t type : {0, 1, 3, 9, 11, 255}) {
        Entry e;
        EXPECT_EQ(Decode(e, Writer(Make(type, 1, 1, 24)).Pixel(0).bytes), E_FAIL) << int(type);
        EXPECT_EQ(e.pixels, nullptr);
    }
    Header h = Make(2, 1, 1, 24);
    h.colourMapType = 1;
    Entry e;
    EXPECT_EQ(Decode(e, Writer(h).Pixel(0).bytes), E_FAIL);
}

TEST(TgaReader, RefusesHeadersItCannotHonour) {
    auto full = Writer(Make(2, 1, 1, 24)).Pixel(0x123456FF).bytes;
    for (size_t n = 0; n < 18; ++n) {
        Entry e;
        EXPECT_EQ(DecodeTgaTexture(&e, full.data(), n), E_FAIL) << n;
    }
    // 65535 x 65535 promised by a file of a few bytes: refused, not allocated.
    for (uint8_t type : {uint8_t(2), uint8_t(10)}) {
        Entry e;
        EXPECT_EQ(Decode(e, Writer(Make(type, 65535, 65535, 32)).Run(128, 1).bytes), E_FAIL);
        EXPECT_EQ(e.pixels, nullptr);
    }
}

TEST(TgaReader, TruncatedDataLeavesTheRestZero) {
    // 4x4 24-bit, top-down, cut after 5 whole pixels and one stray byte.
    Writer w(Make(2, 4, 4, 24, 0x20));
    for (uint32_t i = 1; i <= 5; ++i) w.Pixel((i << 24) | 0xFF);
    w.Byte(0x77);
    Entry e;
    ASSERT_EQ(Decode(e, w.bytes), S_OK);
    EXPECT_EQ(e.At(0, 0), 0x010000FFu);
    EXPECT_EQ(e.At(0, 1), 0x050000FFu);
    EXPECT_EQ(e.At(1, 1), 0u);  // the partial pixel counts as missing
    EXPECT_EQ(e.At(3, 3), 0u);
    // RLE: a run header with no value after it.
    Writer r(Make(10, 4, 2, 32, 0x20));
    r.Run(4, 0xABCDEF01).Byte(0x83);
    Entry e2;
    ASSERT_EQ(Decode(e2, r.bytes), S_OK);
    EXPECT_EQ(e2.At(3, 0), 0xABCDEF01u);
    EXPECT_EQ(e2.At(0, 1), 0u);
    // The id field itself runs past the end.
    Header h = Make(2, 2, 2, 24);
    h.idLength = 200;
    Entry e3;
    ASSERT_EQ(Decode(e3, Writer(h).Id({1, 2, 3}).bytes), S_OK);
    EXPECT_EQ(e3.At(1, 1), 0u);
}

// No texture is larger than 4096 on a side: bigger headers are refused before
// a pixel is allocated, however much data follows.
TEST(TgaReader, ImagesLargerThanAnyTextureAreRefusedBeforeAllocating) {
    Entry at;
    EXPECT_EQ(Decode(at, Writer(Make(10, 4096, 1, 32)).Run(128, 1).bytes), S_OK);
    for (auto [w, h] : {std::pair<uint16_t, uint16_t>{4097, 1}, {1, 4097}, {65535, 65535}}) {
        Entry e;
        Writer big(Make(10, w, h, 32));
        for (int i = 0; i < 1000; ++i) big.Run(128, 0x11223344);
        EXPECT_EQ(Decode(e, big.bytes), E_FAIL) << w << "x" << h;
        EXPECT_EQ(e.pixels, nullptr);
    }
}

// From a file the reader takes the data a block at a time: pixels and
// packets that straddle its blocks read the same as from memory, and what is
// not a regular file is refused.
TEST(TgaReader, FilesReadAcrossBlocksAsFromMemoryAndOnlyRegularFilesOpen) {
    const auto dir = std::filesystem::temp_directory_path() / ("tex_blocks_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    for (uint8_t type : {uint8_t{2}, uint8_t{10}}) {
        constexpr uint32_t kSide = 600;
        Header h = Make(type, kSide, kSide, 24);
        h.idLength = 7;
        Writer w(h);
        w.Id({1, 2, 3, 4, 5, 6, 7});
        uint32_t v = 1;
        auto next = [&] { return (v = v * 2654435761u + 1) | 0xFF; };
        for (uint32_t y = 0; y < kSide; ++y) {
            if (type == 2) {
                for (uint32_t x = 0; x < kSide; ++x) w.Pixel(next());
                continue;
            }
            w.Raw({next(), next()});
            for (int r = 0; r < 4; ++r) w.Run(128, next());
            std::vector<uint32_t> rest(kSide - 2 - 4 * 128);
            for (uint32_t& p : rest) p = next();
            w.Raw(rest);
        }
        const std::string path = (dir / "t.tga").string();
        WriteFile(path, w.bytes);
        Entry fromMemory, fromFile;
        ASSERT_EQ(Decode(fromMemory, w.bytes), S_OK);
        ASSERT_EQ(ReadTgaTexture(&fromFile, path.c_str()), S_OK);
        ASSERT_NE(fromFile.pixels, nullptr);
        EXPECT_EQ(std::memcmp(fromFile.pixels, fromMemory.pixels, kSide * kSide * 4), 0) << int(type);
    }
    Entry directory;
    EXPECT_EQ(ReadTgaTexture(&directory, dir.string().c_str()), E_FAIL);
    std::filesystem::remove_all(dir);
}

TEST(TgaReader, ReadsFromFilesAndFailsOnMissingOnes) {
    const auto path = std::filesystem::temp_directory_path() / ("tex_read_" + std::to_string(::getpid()) + ".tga");
    WriteFile(path.string(), Writer(Make(2, 1, 1, 32)).Pixel(0xCAFEBABE).bytes);
    Entry e;
    EXPECT_EQ(ReadTgaTexture(&e, path.string().c_str()), S_OK);
    ASSERT_NE(e.pixels, nullptr);
    EXPECT_EQ(e.At(0, 0), 0xCAFEBABEu);
    std::filesystem::remove(path);
    Entry missing;
    EXPECT_EQ(ReadTgaTexture(&missing, path.string().c_str()), E_FAIL);
}

// --- against Pillow ------------------------------------------------------

namespace {

std::vector<uint32_t> RandomPicture(std::mt19937& rng, int w, int h, bool alpha) {
    std::vector<uint32_t> px(size_t(w) * h);
    std::uniform_int_distribution<uint32_t> any;
    std::uniform_int_distribution<int> runLength(1, 150);
    size_t i = 0;
    while (i < px.size()) {  // runs of equal pixels so RLE has work to do
        uint32_t v = any(rng);
        if (!alpha) v |= 0xFF;
        for (int n = runLength(rng) % 3 == 0 ? runLength(rng) : 1; n > 0 && i < px.size(); --n) px[i++] = v;
    }
    return px;
}

}  // namespace

TEST(TgaReader, AgreesWithPillowOnEveryKindOfTrueColourFile) {
    // The distribution's interpreter first: a user-level python may lack Pillow.
    std::string python;
    for (const char* candidate : {"/usr/bin/python3", "python3"})
        if (std::system((std::string(candidate) + " -c 'import PIL' >/dev/null 2>&1").c_str()) == 0) {
            python = candidate;
            break;
        }
    if (python.empty()) GTEST_SKIP() << "python3 Pillow (python3-pil) not installed";
    const auto dir = std::filesystem::temp_directory_path() / ("tex_pillow_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::mt19937 rng(1234);
    struct Case {
        std::string file;
        Header header;
        std::vector<uint32_t> picture;
        std::vector<uint8_t> id;
    };
    std::vector<Case> cases;
    const std::pair<int, int> sizes[] = {{1, 1}, {37, 23}, {130, 3}, {300, 2}};
    int n = 0;
    for (uint8_t type : {uint8_t(2), uint8_t(10)})
        for (uint8_t bpp : {uint8_t(24), uint8_t(32)})
            for (uint8_t top : {uint8_t(0), uint8_t(0x20)})
                for (auto [w, h] : sizes) {
                    Case c;
                    c.file = (dir / ("c" + std::to_string(n++) + ".tga")).string();
                    c.header = Make(type, uint16_t(w), uint16_t(h), bpp, uint8_t(top | (bpp == 32 ? 8 : 0)));
                    c.picture = RandomPicture(rng, w, h, bpp == 32);
                    if (n % 3 == 0) c.id = {'s', 'o', 'm', 'b', 'r', 'e', 'l', 'l', 'a'};
                    WriteFile(c.file, Encode(c.header, c.picture, c.id));
                    cases.push_back(c);
                }
    // Pillow decodes each file to top-down RGBA bytes next to it.
    const std::string script = (dir / "decode.py").string();
    {
        std::ofstream py(script);
        py << "import sys\nfrom PIL import Image\n"
              "for p in sys.argv[1:]:\n"
              "    open(p + '.rgba', 'wb').write(Image.open(p).convert('RGBA').tobytes())\n";
    }
    std::string cmd = python + " " + script;
    for (const auto& c : cases) cmd += " " + c.file;
    ASSERT_EQ(std::system(cmd.c_str()), 0);

    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        Entry e;
        ASSERT_EQ(ReadTgaTexture(&e, c.file.c_str()), S_OK);
        std::ifstream in(c.file + ".rgba", std::ios::binary);
        std::vector<uint8_t> rgba((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ASSERT_EQ(rgba.size(), size_t(e.width) * e.height * 4);
        for (size_t i = 0; i < size_t(e.width) * e.height; ++i) {
            const uint32_t pillow = uint32_t(rgba[4 * i]) << 24 | uint32_t(rgba[4 * i + 1]) << 16 |
                                    uint32_t(rgba[4 * i + 2]) << 8 | rgba[4 * i + 3];
            ASSERT_EQ(e.pixels[i], pillow) << "pixel " << i;
            ASSERT_EQ(e.pixels[i], c.picture[i]) << "pixel " << i;
        }
    }
    std::filesystem::remove_all(dir);
}
