#include "textures/tga_reader.h"

#include <cstdio>
#include <new>
#include <memory>

#include "textures/texture_registry.h"

namespace {

constexpr size_t kHeaderBytes = 18;
constexpr uint8_t kTypeTrueColour = 2;
constexpr uint8_t kTypeTrueColourRle = 10;
constexpr uint8_t kTopOrigin = 0x20;

// A file that ends early still loads (what is missing stays 0), but a header
// promising far more pixels than its bytes could ever describe is refused
// instead of allocating for it: up to this factor beyond the best case, plus
// a small allowance so tiny images with cut-off data still load.
constexpr uint64_t kShortfallFactor = 4;
constexpr uint64_t kShortfallAllowance = 65536;

// Bytes of the file consumed front to back; reads past the end fail.
struct Bytes {
    const uint8_t* data;
    size_t size;
    size_t at = 0;

    size_t Left() const { return size - at; }
    bool ReadPixel(size_t n, uint32_t* word) {
        if (Left() < n) {
            at = size;
            return false;
        }
        const uint8_t* p = data + at;
        const uint32_t alpha = n == 4 ? p[3] : 0xFFu;
        *word = (uint32_t{p[2]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[0]} << 8) | alpha;
        at += n;
        return true;
    }
    bool ReadByte(uint8_t* b) {
        if (Left() < 1) return false;
        *b = data[at++];
        return true;
    }
};

// The most pixels `bytes` of pixel data could describe for rows of `width`.
uint64_t MostPixelsDescribed(uint64_t bytes, uint64_t width, uint64_t pixelBytes, bool rle) {
    if (!rle) return bytes / pixelBytes;
    // Each packet of 1 + pixelBytes bytes covers up to 128 pixels of one row.
    const uint64_t packets = bytes / (1 + pixelBytes);
    const uint64_t perRow = (width + 127) / 128;
    return perRow == 0 ? 0 : (packets / perRow) * width + (packets % perRow) * 128;
}

}  // namespace

HRESULT DecodeTgaTexture(TextureEntry* entry, const uint8_t* data, size_t size) {
    if (entry == nullptr || (data == nullptr && size != 0)) return E_FAIL;
    if (size < kHeaderBytes) return E_FAIL;
    const uint8_t idLength = data[0];
    const uint8_t colourMapType = data[1];
    const uint8_t imageType = data[2];
    const DWORD width = data[12] | (DWORD{data[13]} << 8);
    const DWORD height = data[14] | (DWORD{data[15]} << 8);
    const uint8_t bitsPerPixel = data[16];
    const uint8_t descriptor = data[17];
    if (colourMapType != 0) return E_FAIL;
    if (imageType != kTypeTrueColour && imageType != kTypeTrueColourRle) return E_FAIL;
    const bool rle = imageType == kTypeTrueColourRle;
    const size_t pixelBytes = bitsPerPixel == 32 ? 4 : 3;

    Bytes in{data, size, kHeaderBytes};
    in.at = in.Left() < idLength ? size : in.at + idLength;

    entry->width = width;
    entry->height = height;
    entry->bitsPerPixel = bitsPerPixel;
    const uint64_t count = uint64_t{width} * height;
    if (count == 0) return S_OK;
    if (count > kShortfallFactor * MostPixelsDescribed(in.Left(), width, pixelBytes, rle) + kShortfallAllowance)
        return E_FAIL;
    uint32_t* pixels = new (std::nothrow) uint32_t[count]();
    if (pixels == nullptr) return E_FAIL;
    entry->pixels = pixels;

    const bool topOrigin = (descriptor & kTopOrigin) != 0;
    for (DWORD y = 0; y < height; ++y) {
        uint32_t* row = pixels + uint64_t{topOrigin ? y : height - 1 - y} * width;
        DWORD x = 0;
        while (x < width) {
            uint32_t word = 0;
            if (!rle) {
                if (!in.ReadPixel(pixelBytes, &word)) return S_OK;
                row[x++] = word;
                continue;
            }
            uint8_t header = 0;
            if (!in.ReadByte(&header)) return S_OK;
            const DWORD packet = (header & 0x7Fu) + 1;
            if (header & 0x80u) {
                if (!in.ReadPixel(pixelBytes, &word)) return S_OK;
                for (DWORD i = 0; i < packet && x < width; ++i) row[x++] = word;
            } else {
                // Values past the row's end are read and dropped: the next
                // row starts with a packet header of its own.
                for (DWORD i = 0; i < packet; ++i) {
                    if (!in.ReadPixel(pixelBytes, &word)) return S_OK;
                    if (x < width) row[x++] = word;
                }
            }
        }
    }
    return S_OK;
}

HRESULT ReadTgaTexture(TextureEntry* entry, const char* path) {
    if (entry == nullptr || path == nullptr) return E_FAIL;
    std::FILE* f = std::fopen(path, "rb");
    if (f == nullptr) return E_FAIL;
    long size = -1;
    if (std::fseek(f, 0, SEEK_END) == 0) size = std::ftell(f);
    if (size < 0 || std::fseek(f, 0, SEEK_SET) != 0) {
        std::fclose(f);
        return E_FAIL;
    }
    std::unique_ptr<uint8_t[]> bytes(new (std::nothrow) uint8_t[static_cast<size_t>(size) + 1]);
    if (!bytes) {
        std::fclose(f);
        return E_FAIL;
    }
    const size_t got = std::fread(bytes.get(), 1, static_cast<size_t>(size), f);
    std::fclose(f);
    return DecodeTgaTexture(entry, bytes.get(), got);
}
