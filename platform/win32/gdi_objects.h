// The table of live GDI objects behind HBITMAP, HDC and stock handles.
// Every handle the API receives is looked up here first, so a stale or
// made-up handle fails instead of being dereferenced.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

#include "windows.h"
#include "win32/pixel_convert.h"

namespace sombrella::gdi {

enum class Kind { kBitmap, kMemoryDC, kSurfaceDC, kBrush, kPen, kFont, kPalette };

struct Object {
    Kind kind = Kind::kBitmap;
    bool stock = false;
    // Bitmap: 32-bit 0xAARRGGBB words, row 0 at the top.
    uint32_t width = 0;
    uint32_t height = 0;
    uint16_t bitsPerPixel = 0;  // as the image file had it
    std::unique_ptr<uint32_t[]> pixels;
    HDC selectedInto = nullptr;
    // Device contexts: what is selected, and for surface DCs the memory drawn into.
    HGDIOBJ bitmap = nullptr;
    HGDIOBJ brush = nullptr;
    HGDIOBJ pen = nullptr;
    uint8_t* bits = nullptr;
    LONG pitch = 0;
    PixelLayout layout;
};

// All table access happens under this lock.
std::mutex& TableMutex();
// The live object for a handle, or nullptr. Caller holds the lock.
Object* Find(const void* handle);
// Adds an object and gives its new handle. Caller holds the lock.
void* Insert(std::unique_ptr<Object> object);
// Removes and frees an object. Caller holds the lock.
void Erase(const void* handle);

// A DIB-section bitmap object owning `pixels` (width * height words).
HBITMAP CreateBitmapObject(uint32_t width, uint32_t height, uint16_t bitsPerPixel, std::unique_ptr<uint32_t[]> pixels);

}  // namespace sombrella::gdi
