#include "d3d/surfaces.h"

#include "common/pixel_format.h"
#include "ddraw/surface.h"

namespace sombrella::d3d {

using raster::ColorFormat;

bool DescribeTarget(ddraw::Surface* colour, raster::Target* out) {
    if (!colour || !out) return false;
    const DDPIXELFORMAT& f = colour->Format();
    raster::Target t;
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

std::shared_ptr<const raster::TexImage> TextureCache::Get(const ddraw::Surface& surface, bool mipmaps) {
    if (surface_ == &surface && generation_ == surface.Generation() && image_) return image_;
    surface_ = &surface;
    generation_ = surface.Generation();
    // Another device's copy serves as well when it has what this one needs.
    auto kept = std::static_pointer_cast<const raster::TexImage>(surface.Derived(generation_));
    if (kept && (!mipmaps || !kept->mips.empty() || (kept->width == 1 && kept->height == 1))) {
        image_ = std::move(kept);
        return image_;
    }
    raster::TextureSource source;
    source.bits = surface.Bits();
    source.pitch = surface.Pitch();
    source.width = (int)surface.Width();
    source.height = (int)surface.Height();
    source.format = surface.Format();
    source.bytesPerPixel = surface.BytesPerPixel();
    image_ = raster::ConvertTexture(source, mipmaps);
    surface.KeepDerived(image_, generation_);
    return image_;
}

}  // namespace sombrella::d3d
