// A DirectDraw surface with real pixel memory.
#pragma once

#include <cstdint>
#include <vector>

#include "fakes/fake_world.h"

namespace sombrella::fakes {

class FakeSurface final : public IDirectDrawSurface7, public FakeObject {
public:
    FakeSurface(FakeWorld* world, FakeDirectDraw* owner, const DDSURFACEDESC2& desc);

    HRESULT QueryInterface(REFIID riid, LPVOID* ppvObj) override;
    ULONG AddRef() override { return DoAddRef(); }
    ULONG Release() override { return DoRelease(); }
    HRESULT AddAttachedSurface(LPDIRECTDRAWSURFACE7 attached) override;
    HRESULT DeleteAttachedSurface(DWORD flags, LPDIRECTDRAWSURFACE7 attached) override;
    HRESULT Flip(LPDIRECTDRAWSURFACE7 targetOverride, DWORD flags) override;
    HRESULT GetAttachedSurface(LPDDSCAPS2 caps, LPDIRECTDRAWSURFACE7* out) override;
    HRESULT GetDC(HDC* out) override;
    HRESULT GetPixelFormat(LPDDPIXELFORMAT out) override;
    HRESULT GetSurfaceDesc(LPDDSURFACEDESC2 out) override;
    HRESULT IsLost() override;
    HRESULT Lock(LPRECT rect, LPDDSURFACEDESC2 desc, DWORD flags, HANDLE event) override;
    HRESULT ReleaseDC(HDC dc) override;
    HRESULT Restore() override;
    HRESULT Unlock(LPRECT rect) override;
    HRESULT GetDDInterface(LPVOID* out) override;

    // The description as created (size, caps, pixel format; pitch filled in).
    DDSURFACEDESC2 desc;
    std::vector<uint8_t> pixels;
    LONG pitch = 0;
    DWORD bytesPerPixel = 0;
    std::vector<FakeSurface*> attached;  // each held
    FakeDirectDraw* owner;
    bool lost = false;  // IsLost reports DDERR_SURFACELOST until Restore
    int locks = 0;
    int dcsOut = 0;
    int flips = 0;

    DWORD Width() const { return desc.dwWidth; }
    DWORD Height() const { return desc.dwHeight; }
    // Pixel at (x, y) read as a little-endian word of bytesPerPixel bytes.
    uint32_t PixelAt(DWORD x, DWORD y) const;
    void Fill(uint32_t value);

protected:
    void OnFinalRelease() override;
};

}  // namespace sombrella::fakes
