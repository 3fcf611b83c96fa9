// Scalar pixel operations shared by the clears and the span shader's
// per-pixel fallbacks: colour and depth memory in every target format.
#pragma once

#include <cstdint>
#include <cstring>

#include "common/pixel_format.h"
#include "d3d/raster/pipeline.h"

namespace sombrella::d3d::raster {

inline int BytesOf(ColorFormat f) { return f == ColorFormat::kXrgb8888 || f == ColorFormat::kArgb8888 ? 4 : 2; }

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

inline uint32_t LoadDepth(const uint8_t* p, int bytes) {
    uint32_t v = 0;
    if (bytes == 3)
        v = (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16);
    else
        std::memcpy(&v, p, (size_t)bytes);
    return v;
}

inline void StoreDepth(uint8_t* p, int bytes, uint32_t v) {
    if (bytes == 3)
        p[0] = (uint8_t)v, p[1] = (uint8_t)(v >> 8), p[2] = (uint8_t)(v >> 16);
    else if (bytes == 2) {
        uint16_t w = (uint16_t)v;
        std::memcpy(p, &w, 2);
    } else {
        std::memcpy(p, &v, 4);
    }
}

// Saturating float to 16.16 fixed point (the int conversion stays defined).
inline int32_t ToFix(float v) {
    float f = v * 65536.0f;
    if (!(f > -2.0e9f)) f = -2.0e9f;
    if (f > 2.0e9f) f = 2.0e9f;
    return (int32_t)f;
}

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

}  // namespace sombrella::d3d::raster
