// Our DirectDraw surface: pixels in memory with a real pixel format.
// Other platform parts (the Direct3D device, GDI) reach the pixels through
// this class; the system only ever sees IDirectDrawSurface7.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "ddraw.h"

namespace sombrella::ddraw {

// The largest texture side the device takes; it says so in its caps and
// CreateSurface refuses bigger textures, as drivers do.
constexpr DWORD kMaxTextureSide = 4096;

class DirectDraw;

class Surface final : public IDirectDrawSurface7 {
public:
    // Our surface behind an interface pointer, or nullptr for anyone else's.
    static Surface* From(IDirectDrawSurface7* s);

    Surface(DirectDraw* owner, DWORD width, DWORD height, const DDPIXELFORMAT& format, DWORD caps, DWORD caps2);

    // IUnknown
    HRESULT QueryInterface(REFIID riid, LPVOID* ppvObj) override;
    ULONG AddRef() override;
    ULONG Release() override;
    // IDirectDrawSurface7
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

    // Direct access for the platform's own renderers.
    uint8_t* Bits() { return pixels_.data(); }
    const uint8_t* Bits() const { return pixels_.data(); }
    LONG Pitch() const { return pitch_; }
    DWORD Width() const { return width_; }
    DWORD Height() const { return height_; }
    // The size the program asked for and is told about; the pixels may be
    // larger when the platform renders at a higher internal resolution.
    DWORD LogicalWidth() const { return logicalWidth_ ? logicalWidth_ : width_; }
    DWORD LogicalHeight() const { return logicalHeight_ ? logicalHeight_ : height_; }
    void SetLogicalSize(DWORD w, DWORD h) { logicalWidth_ = w, logicalHeight_ = h; }
    // The pixels are the size the program knows.
    bool Faithful() const { return LogicalWidth() == width_ && LogicalHeight() == height_; }
    DWORD BytesPerPixel() const { return bytesPerPixel_; }
    const DDPIXELFORMAT& Format() const { return format_; }
    DWORD Caps() const { return caps_; }
    DWORD Caps2() const { return caps2_; }
    // The depth surface attached to this one (a back buffer's z-buffer), or nullptr.
    Surface* AttachedDepth() const;
    // The back buffer of a primary flip chain, or nullptr.
    Surface* BackBuffer() const { return back_; }
    // Bumped on every change that invalidates cached copies (Unlock, ReleaseDC, Restore).
    uint64_t Generation() const { return generation_; }
    void Touch() { ++generation_; }
    // A copy a device derived from the pixels (a texture in its own layout),
    // kept with the surface so that binding other textures does not drop it.
    // It is valid while Generation() still equals the generation it was made at.
    std::shared_ptr<const void> Derived(uint64_t generation) const {
        return derivedGeneration_ == generation ? derived_ : nullptr;
    }
    void KeepDerived(std::shared_ptr<const void> copy, uint64_t generation) const {
        derived_ = std::move(copy);
        derivedGeneration_ = generation;
    }

    void MarkLost() { lost_ = true; }
    bool Lost() const { return lost_; }
    DirectDraw* Owner() const { return owner_; }

private:
    ~Surface() override;
    friend class DirectDraw;

    std::atomic<ULONG> refs_{1};
    DirectDraw* owner_;
    DWORD width_, height_;
    DWORD logicalWidth_ = 0, logicalHeight_ = 0;  // 0: the pixels' own size
    DDPIXELFORMAT format_;
    DWORD caps_, caps2_;
    DWORD bytesPerPixel_;
    LONG pitch_;
    std::vector<uint8_t> pixels_;
    std::vector<Surface*> attached_;  // each holds a reference
    Surface* back_ = nullptr;         // flip chain: owned by the primary
    HDC dc_ = nullptr;
    int locks_ = 0;
    bool lost_ = false;
    uint64_t generation_ = 0;
    mutable std::shared_ptr<const void> derived_;
    mutable uint64_t derivedGeneration_ = 0;
};

// Pixel formats this DirectDraw hands out.
DDPIXELFORMAT FormatRGB565();
DDPIXELFORMAT FormatDepth(DWORD bits, DWORD stencilBits);

}  // namespace sombrella::ddraw
