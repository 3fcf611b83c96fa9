#include "ddraw/render_size.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <thread>
#include <vector>

#include "ddraw/surface.h"

namespace sombrella::ddraw {
namespace {

// Largest internal size a device of ours renders to.
constexpr DWORD kMaxSide = 8192;
// Below this many source pixels (640x480 at 2x2 samples) starting a thread costs more than it saves.
constexpr uint64_t kSplitPixels = 1280 * 960;

}  // namespace

RenderSize ChooseRenderSize(DWORD w, DWORD h, const char* scale, const char* aa, DWORD displayW, DWORD displayH) {
    RenderSize r{w, h, w, h, 1};
    if (scale && !std::strcmp(scale, "native")) {
        if (displayW && displayH) {
            // The display's size with the mode's aspect kept.
            if (static_cast<uint64_t>(displayW) * h <= static_cast<uint64_t>(displayH) * w) {
                r.presentWidth = displayW;
                r.presentHeight = static_cast<DWORD>(static_cast<uint64_t>(displayW) * h / w);
            } else {
                r.presentHeight = displayH;
                r.presentWidth = static_cast<DWORD>(static_cast<uint64_t>(displayH) * w / h);
            }
        } else {
            // Without a display: three times the mode (1920x1440 for 640x480).
            r.presentWidth = w * 3, r.presentHeight = h * 3;
        }
    } else if (scale) {
        const long n = std::strtol(scale, nullptr, 10);
        if (n >= 1 && n <= 8) r.presentWidth = w * n, r.presentHeight = h * n;
    }
    // Never smaller than the mode itself.
    if (r.presentWidth < w || r.presentHeight < h) r.presentWidth = w, r.presentHeight = h;
    if (aa) {
        const long samples = std::strtol(aa, nullptr, 10);
        const long axis = std::lround(std::sqrt(static_cast<double>(samples > 0 ? samples : 1)));
        if (axis >= 1 && axis * axis == samples) r.samples = static_cast<DWORD>(axis);
    }
    while (r.samples > 1 && (r.presentWidth * r.samples > kMaxSide || r.presentHeight * r.samples > kMaxSide))
        --r.samples;
    if (r.presentWidth > kMaxSide || r.presentHeight > kMaxSide) r.presentWidth = w, r.presentHeight = h;
    r.renderWidth = r.presentWidth * r.samples;
    r.renderHeight = r.presentHeight * r.samples;
    return r;
}

namespace {

// The channels of one output row's k source rows, summed per source column;
// then k columns at a time, divided with rounding. Planar arrays and plain
// loops so the compiler vectorises them (this file is built with -O3).
struct Sums {
    std::vector<uint16_t> a, b, c;
    void Reset(size_t n) {
        a.assign(n, 0), b.assign(n, 0), c.assign(n, 0);
    }
};

// Indices are size_t: 32-bit unsigned ones may wrap, which keeps GCC from vectorising.
template <size_t K>
[[gnu::always_inline]] inline void DownRow16(const uint8_t* const* rows, size_t srcW, bool g6, uint8_t* __restrict out, size_t outW, Sums& s) {
    s.Reset(srcW);
    uint16_t* __restrict a = s.a.data();
    uint16_t* __restrict b = s.b.data();
    uint16_t* __restrict c = s.c.data();
    const int aShift = g6 ? 11 : 10;
    const uint16_t bMask = g6 ? 63 : 31;
    for (size_t sy = 0; sy < K; ++sy) {
        const uint8_t* __restrict row = rows[sy];
        for (size_t x = 0; x < srcW; ++x) {
            const uint16_t p = static_cast<uint16_t>(row[2 * x] | (row[2 * x + 1] << 8));
            a[x] = static_cast<uint16_t>(a[x] + ((p >> aShift) & 31));
            b[x] = static_cast<uint16_t>(b[x] + ((p >> 5) & bMask));
            c[x] = static_cast<uint16_t>(c[x] + (p & 31));
        }
    }
    // (v + n / 2) / n as a multiply and a shift: exact for these small v.
    constexpr uint32_t n = K * K, half = n / 2, mul = (65536 + n - 1) / n;
    for (size_t x = 0; x < outW; ++x) {
        uint32_t sa = 0, sb = 0, sc = 0;
        for (size_t i = 0; i < K; ++i) sa += a[x * K + i], sb += b[x * K + i], sc += c[x * K + i];
        sa = ((sa + half) * mul) >> 16, sb = ((sb + half) * mul) >> 16, sc = ((sc + half) * mul) >> 16;
        const uint32_t p = (sa << aShift) | (sb << 5) | sc;
        out[2 * x] = static_cast<uint8_t>(p), out[2 * x + 1] = static_cast<uint8_t>(p >> 8);
    }
}

template <size_t K>
[[gnu::always_inline]] inline void DownRow32(const uint8_t* const* rows, size_t srcW, uint8_t* __restrict out, size_t outW, Sums& s) {
    s.Reset(srcW);
    uint16_t* __restrict a = s.a.data();
    uint16_t* __restrict b = s.b.data();
    uint16_t* __restrict c = s.c.data();
    for (size_t sy = 0; sy < K; ++sy) {
        const uint8_t* __restrict row = rows[sy];
        for (size_t x = 0; x < srcW; ++x) {
            a[x] = static_cast<uint16_t>(a[x] + row[4 * x + 2]);
            b[x] = static_cast<uint16_t>(b[x] + row[4 * x + 1]);
            c[x] = static_cast<uint16_t>(c[x] + row[4 * x]);
        }
    }
    constexpr uint32_t n = K * K, half = n / 2, mul = (65536 + n - 1) / n;
    for (size_t x = 0; x < outW; ++x) {
        uint32_t sa = 0, sb = 0, sc = 0;
        for (size_t i = 0; i < K; ++i) sa += a[x * K + i], sb += b[x * K + i], sc += c[x * K + i];
        out[4 * x] = static_cast<uint8_t>(((sc + half) * mul) >> 16);
        out[4 * x + 1] = static_cast<uint8_t>(((sb + half) * mul) >> 16);
        out[4 * x + 2] = static_cast<uint8_t>(((sa + half) * mul) >> 16);
        out[4 * x + 3] = 0;
    }
}

// Built for AVX2 as well, picked at load time where the processor has it.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define SOMBRELLA_CLONES [[gnu::target_clones("avx2", "default")]]
#else
#define SOMBRELLA_CLONES
#endif

template <size_t K>
SOMBRELLA_CLONES void DownsampleBy(const Surface& from, Surface& to, DWORD y0, DWORD y1) {
    const bool sixteen = to.Format().dwRGBBitCount == 16, g6 = to.Format().dwGBitMask == 0x07E0;
    Sums sums;
    const uint8_t* rows[K];
    for (DWORD y = y0; y < y1; ++y) {
        for (size_t sy = 0; sy < K; ++sy) rows[sy] = from.Bits() + (static_cast<size_t>(y) * K + sy) * from.Pitch();
        uint8_t* out = to.Bits() + static_cast<size_t>(y) * to.Pitch();
        if (sixteen) DownRow16<K>(rows, from.Width(), g6, out, to.Width(), sums);
        else DownRow32<K>(rows, from.Width(), out, to.Width(), sums);
    }
}

SOMBRELLA_CLONES void WidenRows(const Surface& from, uint8_t* out, size_t outPitch) {
    const bool g6 = from.Format().dwGBitMask == 0x07E0;
    const size_t w = from.Width();
    for (DWORD y = 0; y < from.Height(); ++y) {
        const uint8_t* __restrict row = from.Bits() + static_cast<size_t>(y) * from.Pitch();
        uint32_t* __restrict o = reinterpret_cast<uint32_t*>(out + static_cast<size_t>(y) * outPitch);
        for (size_t x = 0; x < w; ++x) {
            const uint32_t p = static_cast<uint32_t>(row[2 * x] | (row[2 * x + 1] << 8));
            // Rounded to nearest as pixel::Widen: (v * 255 + 15) / 31 and (v * 255 + 31) / 63.
            const uint32_t r = g6 ? p >> 11 : (p >> 10) & 31, b = p & 31;
            const uint32_t g = g6 ? (((p >> 5) & 63) * 259 + 33) >> 6 : (((p >> 5) & 31) * 527 + 23) >> 6;
            o[x] = 0xFF000000u | (((r * 527 + 23) >> 6) << 16) | (g << 8) | ((b * 527 + 23) >> 6);
        }
    }
}

// Any other whole ratio, one pixel at a time.
void DownsampleAny(const Surface& from, Surface& to, DWORD k, DWORD y0, DWORD y1) {
    const DDPIXELFORMAT& f = to.Format();
    const DWORD n = k * k, half = n / 2;
    for (DWORD y = y0; y < y1; ++y) {
        uint8_t* out = to.Bits() + static_cast<size_t>(y) * to.Pitch();
        for (DWORD x = 0; x < to.Width(); ++x) {
            uint32_t a = 0, b = 0, c = 0;
            for (DWORD sy = 0; sy < k; ++sy) {
                const uint8_t* row = from.Bits() + static_cast<size_t>(y * k + sy) * from.Pitch();
                for (DWORD sx = 0; sx < k; ++sx) {
                    const DWORD px = x * k + sx;
                    if (f.dwRGBBitCount == 16) {
                        const uint32_t p = row[2 * px] | (row[2 * px + 1] << 8);
                        if (f.dwGBitMask == 0x07E0) a += p >> 11, b += (p >> 5) & 63, c += p & 31;
                        else a += (p >> 10) & 31, b += (p >> 5) & 31, c += p & 31;
                    } else {
                        a += row[4 * px + 2], b += row[4 * px + 1], c += row[4 * px];
                    }
                }
            }
            a = (a + half) / n, b = (b + half) / n, c = (c + half) / n;
            if (f.dwRGBBitCount == 16) {
                const uint32_t p = f.dwGBitMask == 0x07E0 ? (a << 11) | (b << 5) | c : (a << 10) | (b << 5) | c;
                out[2 * x] = static_cast<uint8_t>(p), out[2 * x + 1] = static_cast<uint8_t>(p >> 8);
            } else {
                out[4 * x] = static_cast<uint8_t>(c), out[4 * x + 1] = static_cast<uint8_t>(b),
                out[4 * x + 2] = static_cast<uint8_t>(a), out[4 * x + 3] = 0;
            }
        }
    }
}

}  // namespace

void WidenToXrgb8888(const Surface& from, uint8_t* out, long pitch) {
    if (from.Format().dwRGBBitCount != 16) return;
    WidenRows(from, out, static_cast<size_t>(pitch));
}

namespace {

void DownsampleRows(const Surface& from, Surface& to, DWORD k, DWORD y0, DWORD y1) {
    switch (k) {
        case 2: return DownsampleBy<2>(from, to, y0, y1);
        case 3: return DownsampleBy<3>(from, to, y0, y1);
        case 4: return DownsampleBy<4>(from, to, y0, y1);
        default: return DownsampleAny(from, to, k, y0, y1);
    }
}

}  // namespace

void Downsample(const Surface& from, Surface& to) {
    const DWORD k = from.Width() / to.Width();
    if (k == 0 || from.Width() != to.Width() * k || from.Height() != to.Height() * k) return;
    // The rasterizer's workers are idle during the flip: the lower half goes
    // to a second core. Rows are independent, so the picture is the same.
    const DWORD h = to.Height(), mid = h / 2;
    const uint64_t work = static_cast<uint64_t>(from.Width()) * from.Height();
    if (std::thread::hardware_concurrency() > 1 && work >= kSplitPixels) {
        try {
            std::thread lower([&] { DownsampleRows(from, to, k, mid, h); });
            DownsampleRows(from, to, k, 0, mid);
            lower.join();
            return;
        } catch (const std::system_error&) {
            // No thread to be had: all on this one.
        }
    }
    DownsampleRows(from, to, k, 0, h);
}

}  // namespace sombrella::ddraw
