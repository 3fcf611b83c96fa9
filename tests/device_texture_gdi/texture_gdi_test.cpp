// The picture really lands in the texture surface, and the registry finds
// files through the platform's registry value and path mapping.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "device/texture_surface.h"
#include "fakes/fakes.h"
#include "textures/texture_registry.h"
#include "util/media_path.h"
#include "win32/gdi_surface.h"

using namespace sombrella::fakes;
namespace fs = std::filesystem;

namespace {

// The test picture: distinct colours per pixel, 0xRRGGBB.
uint32_t Colour(int x, int y) { return uint32_t((x * 40 + 7) & 0xFF) << 16 | uint32_t((y * 50 + 3) & 0xFF) << 8 | uint32_t((x * y * 9 + 200) & 0xFF); }

// A 24-bit bottom-up BMP file.
void WriteBmp(const std::string& path, int w, int h) {
    const int stride = (w * 3 + 3) & ~3;
    std::vector<uint8_t> b(54 + size_t(stride) * h, 0);
    auto put32 = [&](size_t o, uint32_t v) {
        for (int i = 0; i < 4; ++i) b[o + i] = uint8_t(v >> (8 * i));
    };
    b[0] = 'B';
    b[1] = 'M';
    put32(2, uint32_t(b.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, uint32_t(w));
    put32(22, uint32_t(h));
    b[26] = 1;
    b[28] = 24;
    put32(34, uint32_t(stride * h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = &b[54 + size_t(h - 1 - y) * stride + size_t(x) * 3];
            const uint32_t c = Colour(x, y);
            p[0] = uint8_t(c);
            p[1] = uint8_t(c >> 8);
            p[2] = uint8_t(c >> 16);
        }
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(b.data(), 1, b.size(), f);
    std::fclose(f);
}

class RealGdi : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("tex_gdi_" + std::to_string(::getpid()) + "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
        world.getDC = [](FakeSurface& s, HDC* dc) {
            *dc = sombrella::gdi::CreateSurfaceDC(s.pixels.data(), s.pitch, s.Width(), s.Height(), s.desc.ddpfPixelFormat);
            return *dc ? DD_OK : DDERR_CANTCREATEDC;
        };
        world.releaseDC = [](FakeSurface&, HDC dc) { sombrella::gdi::DestroySurfaceDC(dc); };
    }
    void TearDown() override {
        while (textureList) RemoveTexture(textureList->name);
        unsetenv("SOMBRELLA_DXSDK_SAMPLES_PATH");
        fs::remove_all(dir_);
    }
    fs::path dir_;
    FakeWorld world;
};

}  // namespace

TEST_F(RealGdi, BitmapIsCopiedIntoSixteenBitTexturesTopLeft) {
    const std::string bmp = (dir_ / "pic.bmp").string();
    WriteBmp(bmp, 100, 60);
    struct Format {
        DDPIXELFORMAT format;
        int rShift, gBits, gShift;
    };
    for (const Format& f : {Format{FormatRgb565(), 11, 6, 5}, Format{FormatRgb555(), 10, 5, 5}}) {
        FakeWorld w;
        w.getDC = world.getDC;
        w.releaseDC = world.releaseDC;
        w.textureFormats = {f.format};
        D3DDEVICEDESC7 caps{};
        caps.dpcTriCaps.dwTextureCaps = D3DPTEXTURECAPS_POW2;
        w.SetCaps(IID_IDirect3DHALDevice, caps);
        auto set = w.CreateDeviceSet(IID_IDirect3DHALDevice);
        LPDIRECTDRAWSURFACE7 tex = LoadBitmapTexture(set.device, bmp.c_str());
        ASSERT_NE(tex, nullptr);
        FakeSurface* s = AsFake(tex);
        ASSERT_EQ(s->Width(), 128u);
        ASSERT_EQ(s->Height(), 64u);
        int wrong = 0;
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 128; ++x) {
                uint32_t want = 0;  // outside the bitmap: as CreateSurface left it
                if (x < 100 && y < 60) {
                    const uint32_t c = Colour(x, y);
                    want = ((c >> 19) & 0x1F) << f.rShift | ((c >> (16 - f.gBits)) & ((1u << f.gBits) - 1)) << f.gShift |
                           ((c >> 3) & 0x1F);
                }
                if (s->PixelAt(x, y) != want && wrong++ < 5)
                    ADD_FAILURE() << "at " << x << "," << y << ": " << std::hex << s->PixelAt(x, y) << " want " << want;
            }
        EXPECT_EQ(wrong, 0) << "format R mask " << std::hex << f.format.dwRBitMask;
        tex->Release();
        set.device->Release();
        set.d3d->Release();
        set.target->Release();
        set.ddraw->Release();
        EXPECT_TRUE(w.Unbalanced().empty());
        EXPECT_TRUE(w.log.errors.empty()) << w.log.Dump();
    }
}

TEST_F(RealGdi, RegistryFindsMediaFilesThroughTheSamplesPathValue) {
    setenv("SOMBRELLA_DXSDK_SAMPLES_PATH", (dir_ / "sdk").string().c_str(), 1);
    EXPECT_EQ(std::string(LookUpMediaDirectory()), (dir_ / "sdk").string() + "\\D3DIM\\Media\\");
    fs::create_directories(dir_ / "sdk" / "D3DIM" / "Media");
    WriteBmp((dir_ / "sdk" / "D3DIM" / "Media" / "rock.bmp").string(), 7, 5);
    ASSERT_EQ(RegisterTexture("rock.bmp", 0, 0), S_OK);
    TextureEntry* e = LookupTexture("ROCK.BMP");
    ASSERT_NE(e, nullptr);
    EXPECT_NE(e->bitmap, nullptr);
    EXPECT_EQ(e->width, 7u);
    EXPECT_EQ(e->height, 5u);
    EXPECT_EQ(e->bitsPerPixel, 24u);
    unsetenv("SOMBRELLA_DXSDK_SAMPLES_PATH");
    EXPECT_STREQ(LookUpMediaDirectory(), "");
    EXPECT_EQ(RegisterTexture("stone.bmp", 0, 0), E_FAIL);
}
