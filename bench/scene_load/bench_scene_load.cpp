// sombrella-bench-scene-load: loads X files holding N sibling frames under one
// frame (10k, 100k, 1M) through the scene loader, and beside it walks the
// same files through the X-file services alone (the peer: parsing and
// enumerating every object without building a tree). The ratio shows what the
// tree costs on top of the parse; a loader that walks the sibling chain to
// append would make it grow with N.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "dxfile.h"
#include "rmxftmpl.h"
#include "scene/scene_file.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

std::string WriteSiblings(const std::filesystem::path& dir, long n) {
    const std::string path = (dir / ("siblings_" + std::to_string(n) + ".x")).string();
    std::ofstream out(path);
    out << "xof 0302txt 0032\nFrame top {\n";
    for (long i = 0; i < n; ++i) out << "Frame f" << i << " {}\n";
    out << "}\n";
    return path;
}

long WalkAll(IDirectXFileData* d) {
    long count = 1;
    IDirectXFileObject* child;
    while (SUCCEEDED(d->GetNextObject(&child))) {
        IDirectXFileData* cd;
        if (SUCCEEDED(child->QueryInterface(IID_IDirectXFileData, reinterpret_cast<void**>(&cd)))) {
            count += WalkAll(cd);
            cd->Release();
        }
        child->Release();
    }
    return count;
}

long ParseOnly(const std::string& path) {
    IDirectXFile* file = nullptr;
    if (FAILED(DirectXFileCreate(&file))) return -1;
    file->RegisterTemplates(D3DRM_XTEMPLATES, D3DRM_XTEMPLATE_BYTES);
    IDirectXFileEnumObject* en = nullptr;
    long count = -1;
    if (SUCCEEDED(file->CreateEnumObject(const_cast<char*>(path.c_str()), DXFILELOAD_FROMFILE, &en))) {
        count = 0;
        IDirectXFileData* d;
        while (SUCCEEDED(en->GetNextDataObject(&d))) {
            count += WalkAll(d);
            d->Release();
        }
        en->Release();
    }
    file->Release();
    return count;
}

long CountChildren(const SceneNode* n) {
    long c = 0;
    for (const SceneNode* s = n ? n->firstChild : nullptr; s; s = s->nextSibling) ++c;
    return c;
}

}  // namespace

int main(int argc, char** argv) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                      ("sombrella_bench_scene_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    // Arguments: the largest N (default 1000000); "parse" runs the peer alone
    // (to read its peak memory on its own).
    const long largest = argc > 1 ? std::atol(argv[1]) : 1000000;
    const bool parseOnly = argc > 2 && std::string(argv[2]) == "parse";
    for (long n = parseOnly ? largest : 10000; n <= largest; n *= 10) {
        const std::string path = WriteSiblings(dir, n);
        const double mb = static_cast<double>(std::filesystem::file_size(path)) / (1024.0 * 1024.0);

        auto t0 = Clock::now();
        const long objects = ParseOnly(path);
        const double parse = Seconds(t0);

        if (parseOnly) {
            std::printf("siblings %ld (%.1f MB, %ld objects)\nxfile services parse+walk: %.3f s\n", n, mb, objects,
                        parse);
            continue;
        }
        t0 = Clock::now();
        SceneFile scene;
        const HRESULT hr = scene.Load(path.c_str());
        const double load = Seconds(t0);
        const long siblings = SUCCEEDED(hr) ? CountChildren(scene.root ? scene.root->firstChild : nullptr) : -1;

        std::printf("siblings %ld (%.1f MB, %ld objects, %ld loaded)\n", n, mb, objects, siblings);
        std::printf("xfile services parse+walk: %.3f s\n", parse);
        std::printf("scene loader: %.3f s\n", load);
        std::printf("scene loader per MB: %.3f s\n", load / mb);
        std::printf("ratio: %.2f\n", parse > 0 ? load / parse : 0.0);
    }
    std::filesystem::remove_all(dir);
    return 0;
}
