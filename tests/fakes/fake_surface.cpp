#include "fakes/fake_surface.h"

#include <algorithm>
#include <cstring>

#include "fakes/fake_ddraw.h"

namespace sombrella::fakes {

FakeSurface::FakeSurface(FakeWorld* world, FakeDirectDraw* owner_, const DDSURFACEDESC2& d)
    : FakeObject(world, "surface"), desc(d), owner(owner_) {
    DWORD bits = desc.ddpfPixelFormat.dwRGBBitCount;  // same word as the z depth
    bytesPerPixel = std::max<DWORD>(1, (bits + 7) / 8);
    pitch = static_cast<LONG>(((desc.dwWidth * bytesPerPixel) + 3) & ~3u);
    desc.dwFlags |= DDSD_PITCH;
    desc.lPitch = pitch;
    pixels.assign(static_cast<size_t>(pitch) * desc.dwHeight, 0);
}

HRESULT FakeSurface::QueryInterface(REFIID riid, LPVOID* out) {
    return QueryOwn(riid, IID_IDirectDrawSurface7, static_cast<IDirectDrawSurface7*>(this), out);
}

HRESULT FakeSurface::AddAttachedSurface(LPDIRECTDRAWSURFACE7 s) {
    if (CheckAlive("AddAttachedSurface")) return DDERR_INVALIDOBJECT;
    HRESULT hr = Scripted("AddAttachedSurface");
    FakeSurface* f = AsFake(s);
    if (hr == S_OK && !f) hr = DDERR_INVALIDPARAMS;
    if (hr == S_OK && std::find(attached.begin(), attached.end(), f) != attached.end())
        hr = DDERR_SURFACEALREADYATTACHED;
    if (hr == S_OK) {
        f->Hold();
        attached.push_back(f);
    }
    Log("AddAttachedSurface", {}, hr, "AddAttachedSurface(" + LabelOf(s) + ")");
    return hr;
}

HRESULT FakeSurface::DeleteAttachedSurface(DWORD flags, LPDIRECTDRAWSURFACE7 s) {
    if (CheckAlive("DeleteAttachedSurface")) return DDERR_INVALIDOBJECT;
    HRESULT hr = Scripted("DeleteAttachedSurface");
    FakeSurface* f = AsFake(s);
    auto it = std::find(attached.begin(), attached.end(), f);
    if (hr == S_OK && it == attached.end()) hr = DDERR_NOTFOUND;
    if (hr == S_OK) {
        attached.erase(it);
        f->Drop();
    }
    Log("DeleteAttachedSurface", {double(flags)}, hr,
        "DeleteAttachedSurface(" + std::to_string(flags) + "," + LabelOf(s) + ")");
    return hr;
}

HRESULT FakeSurface::Flip(LPDIRECTDRAWSURFACE7 target, DWORD flags) {
    if (CheckAlive("Flip")) return DDERR_INVALIDOBJECT;
    HRESULT hr = Scripted("Flip");
    if (hr == S_OK && lost) hr = DDERR_SURFACELOST;
    if (hr == S_OK) ++flips;
    Log("Flip", {double(flags)}, hr, "Flip(" + LabelOf(target) + "," + std::to_string(flags) + ")");
    return hr;
}

HRESULT FakeSurface::GetAttachedSurface(LPDDSCAPS2 caps, LPDIRECTDRAWSURFACE7* out) {
    if (CheckAlive("GetAttachedSurface")) return DDERR_INVALIDOBJECT;
    HRESULT hr = Scripted("GetAttachedSurface");
    if (hr == S_OK && (!caps || !out)) hr = DDERR_INVALIDPARAMS;
    FakeSurface* found = nullptr;
    if (hr == S_OK) {
        for (FakeSurface* s : attached)
            if ((s->desc.ddsCaps.dwCaps & caps->dwCaps) == caps->dwCaps) {
                found = s;
                break;
            }
        if (!found) hr = DDERR_NOTFOUND;
    }
    if (found) found->HandOut();
    if (out) *out = found;
    Log("GetAttachedSurface", {caps ? double(caps->dwCaps) : 0.0}, hr);
    return hr;
}

HRESULT FakeSurface::GetDC(HDC* out) {
    if (CheckAlive("GetDC")) return DDERR_INVALIDOBJECT;
    HRESULT hr = Scripted("GetDC");
    if (hr == S_OK && !out) hr = DDERR_INVALIDPARAMS;
    if (hr == S_OK && lost) hr = DDERR_SURFACELOST;
    if (hr == S_OK) hr = World().getDC ? World().getDC(*this, out) : DDERR_CANTCREATEDC;
    if (hr == S_OK)
        ++dcsOut;
    else if (out)
        *out = nullptr;
    Log("GetDC", {}, hr);
    return hr;
}

HRESULT FakeSurface::ReleaseDC(HDC dc) {
    if (CheckAlive("ReleaseDC")) return DDERR_INVALIDOBJECT;
    HRESULT hr = Scripted("ReleaseDC");
    if (hr == S_OK && dcsOut == 0) {
        hr = DDERR_INVALIDPARAMS;
        World().log.errors.push_back("ReleaseDC without GetDC on " + Label());
    }
    if (hr == S_OK) {
        --dcsOut;
        if (World().releaseDC) World().releaseDC(*this, dc);
    }
    Log("ReleaseDC", {}, hr);
    return hr;
}

HRESULT FakeSurface::GetPixelFormat(LPDDPIXELFORMAT out) {
    if (CheckAlive("GetPixelFormat")) return DDERR_INVALIDOBJECT;
    HRESULT hr = Scripted("GetPixelFormat");
    if (hr == S_OK && !out) hr = DDERR_INVALIDPARAMS;
    if (hr == S_OK) *out = desc.ddpfPixelFormat;
    Log("GetPixelFormat", {}, hr);
    return hr;
}

HRESULT FakeSurface::GetSurfaceDesc(LPDDSURFACEDESC2 out) {
    if (CheckAlive("GetSurfaceDesc")) return DDERR_INVALIDOBJECT;
    HRESULT hr = Scripted("GetSurfaceDesc");
    if (hr == S_OK && !out) hr = DDERR_INVALIDPARAMS;
    if (hr == S_OK) {
        *out = desc;
        out->lpSurface = nullptr;
    }
    Log("GetSurfaceDesc", {}, hr);
    return hr;
}

HRESULT FakeSurface::IsLost() {
    if (CheckAlive("IsLost")) return DDERR_INVALIDOBJECT;
    HRESULT hr = Scripted("IsLost");
    if (hr == S_OK && lost) hr = DDERR_SURFACELOST;
    Log("IsLost", {}, hr);
    return hr;
}

HRESULT FakeSurface::Restore() {
    if (CheckAlive("Restore")) return DDERR_INVALIDOBJECT;
    HRESULT hr = Scripted("Restore");
    if (hr == S_OK) lost = false;
    Log("Restore", {}, hr);
    return hr;
}

HRESULT FakeSurface::Lock(LPRECT rect, LPDDSURFACEDESC2 out, DWORD flags, HANDLE) {
    if (CheckAlive("Lock")) return DDERR_INVALIDOBJECT;
    HRESULT hr = Scripted("Lock");
    if (hr == S_OK && !out) hr = DDERR_INVALIDPARAMS;
    if (hr == S_OK && lost) hr = DDERR_SURFACELOST;
    if (hr == S_OK && locks > 0) hr = DDERR_SURFACEBUSY;
    if (hr == S_OK) {
        ++locks;
        *out = desc;
        out->dwFlags |= DDSD_LPSURFACE | DDSD_PITCH;
        out->lPitch = pitch;
        uint8_t* p = pixels.data();
        if (rect) p += static_cast<size_t>(rect->top) * pitch + static_cast<size_t>(rect->left) * bytesPerPixel;
        out->lpSurface = p;
    }
    Log("Lock", {rect ? 1.0 : 0.0, double(flags)}, hr);
    return hr;
}

HRESULT FakeSurface::Unlock(LPRECT) {
    if (CheckAlive("Unlock")) return DDERR_INVALIDOBJECT;
    HRESULT hr = Scripted("Unlock");
    if (hr == S_OK && locks == 0) hr = DDERR_NOTLOCKED;
    if (hr == S_OK) --locks;
    Log("Unlock", {}, hr);
    return hr;
}

HRESULT FakeSurface::GetDDInterface(LPVOID* out) {
    if (CheckAlive("GetDDInterface")) return DDERR_INVALIDOBJECT;
    HRESULT hr = Scripted("GetDDInterface");
    if (hr == S_OK && (!out || !owner)) hr = DDERR_INVALIDPARAMS;
    if (hr == S_OK) {
        owner->HandOut();
        *out = static_cast<IDirectDraw7*>(owner);
    } else if (out) {
        *out = nullptr;
    }
    Log("GetDDInterface", {}, hr);
    return hr;
}

uint32_t FakeSurface::PixelAt(DWORD x, DWORD y) const {
    if (x >= desc.dwWidth || y >= desc.dwHeight) return 0;
    const uint8_t* p = pixels.data() + static_cast<size_t>(y) * pitch + static_cast<size_t>(x) * bytesPerPixel;
    uint32_t v = 0;
    for (DWORD i = 0; i < bytesPerPixel && i < 4; ++i) v |= static_cast<uint32_t>(p[i]) << (8 * i);
    return v;
}

void FakeSurface::Fill(uint32_t value) {
    for (DWORD y = 0; y < desc.dwHeight; ++y)
        for (DWORD x = 0; x < desc.dwWidth; ++x) {
            uint8_t* p = pixels.data() + static_cast<size_t>(y) * pitch + static_cast<size_t>(x) * bytesPerPixel;
            for (DWORD i = 0; i < bytesPerPixel && i < 4; ++i) p[i] = static_cast<uint8_t>(value >> (8 * i));
        }
}

void FakeSurface::OnFinalRelease() {
    if (locks) World().log.errors.push_back(Label() + " released while locked");
    if (dcsOut) World().log.errors.push_back(Label() + " released with a DC out");
    auto held = std::move(attached);
    attached.clear();
    for (FakeSurface* s : held) s->Drop();
}

}  // namespace sombrella::fakes
