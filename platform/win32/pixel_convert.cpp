#include "win32/pixel_convert.h"

#include <bit>
#include <cstring>

#include "common/pixel_format.h"

namespace sombrella::gdi {

namespace {

bool MaskFits(uint32_t mask, uint32_t bits) {
    if (bits < 32 && (mask >> bits) != 0) return false;
    if (mask == 0) return true;
    const uint32_t shifted = mask >> std::countr_zero(mask);
    return (shifted & (shifted + 1)) == 0;  // one contiguous run
}

// table[c] = the 8-bit channel value c placed in `mask`.
void BuildPackTable(uint32_t mask, uint32_t table[256]) {
    const pixel::Channel channel(mask);
    for (uint32_t c = 0; c < 256; ++c) table[c] = channel.Pack(c);
}

inline uint32_t Load(const uint8_t* p, uint32_t bytes) {
    switch (bytes) {
        case 1: return p[0];
        case 2: return uint32_t{p[0]} | (uint32_t{p[1]} << 8);
        case 3: return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16);
        default: {
            uint32_t v;
            std::memcpy(&v, p, 4);
            return v;
        }
    }
}

inline void Store(uint8_t* p, uint32_t bytes, uint32_t v) {
    switch (bytes) {
        case 1: p[0] = static_cast<uint8_t>(v); break;
        case 2: {
            const uint16_t w = static_cast<uint16_t>(v);
            std::memcpy(p, &w, 2);
            break;
        }
        case 3:
            p[0] = static_cast<uint8_t>(v);
            p[1] = static_cast<uint8_t>(v >> 8);
            p[2] = static_cast<uint8_t>(v >> 16);
            break;
        default: std::memcpy(p, &v, 4); break;
    }
}

bool IsArgb8888(const PixelLayout& l) {
    return l.bytesPerPixel == 4 && !l.luminance && l.red == 0x00FF0000 && l.green == 0x0000FF00 &&
           l.blue == 0x000000FF && (l.alpha == 0xFF000000u || l.alpha == 0);
}

}  // namespace

bool DescribeFormat(const DDPIXELFORMAT& f, PixelLayout& out) {
    out = PixelLayout{};
    if (f.dwFlags & (DDPF_FOURCC | DDPF_PALETTEINDEXED4 | DDPF_PALETTEINDEXED8 | DDPF_ZBUFFER | DDPF_BUMPDUDV |
                     DDPF_BUMPLUMINANCE))
        return false;
    const bool rgb = (f.dwFlags & DDPF_RGB) != 0;
    const bool lum = (f.dwFlags & DDPF_LUMINANCE) != 0;
    if (rgb == lum) return false;
    const uint32_t bits = f.dwRGBBitCount;
    if (bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
    out.bytesPerPixel = bits / 8;
    out.luminance = lum;
    out.red = f.dwRBitMask;
    out.green = lum ? 0 : f.dwGBitMask;
    out.blue = lum ? 0 : f.dwBBitMask;
    out.alpha = (f.dwFlags & DDPF_ALPHAPIXELS) ? f.dwRGBAlphaBitMask : 0;
    const uint32_t masks[4] = {out.red, out.green, out.blue, out.alpha};
    uint32_t all = 0;
    for (uint32_t m : masks) {
        if (!MaskFits(m, bits) || (m & all)) return false;
        all |= m;
    }
    if (out.red == 0 && out.green == 0 && out.blue == 0) return false;
    return true;
}

PixelLayout Argb8888Layout() {
    PixelLayout l;
    l.bytesPerPixel = 4;
    l.red = 0x00FF0000;
    l.green = 0x0000FF00;
    l.blue = 0x000000FF;
    l.alpha = 0xFF000000u;
    return l;
}

void ConvertRect(const uint8_t* src, ptrdiff_t srcPitch, const PixelLayout& sl, uint8_t* dst, ptrdiff_t dstPitch,
                 const PixelLayout& dl, uint32_t width, uint32_t height) {
    if (width == 0 || height == 0) return;
    const uint32_t sb = sl.bytesPerPixel;
    const uint32_t db = dl.bytesPerPixel;

    // Same layout: rows copy as they are.
    if (sb == db && sl.red == dl.red && sl.green == dl.green && sl.blue == dl.blue && sl.alpha == dl.alpha &&
        sl.luminance == dl.luminance) {
        for (uint32_t y = 0; y < height; ++y)
            std::memmove(dst + y * dstPitch, src + y * srcPitch, size_t{width} * sb);
        return;
    }

    uint32_t packR[256], packG[256], packB[256], packA[256];
    BuildPackTable(dl.red, packR);
    BuildPackTable(dl.green, packG);
    BuildPackTable(dl.blue, packB);
    BuildPackTable(dl.alpha, packA);

    const bool fastSource = IsArgb8888(sl) && sl.alpha != 0;
    const pixel::Channel ur(sl.red), ug(sl.green), ub(sl.blue), ua(sl.alpha);

    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* s = src + y * srcPitch;
        uint8_t* d = dst + y * dstPitch;
        for (uint32_t x = 0; x < width; ++x, s += sb, d += db) {
            uint32_t r, g, b, a;
            const uint32_t v = Load(s, sb);
            if (fastSource) {
                a = v >> 24;
                r = (v >> 16) & 0xFF;
                g = (v >> 8) & 0xFF;
                b = v & 0xFF;
            } else if (sl.luminance) {
                r = g = b = ur.Widen(v, 0);
                a = ua.Widen(v, 0xFF);
            } else {
                r = ur.Widen(v, 0);
                g = ug.Widen(v, 0);
                b = ub.Widen(v, 0);
                a = ua.Widen(v, 0xFF);
            }
            uint32_t out;
            if (dl.luminance) {
                const uint32_t l = (r * 77 + g * 150 + b * 29) >> 8;
                out = packR[l] | packA[a];
            } else {
                out = packR[r] | packG[g] | packB[b] | packA[a];
            }
            Store(d, db, out);
        }
    }
}

}  // namespace sombrella::gdi
