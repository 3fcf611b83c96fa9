// The worker-thread half: clears and triangle scan conversion per band.
//
// Conventions (those of D3D7): pixel centres sit at integer screen
// coordinates; a pixel is covered when its centre is inside the triangle,
// and a centre exactly on an edge belongs to the triangle only on a top or
// left edge. Edges are stepped exactly in 28.4 fixed point, so triangles
// that share an edge never both cover, or both miss, a pixel on it.
#include <algorithm>
#include <cstring>

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

inline void ReadColor(const uint8_t* p, ColorFormat f, int* r, int* g, int* b) {
    if (f == ColorFormat::kXrgb8888) {
        uint32_t v;
        std::memcpy(&v, p, 4);
        *r = (v >> 16) & 255, *g = (v >> 8) & 255, *b = v & 255;
        return;
    }
    uint16_t v;
    std::memcpy(&v, p, 2);
    if (f == ColorFormat::kRgb565) {
        int r5 = v >> 11, g6 = (v >> 5) & 63, b5 = v & 31;
        *r = (r5 << 3) | (r5 >> 2), *g = (g6 << 2) | (g6 >> 4), *b = (b5 << 3) | (b5 >> 2);
    } else {
        int r5 = (v >> 10) & 31, g5 = (v >> 5) & 31, b5 = v & 31;
        *r = (r5 << 3) | (r5 >> 2), *g = (g5 << 3) | (g5 >> 2), *b = (b5 << 3) | (b5 >> 2);
    }
}

inline void WriteColor(uint8_t* p, ColorFormat f, int r, int g, int b) {
    if (f == ColorFormat::kRgb565) {
        uint16_t v = (uint16_t)(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
        std::memcpy(p, &v, 2);
    } else if (f == ColorFormat::kRgb555) {
        uint16_t v = (uint16_t)(((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3));
        std::memcpy(p, &v, 2);
    } else {
        uint32_t v = 0xFF000000u | ((uint32_t)r << 16) | ((uint32_t)g << 8) | (uint32_t)b;
        std::memcpy(p, &v, 4);
    }
}

inline int BytesOf(ColorFormat f) { return f == ColorFormat::kXrgb8888 ? 4 : 2; }

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

template <int kDepth, TexMode kTex, bool kFast>
void ShadeSpan(const Triangle& t, const PixelState& ps, int y, int x0, int x1) {
    const float fx = (float)x0 - t.refX, fy = (float)y - t.refY;
    auto at = [&](int a) { return t.plane[a].at + t.plane[a].dx * fx + t.plane[a].dy * fy; };
    float z = at(kZ), q = at(kQ), s = at(kSQ), u0 = at(kTQ);
    const float zdx = t.plane[kZ].dx, qdx = t.plane[kQ].dx, sdx = t.plane[kSQ].dx, tdx = t.plane[kTQ].dx;
    // Colours in 16.16 with a half added, so the shift below rounds.
    const int32_t half = 1 << 15;
    int32_t r = ToFix(at(kR)) + half, g = ToFix(at(kG)) + half, b = ToFix(at(kB)) + half, a = ToFix(at(kA)) + half;
    const int32_t rdx = ToFix(t.plane[kR].dx), gdx = ToFix(t.plane[kG].dx), bdx = ToFix(t.plane[kB].dx),
                  adx = ToFix(t.plane[kA].dx);
    int32_t sr = 0, sg = 0, sb = 0, srdx = 0, sgdx = 0, sbdx = 0;
    if (ps.specular || !kFast) {
        sr = ToFix(at(kSR)) + half, sg = ToFix(at(kSG)) + half, sb = ToFix(at(kSB)) + half;
        srdx = ToFix(t.plane[kSR].dx), sgdx = ToFix(t.plane[kSG].dx), sbdx = ToFix(t.plane[kSB].dx);
    }
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
    float w2 = 0, h2 = 0, qdy = 0, sdy = 0, tdy = 0;
    if constexpr (kTex == TexMode::kLodSelect) {
        w2 = (float)tex->width * (float)tex->width;
        h2 = (float)tex->height * (float)tex->height;
        qdy = t.plane[kQ].dy, sdy = t.plane[kSQ].dy, tdy = t.plane[kTQ].dy;
    }

    for (int x = x0; x < x1; ++x) {
        bool pass = true;
        uint32_t zi = 0, zraw = 0;
        if constexpr (kDepth != 0) {
            zi = DepthFromFloat(z, ps.depthMax);
            zraw = LoadDepth<kDepth>(zp);
            pass = Compare(zfunc, zi, (zraw & zmask) >> zshift);
        }
        if (pass) {
            uint32_t texel = 0xFFFFFFFFu;
            if constexpr (kTex != TexMode::kNone) {
                float wv = 1.0f / q;
                float u = s * wv, v = u0 * wv;
                if constexpr (kTex == TexMode::kPoint) {
                    texel = SamplePoint(*tex, u, v, au, av);
                } else if constexpr (kTex == TexMode::kLinear) {
                    texel = SampleLinear(*tex, u, v, au, av);
                } else {
                    // Magnified when one pixel step spans at most one texel.
                    float dudx = (sdx - u * qdx) * wv, dvdx = (tdx - v * qdx) * wv;
                    float dudy = (sdy - u * qdy) * wv, dvdy = (tdy - v * qdy) * wv;
                    float rx = dudx * dudx * w2 + dvdx * dvdx * h2, ry = dudy * dudy * w2 + dvdy * dvdy * h2;
                    bool magnified = std::max(rx, ry) <= 1.0f;
                    bool linear = magnified ? ps.magLinear : ps.minLinear;
                    texel = linear ? SampleLinear(*tex, u, v, au, av) : SamplePoint(*tex, u, v, au, av);
                }
            }
            int cr = Clamp255(r >> 16), cg = Clamp255(g >> 16), cb = Clamp255(b >> 16), ca;
            if constexpr (kFast) {
                cr = Mul255((int)((texel >> 16) & 255), cr);
                cg = Mul255((int)((texel >> 8) & 255), cg);
                cb = Mul255((int)(texel & 255), cb);
                ca = (int)(texel >> 24);
            } else {
                Rgba diffuse{cr, cg, cb, Clamp255(a >> 16)};
                Rgba spec{Clamp255(sr >> 16), Clamp255(sg >> 16), Clamp255(sb >> 16), 255};
                Rgba c = Combine(ps, diffuse, Unpack(texel), spec);
                cr = c.r, cg = c.g, cb = c.b, ca = c.a;
            }
            if (ps.specular) {
                cr = std::min(255, cr + Clamp255(sr >> 16));
                cg = std::min(255, cg + Clamp255(sg >> 16));
                cb = std::min(255, cb + Clamp255(sb >> 16));
            }
            if (!ps.alphaTest || Compare(ps.alphaFunc, (uint32_t)ca, ps.alphaRef)) {
                if constexpr (kDepth != 0) {
                    if (zwrite) StoreDepth<kDepth>(zp, (zraw & ~zmask) | ((zi << zshift) & zmask));
                }
                if (ps.blend) {
                    int dr, dg, db;
                    ReadColor(cp, format, &dr, &dg, &db);
                    const int da = 255;  // no destination alpha in these formats
                    int fsr = BlendFactor(ps.srcBlend, cr, ca, dr, da), fsg = BlendFactor(ps.srcBlend, cg, ca, dg, da),
                        fsb = BlendFactor(ps.srcBlend, cb, ca, db, da);
                    int fdr = BlendFactor(ps.dstBlend, cr, ca, dr, da), fdg = BlendFactor(ps.dstBlend, cg, ca, dg, da),
                        fdb = BlendFactor(ps.dstBlend, cb, ca, db, da);
                    cr = std::min(255, Mul255(cr, fsr) + Mul255(dr, fdr));
                    cg = std::min(255, Mul255(cg, fsg) + Mul255(dg, fdg));
                    cb = std::min(255, Mul255(cb, fsb) + Mul255(db, fdb));
                }
                WriteColor(cp, format, cr, cg, cb);
            }
        }
        z += zdx;
        q += qdx;
        s += sdx;
        u0 += tdx;
        r += rdx, g += gdx, b += bdx, a += adx;
        sr += srdx, sg += sgdx, sb += sbdx;
        cp += cbytes;
        if constexpr (kDepth != 0) zp += kDepth;
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
        int bytes = BytesOf(tg.colorFormat);
        uint8_t pixel[4];
        WriteColor(pixel, tg.colorFormat, cr, cg, cb);
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
        for (int y = ys; y < y1; ++y) {
            uint8_t* p = tg.depth + (ptrdiff_t)y * tg.depthPitch;
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

template <typename F>
void ForOwnRows(int ys, int ye, int part, int parts, F&& f) {
    if (ys >= ye) return;
    for (int band = ys / kBandHeight; band * kBandHeight < ye; ++band) {
        if (band % parts != part) continue;
        int a = std::max(ys, band * kBandHeight), b = std::min(ye, (band + 1) * kBandHeight);
        if (a < b) f(a, b);
    }
}

}  // namespace

SpanFn SelectSpan(const PixelState& ps) {
    bool fast = ps.fastModulate;
    int depthBytes = (ps.depthTest && ps.target.depth) ? ps.target.depthBytes : 0;
    switch (depthBytes) {
    case 2: return PickTex<2>(ps.texMode, fast);
    case 3: return PickTex<3>(ps.texMode, fast);
    case 4: return PickTex<4>(ps.texMode, fast);
    default: return PickTex<0>(ps.texMode, fast);
    }
}

void RunBands(const Frame& frame, int part, int parts) {
    for (const Command& cmd : frame.commands) {
        if (cmd.kind == Command::kClear) {
            const ClearCommand& c = frame.clears[cmd.begin];
            ForOwnRows(c.y0, c.y1, part, parts, [&](int a, int b) { RunClear(c, a, b); });
            continue;
        }
        for (uint32_t i = cmd.begin; i < cmd.end; ++i) {
            const Triangle& t = frame.triangles[i];
            const PixelState& ps = frame.pixelStates[t.pixelState];
            ForOwnRows(t.yFirst, t.yEnd, part, parts, [&](int a, int b) { RasterRows(t, ps, a, b); });
        }
    }
}

}  // namespace sombrella::d3d::raster
