// Edge set-up and walking: which pixels of each row a triangle covers.
#pragma once

#include "d3d/raster/frame.h"

namespace sombrella::d3d::raster {

// Walks rows [ys, ye) of a triangle, calling span for each covered run of
// pixels inside the pixel state's scissor.
void RasterRows(const Triangle& t, const PixelState& ps, int ys, int ye, SpanFn span);

}  // namespace sombrella::d3d::raster
