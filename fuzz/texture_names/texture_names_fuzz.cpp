// Texture names from the input, one a line: each is registered, looked up
// and (every other one at once, the rest at the end) removed again. The
// working folder holds what a scene's names may meet: small good files, a
// header promising 65535 x 65535 pixels, FIFOs and directories under texture
// names, a sub-folder reached with a backslash. Nothing may block, crash or
// allocate without bound, and the registry must end empty.
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "textures/texture_registry.h"

namespace {

void Write(const std::string& path, const std::vector<uint8_t>& bytes) {
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
}

std::vector<uint8_t> Tga(uint16_t w, uint16_t h, size_t pixelBytes) {
    std::vector<uint8_t> t(18, 0);
    t[2] = 2;
    t[12] = w & 0xFF, t[13] = w >> 8, t[14] = h & 0xFF, t[15] = h >> 8, t[16] = 24;
    t.resize(18 + pixelBytes, 0x80);
    return t;
}

std::vector<uint8_t> Bmp2x2() {
    std::vector<uint8_t> b = {'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0,
                              1, 0, 24, 0};
    b.resize(54, 0);
    b.resize(70, 0x40);
    return b;
}

void Prepare() {
    static bool done = false;
    if (done) return;
    done = true;
    const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                      ("sombrella-fuzz-textures-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir / "sub");
    if (chdir(dir.c_str()) != 0) std::abort();
    Write("a.tga", Tga(2, 2, 12));
    Write("sub/a.tga", Tga(2, 2, 12));
    Write("b.bmp", Bmp2x2());
    Write("huge.tga", Tga(65535, 65535, 64));
    mkfifo("fifo.tga", 0600);
    mkfifo("fifo.bmp", 0600);
    std::filesystem::create_directories("dir.tga");
    std::filesystem::create_directories("dir.bmp");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Prepare();
    std::vector<std::string> names(1);
    for (size_t i = 0; i < size && names.size() <= 32; ++i) {
        if (data[i] == '\n')
            names.emplace_back();
        else
            names.back().push_back(static_cast<char>(data[i]));
    }
    for (size_t i = 0; i < names.size(); ++i) {
        const char* name = names[i].c_str();
        const HRESULT hr = RegisterTexture(name, 0, 0);
        TextureEntry* entry = LookupTexture(name);
        if (SUCCEEDED(hr) != (entry != nullptr)) std::abort();
        if (entry && entry->pixels) {
            volatile uint32_t sum = 0;
            for (size_t p = 0; p < size_t{entry->width} * entry->height; ++p) sum = sum + entry->pixels[p];
        }
        if (i % 2) RemoveTexture(name);
    }
    for (const std::string& n : names) RemoveTexture(n.c_str());
    if (textureList != nullptr) std::abort();
    return 0;
}
