#include "d3d/raster/pipeline.h"
#include "common/pixel_format.h"
#include "ddraw/surface.h"

namespace sombrella::d3d::raster {

bool DescribeTarget(ddraw::Surface* colour, Target* out) {
    if (!colour || !out) return false;
    const DDPIXELFORMAT& f = colour->Format();
    Target t;
    if (!(f.dwFlags & DDPF_RGB) || colour->BytesPerPixel() * 8 != f.dwRGBBitCount) return false;
    if (pixel::SameRgb(f, pixel::Rgb565())) {
        t.colorFormat = ColorFormat::kRgb565;
    } else if (pixel::SameRgb(f, pixel::Rgb555())) {
        t.colorFormat = ColorFormat::kRgb555;
    } else if (pixel::SameRgb(f, pixel::Xrgb8888())) {
        t.colorFormat = pixel::AlphaMask(f) == 0xFF000000u ? ColorFormat::kArgb8888 : ColorFormat::kXrgb8888;
    } else {
        return false;
    }
    t.color = colour->Bits();
    t.colorPitch = colour->Pitch();
    t.width = (int)colour->Width();
    t.height = (int)colour->Height();
    if (ddraw::Surface* z = colour->AttachedDepth()) {
        const DDPIXELFORMAT& zf = z->Format();
        DWORD bytes = z->BytesPerPixel();
        if ((zf.dwFlags & DDPF_ZBUFFER) && bytes >= 2 && bytes <= 4) {
            uint32_t mask = zf.dwZBitMask;
            if (mask == 0) {
                DWORD bits = zf.dwZBufferBitDepth;
                mask = bits >= 32 ? 0xFFFFFFFFu : ((1u << bits) - 1u);
            }
            if (bytes < 4) mask &= (1u << (bytes * 8)) - 1u;
            if (mask != 0) {
                t.depth = z->Bits();
                t.depthPitch = z->Pitch();
                t.depthWidth = (int)z->Width();
                t.depthHeight = (int)z->Height();
                t.depthBytes = (int)bytes;
                t.depthMask = mask;
            }
        }
    }
    *out = t;
    return true;
}

}  // namespace sombrella::d3d::raster
