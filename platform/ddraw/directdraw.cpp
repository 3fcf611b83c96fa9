#include "ddraw/directdraw.h"

#include <algorithm>
#include <SDL.h>

#include <chrono>
#include <cstring>
#include <cstdio>

#include "common/knobs.h"
#include "common/pixel_format.h"
#include "common/present_hooks.h"
#include "d3d/direct3d.h"
#include "ddraw/capture.h"
#include "ddraw/presenter.h"
#include "ddraw/surface.h"
#include "win32/window.h"

namespace sombrella::ddraw {
namespace {

void OnActivation(void* user, HWND, bool active) { static_cast<DirectDraw*>(user)->SetActive(active); }

}  // namespace

bool DisplayFormat(DWORD bpp, DDPIXELFORMAT* out) {
    if (bpp != 16 && bpp != 32) return false;
    *out = bpp == 16 ? pixel::Rgb565() : pixel::Xrgb8888();
    return true;
}

DirectDraw::DirectDraw() : frameLog_(knobs::String("SOMBRELLA_FRAME_LOG")) {
    win32::SetActivationListener(&OnActivation, this);
}

DirectDraw::~DirectDraw() {
    win32::SetActivationListener(nullptr, nullptr);
    if (frameLog_) {
        if (FILE* f = std::fopen(frameLog_, "w")) {
            for (uint64_t t : presentTimes_) std::fprintf(f, "%llu\n", static_cast<unsigned long long>(t));
            std::fclose(f);
        }
    }
    presenter_.reset();
    // Surfaces the program never released go with their DirectDraw object,
    // as on the platform. Unlink them first so none releases another.
    std::vector<Surface*> left;
    left.swap(surfaces_);
    for (Surface* s : left) {
        s->owner_ = nullptr;
        s->attached_.clear();
        s->back_ = nullptr;
    }
    for (Surface* s : left) delete s;
}

void DirectDraw::Forget(Surface* s) {
    surfaces_.erase(std::remove(surfaces_.begin(), surfaces_.end(), s), surfaces_.end());
    if (s->Caps() & DDSCAPS_PRIMARYSURFACE) primaryExists_ = false;
}

void DirectDraw::SetActive(bool active) {
    if (active_ == active) return;
    active_ = active;
    // Leaving exclusive full screen loses what lived in video memory.
    const bool exclusive = (coopFlags_ & DDSCL_EXCLUSIVE) && !win32::WindowedRequested();
    if (!active && exclusive) {
        for (Surface* s : surfaces_)
            if (!(s->Caps() & DDSCAPS_SYSTEMMEMORY)) s->MarkLost();
    }
}

HRESULT DirectDraw::QueryInterface(REFIID riid, LPVOID* out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (riid == IID_IDirectDraw7 || riid == IID_IUnknown) {
        AddRef();
        *out = static_cast<IDirectDraw7*>(this);
        return S_OK;
    }
    if (riid == IID_IDirect3D7) {
        IDirect3D7* d3d = d3d::CreateDirect3D(this);
        if (!d3d) return E_OUTOFMEMORY;
        *out = d3d;
        return S_OK;
    }
    return E_NOINTERFACE;
}

ULONG DirectDraw::AddRef() { return ++refs_; }

ULONG DirectDraw::Release() {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
}

HRESULT DirectDraw::SetCooperativeLevel(HWND hwnd, DWORD flags) {
    const bool fullscreen = flags & DDSCL_FULLSCREEN, exclusive = flags & DDSCL_EXCLUSIVE;
    if (fullscreen != exclusive) return DDERR_INVALIDPARAMS;
    if ((flags & DDSCL_NORMAL) && exclusive) return DDERR_INVALIDPARAMS;
    if (exclusive && !IsWindow(hwnd)) return DDERR_INVALIDPARAMS;
    window_ = hwnd;
    coopFlags_ = flags;
    return DD_OK;
}

HRESULT DirectDraw::SetDisplayMode(DWORD width, DWORD height, DWORD bpp, DWORD, DWORD) {
    if (!(coopFlags_ & DDSCL_EXCLUSIVE)) return DDERR_NOEXCLUSIVEMODE;
    DDPIXELFORMAT f;
    if (width == 0 || height == 0 || width > 4096 || height > 4096 || !DisplayFormat(bpp, &f))
        return DDERR_INVALIDMODE;
    width_ = width;
    height_ = height;
    bpp_ = bpp;
    modeSet_ = true;
    SDL_DisplayMode desktop{};
    const bool display = win32::EnsureVideo() && SDL_GetDesktopDisplayMode(0, &desktop) == 0 &&
                         std::strcmp(SDL_GetCurrentVideoDriver(), "dummy") != 0;
    render_ = ChooseRenderSize(width, height, knobs::String("SOMBRELLA_SCALE"), knobs::String("SOMBRELLA_AA"),
                               display ? static_cast<DWORD>(desktop.w) : 0, display ? static_cast<DWORD>(desktop.h) : 0);
    presenter_ = std::make_unique<Presenter>(window_, width, height);
    return DD_OK;
}

HRESULT DirectDraw::RestoreDisplayMode() {
    modeSet_ = false;
    return DD_OK;
}

HRESULT DirectDraw::TestCooperativeLevel() {
    return active_ || !(coopFlags_ & DDSCL_EXCLUSIVE) ? DD_OK : DDERR_NOEXCLUSIVEMODE;
}

HRESULT DirectDraw::CreatePrimary(const DDSURFACEDESC2& desc, Surface** out) {
    if (!(coopFlags_ & DDSCL_EXCLUSIVE) || !modeSet_) return DDERR_NOEXCLUSIVEMODE;
    if (primaryExists_) return DDERR_INVALIDCAPS;
    const DWORD caps = desc.ddsCaps.dwCaps;
    const bool flipping = caps & DDSCAPS_FLIP;
    if (flipping != static_cast<bool>(caps & DDSCAPS_COMPLEX)) return DDERR_INVALIDCAPS;
    DWORD backCount = (desc.dwFlags & DDSD_BACKBUFFERCOUNT) ? desc.dwBackBufferCount : 0;
    if (flipping && backCount != 1) return DDERR_INVALIDPARAMS;  // one back buffer is all we chain
    DDPIXELFORMAT f;
    DisplayFormat(bpp_, &f);
    const DWORD shared = (caps & DDSCAPS_3DDEVICE) | DDSCAPS_VIDEOMEMORY | DDSCAPS_LOCALVIDMEM;
    auto* primary =
        new Surface(this, render_.presentWidth, render_.presentHeight, f, DDSCAPS_PRIMARYSURFACE | DDSCAPS_FRONTBUFFER | shared |
                                                  (flipping ? DDSCAPS_FLIP | DDSCAPS_COMPLEX : 0), 0);
    if (flipping) {
        primary->back_ = new Surface(this, render_.renderWidth, render_.renderHeight, f,
                                     DDSCAPS_BACKBUFFER | DDSCAPS_FLIP | DDSCAPS_COMPLEX | shared, 0);
        primary->back_->SetLogicalSize(width_, height_);
    }
    primary->SetLogicalSize(width_, height_);
    primaryExists_ = true;
    *out = primary;
    return DD_OK;
}

HRESULT DirectDraw::CreateSurface(LPDDSURFACEDESC2 desc, LPDIRECTDRAWSURFACE7* out, IUnknown* outer) {
    if (!desc || !out || outer) return DDERR_INVALIDPARAMS;
    *out = nullptr;
    if (desc->dwSize != sizeof(DDSURFACEDESC2) || !(desc->dwFlags & DDSD_CAPS)) return DDERR_INVALIDPARAMS;
    const DWORD caps = desc->ddsCaps.dwCaps;
    if ((caps & DDSCAPS_SYSTEMMEMORY) && (caps & DDSCAPS_VIDEOMEMORY)) return DDERR_INVALIDCAPS;

    Surface* made = nullptr;
    if (caps & DDSCAPS_PRIMARYSURFACE) {
        if (desc->dwFlags & (DDSD_WIDTH | DDSD_HEIGHT)) return DDERR_INVALIDPARAMS;
        HRESULT hr = CreatePrimary(*desc, &made);
        if (FAILED(hr)) return hr;
        *out = made;
        return DD_OK;
    }

    if (!(desc->dwFlags & DDSD_WIDTH) || !(desc->dwFlags & DDSD_HEIGHT)) return DDERR_INVALIDPARAMS;
    const DWORD w = desc->dwWidth, h = desc->dwHeight;
    // Refuse what no device of the time could hold rather than allocate it.
    if (w == 0 || h == 0 || w > 8192 || h > 8192) return DDERR_INVALIDPARAMS;
    if (caps & DDSCAPS_TEXTURE) {
        if (w > kMaxTextureSide) return DDERR_TOOBIGWIDTH;
        if (h > kMaxTextureSide) return DDERR_TOOBIGHEIGHT;
    }

    DDPIXELFORMAT f{};
    if (desc->dwFlags & DDSD_PIXELFORMAT) {
        f = desc->ddpfPixelFormat;
    } else if (caps & DDSCAPS_ZBUFFER) {
        return DDERR_INVALIDPIXELFORMAT;
    } else if (!DisplayFormat(modeSet_ ? bpp_ : 16, &f)) {
        return DDERR_INVALIDPIXELFORMAT;
    }
    const bool depth = f.dwFlags & DDPF_ZBUFFER;
    if (depth != static_cast<bool>(caps & DDSCAPS_ZBUFFER)) return DDERR_INVALIDPIXELFORMAT;
    if (depth) {
        const DWORD bits = f.dwZBufferBitDepth;
        // A format with only the depth flag set (no bit depth) gets 16 bits.
        if (bits == 0) f = FormatDepth(16, 0);
        else if (bits != 16 && bits != 24 && bits != 32) return DDERR_INVALIDPIXELFORMAT;
        else if (f.dwZBitMask == 0) f = FormatDepth(bits, f.dwStencilBitDepth);
    } else if (f.dwFlags & DDPF_FOURCC) {
        if (f.dwFourCC == 0) return DDERR_INVALIDPIXELFORMAT;
    } else {
        const DWORD bits = f.dwRGBBitCount;
        if (bits != 8 && bits != 16 && bits != 24 && bits != 32) return DDERR_INVALIDPIXELFORMAT;
    }
    DWORD placed = caps;
    if (!(placed & (DDSCAPS_SYSTEMMEMORY | DDSCAPS_VIDEOMEMORY))) placed |= DDSCAPS_VIDEOMEMORY;
    // Video memory here is always the card's own (local) memory.
    if (placed & DDSCAPS_VIDEOMEMORY) placed |= DDSCAPS_LOCALVIDMEM;
    // A depth buffer for the flip chain follows its internal size.
    const bool chainDepth = depth && modeSet_ && w == width_ && h == height_ && !render_.Faithful(w, h);
    made = new Surface(this, chainDepth ? render_.renderWidth : w, chainDepth ? render_.renderHeight : h, f, placed,
                       desc->ddsCaps.dwCaps2);
    if (chainDepth) made->SetLogicalSize(w, h);
    *out = made;
    return DD_OK;
}

HRESULT DirectDraw::Present(Surface& frame, DWORD flags) {
    if (presenter_ && !presenter_->Show(frame, (flags & DDFLIP_WAIT) != 0)) return DDERR_WASSTILLDRAWING;
    CaptureFrame(frame, present::FramesPresented());
    const DDPIXELFORMAT& f = frame.Format();
    present::NotifyFrame({frame.Bits(), static_cast<int>(frame.Width()), static_cast<int>(frame.Height()),
                          frame.Pitch(), static_cast<int>(f.dwRGBBitCount), f.dwGBitMask});
    if (frameLog_) {
        presentTimes_.push_back(static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                                          std::chrono::steady_clock::now().time_since_epoch())
                                                          .count()));
    }
    present::NotifyFramePresented();
    return DD_OK;
}

}  // namespace sombrella::ddraw

HRESULT WINAPI DirectDrawCreateEx(GUID* guid, LPVOID* out, REFIID iid, IUnknown* outer) {
    if (!out) return DDERR_INVALIDPARAMS;
    *out = nullptr;
    if (outer) return DDERR_INVALIDPARAMS;
    // Only the default display exists.
    if (guid) return DDERR_INVALIDPARAMS;
    if (iid != IID_IDirectDraw7) return DDERR_INVALIDPARAMS;
    *out = static_cast<IDirectDraw7*>(new sombrella::ddraw::DirectDraw());
    return DD_OK;
}
