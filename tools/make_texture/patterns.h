// The demo's procedural images: the facade that tiles over every building and
// the paving of the square. Pixels are 8-bit RGB, rows from the top down.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace make_texture {

struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;  // width * height * 3, top row first

    void Resize(int w, int h) {
        width = w;
        height = h;
        rgb.assign(size_t(w) * size_t(h) * 3, 0);
    }
    uint8_t* At(int x, int y) { return &rgb[(size_t(y) * size_t(width) + size_t(x)) * 3]; }
    const uint8_t* At(int x, int y) const { return &rgb[(size_t(y) * size_t(width) + size_t(x)) * 3]; }
};

// Facade cell layout: the image is a grid of kFacadeBays x kFacadeStoreys
// cells, each holding one window. A slab band straddles every cell boundary
// (kSlabHalf rows on each side), so v = 0 and the image's outer rows are band:
// meshes that map one constant coordinate onto the band (roofs, or meshes
// without coordinates, which sample (0, 0)) come out a plain surface.
// The demo shows a cell over 8 to 20 pixels, point sampled without mipmaps,
// so nothing in a cell is smaller than kFeature texels and neighbouring areas
// differ in tone by little: small or sharp detail would only crawl.
constexpr int kFacadeBays = 8;
constexpr int kFacadeStoreys = 8;
constexpr int kFacadeSize = 256;
constexpr int kSlabHalf = 8;
constexpr int kFeature = 8;

Image MakeFacade();
Image MakePaving();

}  // namespace make_texture
