// Builds TGA files for the tests, with full control over packets.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tga_test {

struct Header {
    uint8_t idLength = 0;
    uint8_t colourMapType = 0;
    uint8_t imageType = 2;
    uint16_t width = 0;
    uint16_t height = 0;
    uint8_t bitsPerPixel = 24;
    uint8_t descriptor = 0;
};

class Writer {
public:
    explicit Writer(const Header& h);
    Writer& Id(const std::vector<uint8_t>& id);
    // One pixel value as the file stores it (blue, green, red[, alpha]).
    Writer& Pixel(uint32_t rgba);
    Writer& Byte(uint8_t b);
    Writer& Run(uint8_t count, uint32_t rgba);               // count 1..128
    Writer& Raw(const std::vector<uint32_t>& rgba);          // 1..128 values
    std::vector<uint8_t> bytes;

private:
    int pixelBytes_;
};

// Rows of 0xRRGGBBAA words, row 0 on top, encoded as the header says
// (image type 2 or 10, row order by descriptor bit 0x20). RLE packets
// never cross a row.
std::vector<uint8_t> Encode(const Header& h, const std::vector<uint32_t>& topDown,
                            const std::vector<uint8_t>& id = {});
void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace tga_test
