// The fixed-function pipeline: vertices in, pixels out. Draws are turned into
// screen-space triangles on the caller's thread and queued; Flush runs the
// queue on the worker bands and returns when every pixel is written.
#pragma once

#include <d3d.h>

#include <cstdint>
#include <memory>

#include "d3d/raster/state.h"

namespace sombrella::d3d::raster {

enum class ColorFormat { kRgb565, kRgb555, kXrgb8888, kArgb8888 };

struct Target {
    uint8_t* color = nullptr;
    LONG colorPitch = 0;
    int width = 0, height = 0;
    ColorFormat colorFormat = ColorFormat::kRgb565;
    uint8_t* depth = nullptr;  // null: no depth surface
    LONG depthPitch = 0;
    int depthWidth = 0, depthHeight = 0;
    int depthBytes = 0;     // 2, 3 or 4 bytes per pixel
    uint32_t depthMask = 0; // where the Z bits sit in the pixel
};

class Pipeline {
public:
    Pipeline();
    ~Pipeline();
    Pipeline(const Pipeline&) = delete;
    Pipeline& operator=(const Pipeline&) = delete;

    // Validates, transforms, lights, clips and queues one draw.
    HRESULT DrawIndexed(const DeviceState& state, const Target& target, D3DPRIMITIVETYPE type, DWORD fvf,
                        const void* vertices, DWORD vertexCount, const WORD* indices, DWORD indexCount);
    // Queues a clear of the rectangles (or the whole viewport when count is 0).
    HRESULT Clear(const DeviceState& state, const Target& target, DWORD count, const D3DRECT* rects, DWORD flags,
                  D3DCOLOR color, D3DVALUE z);
    // Runs everything queued; returns when the target memory is final.
    void Flush();

    int ThreadCount() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace sombrella::d3d::raster
