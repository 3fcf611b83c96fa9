// What the rasterizer is given of DirectDraw surfaces: plain descriptions
// of render targets and converted copies of textures.
#pragma once

#include <cstdint>
#include <memory>

#include "d3d/raster/pipeline.h"
#include "d3d/raster/texture.h"

namespace sombrella::ddraw {
class Surface;
}

namespace sombrella::d3d {

// The target described by a render-target surface and its attached depth
// surface; false for a colour format the rasterizer cannot write.
bool DescribeTarget(ddraw::Surface* colour, raster::Target* out);

// One texture stage's converted copy of its surface, made again only when
// the surface's pixels change (its generation moves on).
class TextureCache {
public:
    std::shared_ptr<const raster::TexImage> Get(const ddraw::Surface& surface, bool mipmaps);
    // Another surface was bound: the old one's memory may be reused, so its
    // copy must not be trusted again.
    void Reset() { *this = TextureCache{}; }

private:
    const ddraw::Surface* surface_ = nullptr;
    uint64_t generation_ = 0;
    std::shared_ptr<const raster::TexImage> image_;
};

}  // namespace sombrella::d3d
