#include "ddraw/capture.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/knobs.h"
#include "common/pixel_format.h"
#include "common/png_write.h"
#include "ddraw/surface.h"

namespace sombrella::ddraw {
namespace {

void ToRgb(const Surface& s, std::vector<uint8_t>& rgb) {
    const DWORD w = s.Width(), h = s.Height();
    rgb.resize(static_cast<size_t>(w) * h * 3);
    const DDPIXELFORMAT& f = s.Format();
    for (DWORD y = 0; y < h; ++y) {
        const uint8_t* row = s.Bits() + static_cast<size_t>(y) * s.Pitch();
        uint8_t* out = rgb.data() + static_cast<size_t>(y) * w * 3;
        for (DWORD x = 0; x < w; ++x, out += 3) {
            if (f.dwRGBBitCount == 16) {
                const uint32_t p = row[2 * x] | (row[2 * x + 1] << 8);
                const uint32_t argb = f.dwGBitMask == 0x07E0 ? pixel::Rgb565ToArgb(p) : pixel::Rgb555ToArgb(p);
                out[0] = uint8_t(argb >> 16), out[1] = uint8_t(argb >> 8), out[2] = uint8_t(argb);
            } else {
                const uint8_t* p = row + x * s.BytesPerPixel();
                out[0] = p[2], out[1] = p[1], out[2] = p[0];
            }
        }
    }
}

}  // namespace

bool FrameSelected(const char* sel, uint64_t n) {
    if (!sel || std::string(sel) == "all") return true;
    const char* p = sel;
    while (*p) {
        char* end = nullptr;
        unsigned long long a = std::strtoull(p, &end, 10);
        if (end == p) return false;
        unsigned long long b = a;
        p = end;
        if (*p == '-') {
            ++p;
            b = std::strtoull(p, &end, 10);
            if (end == p) return false;
            p = end;
        }
        if (n >= a && n <= b) return true;
        if (*p == ',') ++p;
        else if (*p) return false;
    }
    return false;
}

bool CaptureFrame(const Surface& frame, uint64_t index) {
    const char* dir = knobs::String("SOMBRELLA_CAPTURE_DIR");
    if (!dir || !FrameSelected(knobs::String("SOMBRELLA_CAPTURE_FRAMES"), index)) return true;
    static std::vector<uint8_t> rgb;
    ToRgb(frame, rgb);
    char name[64];
    std::snprintf(name, sizeof(name), "/frame_%06llu.png", static_cast<unsigned long long>(index));
    if (png::Write(std::string(dir) + name, static_cast<int>(frame.Width()), static_cast<int>(frame.Height()), 3,
                   rgb.data()))
        return true;
    std::fprintf(stderr, "sombrella: cannot write frame %llu to %s\n", static_cast<unsigned long long>(index), dir);
    return false;
}

}  // namespace sombrella::ddraw
