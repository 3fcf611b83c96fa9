#include "device/display.h"

#include <cstring>

#include "util/matrix.h"

LPDIRECTDRAW7 g_directDraw = nullptr;
LPDIRECTDRAWSURFACE7 g_primarySurface = nullptr;
LPDIRECTDRAWSURFACE7 g_backBuffer = nullptr;
LPDIRECTDRAWSURFACE7 g_depthSurface = nullptr;
LPDIRECT3D7 g_direct3D = nullptr;
LPDIRECT3DDEVICE7 g_device = nullptr;
const char* g_startupMessage = nullptr;

DWORD g_depthFormatFound = 0;
BYTE g_depthDeviceKind = 0;

namespace {

constexpr DWORD kWidth = 640;
constexpr DWORD kHeight = 480;
constexpr DWORD kBitsPerPixel = 16;

// Hardware types first, in both searches.
const GUID* const kDeviceOrder[] = {&IID_IDirect3DTnLHalDevice, &IID_IDirect3DHALDevice,
                                    &IID_IDirect3DMMXDevice, &IID_IDirect3DRGBDevice};

}  // namespace

int InitDisplay(HWND window) {
    if (DirectDrawCreateEx(nullptr, reinterpret_cast<LPVOID*>(&g_directDraw), IID_IDirectDraw7, nullptr) != 0) {
        RecordStartupMessage("DirectDrawCreate FAILED");
        return 0;
    }
    if (g_directDraw->SetCooperativeLevel(window, DDSCL_FULLSCREEN | DDSCL_ALLOWREBOOT | DDSCL_EXCLUSIVE) != 0) {
        RecordStartupMessage("SetCooperativeLevel FAILED");
        return 0;
    }
    if (g_directDraw->SetDisplayMode(kWidth, kHeight, kBitsPerPixel, 0, 0) != 0) {
        RecordStartupMessage("Error Setting Display Mode");
        return 0;
    }

    DDSURFACEDESC2 primary;
    std::memset(&primary, 0, sizeof(primary));
    primary.dwSize = sizeof(primary);
    primary.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
    primary.dwBackBufferCount = 1;
    primary.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX | DDSCAPS_3DDEVICE;
    if (g_directDraw->CreateSurface(&primary, &g_primarySurface, nullptr) != 0) {
        RecordStartupMessage("CreateSurface FAILED");
        return 0;
    }

    DDSCAPS2 backCaps;
    std::memset(&backCaps, 0, sizeof(backCaps));
    backCaps.dwCaps = DDSCAPS_BACKBUFFER;
    if (g_primarySurface->GetAttachedSurface(&backCaps, &g_backBuffer) != 0) {
        RecordStartupMessage("CreateSurface FAILED");
        return 0;
    }
    return 1;
}

HRESULT CALLBACK EnumDepthFormatCallback(LPDDPIXELFORMAT candidate, LPVOID context) {
    if (!candidate || !context) return D3DENUMRET_CANCEL;
    auto* wanted = static_cast<LPDDPIXELFORMAT>(context);
    if (candidate->dwFlags != wanted->dwFlags) return D3DENUMRET_OK;
    std::memcpy(wanted, candidate, sizeof(DDPIXELFORMAT));
    g_depthFormatFound = 1;
    return D3DENUMRET_CANCEL;
}

int InitDevice() {
    if (g_directDraw->QueryInterface(IID_IDirect3D7, reinterpret_cast<LPVOID*>(&g_direct3D)) < 0) {
        RecordStartupMessage("QueryInterface FAILED");
        return 0;
    }

    DDPIXELFORMAT depthFormat;
    std::memset(&depthFormat, 0, sizeof(depthFormat));
    depthFormat.dwSize = sizeof(DDPIXELFORMAT);
    depthFormat.dwFlags = DDPF_ZBUFFER;
    for (BYTE kind = 1; kind <= 4; ++kind) {
        g_direct3D->EnumZBufferFormats(*kDeviceOrder[kind - 1], EnumDepthFormatCallback, &depthFormat);
        if (g_depthFormatFound) {
            g_depthDeviceKind = kind;
            break;
        }
    }

    DDSURFACEDESC2 depth;
    std::memset(&depth, 0, sizeof(depth));
    depth.dwSize = sizeof(depth);
    depth.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT;
    depth.dwWidth = kWidth;
    depth.dwHeight = kHeight;
    depth.ddpfPixelFormat = depthFormat;
    depth.ddsCaps.dwCaps =
        DDSCAPS_ZBUFFER | (g_depthDeviceKind < 3 ? DDSCAPS_VIDEOMEMORY : DDSCAPS_SYSTEMMEMORY);
    if (g_directDraw->CreateSurface(&depth, &g_depthSurface, nullptr) != 0) return 0;
    g_backBuffer->AddAttachedSurface(g_depthSurface);

    bool created = false;
    for (const GUID* type : kDeviceOrder) {
        if (g_direct3D->CreateDevice(*type, g_backBuffer, &g_device) == 0) {
            created = true;
            break;
        }
    }
    if (!created) {
        RecordStartupMessage("Device Creation Failed");
        return 0;
    }

    D3DVIEWPORT7 viewport = {0, 0, kWidth, kHeight, 0.0f, 1.0f};
    if (g_device->SetViewport(&viewport) != 0) {
        RecordStartupMessage("Viewport settings failed");
        return 0;
    }

    Matrix4 projection;
    MakePerspective(projection, 0.8f, 1.333f, 10.0f, 2000.0f);
    g_device->SetTransform(D3DTRANSFORMSTATE_PROJECTION, &projection);
    g_device->SetRenderState(D3DRENDERSTATE_AMBIENT, 0x19191919);
    g_device->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTFG_LINEAR);
    g_device->SetRenderState(D3DRENDERSTATE_ZENABLE, D3DZB_TRUE);
    return 1;
}
