// sombrella-make-music: writes the demo's music module "zel.xm", composed
// and synthesised entirely by this program.
#include <cstdio>
#include <cstring>
#include <utility>

#include "compose.h"
#include "xm_writer.h"

int main(int argc, char** argv) {
    // --seed writes the cut-down module that seeds the loader's fuzzer.
    const bool seed = argc == 3 && std::strcmp(argv[1], "--seed") == 0;
    if (argc != 2 && !seed) {
        std::fprintf(stderr, "usage: %s [--seed] <output.xm>\n", argv[0]);
        return 2;
    }
    const char* path = argv[argc - 1];
    makemusic::Module module = makemusic::ComposeZel();
    if (seed) module = makemusic::ShrinkForSeed(std::move(module));
    const std::vector<uint8_t> bytes = makemusic::WriteXm(module);
    if (bytes.empty()) {
        std::fprintf(stderr, "sombrella-make-music: module description is not writable\n");
        return 1;
    }
    std::FILE* f = std::fopen(path, "wb");
    if (!f) {
        std::perror(path);
        return 1;
    }
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (std::fclose(f) != 0 || !ok) {
        std::fprintf(stderr, "sombrella-make-music: cannot write %s\n", path);
        return 1;
    }
    return 0;
}
