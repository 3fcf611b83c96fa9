// A Direct3D 7 device that stores every state it is given, reads it back,
// and records each draw with a snapshot of the state in force.
#pragma once

#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "fakes/fake_world.h"

namespace sombrella::fakes {

struct DrawCall {
    D3DPRIMITIVETYPE type;
    DWORD fvf;
    DWORD vertexCount;
    DWORD flags;
    std::vector<WORD> indices;
    std::vector<uint8_t> vertices;  // vertexCount * stride bytes, copied
    DWORD stride;
    WORD minIndex, maxIndex;       // over indices (0, 0 when empty)
    const void* vertexPointer;     // as passed
    const WORD* indexPointer;      // as passed
    // State in force at the draw.
    D3DMATRIX world, view, projection;
    D3DMATERIAL7 material;
    IDirectDrawSurface7* texture0;  // not held
    std::map<DWORD, DWORD> renderStates;
    bool inScene;
    std::size_t logIndex;  // position of the call in the world's log
};

// Vertex size in bytes of a flexible vertex format (position, normal,
// colours, texture coordinate sets of two floats).
DWORD FvfStride(DWORD fvf);
D3DMATRIX IdentityMatrix();
bool SameMatrix(const D3DMATRIX& a, const D3DMATRIX& b, float eps = 0.0f);

class FakeDevice final : public IDirect3DDevice7, public FakeObject {
public:
    // Holds the render target and the Direct3D object.
    FakeDevice(FakeWorld* world, FakeDirect3D* d3d, REFGUID type, FakeSurface* target);

    HRESULT QueryInterface(REFIID riid, LPVOID* ppvObj) override;
    ULONG AddRef() override { return DoAddRef(); }
    ULONG Release() override { return DoRelease(); }
    HRESULT GetCaps(LPD3DDEVICEDESC7 desc) override;
    HRESULT EnumTextureFormats(LPD3DENUMPIXELFORMATSCALLBACK callback, LPVOID arg) override;
    HRESULT BeginScene() override;
    HRESULT EndScene() override;
    HRESULT GetDirect3D(LPDIRECT3D7* out) override;
    HRESULT GetRenderTarget(LPDIRECTDRAWSURFACE7* out) override;
    HRESULT Clear(DWORD count, LPD3DRECT rects, DWORD flags, D3DCOLOR color, D3DVALUE z, DWORD stencil) override;
    HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, LPD3DMATRIX matrix) override;
    HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, LPD3DMATRIX matrix) override;
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
    HRESULT GetLightEnable(DWORD index, BOOL* enable) override;

    GUID type;
    FakeDirect3D* d3d;
    FakeSurface* target;
    // Reported by GetCaps (deviceGUID = type) and EnumTextureFormats; script freely.
    D3DDEVICEDESC7 caps;
    std::vector<DDPIXELFORMAT> textureFormats;
    int texturesOffered = 0;  // formats handed to EnumTextureFormats callbacks so far

    // State; tests may seed it directly (no log entry).
    std::map<DWORD, D3DMATRIX> transforms;  // unset ones read back as identity
    std::map<DWORD, DWORD> renderStates;    // starts with the platform's defaults
    std::map<std::pair<DWORD, DWORD>, DWORD> stageStates;
    std::map<DWORD, D3DLIGHT7> lights;
    std::map<DWORD, BOOL> lightEnables;
    D3DMATERIAL7 material{};
    D3DVIEWPORT7 viewport{};
    std::map<DWORD, IDirectDrawSurface7*> textures;  // each held
    bool inScene = false;
    int scenes = 0;  // completed BeginScene/EndScene pairs

    std::vector<DrawCall> draws;

protected:
    void OnFinalRelease() override;
};

}  // namespace sombrella::fakes
