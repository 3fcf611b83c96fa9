#include "fakes/fake_ddraw.h"

#include "fakes/fake_d3d.h"
#include "fakes/fake_surface.h"

namespace sombrella::fakes {

FakeDirectDraw::FakeDirectDraw(FakeWorld* world) : FakeObject(world, "ddraw") {}

HRESULT FakeDirectDraw::QueryInterface(REFIID riid, LPVOID* out) {
    if (CheckAlive("QueryInterface")) return E_FAIL;
    HRESULT hr = Scripted("QueryInterface");
    if (!out) hr = E_POINTER;
    std::string what = riid == IID_IDirect3D7 ? "IDirect3D7" : riid == IID_IDirectDraw7 ? "IDirectDraw7" : "other";
    if (hr == S_OK) {
        if (riid == IID_IDirect3D7) {
            if (!direct3d || direct3d->Destroyed()) {
                direct3d = World().Make<FakeDirect3D>(&World(), this);
            } else {
                direct3d->HandOut();
            }
            *out = static_cast<IDirect3D7*>(direct3d);
        } else if (riid == IID_IDirectDraw7 || riid == IID_IUnknown) {
            HandOut();
            *out = static_cast<IDirectDraw7*>(this);
        } else {
            hr = E_NOINTERFACE;
        }
    }
    if (hr != S_OK && out) *out = nullptr;
    Log("QueryInterface", {}, hr, "QueryInterface(" + what + ")");
    return hr;
}

HRESULT FakeDirectDraw::CreateSurface(LPDDSURFACEDESC2 in, LPDIRECTDRAWSURFACE7* out, IUnknown* outer) {
    if (CheckAlive("CreateSurface")) return DDERR_INVALIDOBJECT;
    HRESULT hr = Scripted("CreateSurface");
    if (in) createRequests.push_back(*in);
    if (hr == S_OK && (!in || !out || outer)) hr = DDERR_INVALIDPARAMS;
    FakeSurface* made = nullptr;
    if (hr == S_OK) {
        DDSURFACEDESC2 d = *in;
        const bool primary = (d.ddsCaps.dwCaps & DDSCAPS_PRIMARYSURFACE) != 0;
        if (primary) {
            d.dwWidth = modeWidth;
            d.dwHeight = modeHeight;
        } else if (!(d.dwFlags & DDSD_WIDTH) || !(d.dwFlags & DDSD_HEIGHT) || !d.dwWidth || !d.dwHeight) {
            hr = DDERR_INVALIDPARAMS;
        }
        if (!(d.dwFlags & DDSD_PIXELFORMAT)) d.ddpfPixelFormat = FormatRgb565();
        if (hr == S_OK && uint64_t(d.dwWidth) * d.dwHeight > (1u << 24)) hr = DDERR_OUTOFMEMORY;
        if (hr == S_OK) {
            d.dwFlags |= DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
            if (primary) d.ddsCaps.dwCaps |= DDSCAPS_FRONTBUFFER;
            made = World().Make<FakeSurface>(&World(), this, d);
            surfaces.push_back(made);
            if (primary && (in->dwFlags & DDSD_BACKBUFFERCOUNT) && in->dwBackBufferCount > 0) {
                // The flip chain's back buffer belongs to the primary.
                DDSURFACEDESC2 b = d;
                b.dwFlags &= ~DDSD_BACKBUFFERCOUNT;
                b.dwBackBufferCount = 0;
                b.ddsCaps.dwCaps = (d.ddsCaps.dwCaps & ~(DDSCAPS_PRIMARYSURFACE | DDSCAPS_FRONTBUFFER)) |
                                   DDSCAPS_BACKBUFFER;
                FakeSurface* back = World().Make<FakeSurface>(&World(), this, b);
                surfaces.push_back(back);
                made->attached.push_back(back);
                back->AdoptCreationReference();
                if (World().onSurfaceCreated) World().onSurfaceCreated(*back);
            }
            if (World().onSurfaceCreated) World().onSurfaceCreated(*made);
        }
    }
    if (out) *out = made;
    std::vector<double> args;
    if (in)
        args = {double(in->dwFlags), double(in->dwWidth), double(in->dwHeight), double(in->ddsCaps.dwCaps),
                double(in->ddsCaps.dwCaps2), double(in->ddpfPixelFormat.dwRGBBitCount)};
    Log("CreateSurface", args, hr);
    return hr;
}

HRESULT FakeDirectDraw::RestoreDisplayMode() {
    if (CheckAlive("RestoreDisplayMode")) return DDERR_INVALIDOBJECT;
    HRESULT hr = Scripted("RestoreDisplayMode");
    Log("RestoreDisplayMode", {}, hr);
    return hr;
}

HRESULT FakeDirectDraw::SetCooperativeLevel(HWND hWnd, DWORD flags) {
    if (CheckAlive("SetCooperativeLevel")) return DDERR_INVALIDOBJECT;
    HRESULT hr = Scripted("SetCooperativeLevel");
    if (hr == S_OK) {
        cooperativeWindow = hWnd;
        cooperativeFlags = flags;
    }
    Log("SetCooperativeLevel", {hWnd ? 1.0 : 0.0, double(flags)}, hr);
    return hr;
}

HRESULT FakeDirectDraw::SetDisplayMode(DWORD w, DWORD h, DWORD bpp, DWORD refresh, DWORD flags) {
    if (CheckAlive("SetDisplayMode")) return DDERR_INVALIDOBJECT;
    HRESULT hr = Scripted("SetDisplayMode");
    if (hr == S_OK) {
        modeWidth = w;
        modeHeight = h;
        modeBpp = bpp;
    }
    Log("SetDisplayMode", {double(w), double(h), double(bpp), double(refresh), double(flags)}, hr);
    return hr;
}

HRESULT FakeDirectDraw::TestCooperativeLevel() {
    if (CheckAlive("TestCooperativeLevel")) return DDERR_INVALIDOBJECT;
    HRESULT hr = Scripted("TestCooperativeLevel");
    Log("TestCooperativeLevel", {}, hr);
    return hr;
}

}  // namespace sombrella::fakes
