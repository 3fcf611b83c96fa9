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
    // Window opening inside a cell (cell rows run from the top of a storey).
    constexpr int winLeft = 12, winRight = 52, winTop = 15, winBottom = 50;
    constexpr int frame = 3;

    const Rgb wall{212, 205, 194};
    const Rgb slab{176, 172, 166};
    const Rgb frameColour{84, 86, 92};
    const Rgb sill{232, 228, 220};

    Image img;
    img.Resize(kFacadeSize, kFacadeSize);
    for (int y = 0; y < kFacadeSize; ++y) {
        for (int x = 0; x < kFacadeSize; ++x) {
            int bay = x / cell, storey = y / cell;
            int cx = x % cell, cy = y % cell;
            float grain = Noise(uint32_t(x), uint32_t(y)) * 5.0f;

            // Slab band straddling the storey boundary.
            if (cy < kSlabHalf || cy >= cell - kSlabHalf) {
                float g = Noise(uint32_t(x), uint32_t(y), 1) * 2.0f;
                Put(img, x, y, slab.r + g, slab.g + g, slab.b + g);
                continue;
            }

            // Wall: stone that darkens a little towards the pilasters at the
            // bay edges, with each storey's stone slightly different.
            float tone = Noise(uint32_t(storey), 7, 3) * 4.0f;
            float edge = (cx < 4 || cx >= cell - 4) ? -10.0f : 0.0f;
            Rgb c{wall.r + grain + tone + edge, wall.g + grain + tone + edge, wall.b + grain + tone * 0.5f + edge};

            bool inFrame = cx >= winLeft - frame && cx < winRight + frame && cy >= winTop - frame &&
                           cy < winBottom + frame;
            bool inGlass = cx >= winLeft && cx < winRight && cy >= winTop && cy < winBottom;
            if (cy >= winBottom + frame && cy < winBottom + frame + 2 && cx >= winLeft - 4 && cx < winRight + 4)
                c = {sill.r + grain, sill.g + grain, sill.b + grain};
            if (inFrame) c = {frameColour.r + grain * 0.5f, frameColour.g + grain * 0.5f, frameColour.b + grain * 0.5f};
            if (inGlass) {
                // Plain panes: at the distance the demo shows them from, glazing
                // bars would only break up into noise.
                uint32_t h = Hash(uint32_t(bay), uint32_t(storey), 11);
                float t = float(cy - winTop) / float(winBottom - winTop);
                if ((h & 0xFF) < 80) {
                    // Lit: warm interior light of a few kinds, brighter near the ceiling.
                    static const Rgb kLights[] = {{252, 216, 136}, {246, 184, 100}, {236, 222, 170}};
                    Rgb warm = kLights[(h >> 8) % 3];
                    c = Mix(warm, Rgb{warm.r * 0.82f, warm.g * 0.72f, warm.b * 0.6f}, t);
                    c.r += grain * 0.5f;
                    c.g += grain * 0.5f;
                } else {
                    // Dark glass reflecting the sky, with a diagonal glint.
                    c = Mix(Rgb{96, 122, 150}, Rgb{34, 44, 62}, t);
                    int d = (cx - winLeft) + (cy - winTop);
                    if (d > 14 && d < 22) c = Mix(c, Rgb{170, 190, 210}, 0.4f);
                    float shade = float((h >> 16) & 0x1F) - 16.0f;
                    c = {c.r + shade, c.g + shade, c.b + shade * 0.5f};
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
