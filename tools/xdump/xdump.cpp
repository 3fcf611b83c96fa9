// sombrella-xdump FILE.x [--json] [--vertices]: loads an X file through the
// scene loader the demo uses and prints the tree it built.
#include <cstdio>
#include <cstring>
#include <string>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "scene/scene_file.h"
#include "scene_dump.h"

int main(int argc, char** argv) {
    const char* path = nullptr;
    xdump::DumpOptions options;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--json") == 0)
            options.json = true;
        else if (std::strcmp(argv[i], "--vertices") == 0)
            options.vertices = true;
        else if (path == nullptr && argv[i][0] != '-')
            path = argv[i];
        else {
            path = nullptr;
            break;
        }
    }
    if (path == nullptr) {
        std::fprintf(stderr, "usage: sombrella-xdump FILE.x [--json] [--vertices]\n");
        return 2;
    }

#ifdef _WIN32
    // Dumps compare byte for byte with the Linux tool's: no CR before LF.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    SceneFile scene;
    HRESULT hr = scene.Load(path);
    if (FAILED(hr)) {
        std::printf("0x%08X %s\n", static_cast<unsigned>(hr), xdump::DescribeResult(hr));
        return 1;
    }
    std::string text = xdump::DumpScene(scene, options);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}
