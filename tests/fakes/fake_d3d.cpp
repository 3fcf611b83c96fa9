#include "fakes/fake_d3d.h"

#include "fakes/fake_ddraw.h"
#include "fakes/fake_device.h"
#include "fakes/fake_surface.h"

namespace sombrella::fakes {

FakeDirect3D::FakeDirect3D(FakeWorld* world, FakeDirectDraw* dd) : FakeObject(world, "d3d"), ddraw(dd) {
    if (ddraw) ddraw->Hold();
}

HRESULT FakeDirect3D::QueryInterface(REFIID riid, LPVOID* out) {
    return QueryOwn(riid, IID_IDirect3D7, static_cast<IDirect3D7*>(this), out);
}

HRESULT FakeDirect3D::CreateDevice(REFCLSID type, LPDIRECTDRAWSURFACE7 target, LPDIRECT3DDEVICE7* out) {
    if (CheckAlive("CreateDevice")) return DDERR_INVALIDOBJECT;
    HRESULT hr = Scripted("CreateDevice");
    if (hr == S_OK) hr = World().CreateDeviceResult(type);
    FakeSurface* t = AsFake(target);
    if (hr == S_OK && (!out || !t)) hr = DDERR_INVALIDPARAMS;
    FakeDevice* made = nullptr;
    if (hr == S_OK) {
        made = World().Make<FakeDevice>(&World(), this, type, t);
        devices.push_back(made);
        if (World().onDeviceCreated) World().onDeviceCreated(*made);
    }
    if (out) *out = made;
    Log("CreateDevice", {}, hr, "CreateDevice(" + GuidName(type) + "," + LabelOf(target) + ")");
    return hr;
}

HRESULT FakeDirect3D::EnumZBufferFormats(REFCLSID type, LPD3DENUMPIXELFORMATSCALLBACK callback, LPVOID context) {
    if (CheckAlive("EnumZBufferFormats")) return DDERR_INVALIDOBJECT;
    HRESULT hr = Scripted("EnumZBufferFormats");
    if (hr == S_OK && !callback) hr = DDERR_INVALIDPARAMS;
    int offered = 0;
    // Logged before the callbacks run, so the log keeps call order.
    Log("EnumZBufferFormats", {}, hr, "EnumZBufferFormats(" + GuidName(type) + ")");
    if (hr == S_OK) {
        for (DDPIXELFORMAT f : World().ZBufferFormats(type)) {
            ++offered;
            if (callback(&f, context) == D3DENUMRET_CANCEL) break;
        }
    }
    zEnumerations.emplace_back(type, offered);
    return hr;
}

HRESULT FakeDirect3D::EvictManagedTextures() {
    if (CheckAlive("EvictManagedTextures")) return DDERR_INVALIDOBJECT;
    HRESULT hr = Scripted("EvictManagedTextures");
    Log("EvictManagedTextures", {}, hr);
    return hr;
}

void FakeDirect3D::OnFinalRelease() {
    if (ddraw) ddraw->Drop();
}

}  // namespace sombrella::fakes
