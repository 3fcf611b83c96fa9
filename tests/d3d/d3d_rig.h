// A software device on in-memory surfaces, plus picture helpers.
#pragma once

#include <d3d.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ddraw/surface.h"

namespace d3dtest {

// Enough of a DirectDraw object to hang the Direct3D object on.
class StubDirectDraw final : public IDirectDraw7 {
public:
    HRESULT QueryInterface(REFIID, LPVOID* out) override {
        if (out) *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return --refs; }
    HRESULT CreateSurface(LPDDSURFACEDESC2, LPDIRECTDRAWSURFACE7*, IUnknown*) override { return E_NOTIMPL; }
    HRESULT RestoreDisplayMode() override { return E_NOTIMPL; }
    HRESULT SetCooperativeLevel(HWND, DWORD) override { return E_NOTIMPL; }
    HRESULT SetDisplayMode(DWORD, DWORD, DWORD, DWORD, DWORD) override { return E_NOTIMPL; }
    HRESULT TestCooperativeLevel() override { return E_NOTIMPL; }
    ULONG refs = 1;
};

DDPIXELFORMAT FormatXrgb8888();
DDPIXELFORMAT FormatRgb555();
DDPIXELFORMAT FormatArgb(DWORD bits, DWORD a, DWORD r, DWORD g, DWORD b);

struct Image {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;  // 3 bytes a pixel
    const uint8_t* At(int x, int y) const { return &rgb[((size_t)y * width + x) * 3]; }
};

// A render target (with optional depth surface) and a device on it.
class Rig {
public:
    Rig(int width, int height, DWORD depthBits, const DDPIXELFORMAT& color, DWORD stencilBits = 0);
    Rig(int width = 128, int height = 128, DWORD depthBits = 16);
    ~Rig();
    Rig(const Rig&) = delete;
    Rig& operator=(const Rig&) = delete;

    StubDirectDraw ddraw;
    IDirect3D7* d3d = nullptr;
    IDirect3DDevice7* device = nullptr;
    sombrella::ddraw::Surface* target = nullptr;
    sombrella::ddraw::Surface* depth = nullptr;

    Image Snapshot() const;
    // Raw target pixel (16 or 32 bits).
    uint32_t Pixel(int x, int y) const;
    // Sets a simple camera: eye at (0,0,-dist) looking at +z, 60-degree fov.
    void LookFromZ(float dist);
};

// Pre-transformed, pre-lit vertices and a draw of them.
struct TlVertex {
    float x, y, z, rhw;
    DWORD diffuse;
};
constexpr DWORD kTlFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE;
HRESULT DrawTlVertices(IDirect3DDevice7* dev, std::vector<TlVertex> v, std::vector<WORD> idx,
                       D3DPRIMITIVETYPE type = D3DPT_TRIANGLELIST);

// A texture surface in the given format.
sombrella::ddraw::Surface* MakeTexture(int width, int height, const DDPIXELFORMAT& format);
// Fills an ARGB texture surface (any RGB format) from a function of (x, y) -> ARGB8888.
template <typename F>
void FillTexture(sombrella::ddraw::Surface* s, F&& f);
void PutArgb(sombrella::ddraw::Surface* s, int x, int y, uint32_t argb);

D3DMATRIX Identity();
D3DMATRIX Perspective(float fovY, float aspect, float zn, float zf);
D3DMATRIX RotationY(float a);
D3DMATRIX RotationX(float a);
D3DMATRIX Translation(float x, float y, float z);
D3DMATRIX Mul(const D3DMATRIX& a, const D3DMATRIX& b);

bool ReadPng(const std::string& path, Image* out);
bool WritePng(const std::string& path, const Image& image);
// Compares with the golden PNG named `name` (per-channel tolerance). With
// SOMBRELLA_UPDATE_GOLDEN=1 the golden is rewritten instead. On a mismatch
// writes <name>.actual.png and <name>.diff.png beside the test binary and
// returns a description.
std::string CompareGolden(const std::string& name, const Image& image, int tolerance = 8);

template <typename F>
void FillTexture(sombrella::ddraw::Surface* s, F&& f) {
    for (int y = 0; y < (int)s->Height(); ++y)
        for (int x = 0; x < (int)s->Width(); ++x) PutArgb(s, x, y, f(x, y));
    s->Touch();
}

}  // namespace d3dtest
