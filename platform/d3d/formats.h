// Pixel formats the software device offers: depth formats per device type
// and texture formats, each in a fixed order callers can rely on.
#pragma once

#include <d3d.h>

#include <cstddef>

namespace sombrella::d3d {

// Depth formats of the software device types, in enumeration order:
//   1. 32-bit word: 24-bit Z (mask 0xFFFFFF00) + 8-bit stencil (DDPF_ZBUFFER | DDPF_STENCILBUFFER)
//   2. 16-bit Z
//   3. 32-bit Z
//   4. 24-bit Z (mask 0x00FFFFFF)
// The stencil format comes first so a caller asking for a plain depth
// buffer really has to look at the flags. Hardware types have none.
size_t SoftwareDepthFormatCount();
DDPIXELFORMAT SoftwareDepthFormat(size_t index);

// Texture formats, in enumeration order:
//   A8R8G8B8, A1R5G5B5, A4R4G4B4, L8, DXT1 (FourCC), R5G6B5, X1R5G5B5, X8R8G8B8.
size_t TextureFormatCount();
DDPIXELFORMAT TextureFormat(size_t index);

// True for the device types this implementation can create (MMX, RGB).
bool IsSoftwareDevice(REFCLSID type);
// True for the hardware types it knows but cannot create (HAL, TnLHal).
bool IsHardwareDevice(REFCLSID type);

}  // namespace sombrella::d3d
