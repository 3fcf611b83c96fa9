// Any bytes as a TGA file: the reader must fail cleanly or fill exactly
// width x height words. The bytes are decoded from memory and read back
// from a file (the block-by-block path the registry uses); both must agree.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "textures/texture_registry.h"
#include "textures/tga_reader.h"

namespace {

const std::string& InputPath() {
    static const std::string path = std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") +
                                    "/sombrella-fuzz-tga-" + std::to_string(getpid()) + ".tga";
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TextureEntry memory{};
    const HRESULT fromMemory = DecodeTgaTexture(&memory, data, size);
    if (SUCCEEDED(fromMemory) && memory.pixels != nullptr) {
        // Touch every word: an array shorter than promised shows up here.
        volatile uint32_t sum = 0;
        const size_t count = size_t{memory.width} * memory.height;
        for (size_t i = 0; i < count; ++i) sum = sum + memory.pixels[i];
    }

    const std::string& path = InputPath();
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
        TextureEntry file{};
        const HRESULT fromFile = ReadTgaTexture(&file, path.c_str());
        std::remove(path.c_str());
        if (fromFile != fromMemory || file.width != memory.width || file.height != memory.height ||
            (file.pixels == nullptr) != (memory.pixels == nullptr))
            std::abort();
        if (file.pixels &&
            std::memcmp(file.pixels, memory.pixels, size_t{file.width} * file.height * sizeof(uint32_t)) != 0)
            std::abort();
        delete[] file.pixels;
    }
    delete[] memory.pixels;
    return 0;
}
