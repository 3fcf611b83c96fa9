// Rasterizer behaviour checked numerically: the pixel-centre and fill
// conventions, shared edges, depth, blending, texture formats, clears,
// bad calls, and pictures that do not depend on the thread count.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "d3d_rig.h"

using namespace d3dtest;
using sombrella::ddraw::Surface;

namespace {

struct TexVertex {
    float x, y, z, rhw;
    DWORD diffuse;
    float u, v;
};
constexpr DWORD kTexFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

void DrawTl(IDirect3DDevice7* dev, std::vector<TlVertex> v, std::vector<WORD> idx,
            D3DPRIMITIVETYPE type = D3DPT_TRIANGLELIST) {
    ASSERT_EQ(D3D_OK, DrawTlVertices(dev, std::move(v), std::move(idx), type));
}

TEST(Raster, PixelCentresAtIntegersAndTopLeftRule) {
    Rig rig(16, 16, 0, FormatXrgb8888());
    rig.device->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
    rig.device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1, 0);
    // A square from (2,2) to (6,6): centres 2..5 lie inside or on its top and
    // left edges; centres at 6 lie on the right and bottom edges.
    DrawTl(rig.device, {{2, 2, 0.5f, 1, 0xFFFFFFFF}, {6, 2, 0.5f, 1, 0xFFFFFFFF}, {6, 6, 0.5f, 1, 0xFFFFFFFF},
                        {2, 6, 0.5f, 1, 0xFFFFFFFF}},
           {0, 1, 2, 0, 2, 3});
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            bool inside = x >= 2 && x < 6 && y >= 2 && y < 6;
            EXPECT_EQ(inside ? 0xFFFFFFFFu : 0xFF000000u, rig.Pixel(x, y)) << x << "," << y;
        }
}

// A fan of thin triangles around a centre, drawn with additive blending:
// a pixel covered twice or missed along a shared edge would show.
TEST(Raster, SharedEdgesCoverEachPixelExactlyOnce) {
    Rig rig(64, 64, 0, FormatXrgb8888());
    IDirect3DDevice7* dev = rig.device;
    dev->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
    dev->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, TRUE);
    dev->SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_ONE);
    dev->SetRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_ONE);
    dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1, 0);
    std::vector<TlVertex> v;
    const float cx = 31.3f, cy = 30.7f;
    v.push_back({cx, cy, 0.5f, 1, 0xFF101010});
    const int n = 37;
    for (int i = 0; i <= n; ++i) {
        double a = 2 * 3.14159265358979 * i / n;
        v.push_back({cx + 27.0f * (float)std::cos(a), cy + 27.0f * (float)std::sin(a), 0.5f, 1, 0xFF101010});
    }
    v.back().x = v[1].x, v.back().y = v[1].y;  // close exactly
    std::vector<WORD> idx;
    for (int i = 0; i < (int)v.size(); ++i) idx.push_back((WORD)i);
    ASSERT_EQ(D3D_OK, dev->BeginScene());
    DrawTl(dev, v, idx, D3DPT_TRIANGLEFAN);
    ASSERT_EQ(D3D_OK, dev->EndScene());
    int once = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            uint32_t p = rig.Pixel(x, y) & 0xFFFFFF;
            ASSERT_TRUE(p == 0 || p == 0x101010) << "pixel " << x << "," << y << " = " << std::hex << p;
            once += p != 0;
            // Well inside the polygon nothing may be missed.
            if (std::hypot(x - cx, y - cy) < 25.0) {
                EXPECT_EQ(0x101010u, p) << x << "," << y;
            }
        }
    // The covered count is close to the polygon's area.
    double area = 0.5 * n * 27.0 * 27.0 * std::sin(2 * 3.14159265358979 / n);
    EXPECT_NEAR(area, once, area * 0.02);
    EXPECT_EQ(rig.Snapshot().rgb.size(), 64u * 64u * 3u);
    EXPECT_EQ("", CompareGolden("shared_edge_fan", rig.Snapshot(), 0));
}

TEST(Raster, DepthFunctionsDecideCoplanarOrder) {
    for (DWORD func : {(DWORD)D3DCMP_LESSEQUAL, (DWORD)D3DCMP_LESS}) {
        for (DWORD bits : {16u, 24u, 32u}) {
            Rig rig(16, 16, bits, FormatXrgb8888());
            IDirect3DDevice7* dev = rig.device;
            dev->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
            dev->SetRenderState(D3DRENDERSTATE_ZFUNC, func);
            dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
            auto quad = [&](DWORD c) {
                DrawTl(dev, {{0, 0, 0.4f, 1, c}, {16, 0, 0.6f, 1, c}, {16, 16, 0.7f, 1, c}, {0, 16, 0.5f, 1, c}},
                       {0, 1, 2, 0, 2, 3});
            };
            ASSERT_EQ(D3D_OK, dev->BeginScene());
            quad(0xFFFF0000);
            quad(0xFF00FF00);  // same depths: wins only with LESSEQUAL
            ASSERT_EQ(D3D_OK, dev->EndScene());
            uint32_t want = func == D3DCMP_LESSEQUAL ? 0xFF00FF00u : 0xFFFF0000u;
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 16; ++x) ASSERT_EQ(want, rig.Pixel(x, y)) << bits << " bits at " << x << "," << y;
        }
    }
}

TEST(Raster, ClearHonoursRectsAndDepthFormats) {
    for (DWORD bits : {16u, 24u, 32u}) {
        Rig rig(16, 16, bits, FormatXrgb8888());
        IDirect3DDevice7* dev = rig.device;
        ASSERT_EQ(D3D_OK, dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0x00112233, 0.5f, 0));
        D3DRECT rects[2] = {{1, 1, 3, 4}, {10, 10, 40, 40}};  // the second overhangs and is clipped
        ASSERT_EQ(D3D_OK, dev->Clear(2, rects, D3DCLEAR_TARGET, 0x00AABBCC, 1.0f, 0));
        EXPECT_EQ(0xFFAABBCCu, rig.Pixel(2, 3));
        EXPECT_EQ(0xFF112233u, rig.Pixel(3, 3));
        EXPECT_EQ(0xFFAABBCCu, rig.Pixel(15, 15));
        EXPECT_EQ(0xFF112233u, rig.Pixel(9, 15));
        // Depth cleared to 0.5 at the surface's own depth.
        const uint8_t* z = rig.depth->Bits();
        uint32_t raw = 0;
        std::memcpy(&raw, z, rig.depth->BytesPerPixel());
        uint32_t mask = rig.depth->Format().dwZBitMask;
        double max = (double)(mask >> __builtin_ctz(mask));
        EXPECT_NEAR(0.5, ((raw & mask) >> __builtin_ctz(mask)) / max, 1e-4) << bits;
    }
}

TEST(Raster, AlphaBlendSrcAlphaInvSrcAlpha) {
    Rig rig(8, 8, 0, FormatXrgb8888());
    IDirect3DDevice7* dev = rig.device;
    dev->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
    dev->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, TRUE);
    dev->SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_SRCALPHA);
    dev->SetRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_INVSRCALPHA);
    // Alpha from the diffuse colour rather than the (absent) texture.
    dev->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG2);
    dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0x000000FF, 1, 0);
    DWORD c = 0x80FF0000;  // red at alpha 128
    DrawTl(dev, {{0, 0, 0.5f, 1, c}, {8, 0, 0.5f, 1, c}, {8, 8, 0.5f, 1, c}, {0, 8, 0.5f, 1, c}}, {0, 1, 2, 0, 2, 3});
    uint32_t p = rig.Pixel(4, 4);
    EXPECT_NEAR(128, (int)((p >> 16) & 255), 2);
    EXPECT_EQ(0u, (p >> 8) & 255);
    EXPECT_NEAR(127, (int)(p & 255), 2);
}

TEST(Raster, UntexturedStageKeepsTheDiffuseAlpha) {
    // With the default stage states and no texture bound, the texture
    // argument stands for the diffuse colour: a translucent material blends.
    Rig rig(8, 8, 0, FormatXrgb8888());
    IDirect3DDevice7* dev = rig.device;
    dev->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
    dev->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, TRUE);
    dev->SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_SRCALPHA);
    dev->SetRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_INVSRCALPHA);
    dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0x000000FF, 1, 0);
    DWORD c = 0x40FF0000;  // red at alpha 64
    DrawTl(dev, {{0, 0, 0.5f, 1, c}, {8, 0, 0.5f, 1, c}, {8, 8, 0.5f, 1, c}, {0, 8, 0.5f, 1, c}}, {0, 1, 2, 0, 2, 3});
    uint32_t p = rig.Pixel(4, 4);
    EXPECT_NEAR(64, (int)((p >> 16) & 255), 2);
    EXPECT_NEAR(191, (int)(p & 255), 2);
    // Opaque diffuse still draws its own colour untouched.
    dev->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, FALSE);
    DrawTl(dev, {{0, 0, 0.5f, 1, c}, {8, 0, 0.5f, 1, c}, {8, 8, 0.5f, 1, c}, {0, 8, 0.5f, 1, c}}, {0, 1, 2, 0, 2, 3});
    EXPECT_EQ(0xFF0000u, rig.Pixel(4, 4) & 0xFFFFFFu);
}

TEST(Raster, TextureFormatsSampleTheSameColours) {
    const DDPIXELFORMAT formats[] = {
        sombrella::ddraw::FormatRGB565(),
        FormatRgb555(),
        FormatArgb(16, 0xF000, 0x0F00, 0x00F0, 0x000F),
        FormatArgb(16, 0x8000, 0x7C00, 0x03E0, 0x001F),
        FormatArgb(32, 0xFF000000, 0xFF0000, 0xFF00, 0xFF),
        FormatXrgb8888(),
    };
    // Colours every format holds exactly.
    const uint32_t colours[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};
    for (const DDPIXELFORMAT& f : formats) {
        Rig rig(8, 8, 0, FormatXrgb8888());
        IDirect3DDevice7* dev = rig.device;
        dev->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
        Surface* tex = MakeTexture(2, 2, f);
        FillTexture(tex, [&](int x, int y) { return colours[y * 2 + x]; });
        ASSERT_EQ(D3D_OK, dev->SetTexture(0, tex));
        std::vector<TexVertex> v = {{0, 0, 0.5f, 1, 0xFFFFFFFF, 0, 0},
                                    {8, 0, 0.5f, 1, 0xFFFFFFFF, 1, 0},
                                    {8, 8, 0.5f, 1, 0xFFFFFFFF, 1, 1},
                                    {0, 8, 0.5f, 1, 0xFFFFFFFF, 0, 1}};
        WORD idx[6] = {0, 1, 2, 0, 2, 3};
        ASSERT_EQ(D3D_OK, dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, kTexFvf, v.data(), 4, idx, 6, 0));
        EXPECT_EQ(0xFFFF0000u, rig.Pixel(1, 1)) << f.dwRGBBitCount << " " << std::hex << f.dwRBitMask;
        EXPECT_EQ(0xFF00FF00u, rig.Pixel(6, 1));
        EXPECT_EQ(0xFF0000FFu, rig.Pixel(1, 6));
        EXPECT_EQ(0xFFFFFFFFu, rig.Pixel(6, 6));
        // Changing the pixels (a new generation) is seen by the next draw.
        FillTexture(tex, [&](int, int) { return 0xFF00FF00u; });
        ASSERT_EQ(D3D_OK, dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, kTexFvf, v.data(), 4, idx, 6, 0));
        EXPECT_EQ(0xFF00FF00u, rig.Pixel(1, 1));
        dev->SetTexture(0, nullptr);
        tex->Release();
    }
}

// SOMBRELLA_MIPMAPS=1, read when the device is made, filters a minified
// texture through its mips (remade when the pixels change); unset, the
// faithful point sampling stays.
TEST(Raster, MipmapKnobFiltersMinifiedTextures) {
    for (bool on : {false, true}) {
        if (on)
            setenv("SOMBRELLA_MIPMAPS", "1", 1);
        else
            unsetenv("SOMBRELLA_MIPMAPS");
        Rig rig(8, 8, 0, FormatXrgb8888());
        unsetenv("SOMBRELLA_MIPMAPS");
        IDirect3DDevice7* dev = rig.device;
        dev->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
        Surface* tex = MakeTexture(32, 32, FormatXrgb8888());
        FillTexture(tex, [](int x, int y) { return ((x + y) & 1) ? 0xFFFFFFFFu : 0xFF000000u; });
        ASSERT_EQ(D3D_OK, dev->SetTexture(0, tex));
        // 32 texels over 8 pixels: level 2.
        std::vector<TexVertex> v = {{0, 0, 0.5f, 1, 0xFFFFFFFF, 0, 0},
                                    {8, 0, 0.5f, 1, 0xFFFFFFFF, 1, 0},
                                    {8, 8, 0.5f, 1, 0xFFFFFFFF, 1, 1},
                                    {0, 8, 0.5f, 1, 0xFFFFFFFF, 0, 1}};
        WORD idx[6] = {0, 1, 2, 0, 2, 3};
        ASSERT_EQ(D3D_OK, dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, kTexFvf, v.data(), 4, idx, 6, 0));
        const uint32_t grey = rig.Pixel(3, 3) & 0xFFu;
        if (on)
            EXPECT_NEAR((int)grey, 128, 4);
        else
            EXPECT_TRUE(grey == 0 || grey == 255) << grey;
        // New pixels: the next draw sees them, through new mips.
        FillTexture(tex, [](int, int) { return 0xFF204060u; });
        ASSERT_EQ(D3D_OK, dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, kTexFvf, v.data(), 4, idx, 6, 0));
        EXPECT_EQ(0xFF204060u, rig.Pixel(3, 3));
        dev->SetTexture(0, nullptr);
        tex->Release();
    }
}

TEST(Raster, Dxt1TexturesDecode) {
    Rig rig(8, 8, 0, FormatXrgb8888());
    IDirect3DDevice7* dev = rig.device;
    dev->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
    DDPIXELFORMAT f{};
    f.dwSize = sizeof f;
    f.dwFlags = DDPF_FOURCC;
    f.dwFourCC = MAKEFOURCC('D', 'X', 'T', '1');
    Surface* tex = MakeTexture(4, 4, f);
    // c0 red > c1 blue: four colours; top row uses indices 0, 1, 2, 3.
    const uint8_t block[8] = {0x00, 0xF8, 0x1F, 0x00, 0xE4, 0, 0, 0};
    std::memcpy(tex->Bits(), block, 8);
    tex->Touch();
    ASSERT_EQ(D3D_OK, dev->SetTexture(0, tex));
    std::vector<TexVertex> v = {{0, 0, 0.5f, 1, 0xFFFFFFFF, 0, 0},
                                {8, 0, 0.5f, 1, 0xFFFFFFFF, 1, 0},
                                {8, 8, 0.5f, 1, 0xFFFFFFFF, 1, 1},
                                {0, 8, 0.5f, 1, 0xFFFFFFFF, 0, 1}};
    WORD idx[6] = {0, 1, 2, 0, 2, 3};
    ASSERT_EQ(D3D_OK, dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, kTexFvf, v.data(), 4, idx, 6, 0));
    EXPECT_EQ(0xFFFF0000u, rig.Pixel(0, 0));
    EXPECT_EQ(0xFF0000FFu, rig.Pixel(2, 0));
    EXPECT_EQ(0xFFAA0055u, rig.Pixel(4, 0));  // two thirds red
    EXPECT_EQ(0xFF5500AAu, rig.Pixel(6, 0));
    dev->SetTexture(0, nullptr);
    tex->Release();
}

TEST(Raster, OutputFormats) {
    const DDPIXELFORMAT formats[] = {sombrella::ddraw::FormatRGB565(), FormatRgb555(), FormatXrgb8888()};
    const uint32_t want[] = {0xF81Fu, 0x7C1Fu, 0xFFFF00FFu};
    for (int i = 0; i < 3; ++i) {
        Rig rig(4, 4, 0, formats[i]);
        rig.device->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
        DrawTl(rig.device, {{0, 0, 0, 1, 0xFFFF00FF}, {4, 0, 0, 1, 0xFFFF00FF}, {0, 4, 0, 1, 0xFFFF00FF}}, {0, 1, 2});
        EXPECT_EQ(want[i], rig.Pixel(0, 0));
    }
}

TEST(Raster, CullModes) {
    // Clockwise on screen: drawn under the default CCW culling, culled under CW.
    for (DWORD mode : {(DWORD)D3DCULL_CCW, (DWORD)D3DCULL_CW, (DWORD)D3DCULL_NONE}) {
        Rig rig(8, 8, 0, FormatXrgb8888());
        rig.device->SetRenderState(D3DRENDERSTATE_CULLMODE, mode);
        DrawTl(rig.device, {{0, 0, 0, 1, 0xFFFFFFFF}, {8, 0, 0, 1, 0xFFFFFFFF}, {0, 8, 0, 1, 0xFFFFFFFF}}, {0, 1, 2});
        DrawTl(rig.device, {{8, 8, 0, 1, 0xFF0000FF}, {8, 0, 0, 1, 0xFF0000FF}, {0, 8, 0, 1, 0xFF0000FF}}, {0, 1, 2});
        uint32_t cw = rig.Pixel(1, 1), ccw = rig.Pixel(6, 6);
        EXPECT_EQ(mode == D3DCULL_CW ? 0u : 0xFFFFFFu, cw & 0xFFFFFF) << mode;
        EXPECT_EQ(mode == D3DCULL_CCW ? 0u : 0x0000FFu, ccw & 0xFFFFFF) << mode;
    }
}

TEST(Raster, BadCallsDrawNothing) {
    Rig rig(8, 8, 16, FormatXrgb8888());
    IDirect3DDevice7* dev = rig.device;
    dev->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
    TlVertex v[3] = {{0, 0, 0, 1, 0xFFFFFFFF}, {8, 0, 0, 1, 0xFFFFFFFF}, {0, 8, 0, 1, 0xFFFFFFFF}};
    WORD good[3] = {0, 1, 2}, bad[3] = {0, 1, 3};
    EXPECT_LT(dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, kTlFvf, v, 3, bad, 3, 0), 0);
    EXPECT_LT(dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, kTlFvf, nullptr, 3, good, 3, 0), 0);
    EXPECT_LT(dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, kTlFvf, v, 3, nullptr, 3, 0), 0);
    EXPECT_LT(dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, kTlFvf, v, 3, good, 2, 0), 0);
    EXPECT_LT(dev->DrawIndexedPrimitive((D3DPRIMITIVETYPE)42, kTlFvf, v, 3, good, 3, 0), 0);
    EXPECT_LT(dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, D3DFVF_XYZ | D3DFVF_TEX2, v, 3, good, 3, 0), 0);
    EXPECT_LT(dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, kTlFvf | 0x1000, v, 3, good, 3, 0), 0);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) EXPECT_EQ(0u, rig.Pixel(x, y));
    EXPECT_EQ(D3D_OK, dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, kTlFvf, v, 3, good, 3, 0));
    EXPECT_EQ(0xFFFFFFFFu, rig.Pixel(1, 1));
}

// A busy scene rendered with 1, 2 and 3 rasterizer threads: same bytes.
TEST(Raster, PictureIndependentOfThreadCount) {
    std::vector<uint8_t> first;
    for (const char* threads : {"1", "2", "3"}) {
        setenv("SOMBRELLA_RASTER_THREADS", threads, 1);
        Rig rig(96, 80, 16);
        IDirect3DDevice7* dev = rig.device;
        dev->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
        dev->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, TRUE);
        dev->SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_ONE);
        dev->SetRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_ONE);
        dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1, 0);
        std::srand(7);
        ASSERT_EQ(D3D_OK, dev->BeginScene());
        for (int i = 0; i < 200; ++i) {
            std::vector<TlVertex> v;
            for (int k = 0; k < 3; ++k)
                v.push_back({(float)(std::rand() % 1200) / 10.0f - 10, (float)(std::rand() % 1000) / 10.0f - 10,
                             (float)(std::rand() % 100) / 100.0f, 1, (DWORD)(0xFF000000u | (std::rand() & 0x1F1F1F))});
            DrawTl(dev, v, {0, 1, 2});
        }
        ASSERT_EQ(D3D_OK, dev->EndScene());
        Image img = rig.Snapshot();
        if (first.empty())
            first = img.rgb;
        else
            EXPECT_EQ(first, img.rgb) << threads << " threads";
    }
    unsetenv("SOMBRELLA_RASTER_THREADS");
}

}  // namespace
