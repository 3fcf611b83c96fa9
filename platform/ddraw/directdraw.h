// Our DirectDraw object: display mode, cooperative level, surface factory.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "ddraw.h"
#include "ddraw/render_size.h"

namespace sombrella::ddraw {

class Presenter;
class Surface;

class DirectDraw final : public IDirectDraw7 {
public:
    DirectDraw();

    HRESULT QueryInterface(REFIID riid, LPVOID* ppvObj) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT CreateSurface(LPDDSURFACEDESC2 desc, LPDIRECTDRAWSURFACE7* out, IUnknown* outer) override;
    HRESULT RestoreDisplayMode() override;
    HRESULT SetCooperativeLevel(HWND hwnd, DWORD flags) override;
    HRESULT SetDisplayMode(DWORD width, DWORD height, DWORD bpp, DWORD refresh, DWORD flags) override;
    HRESULT TestCooperativeLevel() override;

    // Shows a finished frame: capture, present, pacing. Called by Flip.
    HRESULT Present(Surface& frame, DWORD flags);
    bool Active() const { return active_; }
    void SetActive(bool active);

    // Surface bookkeeping: whatever is still alive goes with this object.
    void Adopt(Surface* s) { surfaces_.push_back(s); }
    void Forget(Surface* s);

private:
    ~DirectDraw() override;
    HRESULT CreatePrimary(const DDSURFACEDESC2& desc, Surface** out);

    std::atomic<ULONG> refs_{1};
    HWND window_ = nullptr;
    DWORD coopFlags_ = 0;
    DWORD width_ = 0, height_ = 0, bpp_ = 0;
    RenderSize render_{};
    bool modeSet_ = false;
    bool active_ = true;
    bool primaryExists_ = false;
    std::vector<Surface*> surfaces_;
    std::unique_ptr<Presenter> presenter_;
    const char* frameLog_ = nullptr;       // SOMBRELLA_FRAME_LOG
    std::vector<uint64_t> presentTimes_;
};

// The display format for a bit depth (16: RGB565, 32: X8R8G8B8).
bool DisplayFormat(DWORD bpp, DDPIXELFORMAT* out);

}  // namespace sombrella::ddraw
