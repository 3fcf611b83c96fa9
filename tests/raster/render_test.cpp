// The rasterizer driven directly, with plain memory as its target.
#include <gtest/gtest.h>

#include "common/pixel_format.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <cstdio>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "d3d/raster/frame.h"
#include "d3d/raster/pipeline.h"
#include "d3d/raster/simd.h"
#include "d3d/raster/state.h"
#include "d3d/raster/texture.h"

namespace sombrella::d3d::raster {
namespace {

struct Vtx {
    float x, y, z, rhw;
    DWORD diffuse, specular;
    float u, v;
};
constexpr DWORD kFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX1;

std::vector<std::string> SimdTargets() {
    std::istringstream in(AvailableSimdTargets());
    std::vector<std::string> names;
    for (std::string n; in >> n;) names.push_back(n);
    return names;
}

struct Canvas {
    int w, h;
    ColorFormat format;
    int depthBytes;
    uint32_t depthMask;
    std::vector<uint8_t> color, depth;
    Canvas(int w_, int h_, ColorFormat f, int zb, uint32_t zmask)
        : w(w_), h(h_), format(f), depthBytes(zb), depthMask(zmask) {
        const int cb = f == ColorFormat::kXrgb8888 || f == ColorFormat::kArgb8888 ? 4 : 2;
        color.assign((size_t)w * h * cb, 0);
        depth.assign((size_t)w * h * zb, 0);
    }
    Target Describe() {
        Target t;
        const int cb = format == ColorFormat::kXrgb8888 || format == ColorFormat::kArgb8888 ? 4 : 2;
        t.color = color.data();
        t.colorPitch = w * cb;
        t.width = w;
        t.height = h;
        t.colorFormat = format;
        if (depthBytes) {
            t.depth = depth.data();
            t.depthPitch = w * depthBytes;
            t.depthWidth = w;
            t.depthHeight = h;
            t.depthBytes = depthBytes;
            t.depthMask = depthMask;
        }
        return t;
    }
    uint32_t Xrgb(int x, int y) const {
        uint32_t v;
        std::memcpy(&v, &color[((size_t)y * w + x) * 4], 4);
        return v;
    }
};

using pixel::Argb8888;

template <typename F>
std::shared_ptr<const TexImage> MakeTexture(int w, int h, bool mipmaps, F&& f) {
    std::vector<uint32_t> px((size_t)w * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) px[(size_t)y * w + x] = f(x, y);
    TextureSource s;
    s.bits = reinterpret_cast<const uint8_t*>(px.data());
    s.pitch = w * 4;
    s.width = w;
    s.height = h;
    s.format = Argb8888();
    s.bytesPerPixel = 4;
    return ConvertTexture(s, mipmaps);
}

DeviceState BaseState(int w, int h) {
    DeviceState s;
    ResetToDefaults(s, true);
    s.viewport = D3DVIEWPORT7{0, 0, (DWORD)w, (DWORD)h, 0.0f, 1.0f};
    s.renderState[D3DRENDERSTATE_CULLMODE] = D3DCULL_NONE;
    return s;
}

void Draw(Pipeline& p, const DeviceState& s, const Target& t, const std::vector<Vtx>& v) {
    std::vector<WORD> idx(v.size());
    for (size_t i = 0; i < v.size(); ++i) idx[i] = (WORD)i;
    ASSERT_EQ(D3D_OK, p.DrawIndexed(s, t, D3DPT_TRIANGLELIST, kFvf, v.data(), (DWORD)v.size(), idx.data(),
                                    (DWORD)idx.size()));
}

// Random triangles over (and past the edges of) the canvas.
std::vector<Vtx> Scene(int w, int h, uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> px(-8.0f, (float)w + 8.0f), py(-8.0f, (float)h + 8.0f);
    std::uniform_real_distribution<float> z(0.0f, 1.0f), rhw(0.2f, 2.0f), uv(-3.0f, 3.0f);
    std::vector<Vtx> v;
    for (int i = 0; i < 3 * 40; ++i)
        v.push_back({px(rng), py(rng), z(rng), rhw(rng), (DWORD)rng(), (DWORD)rng() & 0x00FFFFFFu, uv(rng), uv(rng)});
    return v;
}

struct Variant {
    const char* name;
    void (*apply)(DeviceState& s);
};

const Variant kVariants[] = {
    {"modulate point", [](DeviceState&) {}},
    {"modulate linear",
     [](DeviceState& s) {
         s.stageState[0][D3DTSS_MAGFILTER] = D3DTFG_LINEAR;
         s.stageState[0][D3DTSS_MINFILTER] = D3DTFN_LINEAR;
     }},
    {"filter by lod", [](DeviceState& s) { s.stageState[0][D3DTSS_MAGFILTER] = D3DTFG_LINEAR; }},
    {"blend and alpha test",
     [](DeviceState& s) {
         s.renderState[D3DRENDERSTATE_ALPHABLENDENABLE] = TRUE;
         s.renderState[D3DRENDERSTATE_SRCBLEND] = D3DBLEND_SRCALPHA;
         s.renderState[D3DRENDERSTATE_DESTBLEND] = D3DBLEND_INVSRCALPHA;
         s.renderState[D3DRENDERSTATE_ALPHATESTENABLE] = TRUE;
         s.renderState[D3DRENDERSTATE_ALPHAFUNC] = D3DCMP_GREATER;
         s.renderState[D3DRENDERSTATE_ALPHAREF] = 0x40;
         s.stageState[0][D3DTSS_MINFILTER] = D3DTFN_LINEAR;
     }},
    {"specular and combiner",
     [](DeviceState& s) {
         s.renderState[D3DRENDERSTATE_SPECULARENABLE] = TRUE;
         s.renderState[D3DRENDERSTATE_TEXTUREFACTOR] = 0x80C04020u;
         s.stageState[0][D3DTSS_COLOROP] = D3DTOP_ADDSIGNED;
         s.stageState[0][D3DTSS_COLORARG2] = D3DTA_TFACTOR | D3DTA_COMPLEMENT;
         s.stageState[0][D3DTSS_ALPHAOP] = D3DTOP_MODULATE;
         s.stageState[0][D3DTSS_ALPHAARG2] = D3DTA_DIFFUSE;
         s.renderState[D3DRENDERSTATE_ALPHABLENDENABLE] = TRUE;
         s.renderState[D3DRENDERSTATE_SRCBLEND] = D3DBLEND_DESTCOLOR;
         s.renderState[D3DRENDERSTATE_DESTBLEND] = D3DBLEND_SRCALPHASAT;
     }},
    {"mirror and clamp",
     [](DeviceState& s) {
         s.stageState[0][D3DTSS_ADDRESSU] = D3DTADDRESS_MIRROR;
         s.stageState[0][D3DTSS_ADDRESSV] = D3DTADDRESS_CLAMP;
         s.stageState[0][D3DTSS_MAGFILTER] = D3DTFG_LINEAR;
         s.stageState[0][D3DTSS_MINFILTER] = D3DTFN_LINEAR;
     }},
    {"depth greater, no write",
     [](DeviceState& s) {
         s.renderState[D3DRENDERSTATE_ZFUNC] = D3DCMP_GREATER;
         s.renderState[D3DRENDERSTATE_ZWRITEENABLE] = FALSE;
     }},
    {"mipmaps", [](DeviceState& s) { s.mipmaps = true; }},
    {"untextured", [](DeviceState& s) { s.texture[0] = nullptr; }},
};

// Renders every variant into a canvas; per variant, the bytes of colour and depth.
std::vector<std::vector<uint8_t>> RenderAll(ColorFormat format, int depthBytes, uint32_t depthMask, bool oddTexture) {
    std::vector<std::vector<uint8_t>> out;
    auto tex = oddTexture ? MakeTexture(12, 7, true, [](int x, int y) { return 0x40000000u * (uint32_t)(x & 3) + 0x00113355u * (uint32_t)(x + 3 * y); })
                          : MakeTexture(16, 8, true, [](int x, int y) { return (uint32_t)((x * 37 + y * 91) * 0x01030507u); });
    for (const Variant& variant : kVariants) {
        Canvas c(61, 45, format, depthBytes, depthMask);  // odd sizes: short last runs
        Pipeline p;
        DeviceState s = BaseState(c.w, c.h);
        s.texture[0] = tex;
        variant.apply(s);
        const Target t = c.Describe();
        EXPECT_EQ(D3D_OK, p.Clear(s, t, 0, nullptr, D3DCLEAR_TARGET | (depthBytes ? D3DCLEAR_ZBUFFER : 0), 0x80402010,
                                  s.renderState[D3DRENDERSTATE_ZFUNC] == D3DCMP_GREATER ? 0.0f : 1.0f));
        Draw(p, s, t, Scene(c.w, c.h, 7));
        p.Flush();
        out.push_back(c.color);
        out.back().insert(out.back().end(), c.depth.begin(), c.depth.end());
    }
    return out;
}

// The same bytes from every vector target, for every format, depth layout
// and pixel state: lanes never change a pixel.
TEST(RasterTargets, EveryTargetDrawsTheSameBytes) {
    const std::vector<std::string> targets = SimdTargets();
    struct Layout {
        ColorFormat format;
        int depthBytes;
        uint32_t mask;
    };
    const Layout layouts[] = {{ColorFormat::kRgb565, 2, 0xFFFFu},        {ColorFormat::kRgb555, 3, 0xFFFFFFu},
                              {ColorFormat::kXrgb8888, 4, 0xFFFFFF00u},  {ColorFormat::kArgb8888, 4, 0xFFFFFFFFu},
                              {ColorFormat::kRgb565, 0, 0}};
    for (const Layout& l : layouts)
        for (bool odd : {false, true}) {
            std::vector<std::vector<uint8_t>> first;
            for (const std::string& name : targets) {
                ASSERT_TRUE(ForceSimdTarget(name.c_str()));
                std::vector<std::vector<uint8_t>> pictures = RenderAll(l.format, l.depthBytes, l.mask, odd);
                if (first.empty()) {
                    first = pictures;
                    // Not blank pictures: many neighbouring bytes differ.
                    for (const std::vector<uint8_t>& bytes : pictures) {
                        size_t changed = 0;
                        for (size_t i = 0; i + 2 < bytes.size(); i += 2) changed += bytes[i] != bytes[i + 2];
                        EXPECT_GT(changed, bytes.size() / 16);
                    }
                    continue;
                }
                for (size_t v = 0; v < pictures.size(); ++v) {
                    const auto& a = pictures[v];
                    const auto& b = first[v];
                    size_t at = 0;
                    while (at < a.size() && a[at] == b[at]) ++at;
                    EXPECT_EQ(at, a.size()) << name << " differs from " << targets.front() << " in \""
                                            << kVariants[v].name << "\", format " << (int)l.format << ", depth "
                                            << l.depthBytes << (odd ? ", odd texture" : "") << ", first at byte " << at
                                            << " of " << a.size();
                }
            }
        }
    ForceSimdTarget(nullptr);
}

// Every pixel state in one frame, opaque ones between blended ones and a
// clear, a draw without the depth test, and the same triangles drawn again
// for depth ties: drawn in two passes, the colour and depth bytes are those
// of drawing the triangles one by one.
TEST(RasterTwoPass, OpaqueStretchesDrawWhatOneByOneDraws) {
    auto render = [](ColorFormat format, int depthBytes, uint32_t mask) {
        auto tex = MakeTexture(16, 8, true, [](int x, int y) { return (uint32_t)((x * 37 + y * 91) * 0x01030507u); });
        Canvas c(61, 45, format, depthBytes, mask);
        Pipeline p;
        const Target t = c.Describe();
        DeviceState s = BaseState(c.w, c.h);
        s.texture[0] = tex;
        EXPECT_EQ(D3D_OK, p.Clear(s, t, 0, nullptr, D3DCLEAR_TARGET | (depthBytes ? D3DCLEAR_ZBUFFER : 0), 0x80402010, 1.0f));
        for (size_t k = 0; k < std::size(kVariants); ++k) {
            DeviceState v = s;
            kVariants[k].apply(v);
            Draw(p, v, t, Scene(c.w, c.h, 11 + (uint32_t)k));
            if (k == 3) {
                const D3DRECT r{10, 5, 40, 30};
                EXPECT_EQ(D3D_OK, p.Clear(v, t, 1, &r, D3DCLEAR_TARGET | (depthBytes ? D3DCLEAR_ZBUFFER : 0),
                                          0xFF203040, 0.75f));
            }
        }
        DeviceState off = s;
        off.renderState[D3DRENDERSTATE_ZENABLE] = D3DZB_FALSE;
        Draw(p, off, t, Scene(c.w / 2, c.h, 5));
        // Ties: the first scene again in other colours, winning them under
        // LESSEQUAL, then tilted so each triangle is partly in front, partly
        // behind, under LESS. Each comes after a blended triangle, so it
        // starts a stretch of its own with the same triangles in order.
        for (DWORD func : {(DWORD)D3DCMP_LESSEQUAL, (DWORD)D3DCMP_LESS}) {
            DeviceState blend = s;
            kVariants[3].apply(blend);
            Draw(p, blend, t, {{0, 0, 0, 1, 0x80FFFFFF, 0, 0, 0}, {4, 0, 0, 1, 0x80FFFFFF, 0, 1, 0}, {0, 4, 0, 1, 0x80FFFFFF, 0, 0, 1}});
            std::vector<Vtx> again = Scene(c.w, c.h, 11);
            for (size_t i = 0; i < again.size(); ++i) {
                again[i].diffuse ^= func * 0x00336699u;
                if (func == D3DCMP_LESS && i % 3 != 2) again[i].z *= i % 3 == 0 ? 0.98f : 1.02f;
            }
            DeviceState v = s;
            v.renderState[D3DRENDERSTATE_ZFUNC] = func;
            Draw(p, v, t, again);
        }
        p.Flush();
        std::vector<uint8_t> bytes = c.color;
        bytes.insert(bytes.end(), c.depth.begin(), c.depth.end());
        return bytes;
    };
    struct Layout {
        ColorFormat format;
        int depthBytes;
        uint32_t mask;
    };
    const Layout layouts[] = {{ColorFormat::kRgb565, 2, 0xFFFFu},
                              {ColorFormat::kRgb555, 3, 0xFFFFFFu},
                              {ColorFormat::kXrgb8888, 4, 0xFFFFFF00u},
                              {ColorFormat::kRgb565, 0, 0}};
    for (const std::string& name : SimdTargets()) {
        ASSERT_TRUE(ForceSimdTarget(name.c_str()));
        for (const Layout& l : layouts) {
            SetOpaqueTwoPass(false);
            const std::vector<uint8_t> single = render(l.format, l.depthBytes, l.mask);
            SetOpaqueTwoPass(true);
            const std::vector<uint8_t> twoPass = render(l.format, l.depthBytes, l.mask);
            size_t at = 0;
            while (at < single.size() && single[at] == twoPass[at]) ++at;
            EXPECT_EQ(at, single.size()) << name << ", format " << (int)l.format << ", depth " << l.depthBytes
                                         << ": first difference at byte " << at << " of " << single.size();
        }
    }
    ForceSimdTarget(nullptr);
}

// A 1-texel checkerboard minified 4:1: with mips every pixel is close to
// the average grey; without, point sampling picks pure black or white.
TEST(RasterMipmaps, MinifiedCheckerboardAveragesOut) {
    for (bool mipmaps : {false, true}) {
        Canvas c(32, 32, ColorFormat::kXrgb8888, 2, 0xFFFFu);
        Pipeline p;
        DeviceState s = BaseState(c.w, c.h);
        s.texture[0] = MakeTexture(64, 64, mipmaps, [](int x, int y) { return ((x + y) & 1) ? 0xFFFFFFFFu : 0xFF000000u; });
        s.mipmaps = mipmaps;
        const Target t = c.Describe();
        ASSERT_EQ(D3D_OK, p.Clear(s, t, 0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFFFF0000u, 1.0f));
        const float e = 16.0f;
        std::vector<Vtx> v = {{0, 0, 0.5f, 1, 0xFFFFFFFF, 0, 0, 0}, {e, 0, 0.5f, 1, 0xFFFFFFFF, 0, 1, 0},
                              {e, e, 0.5f, 1, 0xFFFFFFFF, 0, 1, 1}, {0, 0, 0.5f, 1, 0xFFFFFFFF, 0, 0, 0},
                              {e, e, 0.5f, 1, 0xFFFFFFFF, 0, 1, 1}, {0, e, 0.5f, 1, 0xFFFFFFFF, 0, 0, 1}};
        Draw(p, s, t, v);
        p.Flush();
        int extreme = 0;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) {
                const uint32_t px = c.Xrgb(x, y);
                const int g = (int)(px & 255);
                ASSERT_EQ(g, (int)((px >> 16) & 255)) << "not drawn at " << x << "," << y;
                if (mipmaps) {
                    EXPECT_NEAR(g, 128, 8) << x << "," << y;
                }
                extreme += g == 0 || g == 255;
            }
        if (!mipmaps) {
            EXPECT_EQ(extreme, 256);
        }
    }
}

// Trilinear filtering between two levels keeps the channels apart.
TEST(RasterMipmaps, StripesAverageInEveryChannel) {
    Canvas c(64, 64, ColorFormat::kXrgb8888, 2, 0xFFFFu);
    Pipeline p;
    DeviceState s = BaseState(c.w, c.h);
    // Stripes of 1 texel: red and blue columns, average purple.
    s.texture[0] = MakeTexture(64, 64, true, [](int x, int) { return (x & 1) ? 0xFFFF0000u : 0xFF0000FFu; });
    s.mipmaps = true;
    const Target t = c.Describe();
    ASSERT_EQ(D3D_OK, p.Clear(s, t, 0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF00FF00u, 1.0f));
    // Minified 4:1 in u: level 2, where every texel is the average.
    std::vector<Vtx> v = {{0, 0, 0.5f, 1, 0xFFFFFFFF, 0, 0, 0},      {64, 0, 0.5f, 1, 0xFFFFFFFF, 0, 4, 0},
                          {64, 64, 0.5f, 1, 0xFFFFFFFF, 0, 4, 1},    {0, 0, 0.5f, 1, 0xFFFFFFFF, 0, 0, 0},
                          {64, 64, 0.5f, 1, 0xFFFFFFFF, 0, 4, 1},    {0, 64, 0.5f, 1, 0xFFFFFFFF, 0, 0, 1}};
    Draw(p, s, t, v);
    p.Flush();
    for (int y = 0; y < 64; y += 7)
        for (int x = 0; x < 64; ++x) {
            const uint32_t px = c.Xrgb(x, y);
            const int r = (int)((px >> 16) & 255), b = (int)(px & 255);
            ASSERT_EQ((px >> 8) & 255, 0u) << "not drawn at " << x << "," << y;
            EXPECT_NEAR(r, 128, 10) << x << "," << y;
            EXPECT_NEAR(r + b, 255, 4);
        }
}

// A floor repeating its texture 1,000 times, drawn through the transform
// and near-plane clipping: every pixel's texel against an exact ray cast, as
// a displacement in pixels (texels off over texels per pixel), for a level
// camera and a turned, tilted one.
double WorstFloorDisplacement(double yaw, double pitch, int* checked) {
    const int W = 640, H = 480;
    Canvas c(W, H, ColorFormat::kXrgb8888, 2, 0xFFFFu);
    Pipeline p;
    DeviceState s = BaseState(W, H);
    s.renderState[D3DRENDERSTATE_LIGHTING] = FALSE;
    // Texel (x, y) reads back as red x, green y.
    s.texture[0] = MakeTexture(256, 256, false,
                               [](int x, int y) { return 0xFF000000u | (uint32_t)x << 16 | (uint32_t)y << 8; });
    // Camera at the origin, 1 above the floor; F pixels of focal length.
    const double F = 400, x0 = -5000, x1 = 5000, z0 = -5000, z1 = 5000, repeats = 1000;
    const double cy = std::cos(yaw), sy = std::sin(yaw), cp = std::cos(pitch), sp = std::sin(pitch);
    D3DMATRIX& v = s.view;
    v = D3DMATRIX{};
    v._11 = (float)cy, v._12 = (float)(-sp * sy), v._13 = (float)(cp * sy);
    v._22 = (float)cp, v._23 = (float)sp;
    v._31 = (float)-sy, v._32 = (float)(-sp * cy), v._33 = (float)(cp * cy);
    v._44 = 1;
    const float zn = 0.1f, zf = 20000.0f;
    D3DMATRIX& pr = s.projection;
    pr = D3DMATRIX{};
    pr._11 = (float)(2 * F / W), pr._22 = (float)(2 * F / H);
    pr._33 = zf / (zf - zn), pr._34 = 1, pr._43 = -zn * zf / (zf - zn);
    s.transformVersion++;
    const Target t = c.Describe();
    EXPECT_EQ(D3D_OK, p.Clear(s, t, 0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF0000FFu, 1.0f));
    struct V3 {
        float x, y, z;
        DWORD diffuse;
        float u, v;
    };
    const V3 floor[4] = {{(float)x0, -1, (float)z0, 0xFFFFFFFF, 0, 0},
                         {(float)x1, -1, (float)z0, 0xFFFFFFFF, (float)repeats, 0},
                         {(float)x1, -1, (float)z1, 0xFFFFFFFF, (float)repeats, (float)repeats},
                         {(float)x0, -1, (float)z1, 0xFFFFFFFF, 0, (float)repeats}};
    const WORD idx[6] = {0, 2, 1, 0, 3, 2};
    s.renderState[D3DRENDERSTATE_CULLMODE] = D3DCULL_NONE;
    EXPECT_EQ(D3D_OK, p.DrawIndexed(s, t, D3DPT_TRIANGLELIST, D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1, floor, 4,
                                    idx, 6));
    p.Flush();
    // Where the ray through a pixel position meets the floor, in texels (false: it misses).
    auto hit = [&](double px, double py, double* tu, double* tv) {
        const double d[3] = {(px - 320) / F, -(py - 240) / F, 1};
        // Camera to world: undo the tilt, then the turn.
        const double y = cp * d[1] + sp * d[2], zr = -sp * d[1] + cp * d[2];
        const double x = cy * d[0] + sy * zr, z = -sy * d[0] + cy * zr;
        if (y >= -1e-9) return false;
        const double k = -1 / y, wx = x * k, wz = z * k;
        if (wx < x0 + 1 || wx > x1 - 1 || wz < z0 + 1 || wz > z1 - 1 || k * std::hypot(x, z) > 2000) return false;
        *tu = (wx - x0) / (x1 - x0) * repeats * 256;
        *tv = (wz - z0) / (z1 - z0) * repeats * 256;
        return true;
    };
    auto miss = [](double exact, int texel) {  // texels from exact to [texel, texel + 1), wrapping
        double f = std::fmod(exact, 256.0);
        if (f < 0) f += 256;
        if (f >= texel && f < texel + 1) return 0.0;
        const double ahead = std::fmod(texel - f + 512.0, 256.0);
        const double behind = std::fmod(f - (texel + 1) + 512.0, 256.0);
        return std::min(ahead, behind);
    };
    double worst = 0;
    *checked = 0;
    for (int py = 0; py < H; ++py)
        for (int px = 0; px < W; ++px) {
            double tu, tv, tux, tvx, tuy, tvy;
            if (!hit(px, py, &tu, &tv) || !hit(px + 1, py, &tux, &tvx) || !hit(px, py + 1, &tuy, &tvy)) continue;
            const uint32_t got = c.Xrgb(px, py);
            EXPECT_EQ(got & 255u, 0u) << "not drawn at " << px << "," << py;
            // Texels per pixel along each texture axis's screen gradient.
            const double gu = std::hypot(tux - tu, tuy - tu), gv = std::hypot(tvx - tv, tvy - tv);
            const double du = miss(tu, (int)((got >> 16) & 255)) / gu;
            const double dv = miss(tv, (int)((got >> 8) & 255)) / gv;
            worst = std::max(worst, std::max(du, dv));
            ++*checked;
        }
    return worst;
}

TEST(RasterRepeat, ThousandRepeatsSampleWhereTheRayHits) {
    const double views[2][2] = {{0, 0}, {0.35, -0.25}};
    for (const auto& view : views) {
        int checked = 0;
        const double worst = WorstFloorDisplacement(view[0], view[1], &checked);
        EXPECT_GT(checked, 50000);
        EXPECT_LE(worst, 0.1) << "worst displacement in pixels, yaw " << view[0] << " pitch " << view[1];
        std::printf("yaw %.2f pitch %.2f: worst displacement %.4f px over %d pixels\n", view[0], view[1], worst,
                    checked);
    }
}

}  // namespace
}  // namespace sombrella::d3d::raster
