// sombrella-make-scene [--text | --binary | --compressed] OUT.x: writes the
// demo's scene in text (the default), binary or compressed binary X format.
#include <cstdio>
#include <cstring>
#include <string>

#include "city.h"
#include "x_model.h"

namespace {

bool Save(const char* path, const void* data, size_t size) {
    std::FILE* f = std::fopen(path, "wb");
    if (f == nullptr) return false;
    bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    const char* mode = "--text";
    const char* path = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--text") == 0 || std::strcmp(argv[i], "--binary") == 0 ||
            std::strcmp(argv[i], "--compressed") == 0)
            mode = argv[i];
        else if (path == nullptr && argv[i][0] != '-')
            path = argv[i];
        else
            path = "";
    }
    if (path == nullptr || *path == 0) {
        std::fprintf(stderr, "usage: sombrella-make-scene [--text | --binary | --compressed] OUT.x\n");
        return 2;
    }
    make_scene::XScene scene = make_scene::BuildCity();
    bool ok;
    if (std::strcmp(mode, "--text") == 0) {
        std::string text = make_scene::WriteText(scene);
        ok = Save(path, text.data(), text.size());
    } else {
        std::vector<uint8_t> bytes = std::strcmp(mode, "--binary") == 0 ? make_scene::WriteBinary(scene)
                                                                         : make_scene::WriteCompressed(scene);
        ok = !bytes.empty() && Save(path, bytes.data(), bytes.size());
    }
    if (!ok) {
        std::fprintf(stderr, "sombrella-make-scene: cannot write %s\n", path);
        return 1;
    }
    return 0;
}
