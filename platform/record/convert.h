// The presented picture straight into the encoder's pixel layout, without
// swscale's general path (which reads 16-bit pixels one call at a time).
#pragma once

#include <cstddef>
#include <cstdint>

namespace sombrella::record {

struct Picture {
    const uint8_t* bits;
    int width, height;
    ptrdiff_t pitch;
    int bitsPerPixel;    // 16 or 32 (XRGB8888)
    uint32_t greenMask;  // 16 bits: 0x07E0 for RGB565, else RGB555
};

// YUV 4:2:0, ITU-R BT.601 limited range (Y 16-235, U/V 16-240), each chroma
// sample the mean of its 2x2 pixels (odd edges repeat the last pixel).
void ToYuv420(const Picture& p, uint8_t* y, ptrdiff_t yStride, uint8_t* u, ptrdiff_t uStride, uint8_t* v,
              ptrdiff_t vStride);

// Packed B, G, R, 0 bytes a pixel, each channel widened to 8 bits.
void ToBgr0(const Picture& p, uint8_t* out, ptrdiff_t stride);

}  // namespace sombrella::record
