// The device renders into a target that may hold more pixels than the
// program was told (enhanced rendering). The program's viewport and clear
// rectangles are in its own units; these map them onto the pixels.
#pragma once

#include <cstring>
#include <vector>

#include "d3d.h"
#include "ddraw/surface.h"

namespace sombrella::d3d {

inline DWORD ScaleCoord(DWORD v, DWORD pixels, DWORD logical) {
    return static_cast<DWORD>(static_cast<uint64_t>(v) * pixels / logical);
}

inline D3DVIEWPORT7 ScaleViewport(const D3DVIEWPORT7& v, const ddraw::Surface& target) {
    const DWORD pw = target.Width(), ph = target.Height(), lw = target.LogicalWidth(), lh = target.LogicalHeight();
    if (pw == lw && ph == lh) return v;
    D3DVIEWPORT7 s = v;
    s.dwX = ScaleCoord(v.dwX, pw, lw);
    s.dwY = ScaleCoord(v.dwY, ph, lh);
    s.dwWidth = ScaleCoord(v.dwX + v.dwWidth, pw, lw) - s.dwX;
    s.dwHeight = ScaleCoord(v.dwY + v.dwHeight, ph, lh) - s.dwY;
    return s;
}

// Pixel centres sit at whole coordinates, so the program's pixel i, which
// becomes pixels s*i .. s*i+s-1, has its centre at s*i + (s-1)/2, not s*i.
// The projection gains that shift (in clip space, so clipping and depth are
// untouched); the picture would otherwise move up and left by almost half a
// pixel of the program's.
inline D3DMATRIX CentredProjection(const D3DMATRIX& p, const D3DVIEWPORT7& pixels, const ddraw::Surface& target) {
    const DWORD pw = target.Width(), ph = target.Height(), lw = target.LogicalWidth(), lh = target.LogicalHeight();
    if ((pw == lw && ph == lh) || pixels.dwWidth == 0 || pixels.dwHeight == 0) return p;
    const double sx = static_cast<double>(pw) / lw, sy = static_cast<double>(ph) / lh;
    // Pixels to NDC: a viewport spans 2 units; screen y runs opposite to NDC y.
    const float ox = static_cast<float>((sx - 1) / 2 / (pixels.dwWidth / 2.0));
    const float oy = static_cast<float>(-(sy - 1) / 2 / (pixels.dwHeight / 2.0));
    D3DMATRIX m = p;
    for (int r = 0; r < 4; ++r) {
        m.m[r][0] += p.m[r][3] * ox;
        m.m[r][1] += p.m[r][3] * oy;
    }
    return m;
}

// Pre-transformed (XYZRHW) vertices are in the program's pixels and bypass
// the projection, so they get the same mapping here: x to s*x + (s-1)/2.
// Returns the vertices to draw: a scaled copy in storage, or vertices
// itself when no scaling applies.
inline const void* ScaleScreenVertices(const void* vertices, DWORD count, DWORD stride,
                                       const ddraw::Surface& target, std::vector<uint8_t>& storage) {
    const DWORD pw = target.Width(), ph = target.Height(), lw = target.LogicalWidth(), lh = target.LogicalHeight();
    if (!vertices || count == 0 || stride < 8 || (pw == lw && ph == lh)) return vertices;
    const double sx = static_cast<double>(pw) / lw, sy = static_cast<double>(ph) / lh;
    const double ox = (sx - 1) / 2, oy = (sy - 1) / 2;
    storage.resize(static_cast<size_t>(count) * stride);
    std::memcpy(storage.data(), vertices, storage.size());
    for (size_t i = 0; i < count; ++i) {
        uint8_t* v = storage.data() + i * stride;
        float xy[2];
        std::memcpy(xy, v, sizeof xy);
        xy[0] = static_cast<float>(xy[0] * sx + ox);
        xy[1] = static_cast<float>(xy[1] * sy + oy);
        std::memcpy(v, xy, sizeof xy);
    }
    return storage.data();
}

inline LONG ScaleEdge(LONG v, DWORD pixels, DWORD logical) {
    return static_cast<LONG>(static_cast<int64_t>(v) * pixels / logical);
}

// The rectangles in pixels; rects itself when no scaling applies.
inline const D3DRECT* ScaleRects(const D3DRECT* rects, DWORD count, const ddraw::Surface& target,
                                 std::vector<D3DRECT>& storage) {
    const DWORD pw = target.Width(), ph = target.Height(), lw = target.LogicalWidth(), lh = target.LogicalHeight();
    if (!rects || (pw == lw && ph == lh)) return rects;
    storage.assign(rects, rects + count);
    for (D3DRECT& r : storage) {
        r.x1 = ScaleEdge(r.x1, pw, lw), r.x2 = ScaleEdge(r.x2, pw, lw);
        r.y1 = ScaleEdge(r.y1, ph, lh), r.y2 = ScaleEdge(r.y2, ph, lh);
    }
    return storage.data();
}

}  // namespace sombrella::d3d
