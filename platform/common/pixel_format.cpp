#include "common/pixel_format.h"

namespace sombrella::pixel {

DDPIXELFORMAT RgbFormat(DWORD bits, DWORD r, DWORD g, DWORD b, DWORD a) {
    DDPIXELFORMAT f{};
    f.dwSize = sizeof f;
    f.dwFlags = DDPF_RGB | (a ? DDPF_ALPHAPIXELS : 0);
    f.dwRGBBitCount = bits;
    f.dwRBitMask = r;
    f.dwGBitMask = g;
    f.dwBBitMask = b;
    f.dwRGBAlphaBitMask = a;
    return f;
}

DDPIXELFORMAT LuminanceFormat(DWORD bits, DWORD mask) {
    DDPIXELFORMAT f{};
    f.dwSize = sizeof f;
    f.dwFlags = DDPF_LUMINANCE;
    f.dwLuminanceBitCount = bits;
    f.dwLuminanceBitMask = mask;
    return f;
}

DDPIXELFORMAT FourCcFormat(DWORD fourCC) {
    DDPIXELFORMAT f{};
    f.dwSize = sizeof f;
    f.dwFlags = DDPF_FOURCC;
    f.dwFourCC = fourCC;
    return f;
}

DDPIXELFORMAT DepthFormat(DWORD bits, DWORD zMask, DWORD stencilBits, DWORD stencilMask) {
    DDPIXELFORMAT f{};
    f.dwSize = sizeof f;
    f.dwFlags = DDPF_ZBUFFER | (stencilBits ? DDPF_STENCILBUFFER : 0);
    f.dwZBufferBitDepth = bits;
    f.dwStencilBitDepth = stencilBits;
    f.dwZBitMask = zMask;
    f.dwStencilBitMask = stencilMask;
    return f;
}

bool SameRgb(const DDPIXELFORMAT& a, const DDPIXELFORMAT& b) {
    return (a.dwFlags & DDPF_RGB) && (b.dwFlags & DDPF_RGB) && a.dwRGBBitCount == b.dwRGBBitCount &&
           a.dwRBitMask == b.dwRBitMask && a.dwGBitMask == b.dwGBitMask && a.dwBBitMask == b.dwBBitMask;
}

DWORD AlphaMask(const DDPIXELFORMAT& f) { return (f.dwFlags & DDPF_ALPHAPIXELS) ? f.dwRGBAlphaBitMask : 0; }

DWORD BytesPerPixel(const DDPIXELFORMAT& f) {
    if (f.dwFlags & DDPF_ZBUFFER) return f.dwZBufferBitDepth > 16 ? 4 : 2;
    if (f.dwFlags & DDPF_FOURCC) return 0;
    return (f.dwRGBBitCount + 7) / 8;
}

DWORD BlockBytes(DWORD fourCC) {
    if (fourCC == MAKEFOURCC('D', 'X', 'T', '1')) return 8;
    if (fourCC == MAKEFOURCC('D', 'X', 'T', '2') || fourCC == MAKEFOURCC('D', 'X', 'T', '3') ||
        fourCC == MAKEFOURCC('D', 'X', 'T', '4') || fourCC == MAKEFOURCC('D', 'X', 'T', '5'))
        return 16;
    return 0;
}

}  // namespace sombrella::pixel
