// The worker-thread half: clears and triangle scan conversion per band.
//
// Conventions (those of D3D7): pixel centres sit at integer screen
// coordinates; a pixel is covered when its centre is inside the triangle,
// and a centre exactly on an edge belongs to the triangle only on a top or
// left edge. Edges are stepped exactly in 28.4 fixed point, so triangles
// that share an edge never both cover, or both miss, a pixel on it.
#include <emmintrin.h>

#include <algorithm>
#include <cstring>

#include "common/pixel_format.h"
#include "d3d/raster/frame.h"

namespace sombrella::d3d::raster {
namespace {

int64_t FloorDiv(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }
int64_t CeilDiv(int64_t a, int64_t b) { return -FloorDiv(-a, b); }

// The first pixel column at or right of an edge, row by row: x = ceil(n / d).
struct Edge {
    int64_t q, r, d, qs, rs;
    void Init(int32_t xa, int32_t ya, int32_t xb, int32_t yb, int row) {
        int64_t dy = yb - ya;
        d = dy * kSubOne;
        int64_t n = (int64_t)xa * dy + ((int64_t)row * kSubOne - ya) * (xb - xa);
        q = CeilDiv(n, d);
        r = q * d - n;
        int64_t step = (int64_t)kSubOne * (xb - xa);
        qs = FloorDiv(step, d);
        rs = step - qs * d;
    }
    void Step() {
        q += qs;
        r -= rs;
        if (r < 0) {
            ++q;
            r += d;
        }
    }
};

inline int Clamp255(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }
inline int32_t ToFix(float v) {
    float f = v * 65536.0f;
    if (!(f > -2.0e9f)) f = -2.0e9f;
    if (f > 2.0e9f) f = 2.0e9f;
    return (int32_t)f;
}
// a * b / 255, rounded.
inline int Mul255(int a, int b) {
    int t = a * b + 128;
    return (t + (t >> 8)) >> 8;
}

struct Rgba {
    int r, g, b, a;
};

inline Rgba Unpack(uint32_t argb) {
    return {(int)((argb >> 16) & 255), (int)((argb >> 8) & 255), (int)(argb & 255), (int)(argb >> 24)};
}

// Destination alpha reads as opaque in formats without an alpha channel.
inline void ReadColor(const uint8_t* p, ColorFormat f, int* r, int* g, int* b, int* a) {
    *a = 255;
    if (f == ColorFormat::kXrgb8888 || f == ColorFormat::kArgb8888) {
        uint32_t v;
        std::memcpy(&v, p, 4);
        *r = (v >> 16) & 255, *g = (v >> 8) & 255, *b = v & 255;
        if (f == ColorFormat::kArgb8888) *a = (int)(v >> 24);
        return;
    }
    uint16_t v;
    std::memcpy(&v, p, 2);
    const uint32_t c = f == ColorFormat::kRgb565 ? pixel::Rgb565ToArgb(v) : pixel::Rgb555ToArgb(v);
    *r = (int)((c >> 16) & 255), *g = (int)((c >> 8) & 255), *b = (int)(c & 255);
}

// Alpha is stored only where the format has a channel for it.
inline void WriteColor(uint8_t* p, ColorFormat f, int r, int g, int b, int a) {
    if (f == ColorFormat::kRgb565) {
        uint16_t v = (uint16_t)(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
        std::memcpy(p, &v, 2);
    } else if (f == ColorFormat::kRgb555) {
        uint16_t v = (uint16_t)(((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3));
        std::memcpy(p, &v, 2);
    } else {
        uint32_t alpha = f == ColorFormat::kArgb8888 ? (uint32_t)a << 24 : 0xFF000000u;
        uint32_t v = alpha | ((uint32_t)r << 16) | ((uint32_t)g << 8) | (uint32_t)b;
        std::memcpy(p, &v, 4);
    }
}

inline int BytesOf(ColorFormat f) { return f == ColorFormat::kXrgb8888 || f == ColorFormat::kArgb8888 ? 4 : 2; }

inline bool Compare(DWORD func, uint32_t a, uint32_t b) {
    switch (func) {
    case D3DCMP_NEVER: return false;
    case D3DCMP_LESS: return a < b;
    case D3DCMP_EQUAL: return a == b;
    case D3DCMP_LESSEQUAL: return a <= b;
    case D3DCMP_GREATER: return a > b;
    case D3DCMP_NOTEQUAL: return a != b;
    case D3DCMP_GREATEREQUAL: return a >= b;
    default: return true;
    }
}

template <int kBytes>
inline uint32_t LoadDepth(const uint8_t* p) {
    if constexpr (kBytes == 2) {
        uint16_t v;
        std::memcpy(&v, p, 2);
        return v;
    } else if constexpr (kBytes == 4) {
        uint32_t v;
        std::memcpy(&v, p, 4);
        return v;
    } else {
        return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16);
    }
}

template <int kBytes>
inline void StoreDepth(uint8_t* p, uint32_t v) {
    if constexpr (kBytes == 2) {
        uint16_t w = (uint16_t)v;
        std::memcpy(p, &w, 2);
    } else if constexpr (kBytes == 4) {
        std::memcpy(p, &v, 4);
    } else {
        p[0] = (uint8_t)v, p[1] = (uint8_t)(v >> 8), p[2] = (uint8_t)(v >> 16);
    }
}

inline uint32_t DepthFromFloat(float z, uint32_t max) {
    if (!(z > 0.0f)) return 0;
    if (z >= (float)max) return max;
    return (uint32_t)(int64_t)z;
}

inline int BlendFactor(DWORD f, int srcC, int srcA, int dstC, int dstA) {
    switch (f) {
    case D3DBLEND_ZERO: return 0;
    case D3DBLEND_ONE: return 255;
    case D3DBLEND_SRCCOLOR: return srcC;
    case D3DBLEND_INVSRCCOLOR: return 255 - srcC;
    case D3DBLEND_SRCALPHA: return srcA;
    case D3DBLEND_INVSRCALPHA: return 255 - srcA;
    case D3DBLEND_DESTALPHA: return dstA;
    case D3DBLEND_INVDESTALPHA: return 255 - dstA;
    case D3DBLEND_DESTCOLOR: return dstC;
    case D3DBLEND_INVDESTCOLOR: return 255 - dstC;
    case D3DBLEND_SRCALPHASAT: return std::min(srcA, 255 - dstA);
    default: return 255;
    }
}

// The factor applied to the alpha channel: colour factors use the alpha
// of the same operand, and SRCALPHASAT leaves alpha whole.
inline int BlendAlphaFactor(DWORD f, int srcA, int dstA) {
    if (f == D3DBLEND_SRCALPHASAT) return 255;
    return BlendFactor(f, srcA, srcA, dstA, dstA);
}

inline Rgba StageArg(DWORD arg, const Rgba& diffuse, const Rgba& tex, const Rgba& factor, const Rgba& spec) {
    Rgba v;
    switch (arg & D3DTA_SELECTMASK) {
    case D3DTA_TEXTURE: v = tex; break;
    case D3DTA_TFACTOR: v = factor; break;
    case D3DTA_SPECULAR: v = spec; break;
    default: v = diffuse; break;  // DIFFUSE, and CURRENT at stage 0
    }
    if (arg & D3DTA_COMPLEMENT) v = {255 - v.r, 255 - v.g, 255 - v.b, 255 - v.a};
    if (arg & D3DTA_ALPHAREPLICATE) v.r = v.g = v.b = v.a;
    return v;
}

inline int StageOp(DWORD op, int a1, int a2, int diffA, int texA, int factorA, int diffuse) {
    switch (op) {
    case D3DTOP_SELECTARG1: return a1;
    case D3DTOP_SELECTARG2: return a2;
    case D3DTOP_MODULATE: return Mul255(a1, a2);
    case D3DTOP_MODULATE2X: return Clamp255(Mul255(a1, a2) * 2);
    case D3DTOP_MODULATE4X: return Clamp255(Mul255(a1, a2) * 4);
    case D3DTOP_ADD: return Clamp255(a1 + a2);
    case D3DTOP_ADDSIGNED: return Clamp255(a1 + a2 - 128);
    case D3DTOP_ADDSIGNED2X: return Clamp255((a1 + a2 - 128) * 2);
    case D3DTOP_SUBTRACT: return Clamp255(a1 - a2);
    case D3DTOP_ADDSMOOTH: return Clamp255(a1 + a2 - Mul255(a1, a2));
    case D3DTOP_BLENDDIFFUSEALPHA: return Mul255(a1, diffA) + Mul255(a2, 255 - diffA);
    case D3DTOP_BLENDTEXTUREALPHA: return Mul255(a1, texA) + Mul255(a2, 255 - texA);
    case D3DTOP_BLENDFACTORALPHA: return Mul255(a1, factorA) + Mul255(a2, 255 - factorA);
    default: return diffuse;  // DISABLE: stage 0 passes the diffuse colour on
    }
}

Rgba Combine(const PixelState& ps, const Rgba& diffuse, const Rgba& tex, const Rgba& spec) {
    Rgba factor = Unpack(ps.textureFactor);
    Rgba c1 = StageArg(ps.colorArg1, diffuse, tex, factor, spec);
    Rgba c2 = StageArg(ps.colorArg2, diffuse, tex, factor, spec);
    Rgba a1 = StageArg(ps.alphaArg1, diffuse, tex, factor, spec);
    Rgba a2 = StageArg(ps.alphaArg2, diffuse, tex, factor, spec);
    Rgba out;
    out.r = StageOp(ps.colorOp, c1.r, c2.r, diffuse.a, tex.a, factor.a, diffuse.r);
    out.g = StageOp(ps.colorOp, c1.g, c2.g, diffuse.a, tex.a, factor.a, diffuse.g);
    out.b = StageOp(ps.colorOp, c1.b, c2.b, diffuse.a, tex.a, factor.a, diffuse.b);
    out.a = StageOp(ps.colorOp == D3DTOP_DISABLE ? (DWORD)D3DTOP_DISABLE : ps.alphaOp, a1.a, a2.a, diffuse.a, tex.a,
                    factor.a, diffuse.a);
    return out;
}

// Bilinear fetch (power-of-two, wrapping) modulated by the diffuse colour,
// four channels at a time in 16-bit lanes. Returns ARGB with the texture's alpha.
__attribute__((always_inline)) inline uint32_t LinearModulate(const TexImage& t, int32_t u, int32_t v,
                                                               __m128i diffuse) {
    u = (int32_t)((uint32_t)u - 32768u);
    v = (int32_t)((uint32_t)v - 32768u);
    uint32_t x0 = (uint32_t)(u >> 16) & t.maskX, x1 = (x0 + 1) & t.maskX;
    uint32_t y0 = (uint32_t)(v >> 16) & t.maskY, y1 = (y0 + 1) & t.maskY;
    int fx = (int)(((uint32_t)u >> 8) & 255u), fy = (int)(((uint32_t)v >> 8) & 255u);
    const uint32_t* r0 = &t.texels[y0 << t.shiftX];
    const uint32_t* r1 = &t.texels[y1 << t.shiftX];
    const __m128i zero = _mm_setzero_si128();
    __m128i top = _mm_unpacklo_epi8(_mm_set_epi32(0, 0, (int)r0[x1], (int)r0[x0]), zero);
    __m128i bottom = _mm_unpacklo_epi8(_mm_set_epi32(0, 0, (int)r1[x1], (int)r1[x0]), zero);
    // Blend in y first (both columns at once), then in x.
    __m128i wy0 = _mm_set1_epi16((short)(256 - fy)), wy1 = _mm_set1_epi16((short)fy);
    __m128i col = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(top, wy0), _mm_mullo_epi16(bottom, wy1)), 8);
    __m128i wx = _mm_set_epi16((short)fx, (short)fx, (short)fx, (short)fx, (short)(256 - fx), (short)(256 - fx),
                               (short)(256 - fx), (short)(256 - fx));
    __m128i prod = _mm_mullo_epi16(col, wx);
    __m128i texel = _mm_srli_epi16(_mm_add_epi16(prod, _mm_srli_si128(prod, 8)), 8);
    // x * d / 255 rounded: t = x * d + 128; (t + (t >> 8)) >> 8.
    __m128i m = _mm_add_epi16(_mm_mullo_epi16(texel, diffuse), _mm_set1_epi16(128));
    m = _mm_srli_epi16(_mm_add_epi16(m, _mm_srli_epi16(m, 8)), 8);
    return (uint32_t)_mm_cvtsi128_si32(_mm_packus_epi16(m, zero));
}

// Texture coordinates are exact (perspective-divided) at the ends of runs of
// kRun pixels and stepped linearly in between; the filter choice between
// magnification and minification is made per run.
constexpr int kRun = 8;

inline int FloorInt(float v) {
    if (!(v > -1.0e9f)) return 0;  // NaN and absurd values: any start will do
    if (v > 1.0e9f) return 0;
    int i = (int)v;
    return i - (v < (float)i);
}

inline int32_t ToTexel(float v) {
    if (!(v > -1.0e9f)) v = -1.0e9f;
    if (v > 1.0e9f) v = 1.0e9f;
    return (int32_t)v;
}

template <int kDepth, TexMode kTex, bool kFast>
void ShadeSpan(const Triangle& t, const PixelState& ps, int y, int x0, int x1) {
    const float fx = (float)x0 - t.refX, fy = (float)y - t.refY;
    auto at = [&](int a) { return t.plane[a].at + t.plane[a].dx * fx + t.plane[a].dy * fy; };
    float z = at(kZ);
    const float zdx = t.plane[kZ].dx;
    // Colours in 16.16 with a half added, so the shift below rounds.
    // Stepped with wrap-around arithmetic; read back as signed 16.16.
    const uint32_t half = 1u << 15;
    auto fix = [&](int a) { return (uint32_t)ToFix(at(a)) + half; };
    auto step = [&](int a) { return (uint32_t)ToFix(t.plane[a].dx); };
    uint32_t r = fix(kR), g = fix(kG), b = fix(kB), a = fix(kA);
    const uint32_t rdx = step(kR), gdx = step(kG), bdx = step(kB), adx = step(kA);
    uint32_t sr = 0, sg = 0, sb = 0, srdx = 0, sgdx = 0, sbdx = 0;
    if (ps.specular || !kFast) {
        sr = fix(kSR), sg = fix(kSG), sb = fix(kSB);
        srdx = step(kSR), sgdx = step(kSG), sbdx = step(kSB);
    }
    auto level = [](uint32_t v) { return Clamp255((int32_t)v >> 16); };
    const Target& tg = ps.target;
    const ColorFormat format = tg.colorFormat;
    const int cbytes = BytesOf(format);
    uint8_t* cp = tg.color + (ptrdiff_t)y * tg.colorPitch + (ptrdiff_t)x0 * cbytes;
    uint8_t* zp = nullptr;
    const uint32_t zmask = tg.depthMask;
    const int zshift = ps.depthShift;
    if constexpr (kDepth != 0) zp = tg.depth + (ptrdiff_t)y * tg.depthPitch + (ptrdiff_t)x0 * kDepth;
    const DWORD zfunc = ps.depthFunc;
    const bool zwrite = ps.depthWrite;

    const TexImage* tex = ps.texture.get();
    const DWORD au = ps.addressU, av = ps.addressV;
    // Power-of-two textures wrapping both ways take the fixed-point path.
    const bool fixedWrap = kTex != TexMode::kNone && tex->pow2 && au == D3DTADDRESS_WRAP && av == D3DTADDRESS_WRAP;
    float q = 0, s = 0, tq = 0, qdx = 0, sdx = 0, tdx = 0, texW = 0, texH = 0;
    if constexpr (kTex != TexMode::kNone) {
        q = at(kQ), s = at(kSQ), tq = at(kTQ);
        qdx = t.plane[kQ].dx, sdx = t.plane[kSQ].dx, tdx = t.plane[kTQ].dx;
        texW = (float)tex->width;
        texH = (float)tex->height;
    }

    for (int x = x0; x < x1;) {
        const int runEnd = std::min(x + kRun, x1);
        const int n = runEnd - x;
        // Depth first: a run hidden behind what is drawn costs little.
        uint32_t passMask = (1u << n) - 1;
        uint32_t zvals[kRun], zraws[kRun];
        if constexpr (kDepth != 0) {
            passMask = 0;
            for (int i = 0; i < n; ++i) {
                uint32_t zi = DepthFromFloat(z, ps.depthMax);
                uint32_t zraw = LoadDepth<kDepth>(zp + i * kDepth);
                passMask |= (uint32_t)Compare(zfunc, zi, (zraw & zmask) >> zshift) << i;
                zvals[i] = zi;
                zraws[i] = zraw;
                z += zdx;
            }
        }
        // Texture coordinates at both ends of the run.
        float u = 0, v = 0, du = 0, dv = 0;
        uint32_t U = 0, V = 0, dU = 0, dV = 0;
        bool linear = false;
        if constexpr (kTex != TexMode::kNone) {
            float qe = q + qdx * n, se = s + sdx * n, te = tq + tdx * n;
            if (passMask) {
                float w0 = 1.0f / q;
                float w1 = 1.0f / qe;
                u = s * w0, v = tq * w0;
                float ue = se * w1, ve = te * w1;
                float inv = 1.0f / (float)n;
                du = (ue - u) * inv, dv = (ve - v) * inv;
                if constexpr (kTex == TexMode::kLinear) {
                    linear = true;
                } else if constexpr (kTex == TexMode::kLodSelect) {
                    // Magnified when a pixel step spans at most one texel.
                    float dudy = (t.plane[kSQ].dy - u * t.plane[kQ].dy) * w0;
                    float dvdy = (t.plane[kTQ].dy - v * t.plane[kQ].dy) * w0;
                    float rx = du * du * texW * texW + dv * dv * texH * texH;
                    float ry = dudy * dudy * texW * texW + dvdy * dvdy * texH * texH;
                    linear = std::max(rx, ry) <= 1.0f ? ps.magLinear : ps.minLinear;
                }
                if (fixedWrap) {
                    // Relative to a whole number of repeats, so the values stay small.
                    const float su = texW * 65536.0f, sv = texH * 65536.0f;
                    U = (uint32_t)ToTexel((u - (float)FloorInt(u)) * su);
                    V = (uint32_t)ToTexel((v - (float)FloorInt(v)) * sv);
                    dU = (uint32_t)ToTexel(du * su);
                    dV = (uint32_t)ToTexel(dv * sv);
                }
            }
            q = qe, s = se, tq = te;
        }
        if (!passMask) {
            const uint32_t un = (uint32_t)n;
            r += rdx * un, g += gdx * un, b += bdx * un, a += adx * un;
            sr += srdx * un, sg += sgdx * un, sb += sbdx * un;
            cp += cbytes * n;
            if constexpr (kDepth != 0) zp += kDepth * n;
            x = runEnd;
            continue;
        }
        for (int i = 0; i < n; ++i) {
            if ((passMask >> i) & 1u) {
                uint32_t texel = 0xFFFFFFFFu;
                int cr = level(r), cg = level(g), cb = level(b), ca;
                bool done = false;
                if constexpr (kFast && kTex != TexMode::kNone) {
                    if (fixedWrap && linear) {
                        __m128i d = _mm_set_epi16(0, 0, 0, 0, 255, (short)cr, (short)cg, (short)cb);
                        uint32_t c = LinearModulate(*tex, (int32_t)U, (int32_t)V, d);
                        cr = (int)((c >> 16) & 255), cg = (int)((c >> 8) & 255), cb = (int)(c & 255);
                        ca = (int)(c >> 24);
                        done = true;
                    }
                }
                if (!done) {
                    if constexpr (kTex != TexMode::kNone) {
                        if (fixedWrap) {
                            texel = linear ? FetchLinearWrap(*tex, (int32_t)U, (int32_t)V) : FetchPointWrap(*tex, (int32_t)U, (int32_t)V);
                        } else {
                            texel = linear ? SampleLinear(*tex, u, v, au, av) : SamplePoint(*tex, u, v, au, av);
                        }
                    } else {
                        // No texture: stages reading one were turned into a
                        // pass-through of the diffuse colour; white with the
                        // diffuse alpha keeps the modulating fast path exact.
                        texel = 0x00FFFFFFu | ((uint32_t)level(a) << 24);
                    }
                    if constexpr (kFast) {
                        cr = Mul255((int)((texel >> 16) & 255), cr);
                        cg = Mul255((int)((texel >> 8) & 255), cg);
                        cb = Mul255((int)(texel & 255), cb);
                        ca = (int)(texel >> 24);
                    } else {
                        Rgba diffuse{cr, cg, cb, level(a)};
                        Rgba spec{level(sr), level(sg), level(sb), 255};
                        Rgba c = Combine(ps, diffuse, Unpack(texel), spec);
                        cr = c.r, cg = c.g, cb = c.b, ca = c.a;
                    }
                }
                if (ps.specular) {
                    cr = std::min(255, cr + level(sr));
                    cg = std::min(255, cg + level(sg));
                    cb = std::min(255, cb + level(sb));
                }
                if (!ps.alphaTest || Compare(ps.alphaFunc, (uint32_t)ca, ps.alphaRef)) {
                    if constexpr (kDepth != 0) {
                        if (zwrite) StoreDepth<kDepth>(zp, (zraws[i] & ~zmask) | ((zvals[i] << zshift) & zmask));
                    }
                    if (ps.blend) {
                        int dr, dg, db, da;
                        ReadColor(cp, format, &dr, &dg, &db, &da);
                        int fsr = BlendFactor(ps.srcBlend, cr, ca, dr, da),
                            fsg = BlendFactor(ps.srcBlend, cg, ca, dg, da),
                            fsb = BlendFactor(ps.srcBlend, cb, ca, db, da);
                        int fdr = BlendFactor(ps.dstBlend, cr, ca, dr, da),
                            fdg = BlendFactor(ps.dstBlend, cg, ca, dg, da),
                            fdb = BlendFactor(ps.dstBlend, cb, ca, db, da);
                        cr = std::min(255, Mul255(cr, fsr) + Mul255(dr, fdr));
                        cg = std::min(255, Mul255(cg, fsg) + Mul255(dg, fdg));
                        cb = std::min(255, Mul255(cb, fsb) + Mul255(db, fdb));
                        ca = std::min(255, Mul255(ca, BlendAlphaFactor(ps.srcBlend, ca, da)) +
                                               Mul255(da, BlendAlphaFactor(ps.dstBlend, ca, da)));
                    }
                    WriteColor(cp, format, cr, cg, cb, ca);
                }
            }
            r += rdx, g += gdx, b += bdx, a += adx;
            sr += srdx, sg += sgdx, sb += sbdx;
            U += dU, V += dV;
            u += du, v += dv;
            cp += cbytes;
            if constexpr (kDepth != 0) zp += kDepth;
        }
        x = runEnd;
    }
}

// FloorInt and ToTexel on four lanes, with the same results.
inline __m128i FloorInt4(__m128 v) {
    const __m128 valid = _mm_and_ps(_mm_cmpgt_ps(v, _mm_set1_ps(-1.0e9f)), _mm_cmple_ps(v, _mm_set1_ps(1.0e9f)));
    __m128i i = _mm_cvttps_epi32(v);
    i = _mm_add_epi32(i, _mm_castps_si128(_mm_cmplt_ps(v, _mm_cvtepi32_ps(i))));  // minus one below zero
    return _mm_and_si128(i, _mm_castps_si128(valid));
}
inline __m128i ToTexel4(__m128 v) {
    v = _mm_max_ps(v, _mm_set1_ps(-1.0e9f));  // NaN takes the second operand
    return _mm_cvttps_epi32(_mm_min_ps(v, _mm_set1_ps(1.0e9f)));
}

// (0, d, 2d, 3d) for d broadcast in all four 32-bit lanes: pixel offsets
// within a group of four, without scalar multiplies.
inline __m128i LaneSteps(__m128i d) {
    return _mm_add_epi32(_mm_add_epi32(_mm_slli_si128(d, 4), _mm_slli_si128(d, 8)), _mm_slli_si128(d, 12));
}

// Eight 32-bit texels (two registers, ARGB8888) split into 16-bit channel lanes.
struct Channels {
    __m128i r, g, b;
};
__attribute__((always_inline)) inline Channels SplitArgb(__m128i lo, __m128i hi) {
    // A byte transpose: three rounds of interleaving give B0..B7 G0..G7 and
    // R0..R7 A0..A7, then widen to 16 bits.
    const __m128i a = _mm_unpacklo_epi8(lo, hi), b = _mm_unpackhi_epi8(lo, hi);
    const __m128i c = _mm_unpacklo_epi8(a, b), d = _mm_unpackhi_epi8(a, b);
    const __m128i bg = _mm_unpacklo_epi8(c, d), ra = _mm_unpackhi_epi8(c, d);
    const __m128i zero = _mm_setzero_si128();
    Channels ch;
    ch.b = _mm_unpacklo_epi8(bg, zero);
    ch.g = _mm_unpackhi_epi8(bg, zero);
    ch.r = _mm_unpacklo_epi8(ra, zero);
    return ch;
}

// Bilinear texels (power-of-two, wrapping) for a run of eight pixels given
// their 16.16 texel coordinates, rounded exactly as LinearModulate. Two
// channels share each 32-bit lane (B|R and G|A), so one 16-bit multiply
// weighs both and no per-pixel shuffling is needed.
__attribute__((always_inline)) inline Channels LinearTexels8(const TexImage& t, const __m128i (&us)[2],
                                                              const __m128i (&vs)[2]) {
    const __m128i maskX = _mm_set1_epi32((int)t.maskX), maskY = _mm_set1_epi32((int)t.maskY);
    const __m128i shiftX = _mm_cvtsi32_si128(t.shiftX);
    const __m128i one = _mm_set1_epi32(1), low8 = _mm_set1_epi32(255), pairs = _mm_set1_epi32(0x00FF00FF);
    const __m128i w256 = _mm_set1_epi32(0x01000100);
    const uint32_t* texels = t.texels.data();
    auto four = [&](__m128i idx) {
        alignas(16) uint32_t a[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(a), idx);
        __m128i p01 = _mm_unpacklo_epi32(_mm_cvtsi32_si128((int)texels[a[0]]), _mm_cvtsi32_si128((int)texels[a[1]]));
        __m128i p23 = _mm_unpacklo_epi32(_mm_cvtsi32_si128((int)texels[a[2]]), _mm_cvtsi32_si128((int)texels[a[3]]));
        return _mm_unpacklo_epi64(p01, p23);
    };
    // (a * ia + b * wb) >> 8 per 16-bit lane; fits, as weights sum to 256.
    auto lerp = [](__m128i a, __m128i b, __m128i ia, __m128i wb) {
        return _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(a, ia), _mm_mullo_epi16(b, wb)), 8);
    };
    __m128i rb[2], ag[2];
    for (int h = 0; h < 2; ++h) {
        // Texel centres sit at half-integers.
        const __m128i u = _mm_sub_epi32(us[h], _mm_set1_epi32(32768)), v = _mm_sub_epi32(vs[h], _mm_set1_epi32(32768));
        const __m128i x0 = _mm_and_si128(_mm_srai_epi32(u, 16), maskX), x1 = _mm_and_si128(_mm_add_epi32(x0, one), maskX);
        const __m128i y0 = _mm_and_si128(_mm_srai_epi32(v, 16), maskY), y1 = _mm_and_si128(_mm_add_epi32(y0, one), maskY);
        const __m128i row0 = _mm_sll_epi32(y0, shiftX), row1 = _mm_sll_epi32(y1, shiftX);
        const __m128i t00 = four(_mm_or_si128(row0, x0)), t01 = four(_mm_or_si128(row0, x1));
        const __m128i t10 = four(_mm_or_si128(row1, x0)), t11 = four(_mm_or_si128(row1, x1));
        // Weights repeated in both halves of each 32-bit lane.
        const __m128i fx = _mm_and_si128(_mm_srli_epi32(u, 8), low8), fy = _mm_and_si128(_mm_srli_epi32(v, 8), low8);
        const __m128i wx = _mm_or_si128(fx, _mm_slli_epi32(fx, 16)), wy = _mm_or_si128(fy, _mm_slli_epi32(fy, 16));
        const __m128i ix = _mm_sub_epi32(w256, wx), iy = _mm_sub_epi32(w256, wy);
        // In y first (both columns), then in x, as the one-pixel fetch does.
        __m128i c0 = lerp(_mm_and_si128(t00, pairs), _mm_and_si128(t10, pairs), iy, wy);
        __m128i c1 = lerp(_mm_and_si128(t01, pairs), _mm_and_si128(t11, pairs), iy, wy);
        rb[h] = lerp(c0, c1, ix, wx);
        c0 = lerp(_mm_and_si128(_mm_srli_epi32(t00, 8), pairs), _mm_and_si128(_mm_srli_epi32(t10, 8), pairs), iy, wy);
        c1 = lerp(_mm_and_si128(_mm_srli_epi32(t01, 8), pairs), _mm_and_si128(_mm_srli_epi32(t11, 8), pairs), iy, wy);
        ag[h] = lerp(c0, c1, ix, wx);
    }
    const __m128i low16 = _mm_set1_epi32(0xFFFF);
    Channels c;
    c.b = _mm_packs_epi32(_mm_and_si128(rb[0], low16), _mm_and_si128(rb[1], low16));
    c.g = _mm_packs_epi32(_mm_and_si128(ag[0], low16), _mm_and_si128(ag[1], low16));
    c.r = _mm_packs_epi32(_mm_srli_epi32(rb[0], 16), _mm_srli_epi32(rb[1], 16));
    return c;
}

// x * d / 255 rounded, per 16-bit lane: t = x * d + 128; (t + (t >> 8)) >> 8.
__attribute__((always_inline)) inline __m128i Mul255x8(__m128i x, __m128i d) {
    __m128i m = _mm_add_epi16(_mm_mullo_epi16(x, d), _mm_set1_epi16(128));
    return _mm_srli_epi16(_mm_add_epi16(m, _mm_srli_epi16(m, 8)), 8);
}

// A 16.16 colour channel for eight pixels (two registers of 32-bit lanes)
// as levels 0..255 in 16-bit lanes.
__attribute__((always_inline)) inline __m128i Level8(__m128i lo, __m128i hi) {
    __m128i v = _mm_packs_epi32(_mm_srai_epi32(lo, 16), _mm_srai_epi32(hi, 16));
    return _mm_min_epi16(_mm_max_epi16(v, _mm_setzero_si128()), _mm_set1_epi16(255));
}

// The common case a run (eight pixels) at a time, one channel per register
// in 16-bit lanes: RGB565 target, optional 16-bit depth with LESS, LESSEQUAL
// or ALWAYS, texture x diffuse from a power-of-two wrapping texture (or
// none), no blending, alpha test or specular. Same coverage, texture
// coordinates and filter choice as ShadeSpan; colour arithmetic rounds the
// same way.
template <bool kDepthOn, TexMode kTex>
void ShadeSpan565(const Triangle& t, const PixelState& ps, int y, int x0, int x1) {
    // Attribute planes at the span's first pixel, four at a time:
    // (Z, Q, SQ, TQ) and (R, G, B, A), with the same operations as ShadeSpan.
    const __m128 fx = _mm_set1_ps((float)x0 - t.refX), fy = _mm_set1_ps((float)y - t.refY);
    auto at4 = [&](int a) {
        const Plane* p = &t.plane[a];
        const __m128 base = _mm_set_ps(p[3].at, p[2].at, p[1].at, p[0].at);
        const __m128 dx = _mm_set_ps(p[3].dx, p[2].dx, p[1].dx, p[0].dx);
        const __m128 dy = _mm_set_ps(p[3].dy, p[2].dy, p[1].dy, p[0].dy);
        return _mm_add_ps(_mm_add_ps(base, _mm_mul_ps(dx, fx)), _mm_mul_ps(dy, fy));
    };
    static_assert(kQ == kZ + 1 && kSQ == kZ + 2 && kTQ == kZ + 3 && kG == kR + 1 && kB == kR + 2 && kA == kR + 3);
    const __m128 zqst = at4(kZ);
    const float zdx = t.plane[kZ].dx;
    // Colours in 16.16 with a half added (ToFix on four lanes), stepped with
    // wrap-around arithmetic.
    auto toFix4 = [](__m128 v) {
        v = _mm_max_ps(_mm_mul_ps(v, _mm_set1_ps(65536.0f)), _mm_set1_ps(-2.0e9f));  // NaN takes the second operand
        return _mm_cvttps_epi32(_mm_min_ps(v, _mm_set1_ps(2.0e9f)));
    };
    const __m128i colour = _mm_add_epi32(toFix4(at4(kR)), _mm_set1_epi32(1 << 15));
    const __m128i colourDx = toFix4(_mm_set_ps(t.plane[kA].dx, t.plane[kB].dx, t.plane[kG].dx, t.plane[kR].dx));
    const Target& tg = ps.target;
    uint16_t* cp = reinterpret_cast<uint16_t*>(tg.color + (ptrdiff_t)y * tg.colorPitch) + x0;
    uint16_t* zp = nullptr;
    if constexpr (kDepthOn) zp = reinterpret_cast<uint16_t*>(tg.depth + (ptrdiff_t)y * tg.depthPitch) + x0;
    const DWORD zfunc = ps.depthFunc;
    const bool zwrite = ps.depthWrite;
    const TexImage* tex = ps.texture.get();
    float texW = 0, texH = 0;
    if constexpr (kTex != TexMode::kNone) {
        texW = (float)tex->width;
        texH = (float)tex->height;
    }
    const __m128 texSize = _mm_set_ps(texH, texW, texH, texW);
    const __m128 planeDy = _mm_set_ps(0, 0, t.plane[kTQ].dy, t.plane[kSQ].dy);
    const __m128 texScale = _mm_set_ps(texH * 65536.0f, texW * 65536.0f, texH * 65536.0f, texW * 65536.0f);
    const __m128 lanef = _mm_set_ps(3, 2, 1, 0);
    const __m128i lane16 = _mm_set_epi16(7, 6, 5, 4, 3, 2, 1, 0);
    const __m128i zero = _mm_setzero_si128();
    const __m128i sign16 = _mm_set1_epi16((short)0x8000);
    __m128i maskX = zero, maskY = zero, shiftX = zero;
    if constexpr (kTex != TexMode::kNone) {
        maskX = _mm_set1_epi32((int)tex->maskX);
        maskY = _mm_set1_epi32((int)tex->maskY);
        shiftX = _mm_cvtsi32_si128(tex->shiftX);
    }
    // 16.16 values of pixels 0..3 of the run; pixels 4..7 add four steps,
    // the next run eight (only the last run can be shorter).
    const __m128i rdx = _mm_shuffle_epi32(colourDx, _MM_SHUFFLE(0, 0, 0, 0));
    const __m128i gdx = _mm_shuffle_epi32(colourDx, _MM_SHUFFLE(1, 1, 1, 1));
    const __m128i bdx = _mm_shuffle_epi32(colourDx, _MM_SHUFFLE(2, 2, 2, 2));
    __m128i rLo = _mm_add_epi32(_mm_shuffle_epi32(colour, _MM_SHUFFLE(0, 0, 0, 0)), LaneSteps(rdx));
    __m128i gLo = _mm_add_epi32(_mm_shuffle_epi32(colour, _MM_SHUFFLE(1, 1, 1, 1)), LaneSteps(gdx));
    __m128i bLo = _mm_add_epi32(_mm_shuffle_epi32(colour, _MM_SHUFFLE(2, 2, 2, 2)), LaneSteps(bdx));
    const __m128i r4 = _mm_slli_epi32(rdx, 2), g4 = _mm_slli_epi32(gdx, 2), b4 = _mm_slli_epi32(bdx, 2);
    // Flat-coloured triangles (common: lit per face) keep one diffuse for the span.
    const bool flat = (_mm_movemask_epi8(_mm_cmpeq_epi32(colourDx, zero)) & 0xFFF) == 0xFFF;
    __m128i dR = Level8(rLo, rLo), dG = Level8(gLo, gLo), dB = Level8(bLo, bLo);

    // Runs with a full kRun pixels of row left move whole 16-byte blocks;
    // pixels past the span are written back unchanged (this thread owns the row).
    int rowLimit = tg.width;
    if constexpr (kDepthOn) rowLimit = std::min(rowLimit, tg.depthWidth);
    // Z, Q, SQ and TQ at the run's start, stepped a run at a time together.
    __m128 zqstRun = zqst;
    const __m128 zqstDx = _mm_set_ps(t.plane[kTQ].dx, t.plane[kSQ].dx, t.plane[kQ].dx, zdx);
    const __m128 zmax = _mm_set1_ps((float)ps.depthMax);
    // Depth offsets of a run's pixels from its start, the same every run.
    const __m128 zOff[2] = {_mm_mul_ps(lanef, _mm_set1_ps(zdx)),
                            _mm_mul_ps(_mm_add_ps(lanef, _mm_set1_ps(4.0f)), _mm_set1_ps(zdx))};
    for (int x = x0; x < x1;) {
        const int runEnd = std::min(x + kRun, x1);
        const int n = runEnd - x;
        const bool wide = x + kRun <= rowLimit;
        __m128i pass = _mm_cmpgt_epi16(_mm_set1_epi16((short)n), lane16);  // all ones where drawn
        __m128i zold = zero, znew = zero;
        const __m128 zqstEnd = _mm_add_ps(zqstRun, _mm_mul_ps(zqstDx, _mm_set1_ps((float)n)));
        if constexpr (kDepthOn) {
            if (wide)
                zold = _mm_loadu_si128(reinterpret_cast<const __m128i*>(zp));
            else {
                alignas(16) uint16_t zbuf[kRun] = {};
                for (int i = 0; i < n; ++i) zbuf[i] = zp[i];
                zold = _mm_load_si128(reinterpret_cast<const __m128i*>(zbuf));
            }
            const __m128 z = _mm_shuffle_ps(zqstRun, zqstRun, _MM_SHUFFLE(0, 0, 0, 0));
            __m128i zi[2];
            for (int h = 0; h < 2; ++h) {
                __m128 zf = _mm_add_ps(z, zOff[h]);
                zf = _mm_min_ps(_mm_max_ps(zf, _mm_setzero_ps()), zmax);  // NaN becomes 0 here
                // Biased by -32768 so the signed pack below is exact for 0..65535.
                zi[h] = _mm_sub_epi32(_mm_cvttps_epi32(zf), _mm_set1_epi32(32768));
            }
            // Unsigned 16-bit compares as signed ones on sign-flipped values.
            __m128i zb = _mm_packs_epi32(zi[0], zi[1]);
            __m128i ob = _mm_xor_si128(zold, sign16);
            if (zfunc == D3DCMP_LESSEQUAL)
                pass = _mm_andnot_si128(_mm_cmpgt_epi16(zb, ob), pass);
            else if (zfunc == D3DCMP_LESS)
                pass = _mm_and_si128(_mm_cmpgt_epi16(ob, zb), pass);
            znew = _mm_xor_si128(zb, sign16);
        }
        const bool any = _mm_movemask_epi8(pass) != 0;
        __m128i uLo = zero, vLo = zero, u4 = zero, v4 = zero;
        bool linear = false;
        if constexpr (kTex != TexMode::kNone) {
            if (any) {
                // 1/q at both ends (w0, w0, w1, w1), then u, v at both ends.
                const __m128 w = _mm_div_ps(_mm_set1_ps(1.0f), _mm_shuffle_ps(zqstRun, zqstEnd, _MM_SHUFFLE(1, 1, 1, 1)));
                const __m128 uvs = _mm_mul_ps(_mm_shuffle_ps(zqstRun, zqstEnd, _MM_SHUFFLE(3, 2, 3, 2)), w);
                const float inv = n == kRun ? 1.0f / (float)kRun : 1.0f / (float)n;
                const __m128 duv = _mm_mul_ps(_mm_sub_ps(_mm_movehl_ps(uvs, uvs), uvs), _mm_set1_ps(inv));
                if constexpr (kTex == TexMode::kLinear) {
                    linear = true;
                } else if constexpr (kTex == TexMode::kLodSelect) {
                    // Magnified when a pixel step spans at most one texel: the
                    // squared steps in x (lanes 0, 1) and y (2, 3), as ShadeSpan.
                    const __m128 dydv =
                        _mm_mul_ps(_mm_sub_ps(planeDy, _mm_mul_ps(uvs, _mm_set1_ps(t.plane[kQ].dy))), w);
                    const __m128 d = _mm_movelh_ps(duv, dydv);
                    const __m128 p = _mm_mul_ps(_mm_mul_ps(_mm_mul_ps(d, d), texSize), texSize);
                    const __m128 sum = _mm_add_ps(p, _mm_shuffle_ps(p, p, _MM_SHUFFLE(2, 3, 0, 1)));
                    const float rx = _mm_cvtss_f32(sum), ry = _mm_cvtss_f32(_mm_movehl_ps(sum, sum));
                    linear = std::max(rx, ry) <= 1.0f ? ps.magLinear : ps.minLinear;
                }
                // U, V relative to a whole number of repeats (so they stay
                // small), dU, dV: 16.16 texels, all four in one register.
                const __m128 uvd = _mm_movelh_ps(uvs, duv);
                const __m128i whole = _mm_and_si128(FloorInt4(uvd), _mm_set_epi32(0, 0, -1, -1));
                const __m128i fixed = ToTexel4(_mm_mul_ps(_mm_sub_ps(uvd, _mm_cvtepi32_ps(whole)), texScale));
                // Pixels 0, 1 as (U, V) pairs, pixels 2, 3 two steps on, then
                // split into U lanes and V lanes.
                const __m128i steps = _mm_shuffle_epi32(fixed, _MM_SHUFFLE(3, 2, 3, 2));
                const __m128i p01 = _mm_add_epi32(_mm_shuffle_epi32(fixed, _MM_SHUFFLE(1, 0, 1, 0)), _mm_slli_si128(steps, 8));
                const __m128i p23 = _mm_add_epi32(p01, _mm_slli_epi32(steps, 1));
                uLo = _mm_castps_si128(
                    _mm_shuffle_ps(_mm_castsi128_ps(p01), _mm_castsi128_ps(p23), _MM_SHUFFLE(2, 0, 2, 0)));
                vLo = _mm_castps_si128(
                    _mm_shuffle_ps(_mm_castsi128_ps(p01), _mm_castsi128_ps(p23), _MM_SHUFFLE(3, 1, 3, 1)));
                u4 = _mm_slli_epi32(_mm_shuffle_epi32(fixed, _MM_SHUFFLE(2, 2, 2, 2)), 2);
                v4 = _mm_slli_epi32(_mm_shuffle_epi32(fixed, _MM_SHUFFLE(3, 3, 3, 3)), 2);
            }
        }
        if (any) {
            if (!flat) {
                dR = Level8(rLo, _mm_add_epi32(rLo, r4));
                dG = Level8(gLo, _mm_add_epi32(gLo, g4));
                dB = Level8(bLo, _mm_add_epi32(bLo, b4));
            }
            Channels tc{_mm_set1_epi16(255), _mm_set1_epi16(255), _mm_set1_epi16(255)};
            if constexpr (kTex != TexMode::kNone) {
                const __m128i uHi = _mm_add_epi32(uLo, u4), vHi = _mm_add_epi32(vLo, v4);
                if (linear) {
                    const __m128i us[2] = {uLo, uHi}, vs[2] = {vLo, vHi};
                    tc = LinearTexels8(*tex, us, vs);
                } else {
                    // Eight texel indices at once, then eight loads.
                    auto index = [&](__m128i uu, __m128i vv) {
                        __m128i ix = _mm_and_si128(_mm_srai_epi32(uu, 16), maskX);
                        __m128i iy = _mm_and_si128(_mm_srai_epi32(vv, 16), maskY);
                        return _mm_or_si128(_mm_sll_epi32(iy, shiftX), ix);
                    };
                    alignas(16) uint32_t at8[kRun];
                    _mm_store_si128(reinterpret_cast<__m128i*>(at8), index(uLo, vLo));
                    _mm_store_si128(reinterpret_cast<__m128i*>(at8 + 4), index(uHi, vHi));
                    const uint32_t* texels = tex->texels.data();
                    auto four = [&](const uint32_t* a) {
                        __m128i p01 = _mm_unpacklo_epi32(_mm_cvtsi32_si128((int)texels[a[0]]),
                                                         _mm_cvtsi32_si128((int)texels[a[1]]));
                        __m128i p23 = _mm_unpacklo_epi32(_mm_cvtsi32_si128((int)texels[a[2]]),
                                                         _mm_cvtsi32_si128((int)texels[a[3]]));
                        return _mm_unpacklo_epi64(p01, p23);
                    };
                    tc = SplitArgb(four(at8), four(at8 + 4));
                }
            }
            const __m128i mR = Mul255x8(tc.r, dR), mG = Mul255x8(tc.g, dG), mB = Mul255x8(tc.b, dB);
            const __m128i c565 = _mm_or_si128(
                _mm_or_si128(_mm_and_si128(_mm_slli_epi16(mR, 8), _mm_set1_epi16((short)0xF800)),
                             _mm_and_si128(_mm_slli_epi16(mG, 3), _mm_set1_epi16(0x07E0))),
                _mm_srli_epi16(mB, 3));
            if (wide) {
                __m128i old = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cp));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(cp),
                                 _mm_or_si128(_mm_and_si128(pass, c565), _mm_andnot_si128(pass, old)));
            } else {
                alignas(16) uint16_t out[kRun];
                _mm_store_si128(reinterpret_cast<__m128i*>(out), c565);
                const uint32_t bits = (uint32_t)_mm_movemask_epi8(pass);
                for (int i = 0; i < n; ++i)
                    if ((bits >> (2 * i)) & 1u) cp[i] = out[i];
            }
            if constexpr (kDepthOn) {
                if (zwrite) {
                    if (wide)
                        _mm_storeu_si128(reinterpret_cast<__m128i*>(zp),
                                         _mm_or_si128(_mm_and_si128(pass, znew), _mm_andnot_si128(pass, zold)));
                    else {
                        alignas(16) uint16_t out[kRun];
                        _mm_store_si128(reinterpret_cast<__m128i*>(out), znew);
                        const uint32_t bits = (uint32_t)_mm_movemask_epi8(pass);
                        for (int i = 0; i < n; ++i)
                            if ((bits >> (2 * i)) & 1u) zp[i] = out[i];
                    }
                }
            }
        }
        if (!flat) {
            rLo = _mm_add_epi32(rLo, _mm_slli_epi32(r4, 1));
            gLo = _mm_add_epi32(gLo, _mm_slli_epi32(g4, 1));
            bLo = _mm_add_epi32(bLo, _mm_slli_epi32(b4, 1));
        }
        zqstRun = zqstEnd;
        cp += n;
        if constexpr (kDepthOn) zp += n;
        x = runEnd;
    }
}

template <int kDepth, TexMode kTex>
SpanFn PickFast(bool fast) {
    return fast ? &ShadeSpan<kDepth, kTex, true> : &ShadeSpan<kDepth, kTex, false>;
}

template <int kDepth>
SpanFn PickTex(TexMode mode, bool fast) {
    switch (mode) {
    case TexMode::kNone: return PickFast<kDepth, TexMode::kNone>(fast);
    case TexMode::kPoint: return PickFast<kDepth, TexMode::kPoint>(fast);
    case TexMode::kLinear: return PickFast<kDepth, TexMode::kLinear>(fast);
    default: return PickFast<kDepth, TexMode::kLodSelect>(fast);
    }
}

void RasterRows(const Triangle& t, const PixelState& ps, int ys, int ye) {
    Edge longEdge, shortEdge;
    longEdge.Init(t.x[0], t.y[0], t.x[2], t.y[2], ys);
    const int split = (t.y[1] + kSubOne - 1) >> kSubBits;  // first row of the lower half
    bool upper = ys < split;
    if (upper)
        shortEdge.Init(t.x[0], t.y[0], t.x[1], t.y[1], ys);
    else
        shortEdge.Init(t.x[1], t.y[1], t.x[2], t.y[2], ys);
    for (int y = ys; y < ye; ++y) {
        if (upper && y >= split) {
            upper = false;
            shortEdge.Init(t.x[1], t.y[1], t.x[2], t.y[2], y);
        }
        int64_t left = t.longEdgeLeft ? longEdge.q : shortEdge.q;
        int64_t right = t.longEdgeLeft ? shortEdge.q : longEdge.q;
        int xl = (int)std::max<int64_t>(left, ps.clipX0);
        int xr = (int)std::min<int64_t>(right, ps.clipX1);
        if (xl < xr) ps.span(t, ps, y, xl, xr);
        longEdge.Step();
        shortEdge.Step();
    }
}

void RunClear(const ClearCommand& c, int ys, int ye) {
    const Target& tg = c.target;
    if (c.color) {
        int cr = (c.colorValue >> 16) & 255, cg = (c.colorValue >> 8) & 255, cb = c.colorValue & 255;
        int ca = (int)(c.colorValue >> 24);
        int bytes = BytesOf(tg.colorFormat);
        uint8_t pixel[4];
        WriteColor(pixel, tg.colorFormat, cr, cg, cb, ca);
        for (int y = ys; y < ye; ++y) {
            uint8_t* p = tg.color + (ptrdiff_t)y * tg.colorPitch + (ptrdiff_t)c.x0 * bytes;
            if (bytes == 2) {
                uint16_t v;
                std::memcpy(&v, pixel, 2);
                std::fill_n(reinterpret_cast<uint16_t*>(p), c.x1 - c.x0, v);
            } else {
                uint32_t v;
                std::memcpy(&v, pixel, 4);
                std::fill_n(reinterpret_cast<uint32_t*>(p), c.x1 - c.x0, v);
            }
        }
    }
    if (c.depth && tg.depth) {
        uint32_t mask = tg.depthMask;
        int shift = __builtin_ctz(mask);
        uint32_t max = mask >> shift;
        uint32_t zi = (uint32_t)std::min<double>((double)c.depthValue * max + 0.5, (double)max);
        uint32_t bits = (zi << shift) & mask;
        int bytes = tg.depthBytes;
        int x1 = std::min(c.x1, tg.depthWidth);
        int y1 = std::min(ye, tg.depthHeight);
        const bool whole = bytes == 2 ? mask == 0xFFFFu : (bytes == 4 && mask == 0xFFFFFFFFu);
        for (int y = ys; y < y1; ++y) {
            uint8_t* p = tg.depth + (ptrdiff_t)y * tg.depthPitch;
            if (whole && c.x0 < x1) {
                // Nothing else shares the word: a plain fill.
                if (bytes == 2)
                    std::fill_n(reinterpret_cast<uint16_t*>(p) + c.x0, x1 - c.x0, (uint16_t)bits);
                else
                    std::fill_n(reinterpret_cast<uint32_t*>(p) + c.x0, x1 - c.x0, bits);
                continue;
            }
            for (int x = c.x0; x < x1; ++x) {
                uint8_t* q = p + (ptrdiff_t)x * bytes;
                uint32_t v = 0;
                std::memcpy(&v, q, bytes);
                v = (v & ~mask) | bits;
                std::memcpy(q, &v, bytes);
            }
        }
    }
}

}  // namespace

template <bool kDepthOn>
SpanFn Pick565(TexMode mode) {
    switch (mode) {
    case TexMode::kNone: return &ShadeSpan565<kDepthOn, TexMode::kNone>;
    case TexMode::kPoint: return &ShadeSpan565<kDepthOn, TexMode::kPoint>;
    case TexMode::kLinear: return &ShadeSpan565<kDepthOn, TexMode::kLinear>;
    default: return &ShadeSpan565<kDepthOn, TexMode::kLodSelect>;
    }
}

SpanFn SelectSpan(const PixelState& ps) {
    bool fast = ps.fastModulate;
    bool depthOn = ps.depthTest && ps.target.depth;
    bool simpleDepth = !depthOn || (ps.target.depthBytes == 2 && ps.target.depthMask == 0xFFFFu &&
                                    (ps.depthFunc == D3DCMP_LESSEQUAL || ps.depthFunc == D3DCMP_LESS ||
                                     ps.depthFunc == D3DCMP_ALWAYS));
    bool simpleTexture = ps.texMode == TexMode::kNone ||
                         (ps.texture && ps.texture->pow2 && ps.addressU == D3DTADDRESS_WRAP &&
                          ps.addressV == D3DTADDRESS_WRAP);
    if (fast && simpleDepth && simpleTexture && !ps.blend && !ps.alphaTest && !ps.specular &&
        ps.target.colorFormat == ColorFormat::kRgb565)
        return depthOn ? Pick565<true>(ps.texMode) : Pick565<false>(ps.texMode);
    int depthBytes = (ps.depthTest && ps.target.depth) ? ps.target.depthBytes : 0;
    switch (depthBytes) {
    case 2: return PickTex<2>(ps.texMode, fast);
    case 3: return PickTex<3>(ps.texMode, fast);
    case 4: return PickTex<4>(ps.texMode, fast);
    default: return PickTex<0>(ps.texMode, fast);
    }
}

void RunBand(const Frame& frame, int band) {
    const int top = band * kBandHeight, bottom = top + kBandHeight;
    for (uint32_t entry : frame.bins[band]) {
        if (entry & kClearBit) {
            const ClearCommand& c = frame.clears[entry & ~kClearBit];
            RunClear(c, std::max(c.y0, top), std::min(c.y1, bottom));
            continue;
        }
        const Triangle& t = frame.triangles[entry];
        RasterRows(t, frame.pixelStates[t.pixelState], std::max(t.yFirst, top), std::min(t.yEnd, bottom));
    }
}

}  // namespace sombrella::d3d::raster
