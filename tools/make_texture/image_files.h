// Writers of the two image formats the demo reads.
#pragma once

#include <string>

#include "patterns.h"

namespace make_texture {

// 24-bit BMP with a BITMAPINFOHEADER, rows stored bottom-up.
bool WriteBmp24(const std::string& path, const Image& img);
// Uncompressed 24-bit TGA (image type 2), rows stored bottom-up.
bool WriteTga24(const std::string& path, const Image& img);

}  // namespace make_texture
