// LoadImageA for bitmap files, and the module handle it is given.
#include <cstdio>
#include <memory>

#include "windows.h"
#include "win32/bmp_decode.h"
#include "win32/file_paths.h"
#include "win32/gdi_objects.h"

namespace {

// The executable's module handle: the classic image base, never null.
const HMODULE kModule = reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x00400000));

// Files larger than this are not bitmaps we would load: the largest image the
// decoder takes needs at most four bytes a pixel, plus room for headers.
constexpr long kMaxFileBytes = static_cast<long>(4 * sombrella::bmp::Limits{}.maxPixels + (1L << 20));

bool ReadWholeFile(const char* path, std::unique_ptr<uint8_t[]>& bytes, size_t& size) {
    const std::string mapped = sombrella::win32::MapPath(path);
    FILE* f = std::fopen(mapped.c_str(), "rb");
    if (!f) return false;
    bool ok = false;
    if (std::fseek(f, 0, SEEK_END) == 0) {
        const long length = std::ftell(f);
        if (length >= 0 && length <= kMaxFileBytes && std::fseek(f, 0, SEEK_SET) == 0) {
            size = static_cast<size_t>(length);
            bytes.reset(new (std::nothrow) uint8_t[size ? size : 1]);
            ok = bytes && std::fread(bytes.get(), 1, size, f) == size;
        }
    }
    std::fclose(f);
    return ok;
}

// Nearest-neighbour resize for LoadImageA calls that ask for a size.
std::unique_ptr<uint32_t[]> Stretch(const uint32_t* src, uint32_t sw, uint32_t sh, uint32_t dw, uint32_t dh) {
    std::unique_ptr<uint32_t[]> out(new (std::nothrow) uint32_t[size_t{dw} * dh]);
    if (!out) return out;
    for (uint32_t y = 0; y < dh; ++y) {
        const uint32_t* row = src + size_t{uint64_t{y} * sh / dh} * sw;
        for (uint32_t x = 0; x < dw; ++x) out[size_t{y} * dw + x] = row[uint64_t{x} * sw / dw];
    }
    return out;
}

}  // namespace

HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName) { return lpModuleName ? nullptr : kModule; }

HANDLE WINAPI LoadImageA(HINSTANCE, LPCSTR name, UINT type, int cx, int cy, UINT fuLoad) {
    if (type != IMAGE_BITMAP) return nullptr;
    // The executable carries no resources and there are no OEM images: only files load.
    if (!(fuLoad & LR_LOADFROMFILE)) return nullptr;
    if (reinterpret_cast<uintptr_t>(name) <= 0xFFFF) return nullptr;  // null or an ordinal
    if (cx < 0 || cy < 0) return nullptr;

    std::unique_ptr<uint8_t[]> bytes;
    size_t size = 0;
    if (!ReadWholeFile(name, bytes, size)) return nullptr;
    sombrella::bmp::Image image;
    if (sombrella::bmp::Decode(bytes.get(), size, image) != sombrella::bmp::Status::kOk) return nullptr;
    bytes.reset();

    const uint32_t width = cx ? static_cast<uint32_t>(cx) : image.width;
    const uint32_t height = cy ? static_cast<uint32_t>(cy) : image.height;
    if (width != image.width || height != image.height) {
        if (uint64_t{width} * height > sombrella::bmp::Limits{}.maxPixels) return nullptr;
        image.pixels = Stretch(image.pixels.get(), image.width, image.height, width, height);
        if (!image.pixels) return nullptr;
    }
    return sombrella::gdi::CreateBitmapObject(width, height, image.bitsPerPixel, std::move(image.pixels));
}
