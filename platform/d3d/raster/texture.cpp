#include "d3d/raster/texture.h"

#include <algorithm>
#include <cstring>

#include "common/pixel_format.h"

namespace sombrella::d3d::raster {
namespace {

uint32_t ReadPixel(const uint8_t* p, DWORD bytes) {
    uint32_t v = 0;
    std::memcpy(&v, p, bytes > 4 ? 4 : bytes);
    return v;
}

uint32_t Mix(uint32_t a, uint32_t b, int wa, int wb, int div) {
    uint32_t out = 0xFF000000u;
    for (int shift = 0; shift < 24; shift += 8) {
        uint32_t ca = (a >> shift) & 255, cb = (b >> shift) & 255;
        out |= ((ca * wa + cb * wb) / div) << shift;
    }
    return out;
}

// DXT1: 4x4 blocks of two RGB565 end colours and 2-bit indices.
void DecodeDxt1(const TextureSource& surface, TexImage* image) {
    const int w = image->width, h = image->height;
    const uint8_t* bits = surface.bits;
    const LONG pitch = surface.pitch;
    for (int by = 0; by < (h + 3) / 4; ++by) {
        for (int bx = 0; bx < (w + 3) / 4; ++bx) {
            const uint8_t* block = bits + (ptrdiff_t)by * pitch + (ptrdiff_t)bx * 8;
            uint32_t c0 = block[0] | (block[1] << 8), c1 = block[2] | (block[3] << 8);
            uint32_t indices = block[4] | (block[5] << 8) | (block[6] << 16) | ((uint32_t)block[7] << 24);
            uint32_t colour[4] = {pixel::Rgb565ToArgb(c0), pixel::Rgb565ToArgb(c1), 0, 0};
            if (c0 > c1) {
                colour[2] = Mix(colour[0], colour[1], 2, 1, 3);
                colour[3] = Mix(colour[0], colour[1], 1, 2, 3);
            } else {
                colour[2] = Mix(colour[0], colour[1], 1, 1, 2);
                colour[3] = 0;  // transparent black
            }
            for (int py = 0; py < 4; ++py)
                for (int px = 0; px < 4; ++px) {
                    int x = bx * 4 + px, y = by * 4 + py;
                    if (x >= w || y >= h) continue;
                    image->texels[(size_t)y * w + x] = colour[(indices >> (2 * (py * 4 + px))) & 3];
                }
        }
    }
}

std::shared_ptr<TexImage> Decode(const TextureSource& surface) {
    auto image = std::make_shared<TexImage>();
    int w = surface.width, h = surface.height;
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

    if (!surface.bits) return image;
    const DDPIXELFORMAT& f = surface.format;
    DWORD bytes = surface.bytesPerPixel;
    bool rgb = (f.dwFlags & DDPF_RGB) != 0;
    bool lum = (f.dwFlags & DDPF_LUMINANCE) != 0;
    bool alphaOnly = (f.dwFlags & DDPF_ALPHA) != 0;
    if ((f.dwFlags & DDPF_FOURCC) && f.dwFourCC == MAKEFOURCC('D', 'X', 'T', '1') && surface.width == w &&
        surface.height == h && surface.pitch >= ((w + 3) / 4) * 8) {
        DecodeDxt1(surface, image.get());
        return image;
    }
    if ((f.dwFlags & DDPF_FOURCC) || !(rgb || lum || alphaOnly) || bytes < 1 || bytes > 4 ||
        surface.width != w || surface.height != h)
        return image;

    bool hasAlpha = (f.dwFlags & DDPF_ALPHAPIXELS) != 0;
    using pixel::Channel;
    Channel r(rgb ? f.dwRBitMask : 0), g(rgb ? f.dwGBitMask : 0), b(rgb ? f.dwBBitMask : 0);
    Channel l(lum ? f.dwLuminanceBitMask : 0);
    Channel a(alphaOnly ? (f.dwAlphaBitDepth >= 32 ? 0xFFFFFFFFu : ((1u << f.dwAlphaBitDepth) - 1u))
                        : (hasAlpha ? f.dwRGBAlphaBitMask : 0));
    const uint8_t* bits = surface.bits;
    LONG pitch = surface.pitch;
    for (int y = 0; y < h; ++y) {
        const uint8_t* row = bits + (ptrdiff_t)y * pitch;
        uint32_t* out = &image->texels[(size_t)y * w];
        for (int x = 0; x < w; ++x) {
            uint32_t p = ReadPixel(row + (size_t)x * bytes, bytes);
            uint32_t cr, cg, cb;
            if (lum) {
                cr = cg = cb = l.Widen(p, 255);
            } else if (rgb) {
                cr = r.Widen(p, 0);
                cg = g.Widen(p, 0);
                cb = b.Widen(p, 0);
            } else {
                cr = cg = cb = 255;
            }
            uint32_t ca = a.Widen(p, 255);
            out[x] = (ca << 24) | (cr << 16) | (cg << 8) | cb;
        }
    }
    return image;
}

// Box-filtered halves of the level above, rounded, each channel (alpha too)
// on its own; a side already at 1 stays 1.
void MakeMips(TexImage* image) {
    const TexLevel* above = image;
    while (above->width > 1 || above->height > 1) {
        TexLevel next;
        next.width = std::max(1, above->width / 2);
        next.height = std::max(1, above->height / 2);
        next.pow2 = (next.width & (next.width - 1)) == 0 && (next.height & (next.height - 1)) == 0;
        next.maskX = (uint32_t)next.width - 1;
        next.maskY = (uint32_t)next.height - 1;
        while ((1 << next.shiftX) < next.width) ++next.shiftX;
        next.texels.resize((size_t)next.width * next.height);
        const int sx = above->width > 1 ? 2 : 1, sy = above->height > 1 ? 2 : 1;
        const uint32_t count = (uint32_t)(sx * sy);
        for (int y = 0; y < next.height; ++y)
            for (int x = 0; x < next.width; ++x) {
                uint32_t sum[4] = {0, 0, 0, 0};
                for (int j = 0; j < sy; ++j)
                    for (int i = 0; i < sx; ++i) {
                        const uint32_t p = above->texels[(size_t)(y * sy + j) * above->width + (x * sx + i)];
                        for (int c = 0; c < 4; ++c) sum[c] += (p >> (8 * c)) & 255u;
                    }
                uint32_t out = 0;
                for (int c = 0; c < 4; ++c) out |= ((sum[c] + count / 2) / count) << (8 * c);
                next.texels[(size_t)y * next.width + x] = out;
            }
        image->mips.push_back(std::move(next));
        above = &image->mips.back();
    }
}

void MakePairs(TexLevel* level) {
    if (!level->pow2 || level->texels.size() > kMaxPairTexels) return;
    const int w = level->width;
    level->pairs.resize(level->texels.size());
    for (int y = 0; y < level->height; ++y) {
        const uint32_t* row = &level->texels[(size_t)y * w];
        uint64_t* out = &level->pairs[(size_t)y * w];
        for (int x = 0; x < w; ++x) out[x] = row[x] | (uint64_t)row[(x + 1) & (w - 1)] << 32;
    }
}

}  // namespace

std::shared_ptr<const TexImage> ConvertTexture(const TextureSource& source, bool mipmaps) {
    std::shared_ptr<TexImage> image = Decode(source);
    if (mipmaps) MakeMips(image.get());
    MakePairs(image.get());
    for (TexLevel& level : image->mips) MakePairs(&level);
    return image;
}

}  // namespace sombrella::d3d::raster
