#include "record/convert.h"

#include <algorithm>
#include <cstring>
#include <vector>


namespace sombrella::record {
namespace {

// Rounded to nearest as pixel::Widen does (and the PNG capture with it):
// (v * 255 + 15) / 31 and (v * 255 + 31) / 63 for every v, as a multiply and
// a shift in 16 bits so the loops vectorise.
inline uint16_t Widen5(uint16_t v) { return static_cast<uint16_t>((v * 527 + 23) >> 6); }
inline uint16_t Widen6(uint16_t v) { return static_cast<uint16_t>((v * 259 + 33) >> 6); }

inline uint16_t Load16(const uint8_t* s) {
    uint16_t v;
    std::memcpy(&v, s, 2);
    return v;
}

// One row widened to 8-bit channels, planar so the loops below vectorise.
void WidenRow(const Picture& p, int row, uint16_t* r, uint16_t* g, uint16_t* b) {
    const uint8_t* s = p.bits + static_cast<ptrdiff_t>(row) * p.pitch;
    const int w = p.width;
    if (p.bitsPerPixel == 32) {
        for (int x = 0; x < w; ++x) b[x] = s[4 * x], g[x] = s[4 * x + 1], r[x] = s[4 * x + 2];
    } else if (p.greenMask == 0x07E0) {
        for (int x = 0; x < w; ++x) {
            const uint16_t v = Load16(s + 2 * x);
            const uint16_t r5 = v >> 11, g6 = (v >> 5) & 63, b5 = v & 31;
            r[x] = Widen5(r5), g[x] = Widen6(g6), b[x] = Widen5(b5);
        }
    } else {
        for (int x = 0; x < w; ++x) {
            const uint16_t v = Load16(s + 2 * x);
            const uint16_t r5 = (v >> 10) & 31, g5 = (v >> 5) & 31, b5 = v & 31;
            r[x] = Widen5(r5), g[x] = Widen5(g5), b[x] = Widen5(b5);
        }
    }
}

void LumaRow(const uint16_t* r, const uint16_t* g, const uint16_t* b, int w, uint8_t* y) {
    // At most 220 * 255 + 128: the sum fits 16 bits.
    for (int x = 0; x < w; ++x)
        y[x] = static_cast<uint8_t>((static_cast<uint16_t>(66 * r[x] + 129 * g[x] + 25 * b[x] + 128) >> 8) + 16);
}

}  // namespace

void ToYuv420(const Picture& p, uint8_t* y, ptrdiff_t yStride, uint8_t* u, ptrdiff_t uStride, uint8_t* v,
              ptrdiff_t vStride) {
    const int w = p.width, cw = (w + 1) / 2;
    std::vector<uint16_t> rows(static_cast<size_t>(w) * 6 + 2);
    uint16_t *r0 = rows.data(), *g0 = r0 + w, *b0 = g0 + w, *r1 = b0 + w, *g1 = r1 + w, *b1 = g1 + w;
    std::vector<int32_t> sums(static_cast<size_t>(cw) * 3);
    int32_t *sr = sums.data(), *sg = sr + cw, *sb = sg + cw;
    for (int row = 0; row < p.height; row += 2) {
        const int next = std::min(row + 1, p.height - 1);
        WidenRow(p, row, r0, g0, b0);
        WidenRow(p, next, r1, g1, b1);
        LumaRow(r0, g0, b0, w, y + static_cast<ptrdiff_t>(row) * yStride);
        if (next != row) LumaRow(r1, g1, b1, w, y + static_cast<ptrdiff_t>(next) * yStride);
        for (int x = 0; x < w / 2; ++x) {
            sr[x] = r0[2 * x] + r0[2 * x + 1] + r1[2 * x] + r1[2 * x + 1];
            sg[x] = g0[2 * x] + g0[2 * x + 1] + g1[2 * x] + g1[2 * x + 1];
            sb[x] = b0[2 * x] + b0[2 * x + 1] + b1[2 * x] + b1[2 * x + 1];
        }
        if (w & 1) {
            const int x = w - 1;
            sr[cw - 1] = 2 * (r0[x] + r1[x]), sg[cw - 1] = 2 * (g0[x] + g1[x]), sb[cw - 1] = 2 * (b0[x] + b1[x]);
        }
        // The formulas on the 2x2 sums: four times the weights, hence >> 10.
        uint8_t* uo = u + static_cast<ptrdiff_t>(row / 2) * uStride;
        uint8_t* vo = v + static_cast<ptrdiff_t>(row / 2) * vStride;
        for (int x = 0; x < cw; ++x) {
            uo[x] = static_cast<uint8_t>(((-38 * sr[x] - 74 * sg[x] + 112 * sb[x] + 512) >> 10) + 128);
            vo[x] = static_cast<uint8_t>(((112 * sr[x] - 94 * sg[x] - 18 * sb[x] + 512) >> 10) + 128);
        }
    }
}

void ToBgr0(const Picture& p, uint8_t* out, ptrdiff_t stride) {
    std::vector<uint16_t> rows(static_cast<size_t>(p.width) * 3 + 1);
    uint16_t *r = rows.data(), *g = r + p.width, *b = g + p.width;
    for (int row = 0; row < p.height; ++row) {
        uint8_t* o = out + static_cast<ptrdiff_t>(row) * stride;
        if (p.bitsPerPixel == 32) {
            const uint8_t* s = p.bits + static_cast<ptrdiff_t>(row) * p.pitch;
            for (int x = 0; x < p.width; ++x) o[4 * x] = s[4 * x], o[4 * x + 1] = s[4 * x + 1], o[4 * x + 2] = s[4 * x + 2], o[4 * x + 3] = 0;
            continue;
        }
        WidenRow(p, row, r, g, b);
        for (int x = 0; x < p.width; ++x)
            o[4 * x] = static_cast<uint8_t>(b[x]), o[4 * x + 1] = static_cast<uint8_t>(g[x]),
            o[4 * x + 2] = static_cast<uint8_t>(r[x]), o[4 * x + 3] = 0;
    }
}

}  // namespace sombrella::record
