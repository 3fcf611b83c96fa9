// Any bytes as a TGA file: the reader must fail cleanly or fill exactly
// width x height words.
#include <cstddef>
#include <cstdint>

#include "textures/texture_registry.h"
#include "textures/tga_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TextureEntry entry{};
    if (SUCCEEDED(DecodeTgaTexture(&entry, data, size)) && entry.pixels != nullptr) {
        // Touch every word: an array shorter than promised shows up here.
        volatile uint32_t sum = 0;
        const size_t count = size_t{entry.width} * entry.height;
        for (size_t i = 0; i < count; ++i) sum = sum + entry.pixels[i];
    }
    delete[] entry.pixels;
    return 0;
}
