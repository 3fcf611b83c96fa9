// The per-frame work around the rasterizer at large sizes, each beside a
// peer in the same run: the supersampling filter down (ours against
// swscale's area filter, the same box average) and the recorder's colour
// conversion (ours against swscale's RGB565 to YUV 4:2:0).
#include "bench_parts.h"

extern "C" {
#include <libswscale/swscale.h>
}

#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "ddraw/render_size.h"
#include "ddraw/surface.h"
#include "record/convert.h"

namespace bench {
namespace {

double NowMs() {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The fastest of a few runs: the machine is shared, the fastest is the least disturbed.
template <typename F>
double Best(int runs, F&& f) {
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        const double t = NowMs();
        f();
        best = std::min(best, NowMs() - t);
    }
    return best;
}

void Fill(uint8_t* p, size_t n) {
    uint32_t x = 12345;
    for (size_t i = 0; i < n; ++i) x = x * 1103515245u + 12345u, p[i] = static_cast<uint8_t>(x >> 16);
}

void Downsample(int k) {
    using sombrella::ddraw::Surface;
    const DWORD w = 1920, h = 1440;
    auto* small = new Surface(nullptr, w, h, sombrella::ddraw::FormatRGB565(), DDSCAPS_SYSTEMMEMORY, 0);
    auto* big = new Surface(nullptr, w * k, h * k, sombrella::ddraw::FormatRGB565(), DDSCAPS_SYSTEMMEMORY, 0);
    Fill(big->Bits(), static_cast<size_t>(big->Pitch()) * big->Height());
    const double ours = Best(10, [&] { sombrella::ddraw::Downsample(*big, *small); });
    SwsContext* sws = sws_getContext(w * k, h * k, AV_PIX_FMT_RGB565LE, w, h, AV_PIX_FMT_RGB565LE, SWS_AREA, nullptr,
                                     nullptr, nullptr);
    const uint8_t* src[1] = {big->Bits()};
    const int srcStride[1] = {static_cast<int>(big->Pitch())};
    uint8_t* dst[1] = {small->Bits()};
    const int dstStride[1] = {static_cast<int>(small->Pitch())};
    const double peer = Best(10, [&] { sws_scale(sws, src, srcStride, 0, static_cast<int>(h * k), dst, dstStride); });
    sws_freeContext(sws);
    std::printf("downsample_%dx_to_1920x1440: %.2f ms\n", k, ours);
    std::printf("downsample_%dx_swscale_area: %.2f ms\n", k, peer);
    std::printf("ratio: %.2f\n", peer / ours);
    // What a large flip chain without supersampling no longer does per frame.
    std::vector<uint8_t> copy(static_cast<size_t>(small->Pitch()) * h);
    std::printf("flip_copy_1920x1440_saved: %.2f ms\n",
                Best(10, [&] { std::memcpy(copy.data(), small->Bits(), copy.size()); }));
    small->Release();
    big->Release();
}

void Convert(int w, int h) {
    std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 2), y(static_cast<size_t>(w) * h),
        u(static_cast<size_t>(w / 2) * (h / 2)), v(u.size());
    Fill(rgb.data(), rgb.size());
    const sombrella::record::Picture pic{rgb.data(), w, h, w * 2, 16, 0x07E0};
    const double ours = Best(10, [&] { sombrella::record::ToYuv420(pic, y.data(), w, u.data(), w / 2, v.data(), w / 2); });
    SwsContext* sws =
        sws_getContext(w, h, AV_PIX_FMT_RGB565LE, w, h, AV_PIX_FMT_YUV420P, SWS_BICUBIC, nullptr, nullptr, nullptr);
    const uint8_t* src[1] = {rgb.data()};
    const int srcStride[1] = {w * 2};
    uint8_t* dst[3] = {y.data(), u.data(), v.data()};
    const int dstStride[3] = {w, w / 2, w / 2};
    const double peer = Best(10, [&] { sws_scale(sws, src, srcStride, 0, h, dst, dstStride); });
    sws_freeContext(sws);
    std::printf("record_convert_%dx%d: %.2f ms\n", w, h, ours);
    std::printf("record_convert_%dx%d_swscale: %.2f ms\n", w, h, peer);
    std::printf("ratio: %.2f\n", peer / ours);
}

}  // namespace

void BenchParts() {
    Downsample(2);
    Downsample(3);
    Convert(640, 480);
    Convert(1920, 1440);
}

}  // namespace bench
