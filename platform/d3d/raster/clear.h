// Clears of the colour and depth targets.
#pragma once

#include "d3d/raster/frame.h"

namespace sombrella::d3d::raster {

// Runs rows [ys, ye) of a clear.
void RunClear(const ClearCommand& c, int ys, int ye);

}  // namespace sombrella::d3d::raster
