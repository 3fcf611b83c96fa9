#include "d3d/device.h"
#include "d3d/render_scale.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string_view>

#include "common/knobs.h"
#include "d3d/formats.h"
#include "d3d/raster/simd.h"
#include "d3d/raster/validate.h"
#include "ddraw/surface.h"

namespace sombrella::d3d {
namespace {

// DDBD_* bit-depth flags of the device description.
constexpr DWORD kDepth16 = 0x400, kDepth24 = 0x200, kDepth32 = 0x100;
constexpr float kGuardBand = 4096.0f;


D3DLIGHT7 DefaultLight() {
    // What D3D7 enables when LightEnable names a light never set.
    D3DLIGHT7 l{};
    l.dltType = D3DLIGHT_DIRECTIONAL;
    l.dcvDiffuse = {1.0f, 1.0f, 1.0f, 0.0f};
    l.dvDirection = {0.0f, 0.0f, 1.0f};
    return l;
}

// Render states retired with DirectX 7 (TEXTUREHANDLE, TEXTUREMAPBLEND):
// a DirectX 7 device refuses them both ways.
bool RetiredState(DWORD state) { return state == 1 || state == 21; }

bool ValidLight(const D3DLIGHT7& l) {
    if (l.dltType != D3DLIGHT_POINT && l.dltType != D3DLIGHT_SPOT && l.dltType != D3DLIGHT_DIRECTIONAL) return false;
    if (l.dltType != D3DLIGHT_DIRECTIONAL) {
        if (!(l.dvRange >= 0.0f)) return false;
        // Attenuation must be a finite, non-negative polynomial.
        for (float a : {l.dvAttenuation0, l.dvAttenuation1, l.dvAttenuation2})
            if (!(a >= 0.0f) || !std::isfinite(a)) return false;
    }
    if (l.dltType == D3DLIGHT_SPOT) {
        if (!(l.dvTheta >= 0.0f) || !(l.dvPhi >= l.dvTheta) || !(l.dvPhi <= 3.1416f)) return false;
    }
    return true;
}

}  // namespace

Device::Device(IDirect3D7* d3d, ddraw::Surface* target, REFCLSID type) : d3d_(d3d), target_(target), type_(type) {
    d3d_->AddRef();
    target_->AddRef();
    raster::ResetToDefaults(state_, target_->AttachedDepth() != nullptr);
    // Enhanced rendering's minification; off keeps the faithful picture.
    const char* mipmaps = knobs::String("SOMBRELLA_MIPMAPS");
    state_.mipmaps = mipmaps && std::string_view(mipmaps) == "1";
    // Runs the pixel pipeline with one named vector target (tests, comparisons).
    if (const char* simd = knobs::String("SOMBRELLA_SIMD"); simd && !raster::ForceSimdTarget(simd))
        std::fprintf(stderr, "SOMBRELLA_SIMD: no target \"%s\" here (have: %s)\n", simd, raster::AvailableSimdTargets());
    viewport_ = D3DVIEWPORT7{0, 0, target_->LogicalWidth(), target_->LogicalHeight(), 0.0f, 1.0f};
    state_.viewport = ScaleViewport(viewport_, *target_);
    // Every transform starts as the identity, the stored-only ones too.
    for (D3DMATRIX& m : extraTransforms_) m = state_.world;
    projection_ = state_.world;
    UpdateProjection();
}

void Device::UpdateProjection() {
    state_.projection = CentredProjection(projection_, state_.viewport, *target_);
    ++state_.transformVersion;
}

Device::~Device() {
    pipeline_.Flush();
    for (ddraw::Surface*& t : textures_) {
        if (t) t->Release();
        t = nullptr;
    }
    target_->Release();
    d3d_->Release();
}

HRESULT Device::QueryInterface(REFIID riid, LPVOID* ppvObj) {
    if (!ppvObj) return E_POINTER;
    if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IDirect3DDevice7)) {
        AddRef();
        *ppvObj = static_cast<IDirect3DDevice7*>(this);
        return S_OK;
    }
    *ppvObj = nullptr;
    return E_NOINTERFACE;
}

ULONG Device::AddRef() { return ++refs_; }

ULONG Device::Release() {
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
}

HRESULT Device::GetCaps(LPD3DDEVICEDESC7 desc) {
    if (!desc) return DDERR_INVALIDPARAMS;
    D3DDEVICEDESC7 d{};
    d.dwDevCaps = D3DDEVCAPS_FLOATTLVERTEX | D3DDEVCAPS_EXECUTESYSTEMMEMORY | D3DDEVCAPS_TLVERTEXSYSTEMMEMORY |
                  D3DDEVCAPS_TEXTURESYSTEMMEMORY | D3DDEVCAPS_DRAWPRIMTLVERTEX;
    D3DPRIMCAPS tri{};
    tri.dwSize = sizeof(D3DPRIMCAPS);
    // Power-of-two sides keep the texel wrap a mask in the inner loop;
    // rectangles are fine, so no square-only rule.
    tri.dwTextureCaps = D3DPTEXTURECAPS_PERSPECTIVE | D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_ALPHA;
    d.dpcTriCaps = tri;
    d.dpcLineCaps = tri;
    d.dwDeviceRenderBitDepth = kDepth16 | kDepth32;
    d.dwDeviceZBufferBitDepth = kDepth16 | kDepth24 | kDepth32;
    d.dwMinTextureWidth = d.dwMinTextureHeight = 1;
    d.dwMaxTextureWidth = d.dwMaxTextureHeight = ddraw::kMaxTextureSide;
    d.dwMaxTextureRepeat = 32768;
    d.dwMaxAnisotropy = 1;
    d.dvGuardBandLeft = -kGuardBand;
    d.dvGuardBandTop = -kGuardBand;
    d.dvGuardBandRight = kGuardBand;
    d.dvGuardBandBottom = kGuardBand;
    d.dwFVFCaps = 1;  // one texture coordinate set
    d.wMaxTextureBlendStages = 1;
    d.wMaxSimultaneousTextures = 1;
    d.dwMaxActiveLights = 0xFFFFFFFFu;
    d.dvMaxVertexW = 1e10f;
    d.deviceGUID = type_;
    *desc = d;
    return D3D_OK;
}

HRESULT Device::EnumTextureFormats(LPD3DENUMPIXELFORMATSCALLBACK callback, LPVOID context) {
    if (!callback) return DDERR_INVALIDPARAMS;
    for (size_t i = 0; i < TextureFormatCount(); ++i) {
        DDPIXELFORMAT format = TextureFormat(i);
        if (callback(&format, context) == D3DENUMRET_CANCEL) break;
    }
    return D3D_OK;
}

HRESULT Device::BeginScene() {
    if (inScene_) return D3DERR_SCENE_IN_SCENE;
    if (target_->Lost()) return DDERR_SURFACELOST;
    inScene_ = true;
    return D3D_OK;
}

HRESULT Device::EndScene() {
    if (!inScene_) return D3DERR_SCENE_NOT_IN_SCENE;
    inScene_ = false;
    pipeline_.Flush();
    return D3D_OK;
}

HRESULT Device::GetDirect3D(LPDIRECT3D7* out) {
    if (!out) return DDERR_INVALIDPARAMS;
    d3d_->AddRef();
    *out = d3d_;
    return D3D_OK;
}

HRESULT Device::GetRenderTarget(LPDIRECTDRAWSURFACE7* out) {
    if (!out) return DDERR_INVALIDPARAMS;
    pipeline_.Flush();  // the caller may look at the pixels
    target_->AddRef();
    *out = target_;
    return D3D_OK;
}

HRESULT Device::Clear(DWORD count, LPD3DRECT rects, DWORD flags, D3DCOLOR color, D3DVALUE z, DWORD stencil) {
    (void)stencil;
    // A count without a list clears the whole viewport; a list without a
    // count clears nothing. Both succeed.
    if (!rects) count = 0;
    const bool nothing = count == 0 && rects;
    if (!(flags & (D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL))) return DDERR_INVALIDPARAMS;
    if (target_->Lost()) return DDERR_SURFACELOST;
    raster::Target t;
    if (!DescribeTarget(target_, &t)) return DDERR_INVALIDPIXELFORMAT;
    if ((flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) && !t.depth) return D3DERR_ZBUFFER_NOTPRESENT;
    if ((flags & D3DCLEAR_ZBUFFER) && !(z >= 0.0f && z <= 1.0f)) return DDERR_INVALIDPARAMS;
    if (nothing) return D3D_OK;
    std::vector<D3DRECT> scaled;
    HRESULT hr = pipeline_.Clear(state_, t, count, ScaleRects(rects, count, *target_, scaled),
                                 flags & (D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER), color, z);
    if (!inScene_) pipeline_.Flush();
    return hr;
}

D3DMATRIX* Device::TransformSlot(D3DTRANSFORMSTATETYPE type) {
    switch (type) {
    case D3DTRANSFORMSTATE_WORLD: return &state_.world;
    case D3DTRANSFORMSTATE_VIEW: return &state_.view;
    case D3DTRANSFORMSTATE_PROJECTION: return &projection_;
    case D3DTRANSFORMSTATE_WORLD1:
    case D3DTRANSFORMSTATE_WORLD2:
    case D3DTRANSFORMSTATE_WORLD3: return &extraTransforms_[type - D3DTRANSFORMSTATE_WORLD1];
    default:
        if (type >= D3DTRANSFORMSTATE_TEXTURE0 && type < D3DTRANSFORMSTATE_TEXTURE0 + (int)raster::kStageCount)
            return &extraTransforms_[3 + (type - D3DTRANSFORMSTATE_TEXTURE0)];
        return nullptr;
    }
}

HRESULT Device::SetTransform(D3DTRANSFORMSTATETYPE type, LPD3DMATRIX matrix) {
    D3DMATRIX* slot = TransformSlot(type);
    if (!slot || !matrix) return DDERR_INVALIDPARAMS;
    *slot = *matrix;
    if (type == D3DTRANSFORMSTATE_PROJECTION) UpdateProjection();
    ++state_.transformVersion;
    ++state_.lightingVersion;  // lights live in view space
    return D3D_OK;
}

HRESULT Device::GetTransform(D3DTRANSFORMSTATETYPE type, LPD3DMATRIX matrix) {
    D3DMATRIX* slot = TransformSlot(type);
    if (!slot || !matrix) return DDERR_INVALIDPARAMS;
    *matrix = *slot;
    return D3D_OK;
}

HRESULT Device::SetViewport(LPD3DVIEWPORT7 viewport) {
    if (!viewport) return DDERR_INVALIDPARAMS;
    const D3DVIEWPORT7& v = *viewport;
    if (v.dwWidth == 0 || v.dwHeight == 0) return DDERR_INVALIDPARAMS;
    const DWORD w = target_->LogicalWidth(), h = target_->LogicalHeight();
    if (v.dwX > w || v.dwWidth > w - v.dwX) return DDERR_INVALIDPARAMS;
    if (v.dwY > h || v.dwHeight > h - v.dwY) return DDERR_INVALIDPARAMS;
    if (!(v.dvMinZ >= 0.0f && v.dvMinZ <= 1.0f && v.dvMaxZ >= 0.0f && v.dvMaxZ <= 1.0f)) return DDERR_INVALIDPARAMS;
    viewport_ = v;
    state_.viewport = ScaleViewport(v, *target_);
    UpdateProjection();
    return D3D_OK;
}

HRESULT Device::GetViewport(LPD3DVIEWPORT7 viewport) {
    if (!viewport) return DDERR_INVALIDPARAMS;
    *viewport = viewport_;
    return D3D_OK;
}

HRESULT Device::SetMaterial(LPD3DMATERIAL7 material) {
    if (!material) return DDERR_INVALIDPARAMS;
    state_.material = *material;
    ++state_.lightingVersion;
    return D3D_OK;
}

HRESULT Device::GetMaterial(LPD3DMATERIAL7 material) {
    if (!material) return DDERR_INVALIDPARAMS;
    *material = state_.material;
    return D3D_OK;
}

HRESULT Device::SetLight(DWORD index, LPD3DLIGHT7 light) {
    if (!light || !ValidLight(*light)) return DDERR_INVALIDPARAMS;
    state_.lights[index].light = *light;
    ++state_.lightingVersion;
    return D3D_OK;
}

HRESULT Device::GetLight(DWORD index, LPD3DLIGHT7 light) {
    if (!light) return DDERR_INVALIDPARAMS;
    auto it = state_.lights.find(index);
    if (it == state_.lights.end()) return DDERR_INVALIDPARAMS;
    *light = it->second.light;
    return D3D_OK;
}

HRESULT Device::LightEnable(DWORD index, BOOL enable) {
    auto it = state_.lights.find(index);
    if (it == state_.lights.end()) {
        raster::LightSlot slot;
        slot.light = DefaultLight();
        it = state_.lights.emplace(index, slot).first;
    }
    it->second.enabled = enable != FALSE;
    ++state_.lightingVersion;
    return D3D_OK;
}

HRESULT Device::GetLightEnable(DWORD index, BOOL* enabled) {
    if (!enabled) return DDERR_INVALIDPARAMS;
    auto it = state_.lights.find(index);
    if (it == state_.lights.end()) return DDERR_INVALIDPARAMS;
    *enabled = it->second.enabled ? TRUE : FALSE;
    return D3D_OK;
}

HRESULT Device::SetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
    if ((DWORD)state == 0 || (DWORD)state >= raster::kRenderStateCount || RetiredState(state))
        return DDERR_INVALIDPARAMS;
    state_.renderState[state] = value;
    switch (state) {
    case D3DRENDERSTATE_AMBIENT:
    case D3DRENDERSTATE_COLORVERTEX:
    case D3DRENDERSTATE_DIFFUSEMATERIALSOURCE:
    case D3DRENDERSTATE_SPECULARMATERIALSOURCE:
    case D3DRENDERSTATE_AMBIENTMATERIALSOURCE:
    case D3DRENDERSTATE_EMISSIVEMATERIALSOURCE:
    case D3DRENDERSTATE_LOCALVIEWER:
    case D3DRENDERSTATE_SPECULARENABLE:
    case D3DRENDERSTATE_NORMALIZENORMALS:
    case D3DRENDERSTATE_LIGHTING: ++state_.lightingVersion; break;  // lighting reads these
    default: break;
    }
    return D3D_OK;
}

HRESULT Device::GetRenderState(D3DRENDERSTATETYPE state, LPDWORD value) {
    if (!value || (DWORD)state == 0 || (DWORD)state >= raster::kRenderStateCount || RetiredState(state))
        return DDERR_INVALIDPARAMS;
    *value = state_.renderState[state];
    return D3D_OK;
}

HRESULT Device::DrawIndexedPrimitive(D3DPRIMITIVETYPE type, DWORD fvf, LPVOID vertices, DWORD vertexCount,
                                     LPWORD indices, DWORD indexCount, DWORD flags) {
    (void)flags;
    if (target_->Lost()) return DDERR_SURFACELOST;
    raster::Target t;
    if (!DescribeTarget(target_, &t)) return DDERR_INVALIDPIXELFORMAT;
    // The copy of stage 0's texels as they are now (only stage 0 is drawn with).
    state_.texture[0] = textures_[0] ? textureCaches_[0].Get(*textures_[0], state_.mipmaps) : nullptr;
    // Screen-space vertices follow the larger pixels as the viewport does. A
    // format or count the pipeline refuses goes through untouched for its error.
    // Only the vertices up to the highest index are read, as the pipeline does.
    const void* drawn = vertices;
    if ((fvf & D3DFVF_POSITION_MASK) == D3DFVF_XYZRHW && indices && vertexCount <= 65536 && !target_->Faithful())
        if (const DWORD stride = raster::VertexStride(fvf)) {
            DWORD used = 0;
            for (DWORD i = 0; i < indexCount; ++i) used = std::max<DWORD>(used, indices[i] + 1u);
            drawn = ScaleScreenVertices(vertices, std::min(used, vertexCount), stride, *target_, screenVertices_);
        }
    HRESULT hr = pipeline_.DrawIndexed(state_, t, type, fvf, drawn, vertexCount, indices, indexCount);
    state_.texture[0] = nullptr;  // queued work holds its own reference
    // Outside a scene there is no EndScene to wait for: finish now.
    if (!inScene_) pipeline_.Flush();
    return hr;
}

HRESULT Device::GetTexture(DWORD stage, LPDIRECTDRAWSURFACE7* out) {
    if (!out || stage >= raster::kStageCount) return DDERR_INVALIDPARAMS;
    ddraw::Surface* t = textures_[stage];
    if (t) t->AddRef();
    *out = t;
    return D3D_OK;
}

HRESULT Device::SetTexture(DWORD stage, LPDIRECTDRAWSURFACE7 texture) {
    if (stage >= raster::kStageCount) return DDERR_INVALIDPARAMS;
    ddraw::Surface* t = nullptr;
    if (texture) {
        t = ddraw::Surface::From(texture);
        if (!t) return DDERR_INVALIDPARAMS;
        // A surface that is no texture is accepted and leaves the stage empty.
        if (t->Caps() & DDSCAPS_TEXTURE)
            t->AddRef();
        else
            t = nullptr;
    }
    ddraw::Surface* old = textures_[stage];
    textures_[stage] = t;
    if (old != t) textureCaches_[stage].Reset();
    // Queued triangles keep their own copy of the texels, so the old
    // surface may go at once.
    if (old) old->Release();
    return D3D_OK;
}

HRESULT Device::GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE state, LPDWORD value) {
    if (!value || stage >= raster::kStageCount || (DWORD)state == 0 || (DWORD)state >= raster::kStageStateCount)
        return DDERR_INVALIDPARAMS;
    *value = state_.stageState[stage][state];
    return D3D_OK;
}

HRESULT Device::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE state, DWORD value) {
    if (stage >= raster::kStageCount || (DWORD)state == 0 || (DWORD)state >= raster::kStageStateCount)
        return DDERR_INVALIDPARAMS;
    DWORD* ts = state_.stageState[stage];
    ts[state] = value;
    // ADDRESS sets both directions, as in D3D7.
    if (state == D3DTSS_ADDRESS) ts[D3DTSS_ADDRESSU] = ts[D3DTSS_ADDRESSV] = value;
    return D3D_OK;
}

}  // namespace sombrella::d3d
