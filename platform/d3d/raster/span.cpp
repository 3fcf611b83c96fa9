// Span shading and the band runner, written once over Highway and compiled
// for every vector target; the best one the CPU has runs.
//
// One rule for every target format, vector width and thread count: a span
// is cut into runs of kRun pixels; texture coordinates are exact
// (perspective-divided) at the ends of a run and stepped linearly inside it,
// and the filter choice between magnification and minification is made per
// run. Every per-pixel value is a function of the pixel's place in its run,
// never of the order lanes are visited, so the picture is the same for any
// vector width.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "d3d/raster/span.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep

#include <hwy/highway.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <optional>
#include <vector>

#include "d3d/raster/clear.h"
#include "d3d/raster/edges.h"
#include "d3d/raster/frame.h"
#include "d3d/raster/pixel_ops.h"
#include "d3d/raster/texture.h"

HWY_BEFORE_NAMESPACE();
namespace sombrella::d3d::raster {
namespace HWY_NAMESPACE {
namespace {

namespace hn = hwy::HWY_NAMESPACE;

constexpr int kRun = 8;

// One chunk of a run: up to kRun pixels, one per 32-bit lane.
using DI = hn::CappedTag<int32_t, kRun>;
using DU = hn::RebindToUnsigned<DI>;
using DF = hn::RebindToFloat<DI>;
using D16 = hn::Rebind<uint16_t, DI>;
using VI = hn::Vec<DI>;
using VU = hn::Vec<DU>;
using VF = hn::Vec<DF>;
using MI = hn::Mask<DI>;

// a * b / 255 rounded, for 0..255 operands.
HWY_INLINE VI Mul255(VI a, VI b) {
    const DI d;
    const VI t = hn::Add(hn::Mul(a, b), hn::Set(d, 128));
    return hn::ShiftRight<8>(hn::Add(t, hn::ShiftRight<8>(t)));
}

HWY_INLINE VI Clamp255(VI v) {
    const DI d;
    return hn::Min(hn::Max(v, hn::Zero(d)), hn::Set(d, 255));
}

// A 16.16 colour (stepped with wrap-around) as a level 0..255.
HWY_INLINE VI Level(VU v) {
    const DI d;
    return Clamp255(hn::ShiftRight<16>(hn::BitCast(d, v)));
}

// A 16.16 value stepped by d, at the lanes of a chunk `c` pixels into its
// run; laneD holds 0, d, 2d, ...
HWY_INLINE VU Stepped(uint32_t base, uint32_t d, int c, VU laneD) {
    return hn::Add(hn::Set(DU(), base + (uint32_t)c * d), laneD);
}

HWY_INLINE VU LaneSteps(uint32_t d) {
    const DU du;
    return hn::Mul(hn::Iota(du, 0u), hn::Set(du, d));
}

HWY_INLINE VI Channel(VU argb, int shift) {
    const DI d;
    return hn::And(hn::BitCast(d, hn::ShiftRightSame(argb, shift)), hn::Set(d, 255));
}

// Unsigned comparison by D3D compare function.
HWY_INLINE MI CompareU(DWORD func, VU a, VU b) {
    const DI d;
    const DU du;
    const VI sa = hn::BitCast(d, hn::Xor(a, hn::Set(du, 0x80000000u)));
    const VI sb = hn::BitCast(d, hn::Xor(b, hn::Set(du, 0x80000000u)));
    switch (func) {
    case D3DCMP_NEVER: return hn::FirstN(d, 0);
    case D3DCMP_LESS: return hn::Lt(sa, sb);
    case D3DCMP_EQUAL: return hn::Eq(sa, sb);
    case D3DCMP_LESSEQUAL: return hn::Not(hn::Gt(sa, sb));
    case D3DCMP_GREATER: return hn::Gt(sa, sb);
    case D3DCMP_NOTEQUAL: return hn::Ne(sa, sb);
    case D3DCMP_GREATEREQUAL: return hn::Not(hn::Lt(sa, sb));
    default: return hn::FirstN(d, kRun);
    }
}

// z, z + d, (z + d) + d, ... across the lanes, each sum rounded in turn as
// a pixel-by-pixel loop would; kept in registers (a loop through memory
// stalls on the wide reload of narrow stores).
HWY_INLINE VF SequentialSteps(float z, float d, VF laneF, int lanes) {
    const DF df;
    const VF dv = hn::Set(df, d);
    VF v = hn::Set(df, z);
    for (int k = 1; k < lanes; ++k) v = hn::IfThenElse(hn::Ge(laneF, hn::Set(df, (float)k)), hn::Add(v, dv), v);
    return v;
}

// Depth as an integer: 0 below zero (and for NaN), `max` at or above it,
// truncated in between; exact over the whole 32-bit range.
HWY_INLINE VU DepthFromFloat(VF z, float maxF, uint32_t max) {
    const DF df;
    const DI di;
    const DU du;
    const VF zc = hn::IfThenElseZero(hn::Gt(z, hn::Zero(df)), z);
    const auto low = hn::Lt(zc, hn::Set(df, 2147483648.0f));
    const VF folded = hn::IfThenElse(low, zc, hn::Sub(zc, hn::Set(df, 2147483648.0f)));
    VU v = hn::BitCast(du, hn::ConvertTo(di, folded));
    v = hn::IfThenElse(hn::RebindMask(du, low), v, hn::Add(v, hn::Set(du, 0x80000000u)));
    return hn::IfThenElse(hn::RebindMask(du, hn::Ge(zc, hn::Set(df, maxF))), hn::Set(du, max), v);
}

// The same for a maximum below 2^31, in fewer steps: truncating the
// clamped value gives `max` at or above it.
HWY_INLINE VU DepthFromFloatSmall(VF z, float maxF) {
    const DF df;
    const VF zc = hn::Min(hn::IfThenElseZero(hn::Gt(z, hn::Zero(df)), z), hn::Set(df, maxF));
    return hn::BitCast(DU(), hn::ConvertTo(DI(), zc));
}

// Two channels of each ARGB lane at once: a * (256 - f) + b * f, >> 8,
// exactly per channel (the products never carry into the next channel).
HWY_INLINE VU LerpArgbV(VU a, VU b, VU f) {
    const DU du;
    const VU m = hn::Set(du, 0x00FF00FFu);
    const VU g = hn::Sub(hn::Set(du, 256u), f);
    const VU rb = hn::And(hn::ShiftRight<8>(hn::Add(hn::Mul(hn::And(a, m), g), hn::Mul(hn::And(b, m), f))), m);
    const VU ag = hn::AndNot(m, hn::Add(hn::Mul(hn::And(hn::ShiftRight<8>(a), m), g),
                                        hn::Mul(hn::And(hn::ShiftRight<8>(b), m), f)));
    return hn::Or(rb, ag);
}

HWY_INLINE VU Gather(const uint32_t* texels, VI index) {
    const DI d;
    const DU du;
    return hn::BitCast(du, hn::GatherIndex(d, reinterpret_cast<const int32_t*>(texels), index));
}

#if HWY_TARGET == HWY_AVX2 || HWY_TARGET == HWY_AVX3 || HWY_TARGET == HWY_AVX3_DL
// Eight texels and their right-hand neighbours from a level's pairs: half
// the loads of fetching them one by one.
HWY_INLINE void GatherPairs(const uint64_t* pairs, VI index, VU& left, VU& right) {
    const DU du;
    const hn::Half<DI> dh;
    const hn::Rebind<int64_t, decltype(dh)> d64;
    const hn::RebindToUnsigned<decltype(d64)> du64;
    const auto lo = hn::GatherIndex(du64, pairs, hn::PromoteTo(d64, hn::LowerHalf(dh, index)));
    const auto hi = hn::GatherIndex(du64, pairs, hn::PromoteTo(d64, hn::UpperHalf(dh, index)));
    left = hn::ConcatEven(du, hn::BitCast(du, hi), hn::BitCast(du, lo));
    right = hn::ConcatOdd(du, hn::BitCast(du, hi), hn::BitCast(du, lo));
}
#endif

// Power-of-two wrapping textures, coordinates in 16.16 texels.
HWY_INLINE VU FetchPointWrap(const TexLevel& t, VU u, VU v) {
    const DI d;
    const VI x = hn::And(hn::ShiftRight<16>(hn::BitCast(d, u)), hn::Set(d, (int32_t)t.maskX));
    const VI y = hn::And(hn::ShiftRight<16>(hn::BitCast(d, v)), hn::Set(d, (int32_t)t.maskY));
    return Gather(t.texels.data(), hn::Or(hn::ShiftLeftSame(y, t.shiftX), x));
}

// Bilinear, in x first or in y first, as SampleLinear.
HWY_INLINE VU FetchLinearWrap(const TexLevel& t, VU u, VU v, bool xFirst) {
    const DI d;
    const DU du;
    u = hn::Sub(u, hn::Set(du, 32768u));  // texel centres sit at half-integers
    v = hn::Sub(v, hn::Set(du, 32768u));
    const VI mx = hn::Set(d, (int32_t)t.maskX), my = hn::Set(d, (int32_t)t.maskY), one = hn::Set(d, 1);
    const VI x0 = hn::And(hn::ShiftRight<16>(hn::BitCast(d, u)), mx), x1 = hn::And(hn::Add(x0, one), mx);
    const VI y0 = hn::And(hn::ShiftRight<16>(hn::BitCast(d, v)), my), y1 = hn::And(hn::Add(y0, one), my);
    const VU fx = hn::And(hn::ShiftRight<8>(u), hn::Set(du, 255u));
    const VU fy = hn::And(hn::ShiftRight<8>(v), hn::Set(du, 255u));
    const VI r0 = hn::ShiftLeftSame(y0, t.shiftX), r1 = hn::ShiftLeftSame(y1, t.shiftX);
    VU t00, t01, t10, t11;
#if HWY_TARGET == HWY_AVX2 || HWY_TARGET == HWY_AVX3 || HWY_TARGET == HWY_AVX3_DL
    if (!t.pairs.empty() && hn::Lanes(d) == 8) {
        GatherPairs(t.pairs.data(), hn::Or(r0, x0), t00, t01);
        GatherPairs(t.pairs.data(), hn::Or(r1, x0), t10, t11);
    } else
#endif
    {
        const uint32_t* p = t.texels.data();
        t00 = Gather(p, hn::Or(r0, x0)), t01 = Gather(p, hn::Or(r0, x1));
        t10 = Gather(p, hn::Or(r1, x0)), t11 = Gather(p, hn::Or(r1, x1));
    }
    if (xFirst) return LerpArgbV(LerpArgbV(t00, t01, fx), LerpArgbV(t10, t11, fx), fy);
    return LerpArgbV(LerpArgbV(t00, t10, fy), LerpArgbV(t01, t11, fy), fx);
}

// One stage argument, per channel.
HWY_INLINE void StageArg(DWORD arg, VI dr, VI dg, VI db, VI da, VI tr, VI tg, VI tb, VI ta, VI fr, VI fg, VI fb,
                         VI fa, VI sr, VI sg, VI sb, VI& r, VI& g, VI& b, VI& a) {
    const DI d;
    switch (arg & D3DTA_SELECTMASK) {
    case D3DTA_TEXTURE: r = tr, g = tg, b = tb, a = ta; break;
    case D3DTA_TFACTOR: r = fr, g = fg, b = fb, a = fa; break;
    case D3DTA_SPECULAR: r = sr, g = sg, b = sb, a = hn::Set(d, 255); break;
    default: r = dr, g = dg, b = db, a = da; break;  // DIFFUSE, and CURRENT at stage 0
    }
    if (arg & D3DTA_COMPLEMENT) {
        const VI full = hn::Set(d, 255);
        r = hn::Sub(full, r), g = hn::Sub(full, g), b = hn::Sub(full, b), a = hn::Sub(full, a);
    }
    if (arg & D3DTA_ALPHAREPLICATE) r = g = b = a;
}

HWY_INLINE VI StageOp(DWORD op, VI a1, VI a2, VI diffA, VI texA, VI factorA, VI diffuse) {
    const DI d;
    const VI full = hn::Set(d, 255);
    switch (op) {
    case D3DTOP_SELECTARG1: return a1;
    case D3DTOP_SELECTARG2: return a2;
    case D3DTOP_MODULATE: return Mul255(a1, a2);
    case D3DTOP_MODULATE2X: return Clamp255(hn::ShiftLeft<1>(Mul255(a1, a2)));
    case D3DTOP_MODULATE4X: return Clamp255(hn::ShiftLeft<2>(Mul255(a1, a2)));
    case D3DTOP_ADD: return Clamp255(hn::Add(a1, a2));
    case D3DTOP_ADDSIGNED: return Clamp255(hn::Sub(hn::Add(a1, a2), hn::Set(d, 128)));
    case D3DTOP_ADDSIGNED2X: return Clamp255(hn::ShiftLeft<1>(hn::Sub(hn::Add(a1, a2), hn::Set(d, 128))));
    case D3DTOP_SUBTRACT: return Clamp255(hn::Sub(a1, a2));
    case D3DTOP_ADDSMOOTH: return Clamp255(hn::Sub(hn::Add(a1, a2), Mul255(a1, a2)));
    case D3DTOP_BLENDDIFFUSEALPHA: return hn::Add(Mul255(a1, diffA), Mul255(a2, hn::Sub(full, diffA)));
    case D3DTOP_BLENDTEXTUREALPHA: return hn::Add(Mul255(a1, texA), Mul255(a2, hn::Sub(full, texA)));
    case D3DTOP_BLENDFACTORALPHA: return hn::Add(Mul255(a1, factorA), Mul255(a2, hn::Sub(full, factorA)));
    default: return diffuse;  // DISABLE: stage 0 passes the diffuse colour on
    }
}

HWY_INLINE VI BlendFactor(DWORD f, VI srcC, VI srcA, VI dstC, VI dstA) {
    const DI d;
    const VI full = hn::Set(d, 255);
    switch (f) {
    case D3DBLEND_ZERO: return hn::Zero(d);
    case D3DBLEND_ONE: return full;
    case D3DBLEND_SRCCOLOR: return srcC;
    case D3DBLEND_INVSRCCOLOR: return hn::Sub(full, srcC);
    case D3DBLEND_SRCALPHA: return srcA;
    case D3DBLEND_INVSRCALPHA: return hn::Sub(full, srcA);
    case D3DBLEND_DESTALPHA: return dstA;
    case D3DBLEND_INVDESTALPHA: return hn::Sub(full, dstA);
    case D3DBLEND_DESTCOLOR: return dstC;
    case D3DBLEND_INVDESTCOLOR: return hn::Sub(full, dstC);
    case D3DBLEND_SRCALPHASAT: return hn::Min(srcA, hn::Sub(full, dstA));
    default: return full;
    }
}

// The factor applied to the alpha channel: colour factors use the alpha
// of the same operand, and SRCALPHASAT leaves alpha whole.
HWY_INLINE VI BlendAlphaFactor(DWORD f, VI srcA, VI dstA) {
    if (f == D3DBLEND_SRCALPHASAT) return hn::Set(DI(), 255);
    return BlendFactor(f, srcA, srcA, dstA, dstA);
}

// Pixels of one chunk to and from memory: whole vectors when the row has
// room for them (lanes past the chunk are written back as they were read;
// one thread owns the row), else through a buffer.
HWY_INLINE VU LoadPixels(const uint8_t* p, int bytes, int m, bool room) {
    const DU du;
    const D16 d16;
    const int n = (int)hn::Lanes(du);
    if (bytes == 3) {
        HWY_ALIGN uint32_t buf[hn::MaxLanes(DU())] = {};
        for (int i = 0; i < m; ++i) buf[i] = LoadDepth(p + 3 * i, 3);
        return hn::Load(du, buf);
    }
    if (m == n || room) {
        if (bytes == 2) return hn::PromoteTo(du, hn::LoadU(d16, reinterpret_cast<const uint16_t*>(p)));
        return hn::LoadU(du, reinterpret_cast<const uint32_t*>(p));
    }
    if (bytes == 2) {
        HWY_ALIGN uint16_t buf[hn::MaxLanes(D16())] = {};
        std::memcpy(buf, p, (size_t)m * 2);
        return hn::PromoteTo(du, hn::Load(d16, buf));
    }
    HWY_ALIGN uint32_t buf[hn::MaxLanes(DU())] = {};
    std::memcpy(buf, p, (size_t)m * 4);
    return hn::Load(du, buf);
}

HWY_INLINE void StorePixels(VU v, uint8_t* p, int bytes, int m, bool room) {
    const DU du;
    const D16 d16;
    const DI di;
    const int n = (int)hn::Lanes(du);
    if (bytes == 3) {
        HWY_ALIGN uint32_t buf[hn::MaxLanes(DU())];
        hn::Store(v, du, buf);
        for (int i = 0; i < m; ++i) StoreDepth(p + 3 * i, 3, buf[i]);
        return;
    }
    if (bytes == 2) {
        const auto v16 = hn::DemoteTo(d16, hn::BitCast(di, v));  // values fit 16 bits
        if (m == n || room) {
            hn::StoreU(v16, d16, reinterpret_cast<uint16_t*>(p));
        } else {
            HWY_ALIGN uint16_t buf[hn::MaxLanes(D16())];
            hn::Store(v16, d16, buf);
            std::memcpy(p, buf, (size_t)m * 2);
        }
        return;
    }
    if (m == n || room) {
        hn::StoreU(v, du, reinterpret_cast<uint32_t*>(p));
    } else {
        HWY_ALIGN uint32_t buf[hn::MaxLanes(DU())];
        hn::Store(v, du, buf);
        std::memcpy(p, buf, (size_t)m * 4);
    }
}

// Colours of the target format; alpha reads as opaque where there is none.
HWY_INLINE void UnpackColor(ColorFormat f, const uint8_t* p, int m, VI& r, VI& g, VI& b, VI& a) {
    const DI d;
    if (f == ColorFormat::kXrgb8888 || f == ColorFormat::kArgb8888) {
        const VU v = LoadPixels(p, 4, m, false);
        r = Channel(v, 16), g = Channel(v, 8), b = Channel(v, 0);
        a = f == ColorFormat::kArgb8888 ? Channel(v, 24) : hn::Set(d, 255);
        return;
    }
    // 5- and 6-bit channels widen through the shared tables.
    HWY_ALIGN int32_t rr[hn::MaxLanes(DI())] = {}, gg[hn::MaxLanes(DI())] = {}, bb[hn::MaxLanes(DI())] = {};
    int unused;
    for (int i = 0; i < m; ++i) ReadColor(p + 2 * i, f, &rr[i], &gg[i], &bb[i], &unused);
    r = hn::Load(d, rr), g = hn::Load(d, gg), b = hn::Load(d, bb), a = hn::Set(d, 255);
}

HWY_INLINE VU PackColor(ColorFormat f, VI r, VI g, VI b, VI a) {
    const DU du;
    VI v;
    if (f == ColorFormat::kRgb565) {
        v = hn::Or(hn::Or(hn::ShiftLeft<11>(hn::ShiftRight<3>(r)), hn::ShiftLeft<5>(hn::ShiftRight<2>(g))),
                   hn::ShiftRight<3>(b));
    } else if (f == ColorFormat::kRgb555) {
        v = hn::Or(hn::Or(hn::ShiftLeft<10>(hn::ShiftRight<3>(r)), hn::ShiftLeft<5>(hn::ShiftRight<3>(g))),
                   hn::ShiftRight<3>(b));
    } else {
        if (f != ColorFormat::kArgb8888) a = hn::Set(DI(), 255);
        v = hn::Or(hn::Or(hn::ShiftLeft<24>(a), hn::ShiftLeft<16>(r)), hn::Or(hn::ShiftLeft<8>(g), b));
    }
    return hn::BitCast(du, v);
}

// Depth z into the Z bits of the pixels read as `raw`, where `write` holds.
HWY_INLINE void StoreDepthWhere(MI write, VU z, VU raw, uint32_t zmask, int zshift, uint8_t* p, int bytes, int m,
                                bool room) {
    const DU du;
    const VU mask = hn::Set(du, zmask);
    const VU nz = hn::Or(hn::AndNot(mask, raw), hn::And(hn::ShiftLeftSame(z, zshift), mask));
    StorePixels(hn::IfThenElse(hn::RebindMask(du, write), nz, raw), p, bytes, m, room);
}

// v minus its floor, in [0, 1); 0 for NaN and infinities.
inline double Fraction(double v) {
    const double f = v - std::floor(v);
    return f >= 0.0 && f < 1.0 ? f : 0.0;
}

// Whole periods of an addressing mode in v: repeats for WRAP, pairs of them
// for MIRROR, none for the clamping modes.
inline double Period(double v, DWORD mode) {
    if (!(std::fabs(v) < 1.0e15)) return 0.0;
    if (mode == D3DTADDRESS_WRAP) return std::floor(v);
    if (mode == D3DTADDRESS_MIRROR) return 2.0 * std::floor(v * 0.5);
    return 0.0;
}

inline int32_t ToTexelD(double v) {
    if (!(v > -1.0e9)) v = -1.0e9;
    if (v > 1.0e9) v = 1.0e9;
    return (int32_t)v;
}

// Trilinear filtering's levels for a pixel step spanning sqrt(rho2) texels
// of the top level: none coarser when magnified.
inline void PickLevels(const TexImage& t, float rho2, const TexLevel** fine, const TexLevel** coarse,
                       uint32_t* weight) {
    *fine = &t;
    *coarse = nullptr;
    const float lod = 0.5f * std::log2(rho2);
    if (!(lod > 0.0f) || t.mips.empty()) return;
    const int last = (int)t.mips.size();
    if (lod >= (float)last) {
        *fine = &t.mips.back();
        return;
    }
    const int level = (int)lod;
    *fine = level == 0 ? static_cast<const TexLevel*>(&t) : &t.mips[level - 1];
    *coarse = &t.mips[level];
    *weight = (uint32_t)((lod - (float)level) * 256.0f);
    if (*weight > 255u) *weight = 255u;
}

// Four attributes' planes side by side, for their values at a row's start
// in one go (as arrays: sizeless vectors cannot be members).
struct Planes4 {
    HWY_ALIGN float at[4], dx[4], dy[4];
};

HWY_INLINE Planes4 GatherPlanes(const Triangle& t, int a0, int a1, int a2, int a3) {
    Planes4 p;
    const int attrs[4] = {a0, a1, a2, a3};
    for (int i = 0; i < 4; ++i) p.at[i] = t.plane[attrs[i]].at, p.dx[i] = t.plane[attrs[i]].dx, p.dy[i] = t.plane[attrs[i]].dy;
    return p;
}

// ToFix(at + dx * fx + dy * fy) + add for each of the four, rounded as
// ToFix rounds it.
HWY_INLINE void RowStarts(const Planes4& p, float fx, float fy, uint32_t add, uint32_t* v0, uint32_t* v1,
                          uint32_t* v2, uint32_t* v3) {
#if HWY_TARGET == HWY_SCALAR
    uint32_t* out[4] = {v0, v1, v2, v3};
    for (int i = 0; i < 4; ++i) *out[i] = (uint32_t)ToFix(p.at[i] + p.dx[i] * fx + p.dy[i] * fy) + add;
#else
    const hn::FixedTag<float, 4> d4;
    const hn::RebindToSigned<decltype(d4)> di4;
    auto f = hn::Mul(hn::Add(hn::Add(hn::Load(d4, p.at), hn::Mul(hn::Load(d4, p.dx), hn::Set(d4, fx))),
                             hn::Mul(hn::Load(d4, p.dy), hn::Set(d4, fy))),
                     hn::Set(d4, 65536.0f));
    const auto lo = hn::Set(d4, -2.0e9f);
    f = hn::IfThenElse(hn::Gt(f, lo), f, lo);  // NaN too
    f = hn::IfThenElse(hn::Gt(f, hn::Set(d4, 2.0e9f)), hn::Set(d4, 2.0e9f), f);
    HWY_ALIGN int32_t out[4];
    hn::Store(hn::ConvertTo(di4, f), di4, out);
    *v0 = (uint32_t)out[0] + add, *v1 = (uint32_t)out[1] + add, *v2 = (uint32_t)out[2] + add,
    *v3 = (uint32_t)out[3] + add;
#endif
}

// How a call treats a triangle's pixels. kDirect: tested, shaded and
// written. kVisible: only tested, the depth it passes written and the
// triangle recorded as the pixel's owner. kOwned: shaded where it is the
// owner, depth already final.
enum class Pass { kDirect, kVisible, kOwned };

// A band's owner of each pixel, rows from `top`, `pitch` apart; `id` is
// the triangle's own value. `spans` holds the triangle's [x0, x1) from row
// ys on: written by the visible pass, empty where no pixel passed, and
// read by the owned one in place of walking the edges again.
struct Owners {
    uint32_t* rows;
    int pitch, top;
    uint32_t id;
    int32_t* spans;
};

// kDepth: depth bytes per pixel when depth is tested (0: not tested; -1:
// 3 or 4, read from the target). kTextured: sampling, its filter chosen at
// run time per run.
// kFast: stage 0 is texture x diffuse with the texture's alpha.
template <int kDepth, bool kTextured, bool kFast, Pass kPass = Pass::kDirect>
void ShadeRows(const Triangle& t, const PixelState& ps, int ys, int ye, const Owners* owners) {
    const DI di;
    const DU du;
    const DF df;
    const int lanes = (int)hn::Lanes(di);
    // What the triangle's rows share.
    const float zdx = t.plane[kZ].dx;
    // Colours in 16.16 with a half added, so the shift in Level rounds.
    const uint32_t half = 1u << 15;
    auto step = [&](int a) { return (uint32_t)ToFix(t.plane[a].dx); };
    const uint32_t rdx = step(kR), gdx = step(kG), bdx = step(kB), adx = step(kA);
    const bool specular = ps.specular;
    const bool anySpecular = specular || !kFast;
    uint32_t srdx = 0, sgdx = 0, sbdx = 0;
    if (anySpecular) srdx = step(kSR), sgdx = step(kSG), sbdx = step(kSB);
    const VF laneF = hn::ConvertTo(df, hn::Iota(di, 0));
    const Planes4 colorPlanes = GatherPlanes(t, kR, kG, kB, kA);
    const VU Lrdx = LaneSteps(rdx), Lgdx = LaneSteps(gdx), Lbdx = LaneSteps(bdx), Ladx = LaneSteps(adx);
    const VU Lsrdx = LaneSteps(srdx), Lsgdx = LaneSteps(sgdx), Lsbdx = LaneSteps(sbdx);

    const Target& tg = ps.target;
    const ColorFormat format = tg.colorFormat;
    const int cbytes = BytesOf(format);
    const int zbytes = kDepth >= 0 ? kDepth : tg.depthBytes;
    const TexMode mode = ps.texMode;
    const uint32_t zmask = tg.depthMask;
    const int zshift = ps.depthShift;
    const float zmaxF = (float)ps.depthMax;
    const int zLimit = tg.depthWidth;  // whole-vector depth access up to here

    const TexImage* tex = ps.texture.get();
    const DWORD au = ps.addressU, av = ps.addressV;
    // Power-of-two textures wrapping both ways take the fixed-point path.
    const bool fixedWrap = kTextured && tex->pow2 && au == D3DTADDRESS_WRAP && av == D3DTADDRESS_WRAP;
    double qdx = 0, sdx = 0, tdx = 0;
    float texW = 0, texH = 0;
    if constexpr (kTextured) {
        qdx = t.tex[0].dx, sdx = t.tex[1].dx, tdx = t.tex[2].dx;
        texW = (float)tex->width;
        texH = (float)tex->height;
    }
    // Two roundings kept from the shaders this one replaces, so pictures stay
    // as they were: depth stepped pixel by pixel (else from the run start)
    // and bilinear blended in x first (else in y first, the modulating
    // wrap case).
    const bool zSequential = ps.sequentialDepth;
    const bool xFirst = !kFast || !fixedWrap;
    const uint32_t factor = ps.textureFactor;
    const bool general = ps.blend || ps.alphaTest;

    HWY_ALIGN uint32_t passBits[kRun + hn::MaxLanes(DU())] = {}, zNew[kRun + hn::MaxLanes(DU())] = {},
                       zOld[kRun + hn::MaxLanes(DU())] = {}, texels[kRun + hn::MaxLanes(DU())] = {};
    std::optional<RowWalker> rows;
    if constexpr (kPass != Pass::kOwned) rows.emplace(t, ps, ys);
    for (int y = ys; y < ye; ++y) {
        int x0, x1;
        if constexpr (kPass == Pass::kOwned) {
            x0 = owners->spans[2 * (y - ys)], x1 = owners->spans[2 * (y - ys) + 1];
        } else {
            rows->Next(&x0, &x1);
        }
        if constexpr (kPass == Pass::kVisible) owners->spans[2 * (y - ys)] = owners->spans[2 * (y - ys) + 1] = 0;
        if (x0 >= x1) continue;
        bool rowAny = false;
        // The row's values at its first pixel.
        const float fx = (float)x0 - t.refX, fy = (float)y - t.refY;
        auto at = [&](int a) { return t.plane[a].at + t.plane[a].dx * fx + t.plane[a].dy * fy; };
        float z = at(kZ);
        auto fix = [&](int a) { return (uint32_t)ToFix(at(a)) + half; };
        uint32_t r, g, b, a;
        RowStarts(colorPlanes, fx, fy, half, &r, &g, &b, &a);
        uint32_t sr = 0, sg = 0, sb = 0;
        if (anySpecular) sr = fix(kSR), sg = fix(kSG), sb = fix(kSB);
        uint8_t* cp = tg.color + (ptrdiff_t)y * tg.colorPitch + (ptrdiff_t)x0 * cbytes;
        uint8_t* zp = nullptr;
        if constexpr (kDepth != 0) zp = tg.depth + (ptrdiff_t)y * tg.depthPitch + (ptrdiff_t)x0 * zbytes;
        uint32_t* op = nullptr;
        VU ownId = hn::Zero(du);
        if constexpr (kPass != Pass::kDirect) {
            op = owners->rows + (ptrdiff_t)(y - owners->top) * owners->pitch + x0;
            ownId = hn::Set(du, owners->id);
        }
        // Texture coordinates in double up to each run's fraction of a repeat,
        // so a texture repeated a thousand times is sampled where it should be.
        double q = 0, s = 0, tq = 0;
        if constexpr (kTextured) {
            const double dfx = (double)x0 - t.refX, dfy = (double)y - t.refY;
            auto atd = [&](int k) { return t.tex[k].at + t.tex[k].dx * dfx + t.tex[k].dy * dfy; };
            q = atd(0), s = atd(1), tq = atd(2);
        }
        // A run's end is the next one's start: its 1/q, u and v, when computed.
        bool haveStart = false;
        double startW = 0, startU = 0, startV = 0;
        for (int x = x0; x < x1;) {
            const int n = std::min(kRun, x1 - x);
            // Depth first: a run hidden behind what is drawn costs little.
            bool any = false;
            for (int c = 0; c < n; c += lanes) {
                const int m = std::min(lanes, n - c);
                MI pass = hn::FirstN(di, (size_t)m);
                if constexpr (kPass == Pass::kOwned) {
                    // The owners' rows have a vector's room past their end.
                    pass = hn::And(pass, hn::RebindMask(di, hn::Eq(hn::LoadU(du, op + c), ownId)));
                } else if constexpr (kDepth != 0) {
                    VF zf;
                    if (zSequential) {
                        zf = SequentialSteps(z, zdx, laneF, lanes);
                        z = hn::ExtractLane(zf, (size_t)(m - 1)) + zdx;
                    } else {
                        zf = hn::Add(hn::Set(df, z), hn::Mul(hn::Add(laneF, hn::Set(df, (float)c)), hn::Set(df, zdx)));
                    }
                    const VU zi = kDepth == 2 ? DepthFromFloatSmall(zf, zmaxF) : DepthFromFloat(zf, zmaxF, ps.depthMax);
                    const VU raw = LoadPixels(zp + c * zbytes, zbytes, m, x + c + lanes <= zLimit);
                    const VU old = hn::ShiftRightSame(hn::And(raw, hn::Set(du, zmask)), zshift);
                    pass = hn::And(pass, CompareU(ps.depthFunc, zi, old));
                    if constexpr (kPass == Pass::kVisible) {
                        if (ps.depthWrite) StoreDepthWhere(pass, zi, raw, zmask, zshift, zp + c * zbytes, zbytes, m,
                                                           x + c + lanes <= zLimit);
                    } else {
                        hn::Store(zi, du, zNew + c);
                        hn::Store(raw, du, zOld + c);
                    }
                }
                if constexpr (kPass == Pass::kVisible) {
                    rowAny = rowAny || !hn::AllFalse(di, pass);
                    // A plain store: masked ones are slow on some CPUs, and the rows are this thread's.
                    hn::StoreU(hn::IfThenElse(hn::RebindMask(du, pass), ownId, hn::LoadU(du, op + c)), du, op + c);
                    continue;
                }
                hn::Store(hn::BitCast(du, hn::VecFromMask(di, pass)), du, passBits + c);
                any = any || !hn::AllFalse(di, pass);
            }
            if (kDepth != 0 && !zSequential) z = z + zdx * (float)n;
            if constexpr (kPass != Pass::kDirect) op += n;
            if constexpr (kPass == Pass::kVisible) {
                if constexpr (kDepth != 0) zp += zbytes * n;
                x += n;
                continue;
            }

            // Texture coordinates at both ends of the run.
            float u = 0, v = 0, du_ = 0, dv_ = 0;
            uint32_t U = 0, V = 0, dU = 0, dV = 0;
            bool linear = false;
            // Mipmapped: the finer level and, between levels, the coarser one
            // with its weight (0..255), chosen per run.
            const TexLevel* fine = tex;
            const TexLevel* coarse = nullptr;
            uint32_t U1 = 0, V1 = 0, dU1 = 0, dV1 = 0, mipWeight = 0;
            if constexpr (kTextured) {
                const double qe = q + qdx * n, se = s + sdx * n, te = tq + tdx * n;
                if (any) {
                    const double w0 = haveStart ? startW : 1.0 / q, w1 = 1.0 / qe;
                    const double ud = haveStart ? startU : s * w0, vd = haveStart ? startV : tq * w0;
                    const double ue = se * w1, ve = te * w1;
                    haveStart = true;
                    startW = w1, startU = ue, startV = ve;
                    // Whole runs divide by a power of two: a multiply, exactly.
                    const double dud = n == kRun ? (ue - ud) * (1.0 / kRun) : (ue - ud) / n;
                    const double dvd = n == kRun ? (ve - vd) * (1.0 / kRun) : (ve - vd) / n;
                    du_ = (float)dud, dv_ = (float)dvd;
                    if (mode == TexMode::kLinear) {
                        linear = true;
                    } else if (mode == TexMode::kLodSelect || mode == TexMode::kMip) {
                        // Magnified when a pixel step spans at most one texel.
                        const double dudy = (t.tex[1].dy - ud * t.tex[0].dy) * w0;
                        const double dvdy = (t.tex[2].dy - vd * t.tex[0].dy) * w0;
                        const double w2 = (double)texW * texW, h2 = (double)texH * texH;
                        const double rho2 = std::max(dud * dud * w2 + dvd * dvd * h2, dudy * dudy * w2 + dvdy * dvdy * h2);
                        if (mode == TexMode::kMip) {
                            linear = true;
                            PickLevels(*tex, (float)rho2, &fine, &coarse, &mipWeight);
                        } else {
                            linear = rho2 <= 1.0 ? ps.magLinear : ps.minLinear;
                        }
                    }
                    if (fixedWrap) {
                        // The fraction of a repeat in 16.16 texels, the steps beside it.
                        const double fu = Fraction(ud), fv = Fraction(vd);
                        const double su = fine->width * 65536.0, sv = fine->height * 65536.0;
                        U = (uint32_t)(fu * su), V = (uint32_t)(fv * sv);
                        dU = (uint32_t)ToTexelD(dud * su), dV = (uint32_t)ToTexelD(dvd * sv);
                        if (coarse) {
                            const double cu = coarse->width * 65536.0, cv = coarse->height * 65536.0;
                            U1 = (uint32_t)(fu * cu), V1 = (uint32_t)(fv * cv);
                            dU1 = (uint32_t)ToTexelD(dud * cu), dV1 = (uint32_t)ToTexelD(dvd * cv);
                        }
                    } else {
                        // Whole periods of the addressing mode dropped (none when clamping).
                        u = (float)(ud - Period(ud, au)), v = (float)(vd - Period(vd, av));
                    }
                }
                if (!any) haveStart = false;
                q = qe, s = se, tq = te;
            }

            if (any) {
                // Other addressing samples lane by lane, coordinates stepped as floats.
                if (kTextured && !fixedWrap) {
                    float uu = u, vv = v;
                    for (int i = 0; i < n; ++i, uu += du_, vv += dv_) {
                        texels[i] = linear ? SampleLinear(*fine, uu, vv, au, av, xFirst) : SamplePoint(*fine, uu, vv, au, av);
                        if (coarse)
                            texels[i] = raster::LerpArgb(texels[i], SampleLinear(*coarse, uu, vv, au, av, xFirst), mipWeight);
                    }
                }
                const VU LdU = LaneSteps(dU), LdV = LaneSteps(dV), LdU1 = LaneSteps(dU1), LdV1 = LaneSteps(dV1);
                for (int c = 0; c < n; c += lanes) {
                    const int m = std::min(lanes, n - c);
                    const MI pass = hn::RebindMask(di, hn::Ne(hn::Load(du, passBits + c), hn::Zero(du)));
                    if (hn::AllFalse(di, pass)) continue;
                    VI cr = Level(Stepped(r, rdx, c, Lrdx)), cg = Level(Stepped(g, gdx, c, Lgdx)), cb = Level(Stepped(b, bdx, c, Lbdx));
                    VI ca;
                    VU texel;
                    if constexpr (!kTextured) {
                        // No texture: stages reading one were turned into a pass-through
                        // of the diffuse colour; white with the diffuse alpha keeps the
                        // modulating rule exact.
                        texel = hn::Or(hn::Set(du, 0x00FFFFFFu),
                                       hn::ShiftLeft<24>(hn::BitCast(du, Level(Stepped(a, adx, c, Ladx)))));
                    } else if (fixedWrap) {
                        const VU uu = Stepped(U, dU, c, LdU), vv = Stepped(V, dV, c, LdV);
                        texel = linear ? FetchLinearWrap(*fine, uu, vv, xFirst) : FetchPointWrap(*fine, uu, vv);
                        if (coarse) {
                            const VU cu = Stepped(U1, dU1, c, LdU1), cv = Stepped(V1, dV1, c, LdV1);
                            texel = LerpArgbV(texel, FetchLinearWrap(*coarse, cu, cv, xFirst), hn::Set(du, mipWeight));
                        }
                    } else {
                        texel = hn::Load(du, texels + c);
                    }
                    const VI tr = Channel(texel, 16), tgc = Channel(texel, 8), tb = Channel(texel, 0),
                             ta = Channel(texel, 24);
                    if constexpr (kFast) {
                        if constexpr (kTextured) {
                            cr = Mul255(tr, cr), cg = Mul255(tgc, cg), cb = Mul255(tb, cb);
                        }
                        ca = ta;
                    } else {
                        const VI da = Level(Stepped(a, adx, c, Ladx));
                        const VI sR = Level(Stepped(sr, srdx, c, Lsrdx)), sG = Level(Stepped(sg, sgdx, c, Lsgdx)),
                                 sB = Level(Stepped(sb, sbdx, c, Lsbdx));
                        const VI fr = hn::Set(di, (int32_t)((factor >> 16) & 255)),
                                 fg = hn::Set(di, (int32_t)((factor >> 8) & 255)), fb = hn::Set(di, (int32_t)(factor & 255)),
                                 fa = hn::Set(di, (int32_t)(factor >> 24));
                        VI c1r, c1g, c1b, c1a, c2r, c2g, c2b, c2a, a1r, a1g, a1b, a1a, a2r, a2g, a2b, a2a;
                        StageArg(ps.colorArg1, cr, cg, cb, da, tr, tgc, tb, ta, fr, fg, fb, fa, sR, sG, sB, c1r, c1g, c1b,
                                 c1a);
                        StageArg(ps.colorArg2, cr, cg, cb, da, tr, tgc, tb, ta, fr, fg, fb, fa, sR, sG, sB, c2r, c2g, c2b,
                                 c2a);
                        StageArg(ps.alphaArg1, cr, cg, cb, da, tr, tgc, tb, ta, fr, fg, fb, fa, sR, sG, sB, a1r, a1g, a1b,
                                 a1a);
                        StageArg(ps.alphaArg2, cr, cg, cb, da, tr, tgc, tb, ta, fr, fg, fb, fa, sR, sG, sB, a2r, a2g, a2b,
                                 a2a);
                        const DWORD cop = ps.colorOp;
                        const VI nr = StageOp(cop, c1r, c2r, da, ta, fa, cr);
                        const VI ng = StageOp(cop, c1g, c2g, da, ta, fa, cg);
                        const VI nb = StageOp(cop, c1b, c2b, da, ta, fa, cb);
                        ca = StageOp(cop == D3DTOP_DISABLE ? (DWORD)D3DTOP_DISABLE : ps.alphaOp, a1a, a2a, da, ta, fa, da);
                        cr = nr, cg = ng, cb = nb;
                    }
                    if (specular) {
                        const VI full = hn::Set(di, 255);
                        cr = hn::Min(full, hn::Add(cr, Level(Stepped(sr, srdx, c, Lsrdx))));
                        cg = hn::Min(full, hn::Add(cg, Level(Stepped(sg, sgdx, c, Lsgdx))));
                        cb = hn::Min(full, hn::Add(cb, Level(Stepped(sb, sbdx, c, Lsbdx))));
                    }
                    MI write = pass;
                    if (general && ps.alphaTest)
                        write = hn::And(write, CompareU(ps.alphaFunc, hn::BitCast(du, ca), hn::Set(du, ps.alphaRef)));
                    if constexpr (kDepth != 0) {
                        if (ps.depthWrite)
                            StoreDepthWhere(write, hn::Load(du, zNew + c), hn::Load(du, zOld + c), zmask, zshift,
                                            zp + c * zbytes, zbytes, m, x + c + lanes <= zLimit);
                    }
                    uint8_t* p = cp + c * cbytes;
                    VU old;
                    if (general && ps.blend) {
                        VI dr, dg, db, da;
                        UnpackColor(format, p, m, dr, dg, db, da);
                        const DWORD sf = ps.srcBlend, dfct = ps.dstBlend;
                        const VI full = hn::Set(di, 255);
                        const VI nr = hn::Min(full, hn::Add(Mul255(cr, BlendFactor(sf, cr, ca, dr, da)),
                                                            Mul255(dr, BlendFactor(dfct, cr, ca, dr, da))));
                        const VI ng = hn::Min(full, hn::Add(Mul255(cg, BlendFactor(sf, cg, ca, dg, da)),
                                                            Mul255(dg, BlendFactor(dfct, cg, ca, dg, da))));
                        const VI nb = hn::Min(full, hn::Add(Mul255(cb, BlendFactor(sf, cb, ca, db, da)),
                                                            Mul255(db, BlendFactor(dfct, cb, ca, db, da))));
                        const VI na = hn::Min(full, hn::Add(Mul255(ca, BlendAlphaFactor(sf, ca, da)),
                                                            Mul255(da, BlendAlphaFactor(dfct, ca, da))));
                        cr = nr, cg = ng, cb = nb, ca = na;
                    }
                    const bool room = x + c + lanes <= tg.width;
                    const VU packed = PackColor(format, cr, cg, cb, ca);
                    if (m == lanes && hn::AllTrue(di, write)) {
                        StorePixels(packed, p, cbytes, m, room);
                    } else {
                        old = LoadPixels(p, cbytes, m, room);
                        StorePixels(hn::IfThenElse(hn::RebindMask(du, write), packed, old), p, cbytes, m, room);
                    }
                }
            }
            const uint32_t un = (uint32_t)n;
            r += rdx * un, g += gdx * un, b += bdx * un, a += adx * un;
            sr += srdx * un, sg += sgdx * un, sb += sbdx * un;
            cp += cbytes * n;
            if constexpr (kDepth != 0) zp += zbytes * n;
            x += n;
        }
        if constexpr (kPass == Pass::kVisible) {
            if (rowAny) owners->spans[2 * (y - ys)] = x0, owners->spans[2 * (y - ys) + 1] = x1;
        }
    }
}

// Shades rows [ys, ye) of a triangle.
using RowsFn = void (*)(const Triangle& t, const PixelState& ps, int ys, int ye, const Owners* owners);

template <int kDepth, bool kTextured>
RowsFn PickFast(bool fast) {
    return fast ? &ShadeRows<kDepth, kTextured, true> : &ShadeRows<kDepth, kTextured, false>;
}

template <int kDepth>
RowsFn PickTex(TexMode mode, bool fast) {
    return mode == TexMode::kNone ? PickFast<kDepth, false>(fast) : PickFast<kDepth, true>(fast);
}

RowsFn SelectRows(const PixelState& ps) {
    const int depthBytes = (ps.depthTest && ps.target.depth) ? ps.target.depthBytes : 0;
    switch (depthBytes) {
    case 0: return PickTex<0>(ps.texMode, ps.fastModulate);
    case 2: return PickTex<2>(ps.texMode, ps.fastModulate);
    default: return PickTex<-1>(ps.texMode, ps.fastModulate);
    }
}

RowsFn SelectVisible(const PixelState& ps) {
    const int depthBytes = (ps.depthTest && ps.target.depth) ? ps.target.depthBytes : 0;
    switch (depthBytes) {
    case 0: return &ShadeRows<0, false, true, Pass::kVisible>;
    case 2: return &ShadeRows<2, false, true, Pass::kVisible>;
    default: return &ShadeRows<-1, false, true, Pass::kVisible>;
    }
}

RowsFn SelectOwned(const PixelState& ps) {
    if (ps.texMode == TexMode::kNone)
        return ps.fastModulate ? &ShadeRows<0, false, true, Pass::kOwned> : &ShadeRows<0, false, false, Pass::kOwned>;
    return ps.fastModulate ? &ShadeRows<0, true, true, Pass::kOwned> : &ShadeRows<0, true, false, Pass::kOwned>;
}

// A pixel's colour from such a state depends on nothing drawn before it,
// and whether it is written on the depth test alone.
bool Opaque(const PixelState& ps) { return !ps.blend && !ps.alphaTest; }

bool SameTarget(const Target& a, const Target& b) {
    return a.color == b.color && a.colorPitch == b.colorPitch && a.width == b.width && a.depth == b.depth &&
           a.depthPitch == b.depthPitch;
}

// Each thread's owners for the band it runs, and the last value handed
// out: values are never reused until they wrap, so what is left from
// earlier bands and frames can never match.
struct OwnerBuffer {
    std::vector<uint32_t> rows;
    int pitch = 0;
    uint32_t last = 0;
    std::vector<int32_t> spans;
};

OwnerBuffer& ThreadOwners() {
    thread_local OwnerBuffer owners;
    return owners;
}

// Opaque triangles [first, end) of a band's list, all on one target: the
// depth test runs over all of them first, so each pixel is shaded once, by
// the triangle that ends up drawn there. The picture and depth are those
// of drawing them one by one.
void RunOpaque(const Frame& frame, const uint32_t* first, const uint32_t* end, int top, int bottom) {
    const Target& tg = frame.pixelStates[frame.triangles[*first].pixelState].target;
    OwnerBuffer& ob = ThreadOwners();
    const size_t count = (size_t)(end - first);
    const size_t need = (size_t)tg.width * kBandHeight + hn::MaxLanes(DU());
    if (ob.pitch != tg.width || ob.rows.size() < need || ob.last > 0xFFFFFFFFu - count) {
        ob.rows.assign(need, 0);
        ob.pitch = tg.width;
        ob.last = 0;
    }
    const uint32_t base = ob.last + 1;
    ob.last += (uint32_t)count;
    if (ob.spans.size() < count * 2 * kBandHeight) ob.spans.resize(count * 2 * kBandHeight);
    for (int pass = 0; pass < 2; ++pass) {
        for (size_t k = 0; k < count; ++k) {
            const Triangle& t = frame.triangles[first[k]];
            const PixelState& ps = frame.pixelStates[t.pixelState];
            const int ys = std::max(t.yFirst, top), ye = std::min(t.yEnd, bottom);
            if (ys >= ye) continue;
            const Owners owners{ob.rows.data(), ob.pitch, top, base + (uint32_t)k, &ob.spans[k * 2 * kBandHeight]};
            (pass == 0 ? SelectVisible(ps) : SelectOwned(ps))(t, ps, ys, ye, &owners);
        }
    }
}

}  // namespace

void RunBandSimd(const Frame& frame, int band) {
    const int top = band * kBandHeight, bottom = top + kBandHeight;
    const std::vector<uint32_t>& list = frame.bins[band];
    const bool twoPass = OpaqueTwoPass();
    for (size_t i = 0; i < list.size();) {
        const uint32_t entry = list[i];
        if (entry & kClearBit) {
            const ClearCommand& c = frame.clears[entry & ~kClearBit];
            RunClear(c, std::max(c.y0, top), std::min(c.y1, bottom));
            ++i;
            continue;
        }
        const Triangle& t = frame.triangles[entry];
        const PixelState& ps = frame.pixelStates[t.pixelState];
        // A stretch of opaque triangles on one target goes in two passes.
        size_t j = i + 1;
        if (twoPass && Opaque(ps)) {
            while (j < list.size() && !(list[j] & kClearBit)) {
                const PixelState& next = frame.pixelStates[frame.triangles[list[j]].pixelState];
                if (!Opaque(next) || !SameTarget(next.target, ps.target)) break;
                ++j;
            }
        }
        if (j - i > 1) {
            RunOpaque(frame, &list[i], &list[j], top, bottom);
        } else {
            const int ys = std::max(t.yFirst, top), ye = std::min(t.yEnd, bottom);
            if (ys < ye) SelectRows(ps)(t, ps, ys, ye, nullptr);
        }
        i = j;
    }
}

}  // namespace HWY_NAMESPACE
}  // namespace sombrella::d3d::raster
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace sombrella::d3d::raster {

HWY_EXPORT(RunBandSimd);

namespace {
std::atomic<bool> g_opaqueTwoPass{true};
}  // namespace

void SetOpaqueTwoPass(bool on) { g_opaqueTwoPass.store(on, std::memory_order_relaxed); }
bool OpaqueTwoPass() { return g_opaqueTwoPass.load(std::memory_order_relaxed); }

void RunBand(const Frame& frame, int band) { HWY_DYNAMIC_DISPATCH(RunBandSimd)(frame, band); }

}  // namespace sombrella::d3d::raster
#endif
