// Pixel formats in one place: format descriptors, bytes per pixel, and the
// one rule for turning a channel of n bits into 8 and back.
//
// Widening rounds to nearest (v * 255 / max), as GDI and the reference
// pictures of the public BMP test suite do; narrowing keeps the top bits.
// The two round-trip: Narrow(Widen(v)) == v for every channel width.
#pragma once

#include <ddraw.h>

#include <array>
#include <cstdint>

namespace sombrella::pixel {

// A channel value 0..max widened to 0..255, rounded to nearest.
constexpr uint32_t Widen(uint32_t v, uint32_t max) {
    return max == 0 ? 0u : static_cast<uint32_t>((uint64_t{v} * 255u + max / 2) / max);
}

template <uint32_t kBits>
constexpr std::array<uint8_t, (1u << kBits)> WidenTable() {
    std::array<uint8_t, (1u << kBits)> t{};
    for (uint32_t v = 0; v < t.size(); ++v) t[v] = static_cast<uint8_t>(Widen(v, (1u << kBits) - 1));
    return t;
}
inline constexpr auto kWiden4 = WidenTable<4>();
inline constexpr auto kWiden5 = WidenTable<5>();
inline constexpr auto kWiden6 = WidenTable<6>();

// One channel of a packed pixel, from its mask (a contiguous run of bits).
struct Channel {
    uint32_t mask = 0, shift = 0, bits = 0, max = 0;

    constexpr Channel() = default;
    explicit constexpr Channel(uint32_t m) : mask(m) {
        if (!m) return;
        while (!((m >> shift) & 1u)) ++shift;
        while (shift + bits < 32 && ((m >> (shift + bits)) & 1u)) ++bits;
        max = bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1u;
    }
    constexpr uint32_t Value(uint32_t pixel) const { return (pixel & mask) >> shift; }
    // The channel as 0..255; `absent` when the format has no such channel.
    constexpr uint32_t Widen(uint32_t pixel, uint32_t absent) const {
        return mask ? pixel::Widen(Value(pixel), max) : absent;
    }
    // An 8-bit value placed in the channel: its top bits, or the byte
    // repeated for channels wider than 8 bits (so 255 fills every bit).
    constexpr uint32_t Pack(uint32_t c8) const {
        if (!mask) return 0;
        uint64_t v;
        if (bits <= 8) {
            v = c8 >> (8 - bits);
        } else {
            v = 0;
            for (uint32_t filled = 0; filled < bits; filled += 8) v = (v << 8) | c8;
            v >>= ((bits + 7) / 8) * 8 - bits;
        }
        return static_cast<uint32_t>(v << shift) & mask;
    }
};

// RGB565 pixel as XRGB8888 (alpha 0xFF).
constexpr uint32_t Rgb565ToArgb(uint32_t p) {
    return 0xFF000000u | (uint32_t{kWiden5[(p >> 11) & 31]} << 16) | (uint32_t{kWiden6[(p >> 5) & 63]} << 8) |
           kWiden5[p & 31];
}
// RGB555 (bit 15 ignored) as XRGB8888.
constexpr uint32_t Rgb555ToArgb(uint32_t p) {
    return 0xFF000000u | (uint32_t{kWiden5[(p >> 10) & 31]} << 16) | (uint32_t{kWiden5[(p >> 5) & 31]} << 8) |
           kWiden5[p & 31];
}

// Format descriptors.
DDPIXELFORMAT RgbFormat(DWORD bits, DWORD r, DWORD g, DWORD b, DWORD a = 0);  // ALPHAPIXELS when a != 0
DDPIXELFORMAT LuminanceFormat(DWORD bits, DWORD mask);
DDPIXELFORMAT FourCcFormat(DWORD fourCC);
DDPIXELFORMAT DepthFormat(DWORD bits, DWORD zMask, DWORD stencilBits, DWORD stencilMask);
inline DDPIXELFORMAT Rgb565() { return RgbFormat(16, 0xF800, 0x07E0, 0x001F); }
inline DDPIXELFORMAT Rgb555() { return RgbFormat(16, 0x7C00, 0x03E0, 0x001F); }
inline DDPIXELFORMAT Xrgb8888() { return RgbFormat(32, 0xFF0000, 0xFF00, 0xFF); }
inline DDPIXELFORMAT Argb8888() { return RgbFormat(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u); }

// Same RGB layout: RGB flag, bit count and colour masks (alpha not compared).
bool SameRgb(const DDPIXELFORMAT& a, const DDPIXELFORMAT& b);
// The alpha mask when the format declares one, else 0.
DWORD AlphaMask(const DDPIXELFORMAT& f);

// Bytes per pixel of an uncompressed format (depth: 2 or 4); 0 for FourCC.
DWORD BytesPerPixel(const DDPIXELFORMAT& f);
// Bytes per 4x4 block of a block-compressed FourCC, 0 when unknown.
DWORD BlockBytes(DWORD fourCC);

}  // namespace sombrella::pixel
