#include "fakes/fake_device.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "fakes/fake_d3d.h"
#include "fakes/fake_surface.h"

namespace sombrella::fakes {

DWORD FvfStride(DWORD fvf) {
    DWORD n = 0;
    switch (fvf & D3DFVF_POSITION_MASK) {
    case D3DFVF_XYZ: n += 12; break;
    case D3DFVF_XYZRHW: n += 16; break;
    default:
        if (fvf & D3DFVF_POSITION_MASK) n += 12 + 4 * (((fvf & D3DFVF_POSITION_MASK) >> 1) - 2);
    }
    if (fvf & D3DFVF_NORMAL) n += 12;
    if (fvf & D3DFVF_DIFFUSE) n += 4;
    if (fvf & D3DFVF_SPECULAR) n += 4;
    n += 8 * ((fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT);
    return n;
}

D3DMATRIX IdentityMatrix() {
    D3DMATRIX m{};
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    return m;
}

bool SameMatrix(const D3DMATRIX& a, const D3DMATRIX& b, float eps) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            if (std::fabs(a.m[r][c] - b.m[r][c]) > eps) return false;
    return true;
}

FakeDevice::FakeDevice(FakeWorld* world, FakeDirect3D* d3d_, REFGUID type_, FakeSurface* target_)
    : FakeObject(world, "device"), type(type_), d3d(d3d_), target(target_) {
    if (d3d) d3d->Hold();
    if (target) target->Hold();
    caps = world->Caps(type);
    textureFormats = world->textureFormats;
    // The platform's defaults for the states the demo touches.
    renderStates = {
        {D3DRENDERSTATE_TEXTUREPERSPECTIVE, 1}, {D3DRENDERSTATE_ZENABLE, D3DZB_TRUE},
        {D3DRENDERSTATE_FILLMODE, D3DFILL_SOLID}, {D3DRENDERSTATE_SHADEMODE, D3DSHADE_GOURAUD},
        {D3DRENDERSTATE_ZWRITEENABLE, 1}, {D3DRENDERSTATE_ALPHATESTENABLE, 0},
        {D3DRENDERSTATE_SRCBLEND, D3DBLEND_ONE}, {D3DRENDERSTATE_DESTBLEND, D3DBLEND_ZERO},
        {D3DRENDERSTATE_CULLMODE, D3DCULL_CCW}, {D3DRENDERSTATE_ZFUNC, D3DCMP_LESSEQUAL},
        {D3DRENDERSTATE_ALPHAFUNC, D3DCMP_ALWAYS}, {D3DRENDERSTATE_DITHERENABLE, 0},
        {D3DRENDERSTATE_ALPHABLENDENABLE, 0}, {D3DRENDERSTATE_FOGENABLE, 0},
        {D3DRENDERSTATE_SPECULARENABLE, 0}, {D3DRENDERSTATE_CLIPPING, 1},
        {D3DRENDERSTATE_LIGHTING, 1}, {D3DRENDERSTATE_AMBIENT, 0},
        {D3DRENDERSTATE_COLORVERTEX, 1}, {D3DRENDERSTATE_LOCALVIEWER, 1},
        {D3DRENDERSTATE_NORMALIZENORMALS, 0},
    };
    stageStates[{0, D3DTSS_COLOROP}] = D3DTOP_MODULATE;
    stageStates[{0, D3DTSS_COLORARG1}] = D3DTA_TEXTURE;
    stageStates[{0, D3DTSS_COLORARG2}] = D3DTA_CURRENT;
    stageStates[{0, D3DTSS_ALPHAOP}] = D3DTOP_SELECTARG1;
    stageStates[{0, D3DTSS_ALPHAARG1}] = D3DTA_TEXTURE;
    stageStates[{0, D3DTSS_ALPHAARG2}] = D3DTA_CURRENT;
    stageStates[{0, D3DTSS_MAGFILTER}] = D3DTFG_POINT;
    stageStates[{0, D3DTSS_MINFILTER}] = D3DTFN_POINT;
    if (target) {
        viewport.dwWidth = target->Width();
        viewport.dwHeight = target->Height();
    }
    viewport.dvMaxZ = 1.0f;
}

HRESULT FakeDevice::QueryInterface(REFIID riid, LPVOID* out) {
    return QueryOwn(riid, IID_IDirect3DDevice7, static_cast<IDirect3DDevice7*>(this), out);
}

HRESULT FakeDevice::GetCaps(LPD3DDEVICEDESC7 desc) {
    if (CheckAlive("GetCaps")) return DDERR_INVALIDOBJECT;
    HRESULT hr = Scripted("GetCaps");
    if (hr == S_OK && !desc) hr = DDERR_INVALIDPARAMS;
    if (hr == S_OK) *desc = caps;
    Log("GetCaps", {}, hr);
    return hr;
}

HRESULT FakeDevice::EnumTextureFormats(LPD3DENUMPIXELFORMATSCALLBACK callback, LPVOID arg) {
    if (CheckAlive("EnumTextureFormats")) return DDERR_INVALIDOBJECT;
    HRESULT hr = Scripted("EnumTextureFormats");
    if (hr == S_OK && !callback) hr = DDERR_INVALIDPARAMS;
    Log("EnumTextureFormats", {}, hr);
    if (hr == S_OK) {
        const auto formats = textureFormats;
        for (DDPIXELFORMAT f : formats) {
            ++texturesOffered;
            if (callback(&f, arg) == D3DENUMRET_CANCEL) break;
        }
    }
    return hr;
}

HRESULT FakeDevice::BeginScene() {
    if (CheckAlive("BeginScene")) return DDERR_INVALIDOBJECT;
    HRESULT hr = Scripted("BeginScene");
    if (hr == S_OK && inScene) {
        hr = D3DERR_SCENE_IN_SCENE;
        World().log.errors.push_back("BeginScene inside a scene on " + Label());
    }
    if (hr == S_OK) inScene = true;
    Log("BeginScene", {}, hr);
    return hr;
}

HRESULT FakeDevice::EndScene() {
    if (CheckAlive("EndScene")) return DDERR_INVALIDOBJECT;
    HRESULT hr = Scripted("EndScene");
    if (hr == S_OK && !inScene) {
        hr = D3DERR_SCENE_NOT_IN_SCENE;
        World().log.errors.push_back("EndScene outside a scene on " + Label());
    }
    if (hr == S_OK) {
        inScene = false;
        ++scenes;
    }
    Log("EndScene", {}, hr);
    return hr;
}

HRESULT FakeDevice::GetDirect3D(LPDIRECT3D7* out) {
    if (CheckAlive("GetDirect3D")) return DDERR_INVALIDOBJECT;
    HRESULT hr = Scripted("GetDirect3D");
    if (hr == S_OK && (!out || !d3d)) hr = DDERR_INVALIDPARAMS;
    if (hr == S_OK) {
        d3d->HandOut();
        *out = d3d;
    } else if (out) {
        *out = nullptr;
    }
    Log("GetDirect3D", {}, hr);
    return hr;
}

HRESULT FakeDevice::GetRenderTarget(LPDIRECTDRAWSURFACE7* out) {
    if (CheckAlive("GetRenderTarget")) return DDERR_INVALIDOBJECT;
    HRESULT hr = Scripted("GetRenderTarget");
    if (hr == S_OK && (!out || !target)) hr = DDERR_INVALIDPARAMS;
    if (hr == S_OK) {
        target->HandOut();
        *out = target;
    } else if (out) {
        *out = nullptr;
    }
    Log("GetRenderTarget", {}, hr);
    return hr;
}

HRESULT FakeDevice::Clear(DWORD count, LPD3DRECT rects, DWORD flags, D3DCOLOR color, D3DVALUE z, DWORD stencil) {
    if (CheckAlive("Clear")) return DDERR_INVALIDOBJECT;
    HRESULT hr = Scripted("Clear");
    if (hr == S_OK && count && !rects) hr = DDERR_INVALIDPARAMS;
    Log("Clear", {double(count), double(flags), double(color), double(z), double(stencil)}, hr);
    return hr;
}

static std::vector<double> MatrixArgs(DWORD first, const D3DMATRIX* m) {
    std::vector<double> a{double(first)};
    if (m)
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) a.push_back(m->m[r][c]);
    return a;
}

HRESULT FakeDevice::SetTransform(D3DTRANSFORMSTATETYPE state, LPD3DMATRIX matrix) {
    if (CheckAlive("SetTransform")) return DDERR_INVALIDOBJECT;
    HRESULT hr = Scripted("SetTransform");
    if (hr == S_OK && !matrix) hr = DDERR_INVALIDPARAMS;
    if (hr == S_OK) transforms[state] = *matrix;
    Log("SetTransform", MatrixArgs(state, matrix), hr);
    return hr;
}

HRESULT FakeDevice::GetTransform(D3DTRANSFORMSTATETYPE state, LPD3DMATRIX matrix) {
    if (CheckAlive("GetTransform")) return DDERR_INVALIDOBJECT;
    HRESULT hr = Scripted("GetTransform");
    if (hr == S_OK && !matrix) hr = DDERR_INVALIDPARAMS;
    if (hr == S_OK) {
        auto it = transforms.find(state);
        *matrix = it == transforms.end() ? IdentityMatrix() : it->second;
    }
    Log("GetTransform", {double(state)}, hr);
    return hr;
}

HRESULT FakeDevice::SetViewport(LPD3DVIEWPORT7 vp) {
    if (CheckAlive("SetViewport")) return DDERR_INVALIDOBJECT;
    HRESULT hr = Scripted("SetViewport");
    if (hr == S_OK && !vp) hr = DDERR_INVALIDPARAMS;
    if (hr == S_OK) viewport = *vp;
    std::vector<double> a;
    if (vp) a = {double(vp->dwX), double(vp->dwY), double(vp->dwWidth), double(vp->dwHeight), vp->dvMinZ, vp->dvMaxZ};
    Log("SetViewport", a, hr);
    return hr;
}

HRESULT FakeDevice::GetViewport(LPD3DVIEWPORT7 vp) {
    if (CheckAlive("GetViewport")) return DDERR_INVALIDOBJECT;
    HRESULT hr = Scripted("GetViewport");
    if (hr == S_OK && !vp) hr = DDERR_INVALIDPARAMS;
    if (hr == S_OK) *vp = viewport;
    Log("GetViewport", {}, hr);
    return hr;
}

static std::vector<double> MaterialArgs(const D3DMATERIAL7* m) {
    if (!m) return {};
    const D3DCOLORVALUE* c[4] = {&m->diffuse, &m->ambient, &m->specular, &m->emissive};
    std::vector<double> a;
    for (auto* v : c) a.insert(a.end(), {v->r, v->g, v->b, v->a});
    a.push_back(m->power);
    return a;
}

HRESULT FakeDevice::SetMaterial(LPD3DMATERIAL7 m) {
    if (CheckAlive("SetMaterial")) return DDERR_INVALIDOBJECT;
    HRESULT hr = Scripted("SetMaterial");
    if (hr == S_OK && !m) hr = DDERR_INVALIDPARAMS;
    if (hr == S_OK) material = *m;
    Log("SetMaterial", MaterialArgs(m), hr);
    return hr;
}

HRESULT FakeDevice::GetMaterial(LPD3DMATERIAL7 m) {
    if (CheckAlive("GetMaterial")) return DDERR_INVALIDOBJECT;
    HRESULT hr = Scripted("GetMaterial");
    if (hr == S_OK && !m) hr = DDERR_INVALIDPARAMS;
    if (hr == S_OK) *m = material;
    Log("GetMaterial", {}, hr);
    return hr;
}

HRESULT FakeDevice::SetLight(DWORD index, LPD3DLIGHT7 l) {
    if (CheckAlive("SetLight")) return DDERR_INVALIDOBJECT;
    HRESULT hr = Scripted("SetLight");
    if (hr == S_OK && !l) hr = DDERR_INVALIDPARAMS;
    if (hr == S_OK) lights[index] = *l;
    std::vector<double> a{double(index)};
    if (l) {
        a.push_back(l->dltType);
        for (const D3DCOLORVALUE* c : {&l->dcvDiffuse, &l->dcvSpecular, &l->dcvAmbient})
            a.insert(a.end(), {c->r, c->g, c->b, c->a});
        a.insert(a.end(), {l->dvPosition.x, l->dvPosition.y, l->dvPosition.z, l->dvDirection.x, l->dvDirection.y,
                           l->dvDirection.z, l->dvRange, l->dvFalloff, l->dvAttenuation0, l->dvAttenuation1,
                           l->dvAttenuation2, l->dvTheta, l->dvPhi});
    }
    Log("SetLight", a, hr);
    return hr;
}

HRESULT FakeDevice::GetLight(DWORD index, LPD3DLIGHT7 l) {
    if (CheckAlive("GetLight")) return DDERR_INVALIDOBJECT;
    HRESULT hr = Scripted("GetLight");
    if (hr == S_OK && !l) hr = DDERR_INVALIDPARAMS;
    auto it = lights.find(index);
    if (hr == S_OK && it == lights.end()) hr = DDERR_INVALIDPARAMS;
    if (hr == S_OK) *l = it->second;
    Log("GetLight", {double(index)}, hr);
    return hr;
}

HRESULT FakeDevice::SetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
    if (CheckAlive("SetRenderState")) return DDERR_INVALIDOBJECT;
    HRESULT hr = Scripted("SetRenderState");
    if (hr == S_OK) renderStates[state] = value;
    Log("SetRenderState", {double(state), double(value)}, hr);
    return hr;
}

HRESULT FakeDevice::GetRenderState(D3DRENDERSTATETYPE state, LPDWORD value) {
    if (CheckAlive("GetRenderState")) return DDERR_INVALIDOBJECT;
    HRESULT hr = Scripted("GetRenderState");
    if (hr == S_OK && !value) hr = DDERR_INVALIDPARAMS;
    if (hr == S_OK) {
        auto it = renderStates.find(state);
        *value = it == renderStates.end() ? 0 : it->second;
    }
    Log("GetRenderState", {double(state)}, hr);
    return hr;
}

HRESULT FakeDevice::DrawIndexedPrimitive(D3DPRIMITIVETYPE type_, DWORD fvf, LPVOID vertices, DWORD vertexCount,
                                         LPWORD indices, DWORD indexCount, DWORD flags) {
    if (CheckAlive("DrawIndexedPrimitive")) return DDERR_INVALIDOBJECT;
    HRESULT hr = Scripted("DrawIndexedPrimitive");
    if (hr == S_OK && ((vertexCount && !vertices) || (indexCount && !indices))) hr = DDERR_INVALIDPARAMS;
    if (hr == S_OK) {
        DrawCall d{};
        d.type = type_;
        d.fvf = fvf;
        d.vertexCount = vertexCount;
        d.flags = flags;
        d.stride = FvfStride(fvf);
        d.vertexPointer = vertices;
        d.indexPointer = indices;
        if (indexCount) d.indices.assign(indices, indices + indexCount);
        if (vertexCount) {
            const auto* b = static_cast<const uint8_t*>(vertices);
            d.vertices.assign(b, b + static_cast<size_t>(vertexCount) * d.stride);
        }
        if (!d.indices.empty()) {
            auto [lo, hi] = std::minmax_element(d.indices.begin(), d.indices.end());
            d.minIndex = *lo;
            d.maxIndex = *hi;
            if (*hi >= vertexCount)
                World().log.errors.push_back("DrawIndexedPrimitive index " + std::to_string(*hi) +
                                             " past vertex count " + std::to_string(vertexCount));
        }
        auto get = [this](DWORD s) {
            auto it = transforms.find(s);
            return it == transforms.end() ? IdentityMatrix() : it->second;
        };
        d.world = get(D3DTRANSFORMSTATE_WORLD);
        d.view = get(D3DTRANSFORMSTATE_VIEW);
        d.projection = get(D3DTRANSFORMSTATE_PROJECTION);
        d.material = material;
        auto t = textures.find(0);
        d.texture0 = t == textures.end() ? nullptr : t->second;
        d.renderStates = renderStates;
        d.inScene = inScene;
        d.logIndex = World().log.Records().size();
        draws.push_back(std::move(d));
    }
    Log("DrawIndexedPrimitive",
        {double(type_), double(fvf), double(vertexCount), double(indexCount), double(flags)}, hr);
    return hr;
}

HRESULT FakeDevice::GetTexture(DWORD stage, LPDIRECTDRAWSURFACE7* out) {
    if (CheckAlive("GetTexture")) return DDERR_INVALIDOBJECT;
    HRESULT hr = Scripted("GetTexture");
    if (hr == S_OK && !out) hr = DDERR_INVALIDPARAMS;
    if (hr == S_OK) {
        auto it = textures.find(stage);
        IDirectDrawSurface7* t = it == textures.end() ? nullptr : it->second;
        if (auto* f = AsFake(t))
            f->HandOut();
        else if (t)
            t->AddRef();
        *out = t;
    } else if (out) {
        *out = nullptr;
    }
    Log("GetTexture", {double(stage)}, hr);
    return hr;
}

HRESULT FakeDevice::SetTexture(DWORD stage, LPDIRECTDRAWSURFACE7 texture) {
    if (CheckAlive("SetTexture")) return DDERR_INVALIDOBJECT;
    HRESULT hr = Scripted("SetTexture");
    if (hr == S_OK) {
        if (auto* f = AsFake(texture)) {
            if (f->Destroyed()) World().log.errors.push_back("SetTexture with released " + f->Label());
            f->Hold();
        } else if (texture) {
            texture->AddRef();
        }
        IDirectDrawSurface7* old = textures.count(stage) ? textures[stage] : nullptr;
        if (texture)
            textures[stage] = texture;
        else
            textures.erase(stage);
        if (auto* f = AsFake(old))
            f->Drop();
        else if (old)
            old->Release();
    }
    Log("SetTexture", {double(stage)}, hr, "SetTexture(" + std::to_string(stage) + "," + LabelOf(texture) + ")");
    return hr;
}

HRESULT FakeDevice::GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE state, LPDWORD value) {
    if (CheckAlive("GetTextureStageState")) return DDERR_INVALIDOBJECT;
    HRESULT hr = Scripted("GetTextureStageState");
    if (hr == S_OK && !value) hr = DDERR_INVALIDPARAMS;
    if (hr == S_OK) {
        auto it = stageStates.find({stage, state});
        *value = it == stageStates.end() ? 0 : it->second;
    }
    Log("GetTextureStageState", {double(stage), double(state)}, hr);
    return hr;
}

HRESULT FakeDevice::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE state, DWORD value) {
    if (CheckAlive("SetTextureStageState")) return DDERR_INVALIDOBJECT;
    HRESULT hr = Scripted("SetTextureStageState");
    if (hr == S_OK) stageStates[{stage, state}] = value;
    Log("SetTextureStageState", {double(stage), double(state), double(value)}, hr);
    return hr;
}

HRESULT FakeDevice::LightEnable(DWORD index, BOOL enable) {
    if (CheckAlive("LightEnable")) return DDERR_INVALIDOBJECT;
    HRESULT hr = Scripted("LightEnable");
    if (hr == S_OK) {
        lightEnables[index] = enable ? TRUE : FALSE;
        // Enabling a light never set gives it the platform's default light.
        if (!lights.count(index)) {
            D3DLIGHT7 l{};
            l.dltType = D3DLIGHT_DIRECTIONAL;
            l.dcvDiffuse = {1, 1, 1, 0};
            l.dvDirection = {0, 0, 1};
            lights[index] = l;
        }
    }
    Log("LightEnable", {double(index), double(enable)}, hr);
    return hr;
}

HRESULT FakeDevice::GetLightEnable(DWORD index, BOOL* enable) {
    if (CheckAlive("GetLightEnable")) return DDERR_INVALIDOBJECT;
    HRESULT hr = Scripted("GetLightEnable");
    if (hr == S_OK && !enable) hr = DDERR_INVALIDPARAMS;
    auto it = lightEnables.find(index);
    if (hr == S_OK && it == lightEnables.end()) hr = DDERR_INVALIDPARAMS;
    if (hr == S_OK) *enable = it->second;
    Log("GetLightEnable", {double(index)}, hr);
    return hr;
}

void FakeDevice::OnFinalRelease() {
    if (inScene) World().log.errors.push_back(Label() + " released inside a scene");
    auto held = std::move(textures);
    textures.clear();
    for (auto& [stage, t] : held) {
        if (auto* f = AsFake(t))
            f->Drop();
        else if (t)
            t->Release();
    }
    if (target) target->Drop();
    if (d3d) d3d->Drop();
}

}  // namespace sombrella::fakes
