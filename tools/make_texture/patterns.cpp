#include "patterns.h"

#include <algorithm>
#include <cmath>

namespace make_texture {
namespace {

// Integer hash: a stable pseudo-random value per position, so the images are
// the same on every build.
uint32_t Hash(uint32_t a, uint32_t b, uint32_t c = 0) {
    uint32_t h = a * 0x9E3779B1u ^ (b + 0x7F4A7C15u) * 0x85EBCA77u ^ (c + 0x165667B1u) * 0xC2B2AE3Du;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    h *= 0x297A2D39u;
    h ^= h >> 15;
    return h;
}

// Uniform in [-1, 1].
float Noise(uint32_t a, uint32_t b, uint32_t c = 0) {
    return float(Hash(a, b, c) & 0xFFFF) / 32767.5f - 1.0f;
}

void Put(Image& img, int x, int y, float r, float g, float b) {
    uint8_t* p = img.At(x, y);
    p[0] = uint8_t(std::clamp(std::lround(r), 0L, 255L));
    p[1] = uint8_t(std::clamp(std::lround(g), 0L, 255L));
    p[2] = uint8_t(std::clamp(std::lround(b), 0L, 255L));
}

struct Rgb {
    float r, g, b;
};

Rgb Mix(Rgb a, Rgb b, float t) { return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t}; }

}  // namespace

Image MakeFacade() {
    constexpr int cell = kFacadeSize / kFacadeBays;
    static_assert(kFacadeSize / kFacadeStoreys == cell, "square cells");
    // One window of two features each way in the middle of a cell, between
    // piers and between slab bands of two features: every edge lies on the
    // grid of features.
    constexpr int winLeft = kFeature, winRight = cell - kFeature;
    constexpr int winTop = kSlabHalf, winBottom = cell - kSlabHalf;
    static_assert(kSlabHalf % kFeature == 0 && winRight - winLeft >= 2 * kFeature, "no small features");

    // Cool stone and glass, so that the warm ambient light evens them out.
    const Rgb wall{196, 198, 206};
    const Rgb slab{176, 180, 190};
    const Rgb glassTop{140, 156, 182}, glassBottom{122, 138, 164};

    Image img;
    img.Resize(kFacadeSize, kFacadeSize);
    for (int y = 0; y < kFacadeSize; ++y) {
        for (int x = 0; x < kFacadeSize; ++x) {
            const int bay = x / cell, storey = y / cell;
            const int cx = x % cell, cy = y % cell;
            const float grain = Noise(uint32_t(x), uint32_t(y)) * 2.0f;

            if (cy < kSlabHalf || cy >= cell - kSlabHalf) {
                Put(img, x, y, slab.r + grain, slab.g + grain, slab.b + grain);
                continue;
            }
            // Each storey's stone a little different.
            const float tone = Noise(uint32_t(storey), 7, 3) * 4.0f;
            Rgb c{wall.r + grain + tone, wall.g + grain + tone, wall.b + grain + tone};

            if (cx >= winLeft && cx < winRight && cy >= winTop && cy < winBottom) {
                const uint32_t h = Hash(uint32_t(bay), uint32_t(storey), 11);
                const bool upper = cy < (winTop + winBottom) / 2;
                const float t = float(cy - winTop) / float(winBottom - winTop);
                const uint32_t kind = h % 16;
                // About one window in four lit, in five kinds of light; some
                // with the blind half down (the halves are a feature each).
                static const Rgb kLights[] = {
                    {232, 208, 160}, {226, 198, 150}, {218, 214, 198}, {196, 212, 226}, {232, 202, 172}};
                if (kind < 4 || (kind == 4 && upper)) {
                    c = kLights[(h >> 8) % 5];
                    c = {c.r - 10 * t + grain, c.g - 10 * t + grain, c.b - 8 * t + grain};
                } else if (kind == 5 && upper) {
                    c = {wall.r - 16 + grain, wall.g - 14 + grain, wall.b - 12 + grain};  // blind down
                } else {
                    c = Mix(glassTop, glassBottom, t);
                    const float shade = float((h >> 16) % 13) - 6.0f;
                    c = {c.r + shade + grain, c.g + shade + grain, c.b + shade * 0.6f + grain};
                }
            }
            Put(img, x, y, c.r, c.g, c.b);
        }
    }
    return img;
}

Image MakePaving() {
    constexpr int size = 128;
    constexpr int slabs = 4;  // slabs per row; they tile with WRAP
    constexpr int slabSize = size / slabs;
    Image img;
    img.Resize(size, size);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            int sx = x / slabSize, sy = y / slabSize;
            int lx = x % slabSize, ly = y % slabSize;
            // Alternate rows run half a slab offset, like laid paving.
            if (sy % 2 == 1) {
                int ox = (x + slabSize / 2) % size;
                sx = ox / slabSize;
                lx = ox % slabSize;
            }
            float grain = Noise(uint32_t(x), uint32_t(y), 5) * 7.0f;
            float tone = Noise(uint32_t(sx), uint32_t(sy), 9) * 14.0f;
            Rgb c{188 + tone + grain, 178 + tone + grain, 160 + tone * 0.8f + grain};
            if (lx < 2 || ly < 2) c = {118 + grain, 112 + grain, 104 + grain};
            Put(img, x, y, c.r, c.g, c.b);
        }
    }
    return img;
}

}  // namespace make_texture
