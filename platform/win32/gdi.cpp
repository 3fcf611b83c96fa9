// GDI objects: bitmaps, memory and surface device contexts, stock objects.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <unordered_map>

#include "win32/gdi_objects.h"
#include "win32/gdi_surface.h"

namespace sombrella::gdi {

namespace {

// Stock object indexes as the platform numbers them; 9 is unused there too.
constexpr int kStockCount = 20;
constexpr uintptr_t kStockBase = 0x00A50000;
constexpr uintptr_t kHandleBase = 0x01000000;
constexpr uintptr_t kHandleStep = 0x10;

struct Table {
    std::unordered_map<uintptr_t, std::unique_ptr<Object>> objects;
    uintptr_t next = kHandleBase;
    void* stock[kStockCount] = {};
    void* defaultBitmap = nullptr;

    Table() {
        for (int i = 0; i < kStockCount; ++i) {
            if (i == 9) continue;
            auto o = std::make_unique<Object>();
            o->stock = true;
            if (i <= 5 || i == 18)
                o->kind = Kind::kBrush;
            else if (i <= 8 || i == 19)
                o->kind = Kind::kPen;
            else if (i == 15)
                o->kind = Kind::kPalette;
            else
                o->kind = Kind::kFont;
            const uintptr_t h = kStockBase + static_cast<uintptr_t>(i) * kHandleStep;
            objects.emplace(h, std::move(o));
            stock[i] = reinterpret_cast<void*>(h);
        }
        // Every memory DC starts with this 1x1 monochrome bitmap selected.
        auto bm = std::make_unique<Object>();
        bm->stock = true;
        bm->width = bm->height = 1;
        bm->bitsPerPixel = 1;
        bm->pixels = std::make_unique<uint32_t[]>(1);
        bm->pixels[0] = 0xFF000000u;
        const uintptr_t h = kStockBase + kStockCount * kHandleStep;
        objects.emplace(h, std::move(bm));
        defaultBitmap = reinterpret_cast<void*>(h);
    }
};

Table& TheTable() {
    // Never destroyed: exit handlers registered before first use (the
    // texture registry's) still delete objects after statics are gone.
    static Table& table = *new Table;
    return table;
}

constexpr int kWhiteBrush = 0;
constexpr int kBlackPen = 7;
constexpr int kSystemFont = 13;

}  // namespace

std::mutex& TableMutex() {
    static std::mutex m;
    return m;
}

Object* Find(const void* handle) {
    if (!handle) return nullptr;
    auto& t = TheTable();
    auto it = t.objects.find(reinterpret_cast<uintptr_t>(handle));
    return it == t.objects.end() ? nullptr : it->second.get();
}

void* Insert(std::unique_ptr<Object> object) {
    auto& t = TheTable();
    const uintptr_t h = t.next;
    t.next += kHandleStep;
    t.objects.emplace(h, std::move(object));
    return reinterpret_cast<void*>(h);
}

void Erase(const void* handle) { TheTable().objects.erase(reinterpret_cast<uintptr_t>(handle)); }

HBITMAP CreateBitmapObject(uint32_t width, uint32_t height, uint16_t bitsPerPixel, std::unique_ptr<uint32_t[]> pixels) {
    auto o = std::make_unique<Object>();
    o->kind = Kind::kBitmap;
    o->width = width;
    o->height = height;
    o->bitsPerPixel = bitsPerPixel;
    o->pixels = std::move(pixels);
    std::lock_guard lock(TableMutex());
    return static_cast<HBITMAP>(Insert(std::move(o)));
}

namespace {

HDC NewDC(Kind kind, uint8_t* bits, LONG pitch, uint32_t width, uint32_t height, const PixelLayout& layout) {
    auto& t = TheTable();
    auto o = std::make_unique<Object>();
    o->kind = kind;
    o->bitmap = kind == Kind::kMemoryDC ? t.defaultBitmap : nullptr;
    o->brush = t.stock[kWhiteBrush];
    o->pen = t.stock[kBlackPen];
    o->bits = bits;
    o->pitch = pitch;
    o->width = width;
    o->height = height;
    o->layout = layout;
    return static_cast<HDC>(Insert(std::move(o)));
}

// Drops a DC's hold on its selected bitmap. Caller holds the lock.
void ReleaseSelection(Object& dc) {
    if (Object* bm = Find(dc.bitmap); bm && bm->kind == Kind::kBitmap && !bm->stock) bm->selectedInto = nullptr;
    dc.bitmap = nullptr;
}

}  // namespace

HDC CreateSurfaceDC(void* bits, LONG pitch, DWORD width, DWORD height, const DDPIXELFORMAT& format) {
    PixelLayout layout;
    if (!bits || width == 0 || height == 0 || !DescribeFormat(format, layout)) return nullptr;
    const int64_t rowBytes = int64_t{width} * layout.bytesPerPixel;
    if (pitch >= 0 ? pitch < rowBytes : -int64_t{pitch} < rowBytes) return nullptr;
    std::lock_guard lock(TableMutex());
    return NewDC(Kind::kSurfaceDC, static_cast<uint8_t*>(bits), pitch, width, height, layout);
}

void DestroySurfaceDC(HDC dc) {
    std::lock_guard lock(TableMutex());
    Object* o = Find(dc);
    if (o && o->kind == Kind::kSurfaceDC) Erase(dc);
}

}  // namespace sombrella::gdi

using namespace sombrella::gdi;

HGDIOBJ WINAPI GetStockObject(int i) {
    if (i < 0 || i >= kStockCount) return nullptr;
    std::lock_guard lock(TableMutex());
    return TheTable().stock[i];
}

int WINAPI GetObjectA(HANDLE h, int c, LPVOID pv) {
    std::lock_guard lock(TableMutex());
    Object* o = Find(h);
    if (!o || o->kind != Kind::kBitmap) return 0;
    if (!pv) return static_cast<int>(sizeof(BITMAP));
    // The platform's 32-bit BITMAP is 24 bytes; a caller asking for that much
    // gets every field but the pointer.
    if (c < static_cast<int>(offsetof(BITMAP, bmBits))) return 0;
    BITMAP bm{};
    bm.bmType = 0;
    bm.bmWidth = static_cast<LONG>(o->width);
    bm.bmHeight = static_cast<LONG>(o->height);
    // Our DIB sections hold 32-bit words whatever the file's depth; the
    // stride describes the memory at bmBits.
    bm.bmWidthBytes = static_cast<LONG>(o->width * 4);
    bm.bmPlanes = 1;
    bm.bmBitsPixel = o->bitsPerPixel;
    bm.bmBits = o->pixels.get();
    const size_t n = std::min(static_cast<size_t>(c), sizeof(BITMAP));
    std::memcpy(pv, &bm, n);
    return static_cast<int>(n);
}

BOOL WINAPI DeleteObject(HGDIOBJ h) {
    std::lock_guard lock(TableMutex());
    Object* o = Find(h);
    if (!o) return FALSE;
    if (o->stock) return TRUE;  // stock objects are never freed
    switch (o->kind) {
        case Kind::kBitmap:
            if (o->selectedInto) return FALSE;  // still selected into a DC
            Erase(h);
            return TRUE;
        case Kind::kMemoryDC:
        case Kind::kSurfaceDC:
            return FALSE;  // DCs go through DeleteDC / ReleaseDC
        default:
            Erase(h);
            return TRUE;
    }
}

HDC WINAPI CreateCompatibleDC(HDC hdc) {
    std::lock_guard lock(TableMutex());
    if (hdc) {
        Object* o = Find(hdc);
        if (!o || (o->kind != Kind::kMemoryDC && o->kind != Kind::kSurfaceDC)) return nullptr;
    }
    return NewDC(Kind::kMemoryDC, nullptr, 0, 0, 0, Argb8888Layout());
}

HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h) {
    std::lock_guard lock(TableMutex());
    Object* dc = Find(hdc);
    Object* o = Find(h);
    if (!dc || !o || (dc->kind != Kind::kMemoryDC && dc->kind != Kind::kSurfaceDC)) return nullptr;
    HGDIOBJ previous = nullptr;
    switch (o->kind) {
        case Kind::kBitmap: {
            // Bitmaps go into memory DCs only, and into one DC at a time.
            if (dc->kind != Kind::kMemoryDC) return nullptr;
            if (dc->bitmap == h) return h;
            if (!o->stock && o->selectedInto) return nullptr;
            previous = dc->bitmap;
            ReleaseSelection(*dc);
            dc->bitmap = h;
            if (!o->stock) o->selectedInto = hdc;
            return previous;
        }
        case Kind::kBrush:
            previous = dc->brush;
            dc->brush = h;
            return previous;
        case Kind::kPen:
            previous = dc->pen;
            dc->pen = h;
            return previous;
        case Kind::kFont:
            return TheTable().stock[kSystemFont];
        default:
            return nullptr;
    }
}

BOOL WINAPI DeleteDC(HDC hdc) {
    std::lock_guard lock(TableMutex());
    Object* dc = Find(hdc);
    // Surface DCs belong to their surface and end with ReleaseDC.
    if (!dc || dc->kind != Kind::kMemoryDC) return FALSE;
    ReleaseSelection(*dc);
    Erase(hdc);
    return TRUE;
}
