// Enhanced rendering: the sizes chosen, the filter down, and a device that
// draws into larger pixels while the program sees only its own sizes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/pixel_format.h"

#include "d3d.h"
#include "ddraw/render_size.h"
#include "ddraw/surface.h"
#include "win32/window.h"

using sombrella::ddraw::ChooseRenderSize;
using sombrella::ddraw::RenderSize;
using sombrella::ddraw::Surface;

namespace {

void ExpectSize(const RenderSize& r, DWORD pw, DWORD ph, DWORD rw, DWORD rh) {
    EXPECT_EQ(r.presentWidth, pw);
    EXPECT_EQ(r.presentHeight, ph);
    EXPECT_EQ(r.renderWidth, rw);
    EXPECT_EQ(r.renderHeight, rh);
}

TEST(RenderSize, ScaleNativeAndSupersamplingGiveTheSizes) {
    ExpectSize(ChooseRenderSize(640, 480, nullptr, nullptr, 0, 0), 640, 480, 640, 480);
    ExpectSize(ChooseRenderSize(640, 480, "1", "1", 0, 0), 640, 480, 640, 480);
    ExpectSize(ChooseRenderSize(640, 480, "3", nullptr, 0, 0), 1920, 1440, 1920, 1440);
    ExpectSize(ChooseRenderSize(640, 480, "2", "4", 0, 0), 1280, 960, 2560, 1920);
    ExpectSize(ChooseRenderSize(640, 480, nullptr, "9", 0, 0), 640, 480, 1920, 1440);
    // native: the display's size with 4:3 kept, whichever side limits it.
    ExpectSize(ChooseRenderSize(640, 480, "native", nullptr, 1920, 1080), 1440, 1080, 1440, 1080);
    ExpectSize(ChooseRenderSize(640, 480, "native", nullptr, 1280, 1024), 1280, 960, 1280, 960);
    ExpectSize(ChooseRenderSize(640, 480, "native", nullptr, 0, 0), 1920, 1440, 1920, 1440);
    // Never below the mode; supersampling gives way before 8192 pixels a side.
    ExpectSize(ChooseRenderSize(640, 480, "native", nullptr, 320, 240), 640, 480, 640, 480);
    ExpectSize(ChooseRenderSize(640, 480, "8", "16", 0, 0), 5120, 3840, 5120, 3840);
    ExpectSize(ChooseRenderSize(640, 480, "4", "16", 0, 0), 2560, 1920, 7680, 5760);
    // Values the option parser refuses never reach here, but cannot hurt.
    ExpectSize(ChooseRenderSize(640, 480, "x", "3", 0, 0), 640, 480, 640, 480);
}

class EnhancedDevice : public ::testing::Test {
protected:
    void SetUp() override {
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.lpszClassName = "EnhancedTest";
        RegisterClassA(&wc);
        window = CreateWindowExA(0, "EnhancedTest", "e", WS_POPUP, 0, 0, 640, 480, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(window, nullptr);
    }
    void TearDown() override {
        if (device) device->Release();
        if (d3d) d3d->Release();
        if (dd) dd->Release();
        DestroyWindow(window);
        unsetenv("SOMBRELLA_SCALE");
        unsetenv("SOMBRELLA_AA");
    }
    // Mode, flip chain with a 16-bit depth buffer, and a software device on it.
    void Open() {
        ASSERT_EQ(DirectDrawCreateEx(nullptr, reinterpret_cast<LPVOID*>(&dd), IID_IDirectDraw7, nullptr), DD_OK);
        ASSERT_EQ(dd->SetCooperativeLevel(window, DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE), DD_OK);
        ASSERT_EQ(dd->SetDisplayMode(640, 480, 16, 0, 0), DD_OK);
        DDSURFACEDESC2 d{};
        d.dwSize = sizeof d;
        d.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
        d.dwBackBufferCount = 1;
        d.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX | DDSCAPS_3DDEVICE;
        ASSERT_EQ(dd->CreateSurface(&d, &primary, nullptr), DD_OK);
        DDSCAPS2 caps{};
        caps.dwCaps = DDSCAPS_BACKBUFFER;
        ASSERT_EQ(primary->GetAttachedSurface(&caps, &back), DD_OK);
        back->Release();  // the chain keeps it
        DDSURFACEDESC2 z{};
        z.dwSize = sizeof z;
        z.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
        z.dwWidth = 640;
        z.dwHeight = 480;
        z.ddpfPixelFormat.dwSize = sizeof(DDPIXELFORMAT);
        z.ddpfPixelFormat.dwFlags = DDPF_ZBUFFER;
        z.ddpfPixelFormat.dwZBufferBitDepth = 16;
        z.ddsCaps.dwCaps = DDSCAPS_ZBUFFER | DDSCAPS_SYSTEMMEMORY;
        ASSERT_EQ(dd->CreateSurface(&z, &depth, nullptr), DD_OK);
        ASSERT_EQ(back->AddAttachedSurface(depth), DD_OK);
        depth->Release();
        ASSERT_EQ(dd->QueryInterface(IID_IDirect3D7, reinterpret_cast<LPVOID*>(&d3d)), DD_OK);
        ASSERT_EQ(d3d->CreateDevice(IID_IDirect3DRGBDevice, back, &device), D3D_OK);
    }
    // The program's view of a surface's size.
    static std::pair<DWORD, DWORD> Told(IDirectDrawSurface7* s) {
        DDSURFACEDESC2 d{};
        d.dwSize = sizeof d;
        s->GetSurfaceDesc(&d);
        return {d.dwWidth, d.dwHeight};
    }

    HWND window = nullptr;
    IDirectDraw7* dd = nullptr;
    IDirectDrawSurface7 *primary = nullptr, *back = nullptr, *depth = nullptr;
    IDirect3D7* d3d = nullptr;
    IDirect3DDevice7* device = nullptr;
};

TEST_F(EnhancedDevice, TheProgramSeesItsSizesWhileThePixelsAreLarger) {
    setenv("SOMBRELLA_SCALE", "2", 1);
    setenv("SOMBRELLA_AA", "4", 1);
    Open();
    for (IDirectDrawSurface7* s : {primary, back, depth}) EXPECT_EQ(Told(s), std::make_pair(DWORD(640), DWORD(480)));
    EXPECT_EQ(Surface::From(primary)->Width(), 1280u);
    EXPECT_EQ(Surface::From(back)->Width(), 2560u);
    EXPECT_EQ(Surface::From(depth)->Height(), 1920u);

    D3DVIEWPORT7 vp{0, 0, 640, 480, 0.0f, 1.0f};
    EXPECT_EQ(device->SetViewport(&vp), D3D_OK);
    D3DVIEWPORT7 outside{0, 0, 641, 480, 0.0f, 1.0f};
    EXPECT_EQ(device->SetViewport(&outside), DDERR_INVALIDPARAMS);
    D3DVIEWPORT7 got{};
    EXPECT_EQ(device->GetViewport(&got), D3D_OK);
    EXPECT_EQ(got.dwWidth, 640u);

    // Red everywhere, then a blue rectangle over the program's left half: it
    // covers the left half of the pixels too, and survives the filter down.
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFFFF0000, 1.0f, 0), D3D_OK);
    D3DRECT left{0, 0, 320, 480};
    ASSERT_EQ(device->Clear(1, &left, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0), D3D_OK);
    ASSERT_EQ(primary->Flip(nullptr, 0), DD_OK);
    const Surface* front = Surface::From(primary);
    auto pixel = [&](DWORD x, DWORD y) {
        const uint8_t* p = front->Bits() + y * front->Pitch() + 2 * x;
        return static_cast<uint16_t>(p[0] | (p[1] << 8));
    };
    EXPECT_EQ(pixel(0, 0), 0x001F);
    EXPECT_EQ(pixel(639, 959), 0x001F);
    EXPECT_EQ(pixel(640, 0), 0xF800);
    EXPECT_EQ(pixel(1279, 959), 0xF800);
}

TEST_F(EnhancedDevice, FlippingALargeChainWithoutSupersamplingShowsEachNewFrame) {
    // The buffers trade places here; every flip must still show the frame just drawn.
    setenv("SOMBRELLA_SCALE", "2", 1);
    Open();
    const Surface* front = Surface::From(primary);
    ASSERT_EQ(front->Width(), Surface::From(back)->Width());
    auto pixel = [&](DWORD x, DWORD y) {
        const uint8_t* p = front->Bits() + y * front->Pitch() + 2 * x;
        return static_cast<uint16_t>(p[0] | (p[1] << 8));
    };
    const D3DCOLOR colours[] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF};
    const uint16_t shown[] = {0xF800, 0x07E0, 0x001F};
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, colours[i], 1.0f, 0), D3D_OK);
        D3DRECT corner{0, 0, 1, 1};
        ASSERT_EQ(device->Clear(1, &corner, D3DCLEAR_TARGET, 0xFFFFFFFF, 1.0f, 0), D3D_OK);
        ASSERT_EQ(primary->Flip(nullptr, 0), DD_OK);
        EXPECT_EQ(pixel(0, 0), 0xFFFF) << i;
        EXPECT_EQ(pixel(1, 1), 0xFFFF) << i;
        EXPECT_EQ(pixel(2, 2), shown[i]) << i;
        EXPECT_EQ(pixel(1279, 959), shown[i]) << i;
    }
}

// A white rectangle from x 99.6 to 199.6 and y 49.6 to 149.6 of the program's
// 640x480: the pixel centres 100..199 and 50..149 lie inside. Either through
// identity transforms or as pre-transformed (XYZRHW) screen-space vertices.
void DrawRectangle(IDirect3DDevice7* device, bool pretransformed) {
    struct V {
        float x, y, z;
        DWORD colour;
    };
    struct Tl {
        float x, y, z, rhw;
        DWORD colour;
    };
    const float xs[2] = {99.6f, 199.6f}, ys[2] = {49.6f, 149.6f};
    V v[4];
    Tl tl[4];
    for (int i = 0; i < 4; ++i) {
        const float x = xs[i & 1], y = ys[i >> 1];
        v[i] = {x / 320.0f - 1.0f, 1.0f - y / 240.0f, 0.5f, 0xFFFFFFFF};
        tl[i] = {x, y, 0.5f, 1.0f, 0xFFFFFFFF};
    }
    WORD idx[6] = {0, 1, 2, 2, 1, 3};
    ASSERT_EQ(device->SetRenderState(D3DRENDERSTATE_LIGHTING, FALSE), D3D_OK);
    ASSERT_EQ(device->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE), D3D_OK);
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0), D3D_OK);
    ASSERT_EQ(device->BeginScene(), D3D_OK);
    if (pretransformed)
        ASSERT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, D3DFVF_XYZRHW | D3DFVF_DIFFUSE, tl, 4, idx, 6, 0),
                  D3D_OK);
    else
        ASSERT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, D3DFVF_XYZ | D3DFVF_DIFFUSE, v, 4, idx, 6, 0), D3D_OK);
    ASSERT_EQ(device->EndScene(), D3D_OK);
    // The program's vertices are its own: the device scales a copy.
    EXPECT_EQ(tl[3].x, 199.6f);
    EXPECT_EQ(tl[3].y, 149.6f);
}

// The picture at any scale covers the same pixels of the program's as the
// faithful one, with no shift: each of them wholly white or wholly black.
// Projected and pre-transformed vertices alike.
TEST_F(EnhancedDevice, ScaledPicturesKeepThePixelCentresWhereTheyWere) {
    const std::pair<const char*, const char*> settings[] = {{"1", "1"}, {"3", "1"}, {"2", "4"}, {"1", "9"}, {"native", "1"}};
    for (const bool pretransformed : {false, true}) {
        for (const auto& [scale, aa] : settings) {
            setenv("SOMBRELLA_SCALE", scale, 1);
            setenv("SOMBRELLA_AA", aa, 1);
            Open();
            DrawRectangle(device, pretransformed);
            ASSERT_EQ(primary->Flip(nullptr, 0), DD_OK);
            const Surface* front = Surface::From(primary);
            const DWORD k = front->Width() / 640;
            long wrong = 0, white = 0;
            for (DWORD y = 0; y < 200 * k; ++y)
                for (DWORD x = 0; x < 250 * k; ++x) {
                    const uint8_t* p = front->Bits() + y * front->Pitch() + 2 * x;
                    const uint16_t got = static_cast<uint16_t>(p[0] | (p[1] << 8));
                    const bool inside = x / k >= 100 && x / k < 200 && y / k >= 50 && y / k < 150;
                    wrong += got != (inside ? 0xFFFF : 0x0000);
                    white += got == 0xFFFF;
                }
            EXPECT_EQ(wrong, 0) << "scale " << scale << " aa " << aa << " pretransformed " << pretransformed;
            EXPECT_EQ(white, 100L * 100 * k * k) << "scale " << scale << " aa " << aa;
            // The program still reads back its own projection.
            D3DMATRIX m{};
            ASSERT_EQ(device->GetTransform(D3DTRANSFORMSTATE_PROJECTION, &m), D3D_OK);
            EXPECT_EQ(m.m[3][0], 0.0f);
            EXPECT_EQ(m.m[0][0], 1.0f);
            device->Release(), device = nullptr;
            d3d->Release(), d3d = nullptr;
            dd->Release(), dd = nullptr;
        }
    }
}

TEST_F(EnhancedDevice, WithoutTheKnobsEverySurfaceIsItsOwnSize) {
    Open();
    for (IDirectDrawSurface7* s : {primary, back, depth}) {
        EXPECT_EQ(Told(s), std::make_pair(DWORD(640), DWORD(480)));
        EXPECT_EQ(Surface::From(s)->Width(), 640u);
    }
}

TEST(RenderSize, DownsampleAveragesEachBlockPerChannel) {
    auto* small = new Surface(nullptr, 2, 1, sombrella::ddraw::FormatRGB565(), DDSCAPS_SYSTEMMEMORY, 0);
    auto* big = new Surface(nullptr, 4, 2, sombrella::ddraw::FormatRGB565(), DDSCAPS_SYSTEMMEMORY, 0);
    // Left block: white and black twice -> mid grey; right block: all pure green.
    const uint16_t px[2][4] = {{0xFFFF, 0x0000, 0x07E0, 0x07E0}, {0x0000, 0xFFFF, 0x07E0, 0x07E0}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) {
            big->Bits()[y * big->Pitch() + 2 * x] = static_cast<uint8_t>(px[y][x]);
            big->Bits()[y * big->Pitch() + 2 * x + 1] = static_cast<uint8_t>(px[y][x] >> 8);
        }
    sombrella::ddraw::Downsample(*big, *small);
    auto at = [&](int x) { return static_cast<uint16_t>(small->Bits()[2 * x] | (small->Bits()[2 * x + 1] << 8)); };
    EXPECT_EQ(at(0), (16 << 11) | (32 << 5) | 16);  // (31+0)/2 rounds to 16, (63+0)/2 to 32
    EXPECT_EQ(at(1), 0x07E0);
    small->Release();
    big->Release();
}

TEST(RenderSize, DownsampleMatchesTheBoxFilterForEveryRatioAndFormat) {
    // Random pixels; 7 output columns so vector loops have tails, and the
    // per-channel rounding of (sum + n/2) / n written out plainly here. The
    // large size is split between two threads: every row must still be right.
    std::srand(11);
    struct Fmt {
        DDPIXELFORMAT f;
        int bytes;
    };
    const Fmt formats[] = {{sombrella::ddraw::FormatRGB565(), 2},
                           {sombrella::pixel::RgbFormat(16, 0x7C00, 0x03E0, 0x001F), 2},
                           {sombrella::pixel::Xrgb8888(), 4}};
    for (const Fmt& fm : formats) {
        for (DWORD k = 1; k <= 5; ++k)
        for (const bool large : {false, true}) {
            const DWORD w = large ? 1283 / k + 1 : 7, h = large ? 963 / k + 1 : 3;
            auto* small = new Surface(nullptr, w, h, fm.f, DDSCAPS_SYSTEMMEMORY, 0);
            auto* big = new Surface(nullptr, w * k, h * k, fm.f, DDSCAPS_SYSTEMMEMORY, 0);
            for (DWORD i = 0; i < big->Pitch() * big->Height(); ++i) big->Bits()[i] = static_cast<uint8_t>(std::rand());
            if (k == 1) {
                small->Release();
                big->Release();
                continue;
            }
            sombrella::ddraw::Downsample(*big, *small);
            // Channels as (shift, bits) from the low end.
            std::vector<std::pair<int, int>> ch;
            if (fm.bytes == 4) ch = {{0, 8}, {8, 8}, {16, 8}};
            else if (fm.f.dwGBitMask == 0x07E0) ch = {{0, 5}, {5, 6}, {11, 5}};
            else ch = {{0, 5}, {5, 5}, {10, 5}};
            auto read = [&](const Surface* s, DWORD x, DWORD y) {
                uint32_t v = 0;
                std::memcpy(&v, s->Bits() + y * s->Pitch() + x * fm.bytes, fm.bytes);
                return v;
            };
            for (DWORD y = 0; y < h; ++y)
                for (DWORD x = 0; x < w; ++x) {
                    uint32_t want = 0;
                    for (auto [shift, bits] : ch) {
                        uint32_t sum = 0;
                        for (DWORD sy = 0; sy < k; ++sy)
                            for (DWORD sx = 0; sx < k; ++sx)
                                sum += (read(big, x * k + sx, y * k + sy) >> shift) & ((1u << bits) - 1);
                        want |= ((sum + k * k / 2) / (k * k)) << shift;
                    }
                    ASSERT_EQ(read(small, x, y), want)
                        << "k=" << k << " bytes=" << fm.bytes << " " << w << "x" << h << " at " << x << "," << y;
                }
            small->Release();
            big->Release();
        }
    }
}

TEST(RenderSize, WideningForTheDisplayMatchesTheCapturedColours) {
    // Every 16-bit value, with a padded pitch on both sides.
    for (const bool g6 : {true, false}) {
        const DDPIXELFORMAT f = g6 ? sombrella::ddraw::FormatRGB565() : sombrella::pixel::Rgb555();
        auto* s = new Surface(nullptr, 257, 256, f, DDSCAPS_SYSTEMMEMORY, 0);
        for (DWORD i = 0; i < 65536; ++i) {
            uint8_t* p = s->Bits() + (i / 257) * s->Pitch() + (i % 257) * 2;
            p[0] = static_cast<uint8_t>(i), p[1] = static_cast<uint8_t>(i >> 8);
        }
        const long pitch = 257 * 4 + 12;
        std::vector<uint8_t> out(static_cast<size_t>(pitch) * 256, 0xAB);
        sombrella::ddraw::WidenToXrgb8888(*s, out.data(), pitch);
        for (DWORD i = 0; i < 65536; ++i) {
            uint32_t got;
            std::memcpy(&got, out.data() + (i / 257) * pitch + (i % 257) * 4, 4);
            const uint32_t want = g6 ? sombrella::pixel::Rgb565ToArgb(i) : sombrella::pixel::Rgb555ToArgb(i);
            ASSERT_EQ(got, want) << std::hex << i;
        }
        // The padding after each row is left alone.
        EXPECT_EQ(out[257 * 4], 0xAB);
        s->Release();
    }
}

}  // namespace
