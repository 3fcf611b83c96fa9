// The Direct3D 7 object: depth-format enumeration and device creation.
#include "d3d/direct3d.h"

#include <atomic>

#include "d3d/device.h"
#include "d3d/formats.h"
#include "d3d/surfaces.h"
#include "ddraw/surface.h"

namespace sombrella::d3d {
namespace {

class Direct3D final : public IDirect3D7 {
public:
    explicit Direct3D(IDirectDraw7* ddraw) : ddraw_(ddraw) { ddraw_->AddRef(); }

    HRESULT QueryInterface(REFIID riid, LPVOID* ppvObj) override {
        if (!ppvObj) return E_POINTER;
        if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IDirect3D7)) {
            AddRef();
            *ppvObj = static_cast<IDirect3D7*>(this);
            return S_OK;
        }
        *ppvObj = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

    HRESULT CreateDevice(REFCLSID type, LPDIRECTDRAWSURFACE7 target, LPDIRECT3DDEVICE7* out) override {
        if (!out) return DDERR_INVALIDPARAMS;
        *out = nullptr;
        // No hardware backend: only the software rasterizer types exist here.
        if (!IsSoftwareDevice(type)) return D3DERR_INVALID_DEVICE;
        ddraw::Surface* surface = ddraw::Surface::From(target);
        if (!surface || !(surface->Caps() & DDSCAPS_3DDEVICE)) return DDERR_INVALIDCAPS;
        if (surface->Lost()) return DDERR_SURFACELOST;
        raster::Target described;
        if (!DescribeTarget(surface, &described)) return DDERR_INVALIDPIXELFORMAT;
        *out = new Device(this, surface, type);
        return D3D_OK;
    }

    HRESULT EnumZBufferFormats(REFCLSID type, LPD3DENUMPIXELFORMATSCALLBACK callback, LPVOID context) override {
        if (!callback) return DDERR_INVALIDPARAMS;
        // Hardware types have no backend and so no depth formats.
        if (!IsSoftwareDevice(type)) return D3DERR_INVALID_DEVICE;
        for (size_t i = 0; i < SoftwareDepthFormatCount(); ++i) {
            DDPIXELFORMAT format = SoftwareDepthFormat(i);  // the callback may scribble on its copy
            if (callback(&format, context) == D3DENUMRET_CANCEL) break;
        }
        return D3D_OK;
    }

    HRESULT EvictManagedTextures() override { return D3D_OK; }

private:
    ~Direct3D() override { ddraw_->Release(); }

    std::atomic<ULONG> refs_{1};
    IDirectDraw7* ddraw_;
};

}  // namespace

IDirect3D7* CreateDirect3D(IDirectDraw7* ddraw) {
    if (!ddraw) return nullptr;
    return new Direct3D(ddraw);
}

}  // namespace sombrella::d3d
