// LoadImageA, bitmap objects, memory and surface DCs, BitBlt format conversion.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "bmp_builder.h"
#include "common/pixel_format.h"
#include "win32/gdi_surface.h"
#include "windows.h"

using namespace bmptest;

namespace {

namespace fs = std::filesystem;

class Gdi : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::path(::testing::TempDir()) / ("gdi_" + std::to_string(::getpid()));
        fs::create_directories(dir_ / "sub");
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
        const fs::path p = dir_ / name;
        std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return p.string();
    }
    // A bitmap object from a 32-bit top-down file whose words are exactly `argb`.
    HBITMAP Load32(uint32_t w, uint32_t h, const std::vector<uint32_t>& argb) {
        BmpFile b;
        b.headerSize = 108;
        b.width = static_cast<int32_t>(w);
        b.height = -static_cast<int32_t>(h);
        b.bitsPerPixel = 32;
        b.compression = 3;
        b.masks[0] = 0xFF0000;
        b.masks[1] = 0xFF00;
        b.masks[2] = 0xFF;
        b.masks[3] = 0xFF000000u;
        b.bits = PackValues(argb, w, h, 4);
        const std::string path = Write("src32.bmp", Encode(b));
        return static_cast<HBITMAP>(LoadImageA(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION));
    }
    fs::path dir_;
};

DDPIXELFORMAT Format(DWORD bits, DWORD r, DWORD g, DWORD b, DWORD a = 0, DWORD flags = DDPF_RGB) {
    DDPIXELFORMAT f = sombrella::pixel::RgbFormat(bits, r, g, b, a);
    f.dwFlags = flags | (a ? DDPF_ALPHAPIXELS : 0);
    return f;
}

TEST_F(Gdi, LoadImageFromFileDescribesTheDibSection) {
    BmpFile b;
    b.width = 100;
    b.height = 60;
    b.bitsPerPixel = 24;
    b.bits.assign(((100 * 3 + 3) & ~3) * 60, 0x40);
    Write("sub/tex.bmp", Encode(b));
    // The platform's backslashes are mapped to slashes.
    std::string path = (dir_ / "sub" / "tex.bmp").string();
    for (char& c : path)
        if (c == '/') c = '\\';
    HANDLE h = LoadImageA(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION);
    ASSERT_NE(h, nullptr);

    BITMAP bm{};
    EXPECT_EQ(GetObjectA(h, sizeof(BITMAP), &bm), static_cast<int>(sizeof(BITMAP)));
    EXPECT_EQ(bm.bmType, 0);
    EXPECT_EQ(bm.bmWidth, 100);
    EXPECT_EQ(bm.bmHeight, 60);
    EXPECT_EQ(bm.bmPlanes, 1);
    EXPECT_EQ(bm.bmBitsPixel, 24);
    EXPECT_EQ(bm.bmWidthBytes, 400);
    ASSERT_NE(bm.bmBits, nullptr);
    EXPECT_EQ(static_cast<uint32_t*>(bm.bmBits)[0], 0xFF404040u);

    // The 32-bit platform's record size: every field but the pointer.
    BITMAP small{};
    small.bmBits = &small;
    EXPECT_EQ(GetObjectA(h, 24, &small), 24);
    EXPECT_EQ(small.bmWidth, 100);
    EXPECT_EQ(small.bmBitsPixel, 24);
    EXPECT_EQ(small.bmBits, &small);
    EXPECT_EQ(GetObjectA(h, 0, nullptr), static_cast<int>(sizeof(BITMAP)));
    EXPECT_EQ(GetObjectA(h, 8, &small), 0);

    EXPECT_TRUE(DeleteObject(h));
    EXPECT_FALSE(DeleteObject(h));  // gone: the handle is no longer valid
    EXPECT_EQ(GetObjectA(h, sizeof(BITMAP), &bm), 0);
}

TEST_F(Gdi, LoadImageFailuresGiveNull) {
    const std::string bad = Write("bad.bmp", {'B', 'M', 1, 2, 3});
    EXPECT_EQ(LoadImageA(nullptr, bad.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION), nullptr);
    EXPECT_EQ(LoadImageA(nullptr, (dir_ / "missing.bmp").c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE), nullptr);
    EXPECT_EQ(LoadImageA(nullptr, nullptr, IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE), nullptr);
    BmpFile b;
    b.bits = {1, 2, 3, 0};
    const std::string good = Write("good.bmp", Encode(b));
    // The resource form: the executable carries no resources.
    EXPECT_EQ(LoadImageA(GetModuleHandleA(nullptr), good.c_str(), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION), nullptr);
    EXPECT_EQ(LoadImageA(GetModuleHandleA(nullptr), "building.bmp", IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION), nullptr);
    EXPECT_EQ(LoadImageA(nullptr, good.c_str(), IMAGE_ICON, 0, 0, LR_LOADFROMFILE), nullptr);
    HANDLE h = LoadImageA(nullptr, good.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE);
    EXPECT_NE(h, nullptr);
    DeleteObject(h);
}

TEST_F(Gdi, LoadImageStretchesToARequestedSize) {
    HBITMAP h = Load32(2, 1, {0xFF0000FF, 0xFF00FF00});
    ASSERT_NE(h, nullptr);
    DeleteObject(h);
    HANDLE s = LoadImageA(nullptr, (dir_ / "src32.bmp").c_str(), IMAGE_BITMAP, 4, 2, LR_LOADFROMFILE);
    ASSERT_NE(s, nullptr);
    BITMAP bm{};
    ASSERT_TRUE(GetObjectA(s, sizeof bm, &bm));
    EXPECT_EQ(bm.bmWidth, 4);
    EXPECT_EQ(bm.bmHeight, 2);
    const uint32_t* p = static_cast<const uint32_t*>(bm.bmBits);
    EXPECT_EQ(p[0], 0xFF0000FFu);
    EXPECT_EQ(p[1], 0xFF0000FFu);
    EXPECT_EQ(p[2], 0xFF00FF00u);
    EXPECT_EQ(p[7], 0xFF00FF00u);
    DeleteObject(s);
}

TEST_F(Gdi, HandlesAreValidatedAndStockObjectsSurviveDeletion) {
    HGDIOBJ black = GetStockObject(BLACK_BRUSH);
    ASSERT_NE(black, nullptr);
    EXPECT_EQ(black, GetStockObject(BLACK_BRUSH));
    EXPECT_NE(black, GetStockObject(WHITE_BRUSH));
    EXPECT_EQ(GetStockObject(9), nullptr);
    EXPECT_EQ(GetStockObject(-1), nullptr);
    EXPECT_EQ(GetStockObject(1000), nullptr);
    EXPECT_TRUE(DeleteObject(black));
    EXPECT_EQ(black, GetStockObject(BLACK_BRUSH));
    EXPECT_TRUE(DeleteObject(black));

    int junk = 0;
    EXPECT_FALSE(DeleteObject(&junk));
    EXPECT_FALSE(DeleteObject(nullptr));
    EXPECT_EQ(GetObjectA(&junk, sizeof(BITMAP), &junk), 0);
    EXPECT_EQ(SelectObject(reinterpret_cast<HDC>(&junk), black), nullptr);
    EXPECT_FALSE(DeleteDC(reinterpret_cast<HDC>(&junk)));
    EXPECT_EQ(CreateCompatibleDC(reinterpret_cast<HDC>(&junk)), nullptr);
    EXPECT_FALSE(BitBlt(reinterpret_cast<HDC>(&junk), 0, 0, 1, 1, reinterpret_cast<HDC>(&junk), 0, 0, SRCCOPY));
    EXPECT_NE(GetModuleHandleA(nullptr), nullptr);
    EXPECT_EQ(GetModuleHandleA(nullptr), GetModuleHandleA(nullptr));
    EXPECT_EQ(GetModuleHandleA("other.dll"), nullptr);
}

TEST_F(Gdi, SelectionFollowsThePlatformRules) {
    HBITMAP bm = Load32(1, 1, {0xFF123456});
    ASSERT_NE(bm, nullptr);
    HDC dc = CreateCompatibleDC(nullptr);
    ASSERT_NE(dc, nullptr);
    HGDIOBJ original = SelectObject(dc, bm);
    ASSERT_NE(original, nullptr);  // the DC's default bitmap
    EXPECT_EQ(SelectObject(dc, bm), static_cast<HGDIOBJ>(bm));
    // One DC at a time; a selected bitmap can't be deleted.
    HDC other = CreateCompatibleDC(dc);
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(SelectObject(other, bm), nullptr);
    EXPECT_FALSE(DeleteObject(bm));
    EXPECT_EQ(SelectObject(dc, original), static_cast<HGDIOBJ>(bm));
    EXPECT_EQ(SelectObject(other, bm), original);
    EXPECT_NE(SelectObject(other, GetStockObject(BLACK_BRUSH)), nullptr);
    EXPECT_FALSE(DeleteObject(dc));  // a DC is not an object for DeleteObject
    EXPECT_TRUE(DeleteDC(other));    // deleting the DC releases the bitmap
    EXPECT_FALSE(DeleteDC(other));
    EXPECT_TRUE(DeleteDC(dc));
    EXPECT_TRUE(DeleteObject(bm));
}

struct Pixel {
    uint32_t argb;
};

// What a blit into each format must store for a given source pixel.
uint32_t Expected(uint32_t argb, const DDPIXELFORMAT& f) {
    const uint32_t a = argb >> 24, r = (argb >> 16) & 255, g = (argb >> 8) & 255, b = argb & 255;
    auto put = [](uint32_t c, uint32_t mask) -> uint32_t {
        if (!mask) return 0;
        const int shift = __builtin_ctz(mask);
        const int bits = __builtin_popcount(mask);
        return (c >> (8 - bits)) << shift;
    };
    return put(r, f.dwRBitMask) | put(g, f.dwGBitMask) | put(b, f.dwBBitMask) |
           ((f.dwFlags & DDPF_ALPHAPIXELS) ? put(a, f.dwRGBAlphaBitMask) : 0);
}

TEST_F(Gdi, BitBltConvertsIntoEveryDeviceFormat) {
    const std::vector<uint32_t> colours = {0xFF000000, 0xFFFFFFFF, 0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0x80123456,
                                           0x7F89ABCD, 0x00F0E0D0, 0xFF070307, 0xC0FEDCBA, 0x3FFF8040, 0xFF808080};
    const uint32_t w = static_cast<uint32_t>(colours.size());
    HBITMAP bm = Load32(w, 1, colours);
    ASSERT_NE(bm, nullptr);
    HDC mem = CreateCompatibleDC(nullptr);
    SelectObject(mem, bm);

    const struct {
        const char* name;
        DDPIXELFORMAT f;
    } formats[] = {
        {"565", Format(16, 0xF800, 0x07E0, 0x001F)},
        {"555", Format(16, 0x7C00, 0x03E0, 0x001F)},
        {"1555", Format(16, 0x7C00, 0x03E0, 0x001F, 0x8000)},
        {"4444", Format(16, 0x0F00, 0x00F0, 0x000F, 0xF000)},
        {"x888", Format(32, 0xFF0000, 0xFF00, 0xFF)},
        {"8888", Format(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u)},
        {"abgr8888", Format(32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000u)},
        {"888", Format(24, 0xFF0000, 0xFF00, 0xFF)},
        {"332", Format(8, 0xE0, 0x1C, 0x03)},
        {"bgr565", Format(16, 0x001F, 0x07E0, 0xF800)},
    };
    for (const auto& fmt : formats) {
        SCOPED_TRACE(fmt.name);
        const uint32_t bpp = fmt.f.dwRGBBitCount / 8;
        // A guard band right and below shows the blit stays inside.
        const LONG pitch = static_cast<LONG>((w + 3) * bpp);
        std::vector<uint8_t> mem2(static_cast<size_t>(pitch) * 3, 0xAB);
        HDC surf = sombrella::gdi::CreateSurfaceDC(mem2.data(), pitch, w, 2, fmt.f);
        ASSERT_NE(surf, nullptr);
        EXPECT_TRUE(BitBlt(surf, 0, 0, static_cast<int>(w), 1, mem, 0, 0, SRCCOPY));
        for (uint32_t x = 0; x < w; ++x) {
            uint32_t got = 0;
            for (uint32_t i = 0; i < bpp; ++i) got |= uint32_t{mem2[x * bpp + i]} << (8 * i);
            EXPECT_EQ(got, Expected(colours[x], fmt.f)) << "pixel " << x << " source " << std::hex << colours[x];
        }
        for (size_t i = w * bpp; i < mem2.size(); ++i) ASSERT_EQ(mem2[i], 0xAB) << "byte " << i;
        EXPECT_FALSE(DeleteDC(surf));  // surface DCs end through their surface
        sombrella::gdi::DestroySurfaceDC(surf);
        EXPECT_FALSE(BitBlt(surf, 0, 0, 1, 1, mem, 0, 0, SRCCOPY));
    }
    // Exact values for the common formats, written out.
    EXPECT_EQ(Expected(0xFFFF8040, Format(16, 0xF800, 0x07E0, 0x001F)), 0xFC08u);
    EXPECT_EQ(Expected(0x80FF8040, Format(16, 0x7C00, 0x03E0, 0x001F, 0x8000)), 0xFE08u);
    EXPECT_EQ(Expected(0x7FFF8040, Format(16, 0x0F00, 0x00F0, 0x000F, 0xF000)), 0x7F84u);
    DeleteDC(mem);
    DeleteObject(bm);
}

TEST_F(Gdi, BitBltIntoLuminanceAndRefusedFormats) {
    HBITMAP bm = Load32(2, 1, {0xFFFFFFFF, 0xFF0000FF});
    HDC mem = CreateCompatibleDC(nullptr);
    SelectObject(mem, bm);
    uint8_t lum[2] = {0, 0};
    HDC l8 = sombrella::gdi::CreateSurfaceDC(lum, 2, 2, 1, Format(8, 0xFF, 0, 0, 0, DDPF_LUMINANCE));
    ASSERT_NE(l8, nullptr);
    EXPECT_TRUE(BitBlt(l8, 0, 0, 2, 1, mem, 0, 0, SRCCOPY));
    EXPECT_EQ(lum[0], 255);
    EXPECT_EQ(lum[1], (255 * 29) >> 8);
    sombrella::gdi::DestroySurfaceDC(l8);

    uint8_t buf[64] = {};
    DDPIXELFORMAT pal{};
    pal.dwSize = sizeof pal;
    pal.dwFlags = DDPF_RGB | DDPF_PALETTEINDEXED8;
    pal.dwRGBBitCount = 8;
    EXPECT_EQ(sombrella::gdi::CreateSurfaceDC(buf, 8, 8, 8, pal), nullptr);
    DDPIXELFORMAT fourcc = Format(16, 0xF800, 0x07E0, 0x001F, 0, DDPF_FOURCC);
    EXPECT_EQ(sombrella::gdi::CreateSurfaceDC(buf, 8, 4, 4, fourcc), nullptr);
    EXPECT_EQ(sombrella::gdi::CreateSurfaceDC(buf, 8, 4, 4, Format(16, 0xF8000, 0x07E0, 0x001F)), nullptr);
    EXPECT_EQ(sombrella::gdi::CreateSurfaceDC(buf, 4, 4, 4, Format(16, 0xF800, 0x07E0, 0x001F)), nullptr);  // pitch < row
    EXPECT_EQ(sombrella::gdi::CreateSurfaceDC(nullptr, 8, 4, 4, Format(16, 0xF800, 0x07E0, 0x001F)), nullptr);
    DeleteDC(mem);
    DeleteObject(bm);
}

TEST_F(Gdi, BitBltClipsToBothRectangles) {
    // 4x4 source with distinct pixels into a 3x3 565 surface, at awkward offsets.
    std::vector<uint32_t> src;
    for (uint32_t i = 0; i < 16; ++i) src.push_back(0xFF000000u | (i * 16) << 16 | (255 - i * 16) << 8 | i);
    HBITMAP bm = Load32(4, 4, src);
    HDC mem = CreateCompatibleDC(nullptr);
    SelectObject(mem, bm);
    const DDPIXELFORMAT f = Format(16, 0xF800, 0x07E0, 0x001F);
    auto blit = [&](int x, int y, int cx, int cy, int sx, int sy) {
        std::vector<uint16_t> dst(3 * 3, 0xDEAD);
        HDC surf = sombrella::gdi::CreateSurfaceDC(dst.data(), 6, 3, 3, f);
        EXPECT_TRUE(BitBlt(surf, x, y, cx, cy, mem, sx, sy, SRCCOPY));
        sombrella::gdi::DestroySurfaceDC(surf);
        return dst;
    };
    auto expectAt = [&](const std::vector<uint16_t>& d, int dx, int dy, int sx, int sy) {
        EXPECT_EQ(d[dy * 3 + dx], Expected(src[sy * 4 + sx], f)) << dx << "," << dy;
    };
    // Larger than both: only the 3x3 overlap is written.
    auto d = blit(0, 0, 100, 100, 0, 0);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x) expectAt(d, x, y, x, y);
    // Negative destination: the source shifts with it.
    d = blit(-1, -2, 4, 4, 0, 0);
    expectAt(d, 0, 0, 1, 2);
    expectAt(d, 2, 1, 3, 3);
    EXPECT_EQ(d[2 * 3 + 0], 0xDEAD);
    // Negative source: the destination shifts instead.
    d = blit(0, 0, 3, 3, -2, -1);
    EXPECT_EQ(d[0], 0xDEAD);
    EXPECT_EQ(d[1 * 3 + 1], 0xDEAD);
    expectAt(d, 2, 1, 0, 0);
    expectAt(d, 2, 2, 0, 1);
    // Source partly out of range on the right and bottom.
    d = blit(0, 0, 3, 3, 3, 3);
    expectAt(d, 0, 0, 3, 3);
    EXPECT_EQ(d[1], 0xDEAD);
    EXPECT_EQ(d[3], 0xDEAD);
    // Entirely outside, zero or negative extents, huge offsets: nothing written.
    for (auto args : {std::array<int, 6>{5, 5, 2, 2, 0, 0}, {0, 0, 0, 3, 0, 0}, {0, 0, -3, 3, 0, 0},
                      {INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX, 0, 0}, {INT32_MIN, 0, INT32_MAX, 3, INT32_MIN, 0},
                      {0, 0, INT32_MAX, INT32_MAX, INT32_MAX, 0}}) {
        d = blit(args[0], args[1], args[2], args[3], args[4], args[5]);
        for (uint16_t v : d) EXPECT_EQ(v, 0xDEAD);
    }
    // Other raster operations are not drawn.
    std::vector<uint16_t> dst(9, 0);
    HDC surf = sombrella::gdi::CreateSurfaceDC(dst.data(), 6, 3, 3, f);
    EXPECT_FALSE(BitBlt(surf, 0, 0, 3, 3, mem, 0, 0, 0x00EE0086));
    EXPECT_FALSE(BitBlt(surf, 0, 0, 3, 3, nullptr, 0, 0, SRCCOPY));
    // A DC whose bitmap has been deselected draws from the 1x1 default bitmap.
    HDC empty = CreateCompatibleDC(nullptr);
    EXPECT_TRUE(BitBlt(surf, 0, 0, 3, 3, empty, 0, 0, SRCCOPY));
    EXPECT_EQ(dst[0], 0);
    sombrella::gdi::DestroySurfaceDC(surf);
    DeleteDC(empty);
    DeleteDC(mem);
    DeleteObject(bm);
}

TEST_F(Gdi, BitBltFromASurfaceIntoABitmap) {
    // 565 surface back into a 32-bit bitmap: channels widen to full range.
    uint16_t px[2] = {0xF800, 0x07FF};
    HDC surf = sombrella::gdi::CreateSurfaceDC(px, 4, 2, 1, Format(16, 0xF800, 0x07E0, 0x001F));
    HBITMAP bm = Load32(2, 1, {0, 0});
    HDC mem = CreateCompatibleDC(nullptr);
    SelectObject(mem, bm);
    EXPECT_TRUE(BitBlt(mem, 0, 0, 2, 1, surf, 0, 0, SRCCOPY));
    BITMAP info{};
    GetObjectA(bm, sizeof info, &info);
    const uint32_t* p = static_cast<const uint32_t*>(info.bmBits);
    EXPECT_EQ(p[0], 0xFFFF0000u);
    EXPECT_EQ(p[1], 0xFF00FFFFu);
    sombrella::gdi::DestroySurfaceDC(surf);
    DeleteDC(mem);
    DeleteObject(bm);
}

}  // namespace
