#include "ddraw/surface.h"

#include <cstring>

#include "common/pixel_format.h"
#include "ddraw/directdraw.h"
#include "ddraw/render_size.h"
#include "win32/gdi_surface.h"

namespace sombrella::ddraw {

DDPIXELFORMAT FormatRGB565() { return pixel::Rgb565(); }

DDPIXELFORMAT FormatDepth(DWORD bits, DWORD stencilBits) {
    const DWORD zBits = bits - stencilBits;
    return pixel::DepthFormat(bits, zBits >= 32 ? 0xFFFFFFFFu : ((1u << zBits) - 1) << stencilBits, stencilBits,
                              stencilBits ? (1u << stencilBits) - 1 : 0);
}

Surface* Surface::From(IDirectDrawSurface7* s) { return dynamic_cast<Surface*>(s); }

Surface::Surface(DirectDraw* owner, DWORD width, DWORD height, const DDPIXELFORMAT& format, DWORD caps,
                 DWORD caps2)
    : owner_(owner), width_(width), height_(height), format_(format), caps_(caps), caps2_(caps2) {
    format_.dwSize = sizeof(DDPIXELFORMAT);
    bytesPerPixel_ = pixel::BytesPerPixel(format_);
    size_t rows = height;
    if (bytesPerPixel_) {
        pitch_ = static_cast<LONG>((static_cast<size_t>(width) * bytesPerPixel_ + 3) & ~size_t(3));
    } else {
        const DWORD block = pixel::BlockBytes(format_.dwFourCC);
        pitch_ = static_cast<LONG>(((width + 3) / 4) * static_cast<size_t>(block ? block : 8));
        rows = (height + 3) / 4;
    }
    pixels_.assign(static_cast<size_t>(pitch_) * rows, 0);
    if (owner_) owner_->Adopt(this);
}

Surface::~Surface() {
    if (dc_) gdi::DestroySurfaceDC(dc_);
    for (Surface* s : attached_) s->Release();
    if (back_) back_->Release();
}

HRESULT Surface::QueryInterface(REFIID riid, LPVOID* out) {
    if (!out) return E_POINTER;
    if (riid == IID_IDirectDrawSurface7 || riid == IID_IUnknown) {
        AddRef();
        *out = static_cast<IDirectDrawSurface7*>(this);
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

ULONG Surface::AddRef() { return ++refs_; }

ULONG Surface::Release() {
    const ULONG left = --refs_;
    if (left == 0) {
        if (owner_) owner_->Forget(this);
        delete this;
    }
    return left;
}

HRESULT Surface::AddAttachedSurface(LPDIRECTDRAWSURFACE7 other) {
    Surface* s = From(other);
    if (!s || s == this) return DDERR_INVALIDPARAMS;
    // Only a depth buffer of the same size attaches to a render target.
    if (!(s->caps_ & DDSCAPS_ZBUFFER) || (caps_ & DDSCAPS_ZBUFFER)) return DDERR_CANNOTATTACHSURFACE;
    if (s->width_ != width_ || s->height_ != height_) return DDERR_CANNOTATTACHSURFACE;
    if (AttachedDepth()) return DDERR_SURFACEALREADYATTACHED;
    s->AddRef();
    attached_.push_back(s);
    return DD_OK;
}

HRESULT Surface::DeleteAttachedSurface(DWORD, LPDIRECTDRAWSURFACE7 other) {
    for (auto it = attached_.begin(); it != attached_.end(); ++it) {
        if (!other || *it == From(other)) {
            Surface* s = *it;
            attached_.erase(it);
            s->Release();
            return DD_OK;
        }
    }
    return DDERR_NOTFOUND;
}

Surface* Surface::AttachedDepth() const {
    for (Surface* s : attached_)
        if (s->caps_ & DDSCAPS_ZBUFFER) return s;
    return nullptr;
}

HRESULT Surface::Flip(LPDIRECTDRAWSURFACE7 target, DWORD flags) {
    if (!back_ || !(caps_ & DDSCAPS_PRIMARYSURFACE)) return DDERR_NOTFLIPPABLE;
    if (target && From(target) != back_) return DDERR_INVALIDPARAMS;
    if (lost_ || back_->lost_) return DDERR_SURFACELOST;
    if (!owner_) return DDERR_INVALIDOBJECT;
    // The picture moves to the front; the back buffer keeps a copy, which
    // is as good as the undefined contents the platform promises.
    const bool sameSize = back_->width_ == width_ && back_->height_ == height_;
    if (sameSize && !back_->Faithful() && !dc_ && !back_->dc_ && !locks_ && !back_->locks_) {
        // Enhanced and not supersampled: the buffers trade places, as a real
        // flip does, instead of copying a frame many times the program's size.
        pixels_.swap(back_->pixels_);
        back_->Touch();
    } else if (sameSize) {
        std::memcpy(pixels_.data(), back_->pixels_.data(), pixels_.size());
    } else {
        Downsample(*back_, *this);
    }
    Touch();
    return owner_->Present(*this, flags);
}

HRESULT Surface::GetAttachedSurface(LPDDSCAPS2 caps, LPDIRECTDRAWSURFACE7* out) {
    if (!caps || !out) return DDERR_INVALIDPARAMS;
    *out = nullptr;
    auto fits = [&](const Surface* s) { return (s->caps_ & caps->dwCaps) == caps->dwCaps; };
    Surface* found = nullptr;
    if (back_ && fits(back_)) found = back_;
    for (Surface* s : attached_)
        if (!found && fits(s)) found = s;
    if (!found) return DDERR_NOTFOUND;
    found->AddRef();
    *out = found;
    return DD_OK;
}

HRESULT Surface::GetDC(HDC* out) {
    if (!out) return DDERR_INVALIDPARAMS;
    if (lost_) return DDERR_SURFACELOST;
    if (dc_ || locks_) return DDERR_SURFACEBUSY;
    if (!bytesPerPixel_ || (format_.dwFlags & DDPF_ZBUFFER)) return DDERR_CANTCREATEDC;
    dc_ = gdi::CreateSurfaceDC(pixels_.data(), pitch_, width_, height_, format_);
    if (!dc_) return DDERR_CANTCREATEDC;
    *out = dc_;
    return DD_OK;
}

HRESULT Surface::ReleaseDC(HDC dc) {
    if (!dc_ || dc != dc_) return DDERR_INVALIDPARAMS;
    gdi::DestroySurfaceDC(dc_);
    dc_ = nullptr;
    Touch();
    return DD_OK;
}

HRESULT Surface::GetPixelFormat(LPDDPIXELFORMAT out) {
    if (!out) return DDERR_INVALIDPARAMS;
    *out = format_;
    return DD_OK;
}

HRESULT Surface::GetSurfaceDesc(LPDDSURFACEDESC2 out) {
    if (!out) return DDERR_INVALIDPARAMS;
    std::memset(out, 0, sizeof(*out));
    out->dwSize = sizeof(*out);
    out->dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PITCH | DDSD_PIXELFORMAT;
    out->dwWidth = LogicalWidth();
    out->dwHeight = LogicalHeight();
    out->lPitch = pitch_;
    out->ddpfPixelFormat = format_;
    out->ddsCaps.dwCaps = caps_;
    out->ddsCaps.dwCaps2 = caps2_;
    if (back_) {
        out->dwFlags |= DDSD_BACKBUFFERCOUNT;
        out->dwBackBufferCount = 1;
    }
    return DD_OK;
}

HRESULT Surface::IsLost() { return lost_ ? DDERR_SURFACELOST : DD_OK; }

HRESULT Surface::Lock(LPRECT rect, LPDDSURFACEDESC2 desc, DWORD, HANDLE) {
    if (!desc) return DDERR_INVALIDPARAMS;
    if (lost_) return DDERR_SURFACELOST;
    if (dc_) return DDERR_SURFACEBUSY;
    size_t offset = 0;
    if (rect) {
        if (rect->left < 0 || rect->top < 0 || rect->right > static_cast<LONG>(width_) ||
            rect->bottom > static_cast<LONG>(height_) || rect->left >= rect->right || rect->top >= rect->bottom)
            return DDERR_INVALIDPARAMS;
        if (!bytesPerPixel_) return DDERR_INVALIDPARAMS;
        offset = static_cast<size_t>(rect->top) * pitch_ + static_cast<size_t>(rect->left) * bytesPerPixel_;
    }
    GetSurfaceDesc(desc);
    desc->dwFlags |= DDSD_LPSURFACE;
    desc->lpSurface = pixels_.data() + offset;
    ++locks_;
    return DD_OK;
}

HRESULT Surface::Unlock(LPRECT) {
    if (locks_ == 0) return DDERR_NOTLOCKED;
    --locks_;
    Touch();
    return DD_OK;
}

HRESULT Surface::Restore() {
    if (!lost_) return DD_OK;
    if (owner_ && !owner_->Active()) return DDERR_NOEXCLUSIVEMODE;
    // Video memory came back empty; the caller reloads what it needs.
    std::memset(pixels_.data(), 0, pixels_.size());
    lost_ = false;
    Touch();
    return DD_OK;
}

HRESULT Surface::GetDDInterface(LPVOID* out) {
    if (!out) return DDERR_INVALIDPARAMS;
    if (!owner_) return DDERR_INVALIDOBJECT;
    owner_->AddRef();
    *out = static_cast<IDirectDraw7*>(owner_);
    return DD_OK;
}

}  // namespace sombrella::ddraw
