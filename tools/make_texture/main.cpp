// sombrella-make-texture BUILDING.bmp [PLAZA.tga]: writes the demo's facade
// texture and, when asked, the paving texture that the scene's square names.
#include <cstdio>

#include "image_files.h"
#include "patterns.h"

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: sombrella-make-texture BUILDING.bmp [PLAZA.tga]\n");
        return 2;
    }
    if (!make_texture::WriteBmp24(argv[1], make_texture::MakeFacade())) {
        std::fprintf(stderr, "sombrella-make-texture: cannot write %s\n", argv[1]);
        return 1;
    }
    if (argc == 3 && !make_texture::WriteTga24(argv[2], make_texture::MakePaving())) {
        std::fprintf(stderr, "sombrella-make-texture: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
