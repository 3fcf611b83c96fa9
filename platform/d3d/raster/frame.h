// What the caller's thread queues for the rasterizer: screen-space triangles
// with their attribute planes, the per-draw pixel state they use, and clears.
#pragma once

#include <d3d.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "d3d/raster/pipeline.h"
#include "d3d/raster/texture.h"

namespace sombrella::d3d::raster {

// Fixed-point screen coordinates carry this many fraction bits.
constexpr int kSubBits = 4;
constexpr int kSubOne = 1 << kSubBits;

enum class TexMode : uint8_t { kNone, kPoint, kLinear, kLodSelect };

struct Triangle;
struct PixelState;
// Shades pixels [x0, x1) of row y of a triangle.
using SpanFn = void (*)(const Triangle& t, const PixelState& ps, int y, int x0, int x1);

// Pixel-stage state of one draw call, shared by its triangles.
struct PixelState {
    std::shared_ptr<const TexImage> texture;  // null: stage 0 samples opaque white
    TexMode texMode = TexMode::kNone;
    bool magLinear = false, minLinear = false;
    DWORD addressU = D3DTADDRESS_WRAP, addressV = D3DTADDRESS_WRAP;
    // Stage 0 combiner; fastModulate when it is texture x diffuse, alpha = texture alpha.
    bool fastModulate = true;
    DWORD colorOp = D3DTOP_MODULATE, colorArg1 = D3DTA_TEXTURE, colorArg2 = D3DTA_CURRENT;
    DWORD alphaOp = D3DTOP_SELECTARG1, alphaArg1 = D3DTA_TEXTURE, alphaArg2 = D3DTA_CURRENT;
    uint32_t textureFactor = 0xFFFFFFFFu;
    bool specular = false;
    bool depthTest = false, depthWrite = false;
    DWORD depthFunc = D3DCMP_LESSEQUAL;
    bool alphaTest = false;
    DWORD alphaFunc = D3DCMP_ALWAYS;
    uint32_t alphaRef = 0;
    bool blend = false;
    DWORD srcBlend = D3DBLEND_ONE, dstBlend = D3DBLEND_ZERO;
    // Scissor: the viewport clipped to the target, in pixels [x0, x1) x [y0, y1).
    int clipX0 = 0, clipY0 = 0, clipX1 = 0, clipY1 = 0;
    Target target;
    int depthShift = 0;
    uint32_t depthMax = 0;
    SpanFn span = nullptr;
};

// Picks the span routine specialised for a pixel state.
SpanFn SelectSpan(const PixelState& ps);

// An attribute as a plane over the screen: value = at + dx * (x - refX) + dy * (y - refY).
struct Plane {
    float at, dx, dy;
};

enum Attr { kZ, kQ, kSQ, kTQ, kR, kG, kB, kA, kSR, kSG, kSB, kAttrCount };

struct Triangle {
    int32_t x[3], y[3];  // kSubBits fixed point, sorted so y[0] <= y[1] <= y[2]
    int yFirst, yEnd;    // pixel rows [yFirst, yEnd)
    bool longEdgeLeft;   // the v0-v2 edge bounds the span on the left
    uint32_t pixelState;
    float refX, refY;
    Plane plane[kAttrCount];
};

struct ClearCommand {
    int x0, y0, x1, y1;
    bool color, depth;
    D3DCOLOR colorValue;
    float depthValue;
    Target target;
};

struct Command {
    enum Kind : uint8_t { kTriangles, kClear } kind;
    uint32_t begin, end;  // triangle range, or the clear's index
};

struct Frame {
    std::vector<Command> commands;
    std::vector<Triangle> triangles;
    std::vector<PixelState> pixelStates;
    std::vector<ClearCommand> clears;

    bool Empty() const { return commands.empty(); }
    void Reset() {
        commands.clear();
        triangles.clear();
        pixelStates.clear();  // drops texture references of finished work
        clears.clear();
    }
};

// Rasterizes every command of the frame, restricted to rows whose band
// (rows / kBandHeight) is congruent to `part` modulo `parts`.
constexpr int kBandHeight = 16;
void RunBands(const Frame& frame, int part, int parts);

}  // namespace sombrella::d3d::raster
