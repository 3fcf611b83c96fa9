// Writes 8-bit RGB or RGBA pictures as PNG files (frame capture, tools, tests).
#pragma once

#include <cstdint>
#include <string>

namespace sombrella::png {

// rows are tightly packed: width * channels bytes each; channels 3 or 4.
bool Write(const std::string& path, int width, int height, int channels, const uint8_t* pixels);

}  // namespace sombrella::png
