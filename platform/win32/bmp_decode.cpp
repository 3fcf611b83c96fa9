#include "win32/bmp_decode.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

#include "common/pixel_format.h"

namespace sombrella::bmp {

static_assert(std::endian::native == std::endian::little, "pixel words are read in place");

namespace {

constexpr uint32_t BI_RGB = 0;
constexpr uint32_t BI_RLE8 = 1;
constexpr uint32_t BI_RLE4 = 2;
constexpr uint32_t BI_BITFIELDS = 3;
constexpr uint32_t BI_ALPHABITFIELDS = 6;

constexpr uint32_t kOpaque = 0xFF000000u;
constexpr uint32_t kFileHeaderSize = 14;
// An RLE command of two bytes can skip a whole row or the rest of the image,
// so no exact bound exists; real encoders stay far below this many pixels per byte.
constexpr uint64_t kMaxRlePixelsPerByte = 8192;

inline uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t U32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

enum class HeaderKind { kCore, kWindows, kOs2 };

struct Header {
    HeaderKind kind = HeaderKind::kWindows;
    uint32_t size = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    bool topDown = false;
    uint16_t bitsPerPixel = 0;
    uint32_t compression = BI_RGB;
    uint32_t colorsUsed = 0;
    uint32_t masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha
    uint32_t maskBytesAfterHeader = 0;
};

// One colour channel of a bit-field pixel: where it sits and how its values
// map to 8 bits (the shared widening rule, through a table up to 16 bits).
struct Channel {
    pixel::Channel field;
    uint8_t fallback = 0;
    const uint8_t* table = nullptr;  // null for channels wider than 16 bits
};

constexpr uint32_t kMaxTableBits = 16;

void SetUpChannel(Channel& c, uint32_t mask, uint8_t fallback) {
    c.field = pixel::Channel(mask);
    c.fallback = fallback;
}

// Value-to-8-bit tables for the channels, one allocation; false when out of memory.
bool FillTables(Channel* channels, size_t count, std::unique_ptr<uint8_t[]>& storage) {
    size_t total = 0;
    for (size_t i = 0; i < count; ++i)
        if (channels[i].field.mask && channels[i].field.bits <= kMaxTableBits) total += size_t{channels[i].field.max} + 1;
    storage.reset(new (std::nothrow) uint8_t[total ? total : 1]);
    if (!storage) return false;
    uint8_t* p = storage.get();
    for (size_t i = 0; i < count; ++i) {
        Channel& c = channels[i];
        if (!c.field.mask || c.field.bits > kMaxTableBits) continue;
        for (uint32_t v = 0; v <= c.field.max; ++v) p[v] = static_cast<uint8_t>(pixel::Widen(v, c.field.max));
        c.table = p;
        p += size_t{c.field.max} + 1;
    }
    return true;
}

inline uint32_t Extract(const Channel& c, uint32_t pixel) {
    if (c.field.mask == 0) return c.fallback;
    if (c.table) return c.table[c.field.Value(pixel)];
    return c.field.Widen(pixel, c.fallback);
}

Status ParseHeader(const uint8_t* data, size_t size, Header& h) {
    const uint8_t* p = data + kFileHeaderSize;
    h.size = U32(p);
    if (h.size == 12) {
        h.kind = HeaderKind::kCore;
    } else if (h.size == 40 || h.size == 52 || h.size == 56 || h.size == 108 || h.size == 124) {
        h.kind = HeaderKind::kWindows;
    } else if (h.size >= 16 && h.size <= 64 && h.size % 2 == 0) {  // OS/2 2.x ends at any field
        h.kind = HeaderKind::kOs2;
    } else {
        return Status::kBadHeader;
    }
    if (size - kFileHeaderSize < h.size) return Status::kTruncated;

    int64_t height = 0;
    if (h.kind == HeaderKind::kCore) {
        h.width = U16(p + 4);
        height = U16(p + 6);
        h.bitsPerPixel = U16(p + 10);
    } else {
        int32_t width = static_cast<int32_t>(U32(p + 4));
        if (width <= 0) return Status::kBadHeader;
        h.width = static_cast<uint32_t>(width);
        height = static_cast<int32_t>(U32(p + 8));
        h.bitsPerPixel = U16(p + 14);
        // OS/2 2.x headers may stop after any field; what is missing reads as 0.
        if (h.size >= 20) h.compression = U32(p + 16);
        if (h.size >= 36) h.colorsUsed = U32(p + 32);
    }
    if (height < 0) {
        h.topDown = true;
        height = -height;
    }
    if (h.width == 0 || height == 0) return Status::kBadHeader;
    h.height = static_cast<uint32_t>(height);

    switch (h.bitsPerPixel) {
        case 1: case 4: case 8: case 16: case 24: case 32: break;
        default: return h.bitsPerPixel == 0 ? Status::kUnsupported : Status::kBadHeader;
    }

    if (h.kind == HeaderKind::kOs2 && h.compression >= 3) return Status::kUnsupported;  // Huffman 1D, RLE24
    switch (h.compression) {
        case BI_RGB:
            break;
        case BI_RLE8:
            if (h.bitsPerPixel != 8) return Status::kBadHeader;
            break;
        case BI_RLE4:
            if (h.bitsPerPixel != 4) return Status::kBadHeader;
            break;
        case BI_BITFIELDS:
        case BI_ALPHABITFIELDS:
            if (h.bitsPerPixel < 16) return Status::kBadHeader;
            break;
        default:
            return Status::kUnsupported;
    }
    if (h.topDown && (h.compression == BI_RLE8 || h.compression == BI_RLE4)) return Status::kBadHeader;

    if (h.compression == BI_BITFIELDS || h.compression == BI_ALPHABITFIELDS) {
        const bool withAlpha = h.compression == BI_ALPHABITFIELDS;
        const uint8_t* m = nullptr;
        uint32_t count = withAlpha ? 4 : 3;
        if (h.size >= 52) {
            m = p + 40;
            // The alpha mask is a header field from V3 on; BI_BITFIELDS uses it there too.
            count = h.size >= 56 ? 4 : 3;
        } else {
            h.maskBytesAfterHeader = count * 4;
            if (size - kFileHeaderSize - h.size < h.maskBytesAfterHeader) return Status::kTruncated;
            m = p + h.size;
        }
        for (uint32_t i = 0; i < count; ++i) h.masks[i] = U32(m + 4 * i);
    } else if (h.bitsPerPixel == 16) {
        h.masks[0] = 0x7C00;
        h.masks[1] = 0x03E0;
        h.masks[2] = 0x001F;
    } else if (h.bitsPerPixel >= 24) {
        h.masks[0] = 0x00FF0000;
        h.masks[1] = 0x0000FF00;
        h.masks[2] = 0x000000FF;
    }

    if (h.bitsPerPixel >= 16) {
        uint32_t all = 0;
        const uint32_t pixelBits = h.bitsPerPixel == 32 ? 0xFFFFFFFFu : ((1u << h.bitsPerPixel) - 1);
        for (uint32_t mask : h.masks) {
            if (mask & all) return Status::kBadMasks;                   // overlap
            if (mask & ~pixelBits) return Status::kBadMasks;            // outside the pixel
            if (mask != 0) {
                uint32_t shifted = mask >> std::countr_zero(mask);
                if ((shifted & (shifted + 1)) != 0) return Status::kBadMasks;  // gaps
            }
            all |= mask;
        }
        if ((h.masks[0] | h.masks[1] | h.masks[2]) == 0) return Status::kBadMasks;
    }
    return Status::kOk;
}

void BuildPalette(const uint8_t* p, uint32_t count, uint32_t entrySize, uint32_t lut[256]) {
    for (uint32_t i = 0; i < count; ++i, p += entrySize) lut[i] = kOpaque | (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
    // Indexes past a short palette read as black rather than past the table.
    for (uint32_t i = count; i < 256; ++i) lut[i] = kOpaque;
}

void DecodeIndexedRow(const uint8_t* src, uint32_t width, uint16_t bits, const uint32_t lut[256], uint32_t* out) {
    uint32_t x = 0;
    switch (bits) {
        case 8:
            for (; x < width; ++x) out[x] = lut[src[x]];
            break;
        case 4:
            for (; x + 2 <= width; x += 2, ++src) {
                out[x] = lut[*src >> 4];
                out[x + 1] = lut[*src & 15];
            }
            if (x < width) out[x] = lut[*src >> 4];
            break;
        case 1:
            for (; x + 8 <= width; x += 8, ++src) {
                const uint32_t b = *src;
                for (uint32_t i = 0; i < 8; ++i) out[x + i] = lut[(b >> (7 - i)) & 1];
            }
            for (uint32_t i = 0; x < width; ++x, ++i) out[x] = lut[(*src >> (7 - i)) & 1];
            break;
    }
}

void DecodeRle(const uint8_t* p, const uint8_t* end, const Header& h, const uint32_t lut[256], uint32_t* pixels,
               Status& status) {
    const bool rle4 = h.compression == BI_RLE4;
    const uint32_t width = h.width;
    uint32_t x = 0;
    uint32_t y = 0;  // rows counted from the bottom, as the file stores them
    status = Status::kOk;
    while (y < h.height) {
        uint32_t* row = pixels + static_cast<size_t>(h.height - 1 - y) * width;
        // A stream that stops between commands ends the bitmap, like an end-of-bitmap escape.
        if (end - p < 2) return;
        const uint32_t count = p[0];
        const uint32_t value = p[1];
        p += 2;
        if (count != 0) {
            const uint32_t n = std::min(count, width - x);
            if (rle4) {
                const uint32_t c[2] = {lut[value >> 4], lut[value & 15]};
                for (uint32_t i = 0; i < n; ++i) row[x + i] = c[i & 1];
            } else {
                std::fill(row + x, row + x + n, lut[value]);
            }
            x += n;  // runs past the row are cut off there
            continue;
        }
        switch (value) {
            case 0:  // end of line
                x = 0;
                ++y;
                break;
            case 1:  // end of bitmap
                return;
            case 2: {  // delta: move right and up
                if (end - p < 2) {
                    status = Status::kTruncated;
                    return;
                }
                const uint32_t dx = p[0];
                const uint32_t dy = p[1];
                p += 2;
                x = std::min(x + dx, width);
                if (dy >= h.height - y) return;  // moved off the image: nothing more to draw
                y += dy;
                break;
            }
            default: {  // absolute run of `value` pixels, padded to a 16-bit boundary
                const uint32_t bytes = rle4 ? (value + 1) / 2 : value;
                if (static_cast<size_t>(end - p) < bytes) {
                    status = Status::kTruncated;
                    return;
                }
                const uint32_t n = std::min(value, width - x);
                if (rle4) {
                    for (uint32_t i = 0; i < n; ++i) row[x + i] = lut[(i & 1) ? (p[i / 2] & 15) : (p[i / 2] >> 4)];
                } else {
                    for (uint32_t i = 0; i < n; ++i) row[x + i] = lut[p[i]];
                }
                x += n;
                p += bytes;
                if ((bytes & 1) && p < end) ++p;
                break;
            }
        }
    }
}

}  // namespace

const char* Describe(Status status) {
    switch (status) {
        case Status::kOk: return "ok";
        case Status::kNotBmp: return "not a BMP file";
        case Status::kTruncated: return "truncated BMP data";
        case Status::kBadHeader: return "invalid BMP header";
        case Status::kUnsupported: return "unsupported BMP compression";
        case Status::kBadOffset: return "invalid BMP pixel data offset";
        case Status::kBadMasks: return "invalid BMP bit-field masks";
        case Status::kTooLarge: return "BMP image too large";
        case Status::kOutOfMemory: return "out of memory";
    }
    return "unknown BMP error";
}

Status Decode(const uint8_t* data, size_t size, Image& out, const Limits& limits) {
    out = Image{};
    if (!data || size < 2 || data[0] != 'B' || data[1] != 'M') return Status::kNotBmp;
    if (size < kFileHeaderSize + 4) return Status::kTruncated;

    Header h;
    if (Status s = ParseHeader(data, size, h); s != Status::kOk) return s;

    const uint64_t pixelCount = uint64_t{h.width} * h.height;
    if (pixelCount > limits.maxPixels) return Status::kTooLarge;

    const uint32_t pixelOffset = U32(data + 10);
    const uint64_t headersEnd = uint64_t{kFileHeaderSize} + h.size + h.maskBytesAfterHeader;
    uint32_t colors = 0;
    const uint32_t entrySize = h.kind == HeaderKind::kCore ? 3 : 4;
    if (h.bitsPerPixel <= 8) {
        const uint32_t maxColors = 1u << h.bitsPerPixel;
        colors = (h.colorsUsed == 0 || h.colorsUsed > maxColors) ? maxColors : h.colorsUsed;
        if (size - headersEnd < uint64_t{colors} * entrySize) return Status::kTruncated;
    }
    // The pixels start after the headers, masks and palette, never inside them.
    if (pixelOffset < headersEnd + uint64_t{colors} * entrySize || pixelOffset > size) return Status::kBadOffset;
    const uint8_t* pixelData = data + pixelOffset;
    const size_t pixelBytes = size - pixelOffset;

    uint32_t lut[256];
    if (h.bitsPerPixel <= 8) BuildPalette(data + headersEnd, colors, entrySize, lut);

    const bool rle = h.compression == BI_RLE8 || h.compression == BI_RLE4;
    uint64_t stride = 0;
    if (rle) {
        if (pixelCount > uint64_t{pixelBytes} * kMaxRlePixelsPerByte) return Status::kTooLarge;
    } else {
        const uint64_t rowBits = uint64_t{h.width} * h.bitsPerPixel;
        stride = ((rowBits + 31) / 32) * 4;
        // The last row need not carry its padding.
        if (stride * (h.height - 1) + (rowBits + 7) / 8 > pixelBytes) return Status::kTruncated;
    }

    uint32_t* pixels = new (std::nothrow) uint32_t[pixelCount];
    if (!pixels) return Status::kOutOfMemory;
    std::unique_ptr<uint32_t[]> owner(pixels);
    const uint32_t width = h.width;

    auto outRow = [&](uint32_t fileRow) -> uint32_t* {
        const uint32_t r = h.topDown ? fileRow : h.height - 1 - fileRow;
        return pixels + static_cast<size_t>(r) * width;
    };

    bool hasAlpha = false;
    if (rle) {
        std::fill(pixels, pixels + pixelCount, lut[0]);
        Status s;
        DecodeRle(pixelData, pixelData + pixelBytes, h, lut, pixels, s);
        if (s != Status::kOk) return s;
    } else if (h.bitsPerPixel <= 8) {
        for (uint32_t y = 0; y < h.height; ++y) DecodeIndexedRow(pixelData + y * stride, width, h.bitsPerPixel, lut, outRow(y));
    } else {
        const uint32_t* m = h.masks;
        hasAlpha = m[3] != 0;
        const bool plain24 = h.bitsPerPixel == 24 && m[0] == 0xFF0000 && m[1] == 0xFF00 && m[2] == 0xFF;
        const bool plain32 = h.bitsPerPixel == 32 && m[0] == 0xFF0000 && m[1] == 0xFF00 && m[2] == 0xFF &&
                             (m[3] == 0 || m[3] == 0xFF000000u);
        if (plain24) {
            for (uint32_t y = 0; y < h.height; ++y) {
                const uint8_t* s = pixelData + y * stride;
                uint32_t* o = outRow(y);
                uint32_t x = 0;
                // Four pixels from three little-endian words at a time.
                for (; x + 4 <= width; x += 4, s += 12) {
                    uint32_t w0, w1, w2;
                    std::memcpy(&w0, s, 4);
                    std::memcpy(&w1, s + 4, 4);
                    std::memcpy(&w2, s + 8, 4);
                    o[x] = kOpaque | (w0 & 0xFFFFFF);
                    o[x + 1] = kOpaque | (w0 >> 24) | ((w1 & 0xFFFF) << 8);
                    o[x + 2] = kOpaque | (w1 >> 16) | ((w2 & 0xFF) << 16);
                    o[x + 3] = kOpaque | (w2 >> 8);
                }
                for (; x < width; ++x, s += 3) o[x] = kOpaque | (uint32_t{s[2]} << 16) | (uint32_t{s[1]} << 8) | s[0];
            }
        } else if (plain32) {
            const uint32_t orMask = hasAlpha ? 0 : kOpaque;
            for (uint32_t y = 0; y < h.height; ++y) {
                const uint8_t* s = pixelData + y * stride;
                uint32_t* o = outRow(y);
                std::memcpy(o, s, size_t{width} * 4);
                if (orMask)
                    for (uint32_t x = 0; x < width; ++x) o[x] |= orMask;
            }
        } else {
            Channel channels[4];
            Channel& r = channels[0];
            Channel& g = channels[1];
            Channel& b = channels[2];
            Channel& a = channels[3];
            SetUpChannel(r, m[0], 0);
            SetUpChannel(g, m[1], 0);
            SetUpChannel(b, m[2], 0);
            SetUpChannel(a, m[3], 0xFF);
            std::unique_ptr<uint8_t[]> tables;
            if (!FillTables(channels, 4, tables)) return Status::kOutOfMemory;
            const uint32_t bytesPerPixel = h.bitsPerPixel / 8;
            for (uint32_t y = 0; y < h.height; ++y) {
                const uint8_t* s = pixelData + y * stride;
                uint32_t* o = outRow(y);
                for (uint32_t x = 0; x < width; ++x, s += bytesPerPixel) {
                    uint32_t v;
                    if (bytesPerPixel == 2)
                        v = U16(s);
                    else if (bytesPerPixel == 3)
                        v = uint32_t{s[0]} | (uint32_t{s[1]} << 8) | (uint32_t{s[2]} << 16);
                    else
                        v = U32(s);
                    o[x] = (Extract(a, v) << 24) | (Extract(r, v) << 16) | (Extract(g, v) << 8) | Extract(b, v);
                }
            }
        }
    }

    out.width = h.width;
    out.height = h.height;
    out.bitsPerPixel = h.bitsPerPixel;
    out.hasAlpha = hasAlpha;
    out.pixels = std::move(owner);
    return Status::kOk;
}

}  // namespace sombrella::bmp
