// Builds .bmp files byte by byte for the decoder tests, independently of the decoder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bmptest {

struct BmpFile {
    uint32_t headerSize = 40;
    int32_t width = 1;
    int32_t height = 1;  // negative: rows stored top-down
    uint16_t bitsPerPixel = 24;
    uint32_t compression = 0;
    uint32_t colorsUsed = 0;
    std::vector<uint32_t> palette;  // 0x00RRGGBB
    uint32_t masks[4] = {0, 0, 0, 0};
    std::vector<uint8_t> bits;       // pixel data exactly as stored
    int64_t pixelOffset = -1;        // -1: right after the palette
};

inline void Put16(std::vector<uint8_t>& o, uint32_t v) {
    o.push_back(static_cast<uint8_t>(v));
    o.push_back(static_cast<uint8_t>(v >> 8));
}
inline void Put32(std::vector<uint8_t>& o, uint32_t v) {
    Put16(o, v & 0xFFFF);
    Put16(o, v >> 16);
}

inline std::vector<uint8_t> Encode(const BmpFile& b) {
    std::vector<uint8_t> info;
    if (b.headerSize == 12) {
        Put32(info, 12);
        Put16(info, static_cast<uint32_t>(b.width));
        Put16(info, static_cast<uint32_t>(b.height));
        Put16(info, 1);
        Put16(info, b.bitsPerPixel);
    } else {
        std::vector<uint8_t> full;
        Put32(full, b.headerSize);
        Put32(full, static_cast<uint32_t>(b.width));
        Put32(full, static_cast<uint32_t>(b.height));
        Put16(full, 1);
        Put16(full, b.bitsPerPixel);
        Put32(full, b.compression);
        Put32(full, static_cast<uint32_t>(b.bits.size()));
        Put32(full, 2835);
        Put32(full, 2835);
        Put32(full, b.colorsUsed);
        Put32(full, 0);
        const bool fields = b.compression == 3 || b.compression == 6;
        if (b.headerSize >= 52) {
            for (int i = 0; i < 4; ++i) Put32(full, (b.headerSize >= 56 || i < 3) ? b.masks[i] : 0);
        }
        full.resize(std::max<size_t>(full.size(), b.headerSize), 0);
        full.resize(b.headerSize);
        if (b.headerSize == 40 && fields)
            for (int i = 0; i < (b.compression == 6 ? 4 : 3); ++i) Put32(full, b.masks[i]);
        info = full;
    }
    for (uint32_t c : b.palette) {
        info.push_back(static_cast<uint8_t>(c));
        info.push_back(static_cast<uint8_t>(c >> 8));
        info.push_back(static_cast<uint8_t>(c >> 16));
        if (b.headerSize != 12) info.push_back(0);
    }
    std::vector<uint8_t> out;
    const uint32_t offset = b.pixelOffset >= 0 ? static_cast<uint32_t>(b.pixelOffset) : static_cast<uint32_t>(14 + info.size());
    out.push_back('B');
    out.push_back('M');
    Put32(out, static_cast<uint32_t>(14 + info.size() + b.bits.size()));
    Put32(out, 0);
    Put32(out, offset);
    out.insert(out.end(), info.begin(), info.end());
    out.insert(out.end(), b.bits.begin(), b.bits.end());
    return out;
}

// Rows of palette indexes (file order) packed at 1, 4 or 8 bits with 32-bit row padding.
inline std::vector<uint8_t> PackIndexes(const std::vector<uint8_t>& idx, uint32_t width, uint32_t height, uint32_t bpp) {
    const uint32_t stride = ((width * bpp + 31) / 32) * 4;
    std::vector<uint8_t> out(size_t{stride} * height, 0);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) {
            const uint32_t v = idx[y * width + x];
            const uint32_t bit = x * bpp;
            out[y * stride + bit / 8] |= static_cast<uint8_t>(v << (8 - bpp - bit % 8));
        }
    return out;
}

// Rows of pixel values (file order), little-endian at `bytes` per pixel, with row padding.
inline std::vector<uint8_t> PackValues(const std::vector<uint32_t>& v, uint32_t width, uint32_t height, uint32_t bytes) {
    const uint32_t stride = ((width * bytes + 3) / 4) * 4;
    std::vector<uint8_t> out(size_t{stride} * height, 0);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x)
            for (uint32_t i = 0; i < bytes; ++i)
                out[y * stride + x * bytes + i] = static_cast<uint8_t>(v[y * width + x] >> (8 * i));
    return out;
}

// An RLE4/RLE8 stream writer that also tracks which palette index each pixel
// should get (rows bottom-up, as stored; unset pixels are index 0).
struct RleWriter {
    uint32_t width, height;
    bool rle4;
    std::vector<uint8_t> bytes;
    std::vector<uint8_t> grid;  // file-order rows
    uint32_t x = 0, y = 0;

    RleWriter(uint32_t w, uint32_t h, bool four) : width(w), height(h), rle4(four), grid(size_t{w} * h, 0) {}
    void Set(uint32_t v) {
        if (x < width && y < height) grid[y * width + x] = static_cast<uint8_t>(v);
        ++x;
    }
    void Run(uint32_t n, uint8_t value) {
        bytes.push_back(static_cast<uint8_t>(n));
        bytes.push_back(value);
        for (uint32_t i = 0; i < n; ++i) Set(rle4 ? ((i & 1) ? (value & 15) : (value >> 4)) : value);
        x = std::min(x, width);
    }
    void Absolute(const std::vector<uint8_t>& v) {
        bytes.push_back(0);
        bytes.push_back(static_cast<uint8_t>(v.size()));
        size_t n = 0;
        if (rle4) {
            for (size_t i = 0; i < v.size(); i += 2) {
                bytes.push_back(static_cast<uint8_t>((v[i] << 4) | (i + 1 < v.size() ? v[i + 1] : 0)));
                ++n;
            }
        } else {
            bytes.insert(bytes.end(), v.begin(), v.end());
            n = v.size();
        }
        if (n & 1) bytes.push_back(0);
        for (uint8_t c : v) Set(c);
        x = std::min(x, width);
    }
    void EndOfLine() {
        bytes.push_back(0);
        bytes.push_back(0);
        x = 0;
        ++y;
    }
    void Delta(uint8_t dx, uint8_t dy) {
        bytes.insert(bytes.end(), {0, 2, dx, dy});
        x = std::min(x + dx, width);
        y += dy;
    }
    void EndOfBitmap() { bytes.insert(bytes.end(), {0, 1}); }
};

}  // namespace bmptest
