// A Direct3D 7 object: depth format enumeration and device creation as scripted.
#pragma once

#include <vector>

#include "fakes/fake_world.h"

namespace sombrella::fakes {

class FakeDirect3D final : public IDirect3D7, public FakeObject {
public:
    FakeDirect3D(FakeWorld* world, FakeDirectDraw* ddraw);  // holds ddraw

    HRESULT QueryInterface(REFIID riid, LPVOID* ppvObj) override;
    ULONG AddRef() override { return DoAddRef(); }
    ULONG Release() override { return DoRelease(); }
    HRESULT CreateDevice(REFCLSID type, LPDIRECTDRAWSURFACE7 target, LPDIRECT3DDEVICE7* out) override;
    HRESULT EnumZBufferFormats(REFCLSID type, LPD3DENUMPIXELFORMATSCALLBACK callback, LPVOID context) override;
    HRESULT EvictManagedTextures() override;

    FakeDirectDraw* ddraw;
    std::vector<FakeDevice*> devices;
    // Per EnumZBufferFormats call: device type and how many formats were offered.
    std::vector<std::pair<GUID, int>> zEnumerations;

protected:
    void OnFinalRelease() override;
};

}  // namespace sombrella::fakes
