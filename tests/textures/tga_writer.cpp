#include "tga_writer.h"

#include <cstdio>

namespace tga_test {

Writer::Writer(const Header& h) : pixelBytes_(h.bitsPerPixel == 32 ? 4 : 3) {
    bytes = {h.idLength,
             h.colourMapType,
             h.imageType,
             0, 0, 0, 0, 0,  // colour map
             0, 0, 0, 0,     // origin
             uint8_t(h.width & 0xFF), uint8_t(h.width >> 8), uint8_t(h.height & 0xFF), uint8_t(h.height >> 8),
             h.bitsPerPixel,
             h.descriptor};
}

Writer& Writer::Id(const std::vector<uint8_t>& id) {
    bytes.insert(bytes.end(), id.begin(), id.end());
    return *this;
}

Writer& Writer::Pixel(uint32_t rgba) {
    bytes.push_back(uint8_t(rgba >> 8));
    bytes.push_back(uint8_t(rgba >> 16));
    bytes.push_back(uint8_t(rgba >> 24));
    if (pixelBytes_ == 4) bytes.push_back(uint8_t(rgba));
    return *this;
}

Writer& Writer::Byte(uint8_t b) {
    bytes.push_back(b);
    return *this;
}

Writer& Writer::Run(uint8_t count, uint32_t rgba) { return Byte(uint8_t(0x80 | (count - 1))).Pixel(rgba); }

Writer& Writer::Raw(const std::vector<uint32_t>& rgba) {
    Byte(uint8_t(rgba.size() - 1));
    for (uint32_t p : rgba) Pixel(p);
    return *this;
}

std::vector<uint8_t> Encode(const Header& hIn, const std::vector<uint32_t>& topDown, const std::vector<uint8_t>& id) {
    Header h = hIn;
    h.idLength = uint8_t(id.size());
    Writer w(h);
    w.Id(id);
    const bool top = h.descriptor & 0x20;
    for (int fy = 0; fy < h.height; ++fy) {
        const int y = top ? fy : h.height - 1 - fy;
        const uint32_t* row = topDown.data() + size_t(y) * h.width;
        if (h.imageType == 2) {
            for (int x = 0; x < h.width; ++x) w.Pixel(row[x]);
            continue;
        }
        int x = 0;
        while (x < h.width) {
            int run = 1;
            while (x + run < h.width && run < 128 && row[x + run] == row[x]) ++run;
            if (run >= 2) {
                w.Run(uint8_t(run), row[x]);
                x += run;
                continue;
            }
            std::vector<uint32_t> raw;
            while (x < h.width && raw.size() < 128 && !(x + 1 < h.width && row[x + 1] == row[x]))
                raw.push_back(row[x++]);
            if (raw.empty()) raw.push_back(row[x++]);
            w.Raw(raw);
        }
    }
    return w.bytes;
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return;
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

}  // namespace tga_test
