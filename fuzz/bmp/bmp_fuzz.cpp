// Fuzzes the BMP decoder: any input must decode or fail cleanly.
#include <cstddef>
#include <cstdint>

#include "win32/bmp_decode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    sombrella::bmp::Image image;
    // The decoder's own limits: a header that could make it allocate beyond
    // them shows up against the run's allocation limit.
    if (sombrella::bmp::Decode(data, size, image) == sombrella::bmp::Status::kOk) {
        // Touch every pixel so a short allocation would show.
        uint32_t sum = 0;
        for (size_t i = 0; i < size_t{image.width} * image.height; ++i) sum ^= image.pixels[i];
        if (sum == 0x12345678u && image.width == 0) __builtin_trap();
    }
    return 0;
}
