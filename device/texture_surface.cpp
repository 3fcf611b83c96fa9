#include "device/texture_surface.h"

namespace {

constexpr DWORD kNotPlainRgb = DDPF_LUMINANCE | DDPF_BUMPLUMINANCE | DDPF_BUMPDUDV;

DWORD NextPowerOfTwo(DWORD side) {
    DWORD p = 1;
    while (side > p) p <<= 1;  // sides come from a LONG, so p stops at 2^31
    return p;
}

}  // namespace

HRESULT CALLBACK PickTextureFormat(LPDDPIXELFORMAT format, LPVOID context) {
    if (context == nullptr) return DDENUMRET_CANCEL;
    if (format == nullptr) return DDENUMRET_OK;
    if (format->dwFlags & kNotPlainRgb) return DDENUMRET_OK;
    if (format->dwFourCC != 0) return DDENUMRET_OK;
    if (format->dwFlags & DDPF_ALPHAPIXELS) return DDENUMRET_OK;
    if (format->dwRGBBitCount != 16) return DDENUMRET_OK;
    *static_cast<DDPIXELFORMAT*>(context) = *format;
    return DDENUMRET_CANCEL;
}

LPDIRECTDRAWSURFACE7 MakeTextureSurface(LPDIRECT3DDEVICE7 device, HBITMAP bitmap) {
    if (device == nullptr || bitmap == nullptr) return nullptr;
    D3DDEVICEDESC7 caps{};
    if (FAILED(device->GetCaps(&caps))) return nullptr;
    BITMAP bm{};
    if (GetObjectA(bitmap, sizeof bm, &bm) == 0 || bm.bmWidth <= 0 || bm.bmHeight <= 0) return nullptr;

    DDSURFACEDESC2 desc{};
    desc.dwSize = sizeof desc;
    desc.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT | DDSD_TEXTURESTAGE;
    desc.dwWidth = static_cast<DWORD>(bm.bmWidth);
    desc.dwHeight = static_cast<DWORD>(bm.bmHeight);
    desc.ddsCaps.dwCaps = DDSCAPS_TEXTURE;
    if (caps.deviceGUID == IID_IDirect3DHALDevice || caps.deviceGUID == IID_IDirect3DTnLHalDevice)
        desc.ddsCaps.dwCaps2 = DDSCAPS2_TEXTUREMANAGE;
    else
        desc.ddsCaps.dwCaps |= DDSCAPS_SYSTEMMEMORY;

    const DWORD textureCaps = caps.dpcTriCaps.dwTextureCaps;
    if (textureCaps & D3DPTEXTURECAPS_POW2) {
        desc.dwWidth = NextPowerOfTwo(desc.dwWidth);
        desc.dwHeight = NextPowerOfTwo(desc.dwHeight);
    }
    if (textureCaps & D3DPTEXTURECAPS_SQUAREONLY) {
        if (desc.dwWidth > desc.dwHeight)
            desc.dwHeight = desc.dwWidth;
        else
            desc.dwWidth = desc.dwHeight;
    }

    device->EnumTextureFormats(PickTextureFormat, &desc.ddpfPixelFormat);
    if (desc.ddpfPixelFormat.dwRGBBitCount == 0) return nullptr;

    LPDIRECTDRAWSURFACE7 target = nullptr;
    if (FAILED(device->GetRenderTarget(&target)) || target == nullptr) return nullptr;
    void* object = nullptr;
    const HRESULT hr = target->GetDDInterface(&object);
    target->Release();
    if (FAILED(hr) || object == nullptr) return nullptr;
    IDirectDraw7* directDraw = static_cast<IDirectDraw7*>(object);

    LPDIRECTDRAWSURFACE7 surface = nullptr;
    const HRESULT created = directDraw->CreateSurface(&desc, &surface, nullptr);
    directDraw->Release();
    if (FAILED(created) || surface == nullptr) return nullptr;

    HDC memoryDC = CreateCompatibleDC(nullptr);
    if (memoryDC == nullptr) {
        surface->Release();
        return nullptr;
    }
    SelectObject(memoryDC, bitmap);
    HDC surfaceDC = nullptr;
    if (SUCCEEDED(surface->GetDC(&surfaceDC))) {
        BitBlt(surfaceDC, 0, 0, bm.bmWidth, bm.bmHeight, memoryDC, 0, 0, SRCCOPY);
        surface->ReleaseDC(surfaceDC);
    }
    DeleteDC(memoryDC);
    return surface;
}

LPDIRECTDRAWSURFACE7 LoadBitmapTexture(LPDIRECT3DDEVICE7 device, const char* name) {
    if (name == nullptr) return nullptr;
    HBITMAP bitmap =
        static_cast<HBITMAP>(LoadImageA(GetModuleHandleA(nullptr), name, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (bitmap == nullptr)
        bitmap = static_cast<HBITMAP>(
            LoadImageA(nullptr, name, IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION));
    if (bitmap == nullptr) return nullptr;
    LPDIRECTDRAWSURFACE7 surface = MakeTextureSurface(device, bitmap);
    // The surface holds its own copy; the bitmap is no longer needed.
    DeleteObject(bitmap);
    return surface;
}
