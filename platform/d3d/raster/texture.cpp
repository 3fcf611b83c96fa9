#include "d3d/raster/texture.h"

#include <cstring>

#include "ddraw/surface.h"

namespace sombrella::d3d::raster {
namespace {

struct Channel {
    uint32_t mask = 0;
    int shift = 0, bits = 0;
    explicit Channel(uint32_t m) : mask(m) {
        if (!m) return;
        while (!((m >> shift) & 1u)) ++shift;
        while (bits + shift < 32 && ((m >> (shift + bits)) & 1u)) ++bits;
    }
    // The channel widened to 8 bits by repeating its top bits.
    uint32_t Expand(uint32_t pixel, uint32_t absent) const {
        if (!mask) return absent;
        uint32_t v = (pixel & mask) >> shift;
        if (bits >= 8) return v >> (bits - 8);
        uint32_t out = 0;
        int have = 0;
        while (have < 8) {
            out = (out << bits) | v;
            have += bits;
        }
        return out >> (have - 8);
    }
};

uint32_t ReadPixel(const uint8_t* p, DWORD bytes) {
    uint32_t v = 0;
    std::memcpy(&v, p, bytes > 4 ? 4 : bytes);
    return v;
}

}  // namespace

std::shared_ptr<const TexImage> ConvertTexture(const ddraw::Surface& surface) {
    auto image = std::make_shared<TexImage>();
    int w = (int)surface.Width(), h = (int)surface.Height();
    if (w <= 0 || h <= 0) {
        w = h = 1;
    }
    image->width = w;
    image->height = h;
    image->pow2 = (w & (w - 1)) == 0 && (h & (h - 1)) == 0;
    image->maskX = (uint32_t)w - 1;
    image->maskY = (uint32_t)h - 1;
    while ((1 << image->shiftX) < w) ++image->shiftX;
    image->texels.assign((size_t)w * h, 0xFFFFFFFFu);

    const DDPIXELFORMAT& f = surface.Format();
    DWORD bytes = surface.BytesPerPixel();
    bool rgb = (f.dwFlags & DDPF_RGB) != 0;
    bool lum = (f.dwFlags & DDPF_LUMINANCE) != 0;
    bool alphaOnly = (f.dwFlags & DDPF_ALPHA) != 0;
    if ((f.dwFlags & DDPF_FOURCC) || !(rgb || lum || alphaOnly) || bytes < 1 || bytes > 4 ||
        (int)surface.Width() != w || (int)surface.Height() != h)
        return image;

    bool hasAlpha = (f.dwFlags & DDPF_ALPHAPIXELS) != 0;
    Channel r(rgb ? f.dwRBitMask : 0), g(rgb ? f.dwGBitMask : 0), b(rgb ? f.dwBBitMask : 0);
    Channel l(lum ? f.dwLuminanceBitMask : 0);
    Channel a(alphaOnly ? (f.dwAlphaBitDepth >= 32 ? 0xFFFFFFFFu : ((1u << f.dwAlphaBitDepth) - 1u))
                        : (hasAlpha ? f.dwRGBAlphaBitMask : 0));
    const uint8_t* bits = surface.Bits();
    LONG pitch = surface.Pitch();
    for (int y = 0; y < h; ++y) {
        const uint8_t* row = bits + (ptrdiff_t)y * pitch;
        uint32_t* out = &image->texels[(size_t)y * w];
        for (int x = 0; x < w; ++x) {
            uint32_t p = ReadPixel(row + (size_t)x * bytes, bytes);
            uint32_t cr, cg, cb;
            if (lum) {
                cr = cg = cb = l.Expand(p, 255);
            } else if (rgb) {
                cr = r.Expand(p, 0);
                cg = g.Expand(p, 0);
                cb = b.Expand(p, 0);
            } else {
                cr = cg = cb = 255;
            }
            uint32_t ca = a.Expand(p, 255);
            out[x] = (ca << 24) | (cr << 16) | (cg << 8) | cb;
        }
    }
    return image;
}

}  // namespace sombrella::d3d::raster
