// Conventions (those of D3D7): pixel centres sit at integer screen
// coordinates; a pixel is covered when its centre is inside the triangle,
// and a centre exactly on an edge belongs to the triangle only on a top or
// left edge. Edges are stepped exactly in 28.4 fixed point, so triangles
// that share an edge never both cover, or both miss, a pixel on it.
#include "d3d/raster/edges.h"

#include <algorithm>

namespace sombrella::d3d::raster {
namespace {

int64_t FloorDiv(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }
int64_t CeilDiv(int64_t a, int64_t b) { return -FloorDiv(-a, b); }

// The first pixel column at or right of an edge, row by row: x = ceil(n / d).
struct Edge {
    int64_t q, r, d, qs, rs;
    void Init(int32_t xa, int32_t ya, int32_t xb, int32_t yb, int row) {
        int64_t dy = yb - ya;
        d = dy * kSubOne;
        int64_t n = (int64_t)xa * dy + ((int64_t)row * kSubOne - ya) * (xb - xa);
        q = CeilDiv(n, d);
        r = q * d - n;
        int64_t step = (int64_t)kSubOne * (xb - xa);
        qs = FloorDiv(step, d);
        rs = step - qs * d;
    }
    void Step() {
        q += qs;
        r -= rs;
        if (r < 0) {
            ++q;
            r += d;
        }
    }
};

}  // namespace

void RasterRows(const Triangle& t, const PixelState& ps, int ys, int ye, SpanFn span) {
    Edge longEdge, shortEdge;
    longEdge.Init(t.x[0], t.y[0], t.x[2], t.y[2], ys);
    const int split = (t.y[1] + kSubOne - 1) >> kSubBits;  // first row of the lower half
    bool upper = ys < split;
    if (upper)
        shortEdge.Init(t.x[0], t.y[0], t.x[1], t.y[1], ys);
    else
        shortEdge.Init(t.x[1], t.y[1], t.x[2], t.y[2], ys);
    for (int y = ys; y < ye; ++y) {
        if (upper && y >= split) {
            upper = false;
            shortEdge.Init(t.x[1], t.y[1], t.x[2], t.y[2], y);
        }
        int64_t left = t.longEdgeLeft ? longEdge.q : shortEdge.q;
        int64_t right = t.longEdgeLeft ? shortEdge.q : longEdge.q;
        int xl = (int)std::max<int64_t>(left, ps.clipX0);
        int xr = (int)std::min<int64_t>(right, ps.clipX1);
        if (xl < xr) span(t, ps, y, xl, xr);
        longEdge.Step();
        shortEdge.Step();
    }
}

}  // namespace sombrella::d3d::raster
