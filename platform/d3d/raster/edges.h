// Edge set-up and walking: which pixels of each row a triangle covers.
#pragma once

#include <cstdint>

#include "d3d/raster/frame.h"

namespace sombrella::d3d::raster {

// Walks the rows of a triangle from ys down, one at a time: the pixels of
// each that the triangle covers, inside the pixel state's scissor.
class RowWalker {
public:
    RowWalker(const Triangle& t, const PixelState& ps, int ys);
    // The next row's covered pixels, [*x0, *x1); empty when *x0 >= *x1.
    void Next(int* x0, int* x1);

private:
    // The first pixel column at or right of an edge, row by row: x = ceil(n / d).
    struct Edge {
        int64_t q, r, d, qs, rs;
        void Init(int32_t xa, int32_t ya, int32_t xb, int32_t yb, int row);
        void Step();
    };
    const Triangle& t_;
    int clipX0_, clipX1_;
    int y_, split_;
    bool upper_;
    Edge long_, short_;
};

}  // namespace sombrella::d3d::raster
