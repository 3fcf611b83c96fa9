#include "d3d/formats.h"

#include "common/pixel_format.h"

namespace sombrella::d3d {
using pixel::DepthFormat;
using pixel::RgbFormat;

size_t SoftwareDepthFormatCount() { return 4; }

DDPIXELFORMAT SoftwareDepthFormat(size_t index) {
    switch (index) {
    case 0: return DepthFormat(32, 0xFFFFFF00u, 8, 0x000000FFu);
    case 1: return DepthFormat(16, 0x0000FFFFu, 0, 0);
    case 2: return DepthFormat(32, 0xFFFFFFFFu, 0, 0);
    default: return DepthFormat(24, 0x00FFFFFFu, 0, 0);
    }
}

size_t TextureFormatCount() { return 8; }

DDPIXELFORMAT TextureFormat(size_t index) {
    switch (index) {
    case 0: return pixel::Argb8888();
    case 1: return RgbFormat(16, 0x7C00u, 0x03E0u, 0x001Fu, 0x8000u);
    case 2: return RgbFormat(16, 0x0F00u, 0x00F0u, 0x000Fu, 0xF000u);
    case 3: return pixel::LuminanceFormat(8, 0xFFu);
    case 4: return pixel::FourCcFormat(MAKEFOURCC('D', 'X', 'T', '1'));
    case 5: return pixel::Rgb565();
    case 6: return pixel::Rgb555();
    default: return pixel::Xrgb8888();
    }
}

bool IsSoftwareDevice(REFCLSID type) {
    return IsEqualGUID(type, IID_IDirect3DMMXDevice) || IsEqualGUID(type, IID_IDirect3DRGBDevice);
}

bool IsHardwareDevice(REFCLSID type) {
    return IsEqualGUID(type, IID_IDirect3DHALDevice) || IsEqualGUID(type, IID_IDirect3DTnLHalDevice);
}

}  // namespace sombrella::d3d
