// Everything the device's Set* calls store, in the form the pipeline reads.
#pragma once

#include <d3d.h>

#include <cstdint>
#include <map>
#include <memory>

#include "d3d/raster/texture.h"

namespace sombrella::d3d::raster {

constexpr DWORD kRenderStateCount = 256;
constexpr DWORD kStageCount = 8;
constexpr DWORD kStageStateCount = 32;

struct LightSlot {
    D3DLIGHT7 light{};
    bool enabled = false;
};

struct DeviceState {
    DWORD renderState[kRenderStateCount]{};
    DWORD stageState[kStageCount][kStageStateCount]{};
    D3DMATRIX world{}, view{}, projection{};
    D3DVIEWPORT7 viewport{};
    D3DMATERIAL7 material{};
    std::map<DWORD, LightSlot> lights;
    // Each stage's texels as of the draw; the device keeps them current.
    std::shared_ptr<const TexImage> texture[kStageCount];
    // Bilinear minification across mip levels (the textures carry mips).
    bool mipmaps = false;

    // Bumped whenever lights, material or transforms change, so derived
    // per-draw data is rebuilt only when needed.
    uint64_t lightingVersion = 1;
    uint64_t transformVersion = 1;
};

// D3D7 defaults for render and stage states. zEnable is the ZENABLE default,
// which depends on a depth surface being attached when the device is made.
void ResetToDefaults(DeviceState& s, bool zEnable);

}  // namespace sombrella::d3d::raster
