// DirectDraw 7: display mode, flip chain, formats, attachments, locking,
// lost surfaces on focus loss, and frame selection for capture.
#include <gtest/gtest.h>

#include <SDL.h>

#include <cstdlib>
#include <cstring>

#include "d3d.h"
#include "ddraw/capture.h"
#include "win32/window.h"

using sombrella::ddraw::FrameSelected;

namespace {

DDSURFACEDESC2 PrimaryDesc() {
    DDSURFACEDESC2 d{};
    d.dwSize = sizeof d;
    d.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
    d.dwBackBufferCount = 1;
    d.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX | DDSCAPS_3DDEVICE;
    return d;
}

DDSURFACEDESC2 DepthDesc(DWORD bits, DWORD caps, DWORD w = 640, DWORD h = 480) {
    DDSURFACEDESC2 d{};
    d.dwSize = sizeof d;
    d.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
    d.dwWidth = w;
    d.dwHeight = h;
    d.ddpfPixelFormat.dwSize = sizeof(DDPIXELFORMAT);
    d.ddpfPixelFormat.dwFlags = DDPF_ZBUFFER;
    d.ddpfPixelFormat.dwZBufferBitDepth = bits;
    d.ddsCaps.dwCaps = DDSCAPS_ZBUFFER | caps;
    return d;
}

class DirectDrawTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.lpszClassName = "DDTest";
        RegisterClassA(&wc);
    }
    void SetUp() override {
        window = CreateWindowExA(0, "DDTest", "dd", WS_POPUP | WS_VISIBLE, 0, 0, 640, 480, nullptr, nullptr,
                                 nullptr, nullptr);
        ASSERT_NE(window, nullptr);
        ASSERT_EQ(DirectDrawCreateEx(nullptr, reinterpret_cast<LPVOID*>(&dd), IID_IDirectDraw7, nullptr), DD_OK);
    }
    void TearDown() override {
        if (dd) dd->Release();
        DestroyWindow(window);
        Pump();
    }
    void TakeScreen() {
        ASSERT_EQ(dd->SetCooperativeLevel(window, DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE | DDSCL_ALLOWREBOOT), DD_OK);
        ASSERT_EQ(dd->SetDisplayMode(640, 480, 16, 0, 0), DD_OK);
    }
    void Focus(bool gained) {
        SDL_Event e{};
        e.type = SDL_WINDOWEVENT;
        e.window.event = gained ? SDL_WINDOWEVENT_FOCUS_GAINED : SDL_WINDOWEVENT_FOCUS_LOST;
        e.window.windowID = SDL_GetWindowID(sombrella::win32::SdlWindowOf(window));
        SDL_PushEvent(&e);
        Pump();
    }
    static void Pump() {
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
    }

    HWND window = nullptr;
    IDirectDraw7* dd = nullptr;
};

TEST_F(DirectDrawTest, CreationRefusesWhatItCannotHonour) {
    void* out = reinterpret_cast<void*>(1);
    GUID other = IID_IDirect3D7;
    EXPECT_NE(DirectDrawCreateEx(&other, &out, IID_IDirectDraw7, nullptr), DD_OK);
    EXPECT_EQ(out, nullptr);
    EXPECT_NE(DirectDrawCreateEx(nullptr, &out, IID_IDirect3D7, nullptr), DD_OK);
    EXPECT_NE(dd->SetDisplayMode(640, 480, 16, 0, 0), DD_OK) << "the mode needs exclusive access";
    EXPECT_NE(dd->SetCooperativeLevel(nullptr, DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE), DD_OK);
    EXPECT_NE(dd->SetCooperativeLevel(window, DDSCL_FULLSCREEN), DD_OK);
    TakeScreen();
    EXPECT_NE(dd->SetDisplayMode(640, 480, 12, 0, 0), DD_OK);
    DDSURFACEDESC2 desc = PrimaryDesc();
    desc.dwSize = 124 + 1000;
    LPDIRECTDRAWSURFACE7 s = nullptr;
    EXPECT_NE(dd->CreateSurface(&desc, &s, nullptr), DD_OK);
    DDSURFACEDESC2 huge = DepthDesc(16, DDSCAPS_SYSTEMMEMORY, 100000, 100000);
    EXPECT_NE(dd->CreateSurface(&huge, &s, nullptr), DD_OK);
    EXPECT_EQ(s, nullptr);
}

// Textures no larger than the device's advertised maximum (4096 on a side),
// as drivers refuse them; other off-screen surfaces may be larger.
TEST_F(DirectDrawTest, TexturesBeyondTheAdvertisedMaximumAreRefused) {
    auto texture = [](DWORD w, DWORD h, DWORD caps) {
        DDSURFACEDESC2 d{};
        d.dwSize = sizeof d;
        d.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
        d.dwWidth = w;
        d.dwHeight = h;
        d.ddsCaps.dwCaps = caps;
        return d;
    };
    LPDIRECTDRAWSURFACE7 s = nullptr;
    DDSURFACEDESC2 d = texture(4096, 4096, DDSCAPS_TEXTURE | DDSCAPS_SYSTEMMEMORY);
    ASSERT_EQ(dd->CreateSurface(&d, &s, nullptr), DD_OK);
    s->Release();
    s = nullptr;
    d = texture(4097, 16, DDSCAPS_TEXTURE);
    EXPECT_EQ(dd->CreateSurface(&d, &s, nullptr), DDERR_TOOBIGWIDTH);
    d = texture(16, 8192, DDSCAPS_TEXTURE);
    EXPECT_EQ(dd->CreateSurface(&d, &s, nullptr), DDERR_TOOBIGHEIGHT);
    EXPECT_EQ(s, nullptr);
    d = texture(8192, 16, DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY);
    ASSERT_EQ(dd->CreateSurface(&d, &s, nullptr), DD_OK);
    s->Release();
}

TEST_F(DirectDrawTest, FlipChainIsRgb565WithOneBackBuffer) {
    TakeScreen();
    DDSURFACEDESC2 desc = PrimaryDesc();
    LPDIRECTDRAWSURFACE7 primary = nullptr, back = nullptr;
    ASSERT_EQ(dd->CreateSurface(&desc, &primary, nullptr), DD_OK);
    EXPECT_NE(dd->CreateSurface(&desc, &back, nullptr), DD_OK) << "only one primary";
    DDSCAPS2 caps{};
    caps.dwCaps = DDSCAPS_BACKBUFFER;
    ASSERT_EQ(primary->GetAttachedSurface(&caps, &back), DD_OK);
    DDPIXELFORMAT f{};
    back->GetPixelFormat(&f);
    EXPECT_EQ(f.dwRGBBitCount, 16u);
    EXPECT_EQ(f.dwRBitMask, 0xF800u);
    EXPECT_EQ(f.dwGBitMask, 0x07E0u);
    EXPECT_EQ(f.dwBBitMask, 0x001Fu);

    // What is drawn into the back buffer is on the front after a flip.
    DDSURFACEDESC2 lock{};
    lock.dwSize = sizeof lock;
    ASSERT_EQ(back->Lock(nullptr, &lock, DDLOCK_WAIT, nullptr), DD_OK);
    static_cast<uint16_t*>(lock.lpSurface)[0] = 0xF81F;
    back->Unlock(nullptr);
    EXPECT_EQ(primary->Flip(nullptr, DDFLIP_WAIT), DD_OK);
    ASSERT_EQ(primary->Lock(nullptr, &lock, DDLOCK_WAIT, nullptr), DD_OK);
    EXPECT_EQ(static_cast<uint16_t*>(lock.lpSurface)[0], 0xF81F);
    primary->Unlock(nullptr);
    EXPECT_EQ(back->Flip(nullptr, DDFLIP_WAIT), DDERR_NOTFLIPPABLE);
    EXPECT_EQ(primary->Unlock(nullptr), DDERR_NOTLOCKED);

    back->Release();
    primary->Release();
}

TEST_F(DirectDrawTest, DepthSurfacesAttachOnceAndAtTheirOwnSize) {
    TakeScreen();
    DDSURFACEDESC2 desc = PrimaryDesc();
    LPDIRECTDRAWSURFACE7 primary = nullptr, back = nullptr, z16 = nullptr, z32 = nullptr, small = nullptr;
    ASSERT_EQ(dd->CreateSurface(&desc, &primary, nullptr), DD_OK);
    DDSCAPS2 caps{};
    caps.dwCaps = DDSCAPS_BACKBUFFER;
    ASSERT_EQ(primary->GetAttachedSurface(&caps, &back), DD_OK);
    DDSURFACEDESC2 zd = DepthDesc(16, DDSCAPS_SYSTEMMEMORY);
    ASSERT_EQ(dd->CreateSurface(&zd, &z16, nullptr), DD_OK);
    zd = DepthDesc(32, DDSCAPS_VIDEOMEMORY);
    ASSERT_EQ(dd->CreateSurface(&zd, &z32, nullptr), DD_OK);
    zd = DepthDesc(16, DDSCAPS_SYSTEMMEMORY, 320, 240);
    ASSERT_EQ(dd->CreateSurface(&zd, &small, nullptr), DD_OK);
    zd = DepthDesc(20, DDSCAPS_SYSTEMMEMORY);
    LPDIRECTDRAWSURFACE7 odd = nullptr;
    EXPECT_NE(dd->CreateSurface(&zd, &odd, nullptr), DD_OK);

    EXPECT_EQ(back->AddAttachedSurface(small), DDERR_CANNOTATTACHSURFACE);
    EXPECT_EQ(back->AddAttachedSurface(z16), DD_OK);
    EXPECT_EQ(back->AddAttachedSurface(z32), DDERR_SURFACEALREADYATTACHED);
    caps.dwCaps = DDSCAPS_ZBUFFER;
    LPDIRECTDRAWSURFACE7 found = nullptr;
    ASSERT_EQ(back->GetAttachedSurface(&caps, &found), DD_OK);
    EXPECT_EQ(found, z16);
    found->Release();
    DDSURFACEDESC2 info{};
    info.dwSize = sizeof info;
    z32->GetSurfaceDesc(&info);
    EXPECT_EQ(info.ddpfPixelFormat.dwZBufferBitDepth, 32u);
    EXPECT_EQ(info.lPitch, 640 * 4);
    // Video memory is the card's local memory, and says so; system memory does not.
    EXPECT_EQ(info.ddsCaps.dwCaps & (DDSCAPS_VIDEOMEMORY | DDSCAPS_LOCALVIDMEM),
              (DWORD)(DDSCAPS_VIDEOMEMORY | DDSCAPS_LOCALVIDMEM));
    z16->GetSurfaceDesc(&info);
    EXPECT_EQ(info.ddsCaps.dwCaps & DDSCAPS_LOCALVIDMEM, 0u);
    // Never released surfaces go with the DirectDraw object (checked by ASan).
    (void)small;
}

TEST_F(DirectDrawTest, FocusLossLosesVideoMemoryUntilRestored) {
    TakeScreen();
    DDSURFACEDESC2 desc = PrimaryDesc();
    LPDIRECTDRAWSURFACE7 primary = nullptr, back = nullptr, sysZ = nullptr;
    ASSERT_EQ(dd->CreateSurface(&desc, &primary, nullptr), DD_OK);
    DDSCAPS2 caps{};
    caps.dwCaps = DDSCAPS_BACKBUFFER;
    ASSERT_EQ(primary->GetAttachedSurface(&caps, &back), DD_OK);
    DDSURFACEDESC2 zd = DepthDesc(16, DDSCAPS_SYSTEMMEMORY);
    ASSERT_EQ(dd->CreateSurface(&zd, &sysZ, nullptr), DD_OK);

    Focus(false);
    EXPECT_EQ(primary->IsLost(), DDERR_SURFACELOST);
    EXPECT_EQ(back->IsLost(), DDERR_SURFACELOST);
    EXPECT_EQ(sysZ->IsLost(), DD_OK);
    EXPECT_EQ(primary->Flip(nullptr, DDFLIP_WAIT), DDERR_SURFACELOST);
    EXPECT_NE(primary->Restore(), DD_OK) << "not while another has the screen";

    Focus(true);
    EXPECT_EQ(primary->Restore(), DD_OK);
    EXPECT_EQ(back->Restore(), DD_OK);
    EXPECT_EQ(primary->IsLost(), DD_OK);
    EXPECT_EQ(primary->Flip(nullptr, DDFLIP_WAIT), DD_OK);
    back->Release();
    primary->Release();
    sysZ->Release();
}

TEST_F(DirectDrawTest, DirectDrawGivesDirect3DAndCountsReferences) {
    void* d3d = nullptr;
    ASSERT_EQ(dd->QueryInterface(IID_IDirect3D7, &d3d), S_OK);
    ASSERT_NE(d3d, nullptr);
    static_cast<IDirect3D7*>(d3d)->Release();
    void* again = nullptr;
    EXPECT_EQ(dd->QueryInterface(IID_IDirectDraw7, &again), S_OK);
    EXPECT_EQ(again, dd);
    EXPECT_EQ(dd->Release(), 1u);
}

TEST(Capture, FrameSelection) {
    EXPECT_TRUE(FrameSelected(nullptr, 5));
    EXPECT_TRUE(FrameSelected("all", 123456));
    EXPECT_TRUE(FrameSelected("0,10,20-30", 0));
    EXPECT_TRUE(FrameSelected("0,10,20-30", 25));
    EXPECT_FALSE(FrameSelected("0,10,20-30", 11));
    EXPECT_FALSE(FrameSelected("0,10,20-30", 31));
    EXPECT_FALSE(FrameSelected("garbage", 0));
    EXPECT_FALSE(FrameSelected("3,x", 4));
}

}  // namespace

int main(int argc, char** argv) {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("SOMBRELLA_REFRESH_HZ", "0", 1);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
