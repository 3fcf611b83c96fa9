// The caller-thread half of a draw: vertices are transformed and lit,
// triangles assembled, culled, clipped, projected and set up into planes.
#pragma once

#include <d3d.h>

#include <cstdint>
#include <vector>

#include "d3d/raster/frame.h"
#include "d3d/raster/lighting.h"
#include "d3d/raster/state.h"

namespace sombrella::d3d::raster {

// A vertex after transform and lighting: clip-space position, colours in
// 0..255, texture coordinates. `outcode` has one bit per clip plane; bit 7
// marks a position that is not a finite number.
struct ClipVertex {
    float x, y, z, w;
    float r, g, b, a;
    float sr, sg, sb;
    // Texture coordinates in double: a floor repeating its texture a
    // thousand times needs more digits than a float keeps.
    double u, v;
    uint32_t outcode;
};

class FrontEnd {
public:
    // Arguments are already validated. Appends triangles for pixel state
    // `pixelState` (an index into frame.pixelStates) to the frame.
    void Draw(const DeviceState& state, uint32_t pixelState, Frame& frame, D3DPRIMITIVETYPE type, DWORD fvf,
              const void* vertices, DWORD vertexCount, const WORD* indices, DWORD indexCount);

private:
    void ProcessVertex(const DeviceState& state, DWORD fvf, const uint8_t* src, ClipVertex* out);
    // flatFrom: the vertex flat shading colours from (default: a).
    void Triangle3(const ClipVertex* a, const ClipVertex* b, const ClipVertex* c, Frame& frame, uint32_t ps,
                   const PixelState& pixel, const ClipVertex* flatFrom = nullptr);
    void Emit(const ClipVertex* const* v, int count, Frame& frame, uint32_t ps, const PixelState& pixel);
    // s: screen x, y, then the float attributes; tex: q, u * q, v * q.
    void Setup(const float (*s)[14], const double (*tex)[3], Frame& frame, uint32_t ps, const PixelState& pixel);

    Lighting lighting_;
    uint64_t lightingVersion_ = 0;
    uint64_t transformVersion_ = 0;
    D3DMATRIX worldView_{}, worldViewProj_{};
    float normalMatrix_[3][3]{};
    bool lightingOn_ = false, normalize_ = false, rhw_ = false, flat_ = false;
    DWORD cull_ = D3DCULL_CCW;
    const ClipVertex* flatFrom_ = nullptr;
    // Viewport mapping.
    float vpX_ = 0, vpY_ = 0, vpHalfW_ = 0, vpHalfH_ = 0, vpMinZ_ = 0, vpScaleZ_ = 1;
    float depthScale_ = 0;

    std::vector<ClipVertex> vertices_;
    std::vector<uint32_t> stamp_;
    uint32_t drawId_ = 0;
};

}  // namespace sombrella::d3d::raster
