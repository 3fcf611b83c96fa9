// Textures as the rasterizer reads them: a private ARGB8888 copy of a
// texture's pixels, made once per change of them, and the samplers over it.
#pragma once

#include <d3d.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace sombrella::d3d::raster {

struct TexLevel {
    int width = 0, height = 0;
    bool pow2 = false;
    uint32_t maskX = 0, maskY = 0;
    int shiftX = 0;  // log2(width) when pow2
    std::vector<uint32_t> texels;  // ARGB8888, rows of `width`
    // For wrapping power-of-two levels up to kMaxPairTexels: each texel with
    // its right-hand neighbour (wrapped) in the high half, so bilinear
    // filtering fetches a row's two texels at once. Empty otherwise.
    std::vector<uint64_t> pairs;
};

constexpr size_t kMaxPairTexels = (size_t)1 << 20;

// The top level, and when asked for, its mip chain down to 1x1.
struct TexImage : TexLevel {
    std::vector<TexLevel> mips;  // mips[i] is level i + 1
};

// A texture's pixels as its owner describes them.
struct TextureSource {
    const uint8_t* bits = nullptr;
    LONG pitch = 0;
    int width = 0, height = 0;
    DDPIXELFORMAT format{};
    DWORD bytesPerPixel = 0;
};

// Converts a texture's pixels, with a box-filtered mip chain when `mipmaps`.
// Formats without a decoder (FourCC other than DXT1, palettes) come out
// opaque white so drawing still works.
std::shared_ptr<const TexImage> ConvertTexture(const TextureSource& source, bool mipmaps);

// Texel coordinate after addressing (WRAP, MIRROR, CLAMP; BORDER clamps).
__attribute__((always_inline)) inline int Address(int i, int size, uint32_t mask, bool pow2, DWORD mode) {
    switch (mode) {
    case D3DTADDRESS_WRAP:
        if (pow2) return (int)((uint32_t)i & mask);
        i %= size;
        return i < 0 ? i + size : i;
    case D3DTADDRESS_MIRROR: {
        int period = size * 2;
        int m = i % period;
        if (m < 0) m += period;
        return m < size ? m : period - 1 - m;
    }
    default: return i < 0 ? 0 : (i >= size ? size - 1 : i);
    }
}

// Scales a coordinate to texel units times `scale`, saturating so the int
// conversion is defined for huge and NaN inputs.
inline int ToFixed(float coord, float scale) {
    float t = coord * scale;
    if (!(t > -1.0e9f)) t = -1.0e9f;
    if (t > 1.0e9f) t = 1.0e9f;
    int i = (int)t;
    return i - (t < (float)i);  // floor
}

inline uint32_t LerpArgb(uint32_t a, uint32_t b, uint32_t f) {
    uint32_t g = 256 - f;
    uint32_t rb = (((a & 0x00FF00FFu) * g + (b & 0x00FF00FFu) * f) >> 8) & 0x00FF00FFu;
    uint32_t ag = (((a >> 8) & 0x00FF00FFu) * g + ((b >> 8) & 0x00FF00FFu) * f) & 0xFF00FF00u;
    return rb | ag;
}

__attribute__((always_inline)) inline uint32_t SamplePoint(const TexLevel& t, float u, float v, DWORD au, DWORD av) {
    int x = Address(ToFixed(u, (float)t.width), t.width, t.maskX, t.pow2, au);
    int y = Address(ToFixed(v, (float)t.height), t.height, t.maskY, t.pow2, av);
    return t.texels[(size_t)y * t.width + x];
}

// xFirst: blend along x first, then y (else y first); the roundings differ.
__attribute__((always_inline)) inline uint32_t SampleLinear(const TexLevel& t, float u, float v, DWORD au, DWORD av,
                                                             bool xFirst) {
    // Texel centres sit at half-integers of u * width.
    int fu = ToFixed(u, (float)t.width * 256.0f) - 128;
    int fv = ToFixed(v, (float)t.height * 256.0f) - 128;
    int x0 = fu >> 8, y0 = fv >> 8;
    uint32_t fx = (uint32_t)fu & 255u, fy = (uint32_t)fv & 255u;
    int xa = Address(x0, t.width, t.maskX, t.pow2, au), xb = Address(x0 + 1, t.width, t.maskX, t.pow2, au);
    int ya = Address(y0, t.height, t.maskY, t.pow2, av), yb = Address(y0 + 1, t.height, t.maskY, t.pow2, av);
    const uint32_t* ra = &t.texels[(size_t)ya * t.width];
    const uint32_t* rb = &t.texels[(size_t)yb * t.width];
    if (xFirst) return LerpArgb(LerpArgb(ra[xa], ra[xb], fx), LerpArgb(rb[xa], rb[xb], fx), fy);
    return LerpArgb(LerpArgb(ra[xa], rb[xa], fy), LerpArgb(ra[xb], rb[xb], fy), fx);
}

}  // namespace sombrella::d3d::raster
