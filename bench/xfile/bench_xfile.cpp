// sombrella-bench-xfile: loads generated X files through our X-file services
// (walking every object and reading every data block, as the scene loader
// does) and through assimp's X importer, in the same run.
#include <assimp/Importer.hpp>
#include <assimp/scene.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "dxfile.h"
#include "dxfile/xfile_writer.h"
#include "rmxftmpl.h"
#include "scene_writer.h"

namespace {

using Clock = std::chrono::steady_clock;

// Everything the scene loader touches: names, types, data blocks, children,
// resolved references. Returns the bytes of data seen (to keep it honest).
size_t Walk(IDirectXFileData* d) {
    char name[80];
    DWORD len = sizeof name;
    d->GetName(name, &len);
    const GUID* type;
    d->GetType(&type);
    DWORD size = 0;
    void* data;
    size_t seen = SUCCEEDED(d->GetData(nullptr, &size, &data)) ? size : 0;
    IDirectXFileObject* child;
    while (SUCCEEDED(d->GetNextObject(&child))) {
        IDirectXFileData* cd;
        IDirectXFileDataReference* cr;
        if (SUCCEEDED(child->QueryInterface(IID_IDirectXFileData, reinterpret_cast<void**>(&cd)))) {
            seen += Walk(cd);
            cd->Release();
        } else if (SUCCEEDED(child->QueryInterface(IID_IDirectXFileDataReference, reinterpret_cast<void**>(&cr)))) {
            IDirectXFileData* target;
            if (SUCCEEDED(cr->Resolve(&target))) {
                seen += Walk(target);
                target->Release();
            }
            cr->Release();
        }
        child->Release();
    }
    return seen;
}

double LoadOurs(const std::string& path, size_t& seen) {
    auto t0 = Clock::now();
    IDirectXFile* xf;
    if (FAILED(DirectXFileCreate(&xf))) return -1;
    xf->RegisterTemplates(D3DRM_XTEMPLATES, D3DRM_XTEMPLATE_BYTES);
    IDirectXFileEnumObject* en;
    HRESULT hr = xf->CreateEnumObject(const_cast<char*>(path.c_str()), DXFILELOAD_FROMFILE, &en);
    if (FAILED(hr)) {
        xf->Release();
        return -1;
    }
    seen = 0;
    IDirectXFileData* d;
    while (SUCCEEDED(hr = en->GetNextDataObject(&d))) {
        seen += Walk(d);
        d->Release();
    }
    en->Release();
    xf->Release();
    double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    return hr == DXFILEERR_NOMOREOBJECTS ? ms : -1;
}

double LoadAssimp(const std::string& path, size_t& vertices) {
    auto t0 = Clock::now();
    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFile(path, 0);
    double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    if (!scene) return -1;
    vertices = 0;
    for (unsigned i = 0; i < scene->mNumMeshes; ++i) vertices += scene->mMeshes[i]->mNumVertices;
    return ms;
}

template <class F>
double Best(int runs, F f) {
    double best = -1;
    for (int i = 0; i < runs; ++i) {
        double ms = f();
        if (ms < 0) return -1;
        if (best < 0 || ms < best) best = ms;
    }
    return best;
}

bool Save(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main() {
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / ("sombrella-bench-xfile-" + std::to_string(getpid()));
    fs::create_directories(dir);
    struct Size {
        const char* tag;
        BenchMesh mesh;
        int runs;
    } sizes[] = {{"20k", {200, 100}, 5}, {"200k", {500, 400}, 3}};
    double headline = 0;
    for (const Size& s : sizes) {
        std::vector<uint8_t> text = WriteMeshText(s.mesh);
        std::vector<uint8_t> bin = WriteMeshBinary(s.mesh);
        struct Form {
            const char* name;
            std::vector<uint8_t> bytes;
        } forms[] = {{"text", text},
                     {"binary", bin},
                     {"text_compressed", dxfile::CompressXFile(text)},
                     {"binary_compressed", dxfile::CompressXFile(bin)}};
        for (const Form& f : forms) {
            std::string path = (dir / (std::string(s.tag) + "_" + f.name + ".x")).string();
            if (!Save(path, f.bytes)) {
                std::printf("error: cannot write %s\n", path.c_str());
                return 1;
            }
            std::string id = std::string(f.name) + "_" + s.tag;
            std::printf("file_%s: %.2f MB\n", id.c_str(), double(f.bytes.size()) / (1024.0 * 1024.0));
            size_t seen = 0, vertices = 0;
            double ours = Best(s.runs, [&] { return LoadOurs(path, seen); });
            double theirs = Best(s.runs, [&] { return LoadAssimp(path, vertices); });
            if (ours < 0) {
                std::printf("ours_%s: failed\n", id.c_str());
                continue;
            }
            std::printf("ours_%s: %.1f ms\n", id.c_str(), ours);
            if (theirs < 0) {
                std::printf("assimp_%s: failed\n", id.c_str());
                continue;
            }
            std::printf("assimp_%s: %.1f ms\n", id.c_str(), theirs);
            std::printf("ratio_%s: %.2f\n", id.c_str(), theirs / ours);
            if (std::string(f.name) == "text" && std::string(s.tag) == "200k") headline = theirs / ours;
        }
    }
    fs::remove_all(dir);
    // The headline figure: the 200,000-vertex text file.
    std::printf("ratio: %.2f\n", headline);
    return 0;
}
