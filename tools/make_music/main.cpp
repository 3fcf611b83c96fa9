// sombrella-make-music: writes the demo's music module "zel.xm", composed
// and synthesised entirely by this program.
#include <cstdio>

#include "compose.h"
#include "xm_writer.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output.xm>\n", argv[0]);
        return 2;
    }
    const std::vector<uint8_t> bytes = makemusic::WriteXm(makemusic::ComposeZel());
    if (bytes.empty()) {
        std::fprintf(stderr, "sombrella-make-music: module description is not writable\n");
        return 1;
    }
    std::FILE* f = std::fopen(argv[1], "wb");
    if (!f) {
        std::perror(argv[1]);
        return 1;
    }
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (std::fclose(f) != 0 || !ok) {
        std::fprintf(stderr, "sombrella-make-music: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
