// Textures as the rasterizer reads them: a private ARGB8888 copy of a
// surface, made once per surface generation, and the samplers over it.
#pragma once

#include <d3d.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace sombrella::ddraw {
class Surface;
}

namespace sombrella::d3d::raster {

struct TexImage {
    int width = 0, height = 0;
    bool pow2 = false;
    uint32_t maskX = 0, maskY = 0;
    int shiftX = 0;  // log2(width) when pow2
    std::vector<uint32_t> texels;  // ARGB8888, rows of `width`
};

// Converts a texture surface. Formats without a decoder (FourCC other than
// DXT1, palettes) come out opaque white so drawing still works.
std::shared_ptr<const TexImage> ConvertTexture(const ddraw::Surface& surface);

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

__attribute__((always_inline)) inline uint32_t SamplePoint(const TexImage& t, float u, float v, DWORD au, DWORD av) {
    int x = Address(ToFixed(u, (float)t.width), t.width, t.maskX, t.pow2, au);
    int y = Address(ToFixed(v, (float)t.height), t.height, t.maskY, t.pow2, av);
    return t.texels[(size_t)y * t.width + x];
}

__attribute__((always_inline)) inline uint32_t SampleLinear(const TexImage& t, float u, float v, DWORD au, DWORD av) {
    // Texel centres sit at half-integers of u * width.
    int fu = ToFixed(u, (float)t.width * 256.0f) - 128;
    int fv = ToFixed(v, (float)t.height * 256.0f) - 128;
    int x0 = fu >> 8, y0 = fv >> 8;
    uint32_t fx = (uint32_t)fu & 255u, fy = (uint32_t)fv & 255u;
    int xa = Address(x0, t.width, t.maskX, t.pow2, au), xb = Address(x0 + 1, t.width, t.maskX, t.pow2, au);
    int ya = Address(y0, t.height, t.maskY, t.pow2, av), yb = Address(y0 + 1, t.height, t.maskY, t.pow2, av);
    const uint32_t* ra = &t.texels[(size_t)ya * t.width];
    const uint32_t* rb = &t.texels[(size_t)yb * t.width];
    return LerpArgb(LerpArgb(ra[xa], ra[xb], fx), LerpArgb(rb[xa], rb[xb], fx), fy);
}

// Fixed-point fetches for power-of-two textures with WRAP on both axes.
// u and v are texel coordinates in 16.16.
__attribute__((always_inline)) inline uint32_t FetchPointWrap(const TexImage& t, int32_t u, int32_t v) {
    uint32_t x = (uint32_t)(u >> 16) & t.maskX, y = (uint32_t)(v >> 16) & t.maskY;
    return t.texels[(y << t.shiftX) + x];
}

__attribute__((always_inline)) inline uint32_t FetchLinearWrap(const TexImage& t, int32_t u, int32_t v) {
    u = (int32_t)((uint32_t)u - 32768u);  // texel centres sit at half-integers
    v = (int32_t)((uint32_t)v - 32768u);
    uint32_t x0 = (uint32_t)(u >> 16) & t.maskX, x1 = (x0 + 1) & t.maskX;
    uint32_t y0 = (uint32_t)(v >> 16) & t.maskY, y1 = (y0 + 1) & t.maskY;
    uint32_t fx = ((uint32_t)u >> 8) & 255u, fy = ((uint32_t)v >> 8) & 255u;
    const uint32_t* r0 = &t.texels[y0 << t.shiftX];
    const uint32_t* r1 = &t.texels[y1 << t.shiftX];
    return LerpArgb(LerpArgb(r0[x0], r0[x1], fx), LerpArgb(r1[x0], r1[x1], fx), fy);
}

}  // namespace sombrella::d3d::raster
