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

}  // namespace

void RowWalker::Edge::Init(int32_t xa, int32_t ya, int32_t xb, int32_t yb, int row) {
    int64_t dy = yb - ya;
    d = dy * kSubOne;
    int64_t n = (int64_t)xa * dy + ((int64_t)row * kSubOne - ya) * (xb - xa);
    q = CeilDiv(n, d);
    r = q * d - n;
    int64_t step = (int64_t)kSubOne * (xb - xa);
    qs = FloorDiv(step, d);
    rs = step - qs * d;
}

void RowWalker::Edge::Step() {
    q += qs;
    r -= rs;
    if (r < 0) {
        ++q;
        r += d;
    }
}

RowWalker::RowWalker(const Triangle& t, const PixelState& ps, int ys)
    : t_(t), clipX0_(ps.clipX0), clipX1_(ps.clipX1), y_(ys) {
    long_.Init(t.x[0], t.y[0], t.x[2], t.y[2], ys);
    split_ = (t.y[1] + kSubOne - 1) >> kSubBits;  // first row of the lower half
    upper_ = ys < split_;
    if (upper_)
        short_.Init(t.x[0], t.y[0], t.x[1], t.y[1], ys);
    else
        short_.Init(t.x[1], t.y[1], t.x[2], t.y[2], ys);
}

void RowWalker::Next(int* x0, int* x1) {
    if (upper_ && y_ >= split_) {
        upper_ = false;
        short_.Init(t_.x[1], t_.y[1], t_.x[2], t_.y[2], y_);
    }
    const int64_t left = t_.longEdgeLeft ? long_.q : short_.q;
    const int64_t right = t_.longEdgeLeft ? short_.q : long_.q;
    *x0 = (int)std::max<int64_t>(left, clipX0_);
    *x1 = (int)std::min<int64_t>(right, clipX1_);
    long_.Step();
    short_.Step();
    ++y_;
}

}  // namespace sombrella::d3d::raster
