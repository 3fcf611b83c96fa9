#include "textures/tga_reader.h"

#include <cstdio>
#include <cstring>
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

// No texture is larger than this on a side (the device's advertised maximum);
// a bigger image could never be used and is refused before its pixels are.
constexpr DWORD kMaxSide = 4096;

// Bytes of the file consumed front to back; reads past the end fail.
// Bytes already in memory:
struct Bytes {
    const uint8_t* data;
    size_t size;
    size_t at = 0;

    uint64_t Left() const { return size - at; }
    void Skip(uint64_t n) { at = Left() < n ? size : at + static_cast<size_t>(n); }
    const uint8_t* Take(size_t n) {
        if (Left() < n) {
            at = size;
            return nullptr;
        }
        const uint8_t* p = data + at;
        at += n;
        return p;
    }
};

// Bytes read from an open file a block at a time, so that only the pixels
// are ever held whole.
class FileBytes {
public:
    FileBytes(std::FILE* file, uint64_t size) : file_(file), left_(size) {}
    uint64_t Left() const { return left_; }
    void Skip(uint64_t n) {
        while (n > 0 && Take(1) != nullptr) --n;
    }
    const uint8_t* Take(size_t n) {
        if (left_ < n || n > sizeof block_) {
            left_ = 0;
            return nullptr;
        }
        if (have_ - at_ < n) {
            // Keep what is left of the block in front of the next one.
            const size_t kept = have_ - at_;
            std::memmove(block_, block_ + at_, kept);
            const size_t got = std::fread(block_ + kept, 1, sizeof block_ - kept, file_);
            at_ = 0;
            have_ = kept + got;
            if (have_ < n) {
                left_ = 0;
                return nullptr;
            }
        }
        const uint8_t* p = block_ + at_;
        at_ += n;
        left_ -= n;
        return p;
    }

private:
    std::FILE* file_;
    uint64_t left_;
    size_t at_ = 0;
    size_t have_ = 0;
    uint8_t block_[65536];
};

template <typename Source>
bool ReadPixel(Source& in, size_t n, uint32_t* word) {
    const uint8_t* p = in.Take(n);
    if (p == nullptr) return false;
    const uint32_t alpha = n == 4 ? p[3] : 0xFFu;
    *word = (uint32_t{p[2]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[0]} << 8) | alpha;
    return true;
}

template <typename Source>
bool ReadByte(Source& in, uint8_t* b) {
    const uint8_t* p = in.Take(1);
    if (p == nullptr) return false;
    *b = *p;
    return true;
}

// The most pixels `bytes` of pixel data could describe for rows of `width`.
uint64_t MostPixelsDescribed(uint64_t bytes, uint64_t width, uint64_t pixelBytes, bool rle) {
    if (!rle) return bytes / pixelBytes;
    // Each packet of 1 + pixelBytes bytes covers up to 128 pixels of one row.
    const uint64_t packets = bytes / (1 + pixelBytes);
    const uint64_t perRow = (width + 127) / 128;
    return perRow == 0 ? 0 : (packets / perRow) * width + (packets % perRow) * 128;
}

template <typename Source>
HRESULT Decode(TextureEntry* entry, Source& in) {
    const uint8_t* header = in.Take(kHeaderBytes);
    if (header == nullptr) return E_FAIL;
    const uint8_t idLength = header[0];
    const uint8_t colourMapType = header[1];
    const uint8_t imageType = header[2];
    const DWORD width = header[12] | (DWORD{header[13]} << 8);
    const DWORD height = header[14] | (DWORD{header[15]} << 8);
    const uint8_t bitsPerPixel = header[16];
    const uint8_t descriptor = header[17];
    if (colourMapType != 0) return E_FAIL;
    if (imageType != kTypeTrueColour && imageType != kTypeTrueColourRle) return E_FAIL;
    const bool rle = imageType == kTypeTrueColourRle;
    const size_t pixelBytes = bitsPerPixel == 32 ? 4 : 3;
    in.Skip(idLength);

    entry->width = width;
    entry->height = height;
    entry->bitsPerPixel = bitsPerPixel;
    const uint64_t count = uint64_t{width} * height;
    if (count == 0) return S_OK;
    if (width > kMaxSide || height > kMaxSide) return E_FAIL;
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
                if (!ReadPixel(in, pixelBytes, &word)) return S_OK;
                row[x++] = word;
                continue;
            }
            uint8_t packetHeader = 0;
            if (!ReadByte(in, &packetHeader)) return S_OK;
            const DWORD packet = (packetHeader & 0x7Fu) + 1;
            if (packetHeader & 0x80u) {
                if (!ReadPixel(in, pixelBytes, &word)) return S_OK;
                for (DWORD i = 0; i < packet && x < width; ++i) row[x++] = word;
            } else {
                // Values past the row's end are read and dropped: the next
                // row starts with a packet header of its own.
                for (DWORD i = 0; i < packet; ++i) {
                    if (!ReadPixel(in, pixelBytes, &word)) return S_OK;
                    if (x < width) row[x++] = word;
                }
            }
        }
    }
    return S_OK;
}

}  // namespace

HRESULT DecodeTgaTexture(TextureEntry* entry, const uint8_t* data, size_t size) {
    if (entry == nullptr || (data == nullptr && size != 0)) return E_FAIL;
    Bytes in{data, size};
    return Decode(entry, in);
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
    // The reader is large (one block of the file); it lives on the heap.
    std::unique_ptr<FileBytes> in(new (std::nothrow) FileBytes(f, static_cast<uint64_t>(size)));
    const HRESULT result = in ? Decode(entry, *in) : E_FAIL;
    std::fclose(f);
    return result;
}
