// A DirectDraw 7 object that makes fake surfaces and one fake Direct3D 7.
#pragma once

#include <vector>

#include "fakes/fake_world.h"

namespace sombrella::fakes {

class FakeDirectDraw final : public IDirectDraw7, public FakeObject {
public:
    explicit FakeDirectDraw(FakeWorld* world);

    HRESULT QueryInterface(REFIID riid, LPVOID* ppvObj) override;
    ULONG AddRef() override { return DoAddRef(); }
    ULONG Release() override { return DoRelease(); }
    HRESULT CreateSurface(LPDDSURFACEDESC2 desc, LPDIRECTDRAWSURFACE7* out, IUnknown* outer) override;
    HRESULT RestoreDisplayMode() override;
    HRESULT SetCooperativeLevel(HWND hWnd, DWORD flags) override;
    HRESULT SetDisplayMode(DWORD width, DWORD height, DWORD bpp, DWORD refresh, DWORD flags) override;
    HRESULT TestCooperativeLevel() override;

    DWORD modeWidth = 640, modeHeight = 480, modeBpp = 16;
    HWND cooperativeWindow = nullptr;
    DWORD cooperativeFlags = 0;
    // Every description passed to CreateSurface (also failed ones), in order.
    std::vector<DDSURFACEDESC2> createRequests;
    std::vector<FakeSurface*> surfaces;  // created, in order
    FakeDirect3D* direct3d = nullptr;     // made by the first QueryInterface for it
};

}  // namespace sombrella::fakes
