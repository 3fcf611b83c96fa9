#include "frame_similarity.h"

#include <png.h>

#include <cstring>

namespace bench {

bool ReadPng(const std::string& path, Rgb* out) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
    image.format = PNG_FORMAT_RGB;
    out->width = static_cast<int>(image.width);
    out->height = static_cast<int>(image.height);
    out->pixels.resize(PNG_IMAGE_SIZE(image));
    const bool ok = png_image_finish_read(&image, nullptr, out->pixels.data(), 0, nullptr) != 0;
    png_image_free(&image);
    return ok;
}

Rgb BoxDown(const Rgb& in, int k) {
    Rgb out;
    out.width = in.width / k;
    out.height = in.height / k;
    out.pixels.resize(static_cast<size_t>(out.width) * out.height * 3);
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x)
            for (int c = 0; c < 3; ++c) {
                int sum = 0;
                for (int sy = 0; sy < k; ++sy)
                    for (int sx = 0; sx < k; ++sx)
                        sum += in.pixels[(static_cast<size_t>(y * k + sy) * in.width + x * k + sx) * 3 + c];
                out.pixels[(static_cast<size_t>(y) * out.width + x) * 3 + c] =
                    static_cast<uint8_t>((sum + k * k / 2) / (k * k));
            }
    return out;
}

double Ssim(const Rgb& a, const Rgb& b) {
    if (a.width != b.width || a.height != b.height || a.width < 8 || a.height < 8) return 0;
    auto luma = [](const Rgb& p, int x, int y) {
        const uint8_t* q = &p.pixels[(static_cast<size_t>(y) * p.width + x) * 3];
        return 0.299 * q[0] + 0.587 * q[1] + 0.114 * q[2];
    };
    constexpr double c1 = (0.01 * 255) * (0.01 * 255), c2 = (0.03 * 255) * (0.03 * 255);
    double total = 0;
    long windows = 0;
    for (int y = 0; y + 8 <= a.height; y += 4)
        for (int x = 0; x + 8 <= a.width; x += 4) {
            double sa = 0, sb = 0, saa = 0, sbb = 0, sab = 0;
            for (int j = 0; j < 8; ++j)
                for (int i = 0; i < 8; ++i) {
                    const double va = luma(a, x + i, y + j), vb = luma(b, x + i, y + j);
                    sa += va, sb += vb, saa += va * va, sbb += vb * vb, sab += va * vb;
                }
            const double n = 64, ma = sa / n, mb = sb / n;
            const double va = saa / n - ma * ma, vb = sbb / n - mb * mb, cov = sab / n - ma * mb;
            total += ((2 * ma * mb + c1) * (2 * cov + c2)) / ((ma * ma + mb * mb + c1) * (va + vb + c2));
            ++windows;
        }
    return total / windows;
}

}  // namespace bench
