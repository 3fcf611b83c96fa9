// LoadBitmapTexture / MakeTextureSurface / PickTextureFormat with a fake
// device and the Win32 stand-in.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/texture_surface.h"
#include "fakes/fake_win32.h"
#include "fakes/fakes.h"

using namespace sombrella::fakes;
namespace w32 = sombrella::fakes::win32;

namespace {

const HDC kSurfaceDC = reinterpret_cast<HDC>(uintptr_t{0x5DC});

class TextureSurface : public ::testing::Test {
protected:
    void SetUp() override { w32::Reset(); }

    // A device of the given type whose triangle texture caps are `caps`.
    FakeWorld::DeviceSet Device(REFGUID type, DWORD caps) {
        D3DDEVICEDESC7 d{};
        d.dpcTriCaps.dwTextureCaps = caps;
        world.SetCaps(type, d);
        set = world.CreateDeviceSet(type);
        return set;
    }
    // A bitmap resource the executable "carries".
    void Bitmap(const char* name, LONG w, LONG h) { w32::Win32().resources[name] = {w, h, 24, {}, 0}; }

    // The one texture CreateSurface was asked for.
    const DDSURFACEDESC2& Requested() {
        EXPECT_EQ(set.ddraw->createRequests.size(), 2u);  // render target, texture
        return set.ddraw->createRequests.back();
    }

    void TearDown() override {
        set.device->Release();
        set.d3d->Release();
        set.target->Release();
        set.ddraw->Release();
        EXPECT_TRUE(world.Unbalanced().empty()) << ::testing::PrintToString(world.Unbalanced());
        EXPECT_TRUE(world.log.errors.empty()) << world.log.Dump();
        EXPECT_TRUE(w32::Win32().errors.empty()) << w32::Win32().errors.front();
        // The loaded bitmap is deleted once, on every path.
        EXPECT_TRUE(w32::Win32().Undeleted().empty()) << w32::Win32().Undeleted().front();
    }

    FakeWorld world;
    FakeWorld::DeviceSet set{};
};

struct SizeCase {
    LONG w, h;
    DWORD caps;
    DWORD wantW, wantH;
};

}  // namespace

TEST_F(TextureSurface, SizeRulesFollowTheDeviceCaps) {
    const SizeCase cases[] = {
        {100, 60, D3DPTEXTURECAPS_POW2, 128, 64},
        {100, 60, D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_SQUAREONLY, 128, 128},
        {100, 60, D3DPTEXTURECAPS_SQUAREONLY, 100, 100},
        {60, 100, D3DPTEXTURECAPS_SQUAREONLY, 100, 100},
        {100, 60, 0, 100, 60},
        {64, 64, D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_SQUAREONLY, 64, 64},
        {1, 1, D3DPTEXTURECAPS_POW2, 1, 1},
        {129, 128, D3DPTEXTURECAPS_POW2, 256, 128},
    };
    for (const auto& c : cases) {
        FakeWorld w;
        D3DDEVICEDESC7 d{};
        d.dpcTriCaps.dwTextureCaps = c.caps;
        w.SetCaps(IID_IDirect3DRGBDevice, d);
        auto s = w.CreateDeviceSet(IID_IDirect3DRGBDevice);
        Bitmap("pic", c.w, c.h);
        LPDIRECTDRAWSURFACE7 tex = LoadBitmapTexture(s.device, "pic");
        ASSERT_NE(tex, nullptr);
        EXPECT_EQ(AsFake(tex)->Width(), c.wantW) << c.w << "x" << c.h << " caps " << c.caps;
        EXPECT_EQ(AsFake(tex)->Height(), c.wantH) << c.w << "x" << c.h << " caps " << c.caps;
        // The bitmap is copied at its own size to the top-left corner.
        EXPECT_EQ(w32::Win32().CountCalls("BitBlt"), 0);  // no DC hook: no copy, surface still given
        tex->Release();
        for (auto* o : {static_cast<IUnknown*>(s.device), static_cast<IUnknown*>(s.d3d),
                        static_cast<IUnknown*>(s.target), static_cast<IUnknown*>(s.ddraw)})
            o->Release();
        EXPECT_TRUE(w.Unbalanced().empty());
    }
    set = world.CreateDeviceSet(IID_IDirect3DRGBDevice);
}

TEST_F(TextureSurface, DescriptionAndMemoryFollowTheDeviceKind) {
    struct Kind {
        const GUID* type;
        DWORD caps, caps2;
    };
    const Kind kinds[] = {{&IID_IDirect3DHALDevice, 0x1000, 0x10},
                          {&IID_IDirect3DTnLHalDevice, 0x1000, 0x10},
                          {&IID_IDirect3DMMXDevice, 0x1800, 0},
                          {&IID_IDirect3DRGBDevice, 0x1800, 0}};
    for (const auto& k : kinds) {
        FakeWorld w;
        auto s = w.CreateDeviceSet(*k.type);
        Bitmap("pic", 8, 4);
        LPDIRECTDRAWSURFACE7 tex = LoadBitmapTexture(s.device, "pic");
        ASSERT_NE(tex, nullptr);
        const DDSURFACEDESC2& d = s.ddraw->createRequests.back();
        EXPECT_EQ(d.dwFlags, 0x101007u);
        EXPECT_EQ(d.dwSize, sizeof(DDSURFACEDESC2));
        EXPECT_EQ(d.ddsCaps.dwCaps, k.caps) << GuidName(*k.type);
        EXPECT_EQ(d.ddsCaps.dwCaps2, k.caps2) << GuidName(*k.type);
        EXPECT_EQ(d.dwTextureStage, 0u);
        EXPECT_EQ(d.dwWidth, 8u);
        EXPECT_EQ(d.dwHeight, 4u);
        tex->Release();
        for (auto* o : {static_cast<IUnknown*>(s.device), static_cast<IUnknown*>(s.d3d),
                        static_cast<IUnknown*>(s.target), static_cast<IUnknown*>(s.ddraw)})
            o->Release();
    }
    set = world.CreateDeviceSet(IID_IDirect3DRGBDevice);
}

TEST_F(TextureSurface, PicksTheFirstSixteenBitRgbFormatWithoutAlpha) {
    world.textureFormats = {FormatArgb8888(), FormatArgb1555(), FormatLuminance16(),
                            FormatFourCC(MAKEFOURCC('D', 'X', 'T', '1')), FormatRgb565(), FormatRgb555()};
    Device(IID_IDirect3DHALDevice, 0);
    Bitmap("pic", 4, 4);
    LPDIRECTDRAWSURFACE7 tex = LoadBitmapTexture(set.device, "pic");
    ASSERT_NE(tex, nullptr);
    const DDPIXELFORMAT want = FormatRgb565();
    EXPECT_EQ(std::memcmp(&Requested().ddpfPixelFormat, &want, sizeof want), 0);
    EXPECT_EQ(set.device->texturesOffered, 5);  // the enumeration stopped at 5-6-5
    tex->Release();
}

TEST_F(TextureSurface, BumpAndOtherDepthsAreSkipped) {
    DDPIXELFORMAT bump = FormatRgb(16, 0xFF, 0xFF00, 0);
    bump.dwFlags = DDPF_BUMPDUDV;
    DDPIXELFORMAT bumpLum = bump;
    bumpLum.dwFlags = DDPF_BUMPLUMINANCE;
    world.textureFormats = {bump, bumpLum, FormatRgb(24, 0xFF0000, 0xFF00, 0xFF), FormatRgb555()};
    Device(IID_IDirect3DRGBDevice, 0);
    Bitmap("pic", 4, 4);
    LPDIRECTDRAWSURFACE7 tex = LoadBitmapTexture(set.device, "pic");
    ASSERT_NE(tex, nullptr);
    EXPECT_EQ(Requested().ddpfPixelFormat.dwRBitMask, 0x7C00u);
    tex->Release();
}

TEST_F(TextureSurface, NoSuitableFormatGivesNothingAndCreatesNothing) {
    world.textureFormats = {FormatArgb8888(), FormatArgb4444(), FormatArgb1555(), FormatRgb(32, 0xFF0000, 0xFF00, 0xFF)};
    Device(IID_IDirect3DHALDevice, 0);
    Bitmap("pic", 4, 4);
    EXPECT_EQ(LoadBitmapTexture(set.device, "pic"), nullptr);
    EXPECT_EQ(set.ddraw->createRequests.size(), 1u);
    EXPECT_EQ(world.log.Count("GetRenderTarget"), 0u);
}

TEST_F(TextureSurface, UnknownNameLeavesTheDeviceUntouched) {
    Device(IID_IDirect3DHALDevice, 0);
    EXPECT_EQ(LoadBitmapTexture(set.device, "nothing.bmp"), nullptr);
    EXPECT_TRUE(world.log.Records().empty());
    EXPECT_EQ(w32::Win32().calls,
              (std::vector<std::string>{"GetModuleHandleA(null)", "LoadImageA(module,nothing.bmp,0,0,0,0x2000)",
                                        "LoadImageA(null,nothing.bmp,0,0,0,0x2010)"}));
    EXPECT_EQ(LoadBitmapTexture(set.device, nullptr), nullptr);
}

TEST_F(TextureSurface, CopiesThroughDeviceContextsAndGivesEverythingBack) {
    world.getDC = [](FakeSurface&, HDC* dc) {
        *dc = kSurfaceDC;
        return DD_OK;
    };
    Device(IID_IDirect3DHALDevice, D3DPTEXTURECAPS_POW2);
    Bitmap("pic", 100, 60);
    LPDIRECTDRAWSURFACE7 tex = LoadBitmapTexture(set.device, "pic");
    ASSERT_NE(tex, nullptr);
    EXPECT_EQ(AsFake(tex)->Outstanding(), 1);
    EXPECT_EQ(AsFake(tex)->dcsOut, 0);
    // Render target and DirectDraw references taken on the way are returned.
    EXPECT_EQ(set.target->Outstanding(), 1);
    EXPECT_EQ(set.ddraw->Outstanding(), 1);
    EXPECT_EQ(world.log.Filter({"GetCaps", "EnumTextureFormats", "GetRenderTarget", "GetDDInterface", "Release",
                                "CreateSurface", "GetDC", "ReleaseDC"}),
              (std::vector<std::string>{"GetCaps()", "EnumTextureFormats()", "GetRenderTarget()", "GetDDInterface()",
                                        "Release()", "CreateSurface(1052679,128,64,4096,16,16)", "Release()", "GetDC()",
                                        "ReleaseDC()"}));
    const auto& calls = w32::Win32().calls;
    std::vector<std::string> gdi;
    for (const auto& c : calls)
        if (c.rfind("GetModuleHandleA", 0) && c.rfind("LoadImageA", 0) && c.rfind("GetObjectA", 0)) gdi.push_back(c);
    ASSERT_EQ(gdi.size(), 5u);
    EXPECT_EQ(gdi[0], "CreateCompatibleDC(0)");
    EXPECT_EQ(gdi[1].rfind("SelectObject(0xdc01,", 0), 0u);
    EXPECT_EQ(gdi[2], "BitBlt(0x5dc,0,0,100,60,0xdc01,0,0,0xcc0020)");
    EXPECT_EQ(gdi[3], "DeleteDC(0xdc01)");
    EXPECT_EQ(gdi[4].rfind("DeleteObject(", 0), 0u);
    tex->Release();
}

TEST_F(TextureSurface, FailedGetDCStillGivesTheSurface) {
    Device(IID_IDirect3DRGBDevice, 0);  // no DC hook: GetDC fails
    Bitmap("pic", 4, 4);
    LPDIRECTDRAWSURFACE7 tex = LoadBitmapTexture(set.device, "pic");
    ASSERT_NE(tex, nullptr);
    EXPECT_EQ(w32::Win32().CountCalls("BitBlt"), 0);
    EXPECT_EQ(w32::Win32().CountCalls("DeleteDC"), 1);
    EXPECT_EQ(world.log.Count("ReleaseDC"), 0u);
    tex->Release();
}

TEST_F(TextureSurface, FailuresReleaseWhatWasTaken) {
    Device(IID_IDirect3DRGBDevice, 0);
    Bitmap("pic", 4, 4);
    // GetCaps fails: nothing made.
    set.device->FailNth("GetCaps", 1, E_FAIL);
    EXPECT_EQ(LoadBitmapTexture(set.device, "pic"), nullptr);
    EXPECT_EQ(world.log.Count("EnumTextureFormats"), 0u);
    // CreateSurface fails: render target and DirectDraw references returned.
    set.ddraw->FailNth("CreateSurface", 2, DDERR_OUTOFMEMORY);
    EXPECT_EQ(LoadBitmapTexture(set.device, "pic"), nullptr);
    EXPECT_EQ(set.target->Outstanding(), 1);
    EXPECT_EQ(set.ddraw->Outstanding(), 1);
    // No memory DC: the new surface is released again.
    w32::Win32().failCreateCompatibleDC = true;
    EXPECT_EQ(LoadBitmapTexture(set.device, "pic"), nullptr);
    ASSERT_EQ(set.ddraw->surfaces.size(), 2u);
    EXPECT_TRUE(set.ddraw->surfaces.back()->Destroyed());
    // Render target unavailable.
    w32::Win32().failCreateCompatibleDC = false;
    set.device->FailNth("GetRenderTarget", 3, E_FAIL);
    EXPECT_EQ(LoadBitmapTexture(set.device, "pic"), nullptr);
    EXPECT_EQ(set.ddraw->surfaces.size(), 2u);
}

TEST_F(TextureSurface, ResourceIsPreferredToAFile) {
    Device(IID_IDirect3DRGBDevice, 0);
    Bitmap("building.bmp", 16, 8);
    LPDIRECTDRAWSURFACE7 tex = LoadBitmapTexture(set.device, "building.bmp");
    ASSERT_NE(tex, nullptr);
    EXPECT_EQ(w32::Win32().CountCalls("LoadImageA(null"), 0);
    tex->Release();
}

TEST(PickTextureFormat, AbsentArgumentsDoNotCrash) {
    DDPIXELFORMAT ctx{};
    DDPIXELFORMAT f = FormatRgb565();
    EXPECT_EQ(PickTextureFormat(nullptr, &ctx), DDENUMRET_OK);
    EXPECT_EQ(PickTextureFormat(&f, nullptr), DDENUMRET_CANCEL);
    EXPECT_EQ(PickTextureFormat(&f, &ctx), DDENUMRET_CANCEL);
    EXPECT_EQ(ctx.dwGBitMask, 0x07E0u);
}
