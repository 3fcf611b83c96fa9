#include "image_files.h"

#include <cstdio>
#include <vector>

namespace make_texture {
namespace {

void Put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

bool Save(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

// Rows bottom-up, pixels in blue, green, red order, each row padded to 4 bytes.
void AppendBgrRowsBottomUp(std::vector<uint8_t>& out, const Image& img, size_t pad) {
    for (int y = img.height - 1; y >= 0; --y) {
        for (int x = 0; x < img.width; ++x) {
            const uint8_t* p = img.At(x, y);
            out.push_back(p[2]);
            out.push_back(p[1]);
            out.push_back(p[0]);
        }
        out.insert(out.end(), pad, 0);
    }
}

}  // namespace

bool WriteBmp24(const std::string& path, const Image& img) {
    size_t rowBytes = size_t(img.width) * 3;
    size_t pad = (4 - rowBytes % 4) % 4;
    uint32_t imageSize = uint32_t((rowBytes + pad) * size_t(img.height));
    std::vector<uint8_t> out;
    out.push_back('B');
    out.push_back('M');
    Put32(out, 14 + 40 + imageSize);
    Put32(out, 0);
    Put32(out, 14 + 40);
    Put32(out, 40);  // BITMAPINFOHEADER
    Put32(out, uint32_t(img.width));
    Put32(out, uint32_t(img.height));  // positive: bottom-up
    Put16(out, 1);
    Put16(out, 24);
    Put32(out, 0);  // BI_RGB
    Put32(out, imageSize);
    Put32(out, 2835);  // 72 dpi
    Put32(out, 2835);
    Put32(out, 0);
    Put32(out, 0);
    AppendBgrRowsBottomUp(out, img, pad);
    return Save(path, out);
}

bool WriteTga24(const std::string& path, const Image& img) {
    std::vector<uint8_t> out(18, 0);
    out[2] = 2;  // uncompressed true colour
    out[12] = uint8_t(img.width);
    out[13] = uint8_t(img.width >> 8);
    out[14] = uint8_t(img.height);
    out[15] = uint8_t(img.height >> 8);
    out[16] = 24;
    out[17] = 0;  // bottom-left origin
    AppendBgrRowsBottomUp(out, img, 0);
    return Save(path, out);
}

}  // namespace make_texture
