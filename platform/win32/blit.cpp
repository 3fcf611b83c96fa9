// BitBlt: copies between device contexts, converting pixel formats.
#include <algorithm>

#include "win32/gdi_objects.h"

namespace sombrella::gdi {
namespace {

struct View {
    uint8_t* bits = nullptr;
    ptrdiff_t pitch = 0;
    int64_t width = 0;
    int64_t height = 0;
    PixelLayout layout;
};

// The pixels a DC draws into or reads from. Caller holds the lock.
bool ViewOf(HDC hdc, View& v) {
    Object* dc = Find(hdc);
    if (!dc) return false;
    if (dc->kind == Kind::kSurfaceDC) {
        v.bits = dc->bits;
        v.pitch = dc->pitch;
        v.width = dc->width;
        v.height = dc->height;
        v.layout = dc->layout;
        return true;
    }
    if (dc->kind != Kind::kMemoryDC) return false;
    Object* bm = Find(dc->bitmap);
    if (!bm || bm->kind != Kind::kBitmap || !bm->pixels) return false;
    v.bits = reinterpret_cast<uint8_t*>(bm->pixels.get());
    v.pitch = static_cast<ptrdiff_t>(bm->width) * 4;
    v.width = bm->width;
    v.height = bm->height;
    v.layout = Argb8888Layout();
    return true;
}

}  // namespace
}  // namespace sombrella::gdi

using namespace sombrella::gdi;

BOOL WINAPI BitBlt(HDC hdc, int x, int y, int cx, int cy, HDC hdcSrc, int x1, int y1, DWORD rop) {
    if (rop != SRCCOPY) return FALSE;
    std::lock_guard lock(TableMutex());
    View dst, src;
    if (!ViewOf(hdc, dst) || !ViewOf(hdcSrc, src)) return FALSE;

    int64_t sx = x1, sy = y1, dx = x, dy = y, w = cx, h = cy;
    if (w <= 0 || h <= 0) return TRUE;
    // Clip to both rectangles, keeping source and destination in step.
    if (sx < 0) { dx -= sx; w += sx; sx = 0; }
    if (sy < 0) { dy -= sy; h += sy; sy = 0; }
    if (dx < 0) { sx -= dx; w += dx; dx = 0; }
    if (dy < 0) { sy -= dy; h += dy; dy = 0; }
    w = std::min({w, src.width - sx, dst.width - dx});
    h = std::min({h, src.height - sy, dst.height - dy});
    if (w <= 0 || h <= 0) return TRUE;

    const uint8_t* s = src.bits + sy * src.pitch + sx * src.layout.bytesPerPixel;
    uint8_t* d = dst.bits + dy * dst.pitch + dx * dst.layout.bytesPerPixel;
    ConvertRect(s, src.pitch, src.layout, d, dst.pitch, dst.layout, static_cast<uint32_t>(w), static_cast<uint32_t>(h));
    return TRUE;
}
