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

// kLodSelect: point or linear by magnification; kMip: trilinear over mips.
enum class TexMode : uint8_t { kNone, kPoint, kLinear, kLodSelect, kMip };

struct Triangle;
struct PixelState;
// Pixel-stage state of one draw call, shared by its triangles.
struct PixelState {
    std::shared_ptr<const TexImage> texture;  // null: white with the diffuse alpha
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
    // Depth stepped pixel by pixel rather than from each run's start: how
    // every state but the plain modulating RGB565 one has always rounded.
    bool sequentialDepth = true;
};

// An attribute as a plane over the screen: value = at + dx * (x - refX) + dy * (y - refY).
struct Plane {
    float at, dx, dy;
};

enum Attr { kZ, kQ, kSQ, kTQ, kR, kG, kB, kA, kSR, kSG, kSB, kAttrCount };

// The texture's planes (q, u * q, v * q) in double, at the same reference.
struct PlaneD {
    double at, dx, dy;
};

struct Triangle {
    int32_t x[3], y[3];  // kSubBits fixed point, sorted so y[0] <= y[1] <= y[2]
    int yFirst, yEnd;    // pixel rows [yFirst, yEnd)
    bool longEdgeLeft;   // the v0-v2 edge bounds the span on the left
    uint32_t pixelState;
    float refX, refY;
    Plane plane[kAttrCount];
    PlaneD tex[3];
};

struct ClearCommand {
    int x0, y0, x1, y1;
    bool color, depth;
    D3DCOLOR colorValue;
    float depthValue;
    Target target;
};

// Work is binned by bands of rows. A band's list holds, in submission
// order, triangle indices and clear indices (marked by kClearBit); whichever
// thread takes a band runs its whole list, so every pixel sees the same
// operations in the same order however the bands are shared out.
constexpr int kBandHeight = 16;
constexpr uint32_t kClearBit = 0x80000000u;

struct Frame {
    std::vector<Triangle> triangles;
    std::vector<PixelState> pixelStates;
    std::vector<ClearCommand> clears;
    std::vector<std::vector<uint32_t>> bins;
    int bandCount = 0;  // bands [0, bandCount) may hold work
    bool queued = false;

    bool Empty() const { return !queued; }
    void Bin(uint32_t entry, int yFirst, int yEnd) {
        if (yFirst >= yEnd) return;
        int first = yFirst / kBandHeight, last = (yEnd - 1) / kBandHeight;
        if ((int)bins.size() <= last) bins.resize(last + 1);
        for (int b = first; b <= last; ++b) bins[b].push_back(entry);
        if (last + 1 > bandCount) bandCount = last + 1;
        queued = true;
    }
    void Reset() {
        triangles.clear();
        pixelStates.clear();  // drops texture references of finished work
        clears.clear();
        for (int b = 0; b < bandCount; ++b) bins[b].clear();
        bandCount = 0;
        queued = false;
    }
};

// Runs one band's list: rows [band * kBandHeight, (band + 1) * kBandHeight).
void RunBand(const Frame& frame, int band);

// Stretches of opaque triangles on one target run in two passes: the depth
// test over all of them, then each pixel shaded once, by the triangle left
// showing there. The picture is the same either way; tests and benchmarks
// turn it off to compare. Call only while no frame is being rendered.
void SetOpaqueTwoPass(bool on);
bool OpaqueTwoPass();

}  // namespace sombrella::d3d::raster
