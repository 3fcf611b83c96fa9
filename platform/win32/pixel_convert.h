// Pixel-format conversion for GDI blits into surface memory.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ddraw.h"

namespace sombrella::gdi {

// A pixel format reduced to what a blit needs: size and channel masks.
struct PixelLayout {
    uint32_t bytesPerPixel = 0;
    uint32_t red = 0, green = 0, blue = 0, alpha = 0;
    bool luminance = false;  // `red` holds the luminance mask
};

// The layout of a DirectDraw pixel format, or false for formats GDI cannot draw
// into (palette-indexed, FourCC, depth, bump-map, masks wider than the pixel).
bool DescribeFormat(const DDPIXELFORMAT& format, PixelLayout& out);

// The layout of our bitmaps: 32-bit words 0xAARRGGBB.
PixelLayout Argb8888Layout();

// Copies a width x height block, converting every pixel. Colour channels are cut
// to the destination's width (the top bits are kept); bits outside every mask are 0.
void ConvertRect(const uint8_t* src, ptrdiff_t srcPitch, const PixelLayout& srcLayout, uint8_t* dst,
                 ptrdiff_t dstPitch, const PixelLayout& dstLayout, uint32_t width, uint32_t height);

}  // namespace sombrella::gdi
