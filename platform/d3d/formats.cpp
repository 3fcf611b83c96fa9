#include "d3d/formats.h"

namespace sombrella::d3d {
namespace {

DDPIXELFORMAT Depth(DWORD flags, DWORD bits, DWORD zMask, DWORD stencilBits, DWORD stencilMask) {
    DDPIXELFORMAT f{};
    f.dwSize = sizeof(DDPIXELFORMAT);
    f.dwFlags = flags;
    f.dwZBufferBitDepth = bits;
    f.dwStencilBitDepth = stencilBits;
    f.dwZBitMask = zMask;
    f.dwStencilBitMask = stencilMask;
    return f;
}

DDPIXELFORMAT Rgb(DWORD flags, DWORD bits, DWORD r, DWORD g, DWORD b, DWORD a) {
    DDPIXELFORMAT f{};
    f.dwSize = sizeof(DDPIXELFORMAT);
    f.dwFlags = flags;
    f.dwRGBBitCount = bits;
    f.dwRBitMask = r;
    f.dwGBitMask = g;
    f.dwBBitMask = b;
    f.dwRGBAlphaBitMask = a;
    return f;
}

}  // namespace

size_t SoftwareDepthFormatCount() { return 4; }

DDPIXELFORMAT SoftwareDepthFormat(size_t index) {
    switch (index) {
    case 0: return Depth(DDPF_ZBUFFER | DDPF_STENCILBUFFER, 32, 0xFFFFFF00u, 8, 0x000000FFu);
    case 1: return Depth(DDPF_ZBUFFER, 16, 0x0000FFFFu, 0, 0);
    case 2: return Depth(DDPF_ZBUFFER, 32, 0xFFFFFFFFu, 0, 0);
    default: return Depth(DDPF_ZBUFFER, 24, 0x00FFFFFFu, 0, 0);
    }
}

size_t TextureFormatCount() { return 8; }

DDPIXELFORMAT TextureFormat(size_t index) {
    switch (index) {
    case 0: return Rgb(DDPF_RGB | DDPF_ALPHAPIXELS, 32, 0x00FF0000u, 0x0000FF00u, 0x000000FFu, 0xFF000000u);
    case 1: return Rgb(DDPF_RGB | DDPF_ALPHAPIXELS, 16, 0x7C00u, 0x03E0u, 0x001Fu, 0x8000u);
    case 2: return Rgb(DDPF_RGB | DDPF_ALPHAPIXELS, 16, 0x0F00u, 0x00F0u, 0x000Fu, 0xF000u);
    case 3: {
        DDPIXELFORMAT f{};
        f.dwSize = sizeof(DDPIXELFORMAT);
        f.dwFlags = DDPF_LUMINANCE;
        f.dwLuminanceBitCount = 8;
        f.dwLuminanceBitMask = 0xFFu;
        return f;
    }
    case 4: {
        DDPIXELFORMAT f{};
        f.dwSize = sizeof(DDPIXELFORMAT);
        f.dwFlags = DDPF_FOURCC;
        f.dwFourCC = MAKEFOURCC('D', 'X', 'T', '1');
        return f;
    }
    case 5: return Rgb(DDPF_RGB, 16, 0xF800u, 0x07E0u, 0x001Fu, 0);
    case 6: return Rgb(DDPF_RGB, 16, 0x7C00u, 0x03E0u, 0x001Fu, 0);
    default: return Rgb(DDPF_RGB, 32, 0x00FF0000u, 0x0000FF00u, 0x000000FFu, 0);
    }
}

bool IsSoftwareDevice(REFCLSID type) {
    return IsEqualGUID(type, IID_IDirect3DMMXDevice) || IsEqualGUID(type, IID_IDirect3DRGBDevice);
}

bool IsHardwareDevice(REFCLSID type) {
    return IsEqualGUID(type, IID_IDirect3DHALDevice) || IsEqualGUID(type, IID_IDirect3DTnLHalDevice);
}

}  // namespace sombrella::d3d
