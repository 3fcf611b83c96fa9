// sombrella-bench-images: decode throughput of our BMP decoder and the TGA
// reader against stb_image, on the same large files generated here.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include <stb/stb_image.h>

#include "textures/texture_registry.h"
#include "textures/tga_reader.h"
#include "win32/bmp_decode.h"

namespace {

constexpr int kSide = 2048;

void Put16(std::vector<uint8_t>& o, uint32_t v) {
    o.push_back(static_cast<uint8_t>(v));
    o.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& o, uint32_t v) {
    Put16(o, v & 0xFFFF);
    Put16(o, v >> 16);
}

// A picture with smooth areas and noisy ones, so RLE gets both packet kinds.
uint32_t Colour(int x, int y) {
    const uint32_t noise = static_cast<uint32_t>((x * 2654435761u) ^ (y * 40503u)) >> 13;
    const bool flat = ((x / 64) + (y / 64)) % 2 == 0;
    const uint32_t r = flat ? (x / 64) * 8 : (x + noise) & 0xFF;
    const uint32_t g = flat ? (y / 64) * 8 : (y ^ noise) & 0xFF;
    const uint32_t b = flat ? 0x80 : (noise * 7) & 0xFF;
    const uint32_t a = flat ? 0xFF : (noise & 0x7F) + 0x80;
    return (a << 24) | (r << 16) | (g << 8) | b;
}

std::vector<uint8_t> MakeBmp24() {
    std::vector<uint8_t> f;
    const uint32_t stride = (kSide * 3 + 3) & ~3u;
    f.push_back('B');
    f.push_back('M');
    Put32(f, 54 + stride * kSide);
    Put32(f, 0);
    Put32(f, 54);
    Put32(f, 40);
    Put32(f, kSide);
    Put32(f, kSide);
    Put16(f, 1);
    Put16(f, 24);
    for (int i = 0; i < 6; ++i) Put32(f, 0);
    for (int y = 0; y < kSide; ++y) {
        for (int x = 0; x < kSide; ++x) {
            const uint32_t c = Colour(x, y);
            f.push_back(static_cast<uint8_t>(c));
            f.push_back(static_cast<uint8_t>(c >> 8));
            f.push_back(static_cast<uint8_t>(c >> 16));
        }
        f.resize(54 + size_t{stride} * (y + 1), 0);
    }
    return f;
}

std::vector<uint8_t> MakeTgaRle32() {
    std::vector<uint8_t> f = {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    Put16(f, kSide);
    Put16(f, kSide);
    f.push_back(32);
    f.push_back(0x28);
    auto pixel = [&](uint32_t c) {
        f.push_back(static_cast<uint8_t>(c));
        f.push_back(static_cast<uint8_t>(c >> 8));
        f.push_back(static_cast<uint8_t>(c >> 16));
        f.push_back(static_cast<uint8_t>(c >> 24));
    };
    for (int y = 0; y < kSide; ++y) {
        int x = 0;
        while (x < kSide) {
            int run = 1;
            while (x + run < kSide && run < 128 && Colour(x + run, y) == Colour(x, y)) ++run;
            if (run > 1) {
                f.push_back(static_cast<uint8_t>(0x80 | (run - 1)));
                pixel(Colour(x, y));
                x += run;
                continue;
            }
            int raw = 1;
            while (x + raw < kSide && raw < 128 && Colour(x + raw, y) != Colour(x + raw - 1, y)) ++raw;
            f.push_back(static_cast<uint8_t>(raw - 1));
            for (int i = 0; i < raw; ++i) pixel(Colour(x + i, y));
            x += raw;
        }
    }
    return f;
}

// Best of several runs, in milliseconds.
double Time(const std::function<bool()>& decode, int runs) {
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        if (!decode()) return -1;
        const auto t1 = std::chrono::steady_clock::now();
        best = std::min(best, std::chrono::duration<double, std::milli>(t1 - t0).count());
    }
    return best;
}

bool StbDecode(const std::vector<uint8_t>& file) {
    int w = 0, h = 0, n = 0;
    stbi_uc* p = stbi_load_from_memory(file.data(), static_cast<int>(file.size()), &w, &h, &n, 4);
    if (!p) return false;
    stbi_image_free(p);
    return w == kSide && h == kSide;
}

void Compare(const char* name, const std::function<bool()>& ours, const std::function<bool()>& theirs, int runs) {
    const double a = Time(ours, runs);
    const double b = Time(theirs, runs);
    if (a < 0 || b < 0) {
        std::printf("%s: decode failed\n", name);
        return;
    }
    const double mpix = double(kSide) * kSide / 1e6;
    std::printf("%s_ours: %.2f ms\n", name, a);
    std::printf("%s_ours_rate: %.1f Mpixel/s\n", name, mpix / (a / 1000));
    std::printf("%s_stb_image: %.2f ms\n", name, b);
    std::printf("%s_stb_image_rate: %.1f Mpixel/s\n", name, mpix / (b / 1000));
    std::printf("ratio: %.2f\n", b / a);
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    const auto bmp = MakeBmp24();
    const auto tga = MakeTgaRle32();

    Compare("bmp24_2048", [&] {
        sombrella::bmp::Image im;
        return sombrella::bmp::Decode(bmp.data(), bmp.size(), im) == sombrella::bmp::Status::kOk;
    }, [&] { return StbDecode(bmp); }, runs);

    Compare("tga32_rle_2048", [&] {
        TextureEntry entry{};
        const bool ok = DecodeTgaTexture(&entry, tga.data(), tga.size()) == 0 && entry.width == kSide;
        delete[] entry.pixels;
        return ok;
    }, [&] { return StbDecode(tga); }, runs);
    return 0;
}
