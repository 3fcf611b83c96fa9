// The software Direct3D 7 device: state storage and the COM surface of the
// rasterizer in raster/.
#pragma once

#include <d3d.h>

#include <atomic>
#include <cstdint>
#include <vector>

#include "d3d/raster/pipeline.h"
#include "d3d/raster/state.h"
#include "d3d/surfaces.h"

namespace sombrella::ddraw {
class Surface;
}

namespace sombrella::d3d {

class Device final : public IDirect3DDevice7 {
public:
    // Takes references on d3d and target.
    Device(IDirect3D7* d3d, ddraw::Surface* target, REFCLSID type);

    HRESULT QueryInterface(REFIID riid, LPVOID* ppvObj) override;
    ULONG AddRef() override;
    ULONG Release() override;

    HRESULT GetCaps(LPD3DDEVICEDESC7 desc) override;
    HRESULT EnumTextureFormats(LPD3DENUMPIXELFORMATSCALLBACK callback, LPVOID context) override;
    HRESULT BeginScene() override;
    HRESULT EndScene() override;
    HRESULT GetDirect3D(LPDIRECT3D7* out) override;
    HRESULT GetRenderTarget(LPDIRECTDRAWSURFACE7* out) override;
    HRESULT Clear(DWORD count, LPD3DRECT rects, DWORD flags, D3DCOLOR color, D3DVALUE z, DWORD stencil) override;
    HRESULT SetTransform(D3DTRANSFORMSTATETYPE type, LPD3DMATRIX matrix) override;
    HRESULT GetTransform(D3DTRANSFORMSTATETYPE type, LPD3DMATRIX matrix) override;
    HRESULT SetViewport(LPD3DVIEWPORT7 viewport) override;
    HRESULT GetViewport(LPD3DVIEWPORT7 viewport) override;
    HRESULT SetMaterial(LPD3DMATERIAL7 material) override;
    HRESULT GetMaterial(LPD3DMATERIAL7 material) override;
    HRESULT SetLight(DWORD index, LPD3DLIGHT7 light) override;
    HRESULT GetLight(DWORD index, LPD3DLIGHT7 light) override;
    HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override;
    HRESULT GetRenderState(D3DRENDERSTATETYPE state, LPDWORD value) override;
    HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, DWORD fvf, LPVOID vertices, DWORD vertexCount,
                                 LPWORD indices, DWORD indexCount, DWORD flags) override;
    HRESULT GetTexture(DWORD stage, LPDIRECTDRAWSURFACE7* out) override;
    HRESULT SetTexture(DWORD stage, LPDIRECTDRAWSURFACE7 texture) override;
    HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE state, LPDWORD value) override;
    HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE state, DWORD value) override;
    HRESULT LightEnable(DWORD index, BOOL enable) override;
    HRESULT GetLightEnable(DWORD index, BOOL* enabled) override;

    // Finishes queued rendering (the render target is final afterwards).
    void Flush() { pipeline_.Flush(); }

private:
    ~Device() override;
    D3DMATRIX* TransformSlot(D3DTRANSFORMSTATETYPE type);
    void UpdateProjection();

    std::atomic<ULONG> refs_{1};
    IDirect3D7* d3d_;
    ddraw::Surface* target_;
    GUID type_;
    bool inScene_ = false;
    raster::DeviceState state_;
    ddraw::Surface* textures_[raster::kStageCount]{};  // this device holds the references
    TextureCache textureCaches_[raster::kStageCount];
    D3DVIEWPORT7 viewport_{};  // as the program set it; state_.viewport is in pixels
    D3DMATRIX projection_{};   // as the program set it; state_.projection maps onto the pixels
    D3DMATRIX extraTransforms_[3 + raster::kStageCount]{};  // WORLD1..3, TEXTURE0..7: stored only
    std::vector<uint8_t> screenVertices_;  // XYZRHW vertices scaled to the pixels, for one draw
    raster::Pipeline pipeline_;
};

}  // namespace sombrella::d3d
