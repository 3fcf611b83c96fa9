#include "d3d/raster/clear.h"

#include <algorithm>
#include <cstring>

#include "d3d/raster/pixel_ops.h"

namespace sombrella::d3d::raster {

void RunClear(const ClearCommand& c, int ys, int ye) {
    const Target& tg = c.target;
    if (c.color) {
        int cr = (c.colorValue >> 16) & 255, cg = (c.colorValue >> 8) & 255, cb = c.colorValue & 255;
        int ca = (int)(c.colorValue >> 24);
        int bytes = BytesOf(tg.colorFormat);
        uint8_t pixel[4];
        WriteColor(pixel, tg.colorFormat, cr, cg, cb, ca);
        for (int y = ys; y < ye; ++y) {
            uint8_t* p = tg.color + (ptrdiff_t)y * tg.colorPitch + (ptrdiff_t)c.x0 * bytes;
            if (bytes == 2) {
                uint16_t v;
                std::memcpy(&v, pixel, 2);
                std::fill_n(reinterpret_cast<uint16_t*>(p), c.x1 - c.x0, v);
            } else {
                uint32_t v;
                std::memcpy(&v, pixel, 4);
                std::fill_n(reinterpret_cast<uint32_t*>(p), c.x1 - c.x0, v);
            }
        }
    }
    if (c.depth && tg.depth) {
        uint32_t mask = tg.depthMask;
        int shift = __builtin_ctz(mask);
        uint32_t max = mask >> shift;
        uint32_t zi = (uint32_t)std::min<double>((double)c.depthValue * max + 0.5, (double)max);
        uint32_t bits = (zi << shift) & mask;
        int bytes = tg.depthBytes;
        int x1 = std::min(c.x1, tg.depthWidth);
        int y1 = std::min(ye, tg.depthHeight);
        const bool whole = bytes == 2 ? mask == 0xFFFFu : (bytes == 4 && mask == 0xFFFFFFFFu);
        for (int y = ys; y < y1; ++y) {
            uint8_t* p = tg.depth + (ptrdiff_t)y * tg.depthPitch;
            if (whole && c.x0 < x1) {
                // Nothing else shares the word: a plain fill.
                if (bytes == 2)
                    std::fill_n(reinterpret_cast<uint16_t*>(p) + c.x0, x1 - c.x0, (uint16_t)bits);
                else
                    std::fill_n(reinterpret_cast<uint32_t*>(p) + c.x0, x1 - c.x0, bits);
                continue;
            }
            for (int x = c.x0; x < x1; ++x) {
                uint8_t* q = p + (ptrdiff_t)x * bytes;
                uint32_t v = 0;
                std::memcpy(&v, q, bytes);
                v = (v & ~mask) | bits;
                std::memcpy(q, &v, bytes);
            }
        }
    }
}

}  // namespace sombrella::d3d::raster
