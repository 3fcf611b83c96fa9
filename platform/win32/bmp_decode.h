// Windows bitmap (.bmp) decoder: file bytes in, 32-bit pixels out.
// Pure function of its input; used by LoadImageA, the image tool and the fuzzer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace sombrella::bmp {

enum class Status {
    kOk,
    kNotBmp,        // no "BM" signature
    kTruncated,     // a header, palette, row or RLE command runs past the data
    kBadHeader,     // unknown header size, zero or negative sizes, bad bit depth
    kUnsupported,   // a compression this decoder does not read (JPEG, PNG, Huffman, RLE24)
    kBadOffset,     // the pixel data offset points into the headers or past the file
    kBadMasks,      // bit-field masks that overlap, have gaps or lie outside the pixel
    kTooLarge,      // more pixels than the limit or than the file could encode
    kOutOfMemory,
};

const char* Describe(Status status);

struct Limits {
    // Refuse images with more pixels than the largest texture holds
    // (4096 x 4096: a 64 MiB pixel array).
    uint64_t maxPixels = uint64_t{1} << 24;
};

struct Image {
    uint32_t width = 0;
    uint32_t height = 0;
    // The file's bits per pixel (1, 4, 8, 16, 24 or 32).
    uint16_t bitsPerPixel = 0;
    // True when the file carries an alpha channel (an alpha bit-field mask).
    bool hasAlpha = false;
    // width * height words 0xAARRGGBB, row 0 at the top. Alpha is 0xFF
    // unless the file has an alpha mask.
    std::unique_ptr<uint32_t[]> pixels;
};

// Decodes a whole .bmp file. On failure `out` is left empty.
Status Decode(const uint8_t* data, size_t size, Image& out, const Limits& limits = Limits{});

}  // namespace sombrella::bmp
