// Fuzzes the scene loader on top of the X-file services: load, scale, walk
// and draw into a device that checks every indexed draw stays inside its
// vertex and index arrays. The first input byte picks text or binary and the
// float size; the rest is the file body after its 16-byte header.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <strings.h>

#include "scene/scene_file.h"
#include "textures/texture_registry.h"
#include "util/media_path.h"

// --- the registry and media lookup, reduced to what the loader relies on ----
namespace {
struct NoCase {
    bool operator()(const std::string& a, const std::string& b) const { return strcasecmp(a.c_str(), b.c_str()) < 0; }
};
std::set<std::string, NoCase> g_names;
}  // namespace

TextureEntry* textureList = nullptr;
HRESULT RegisterTexture(const char* name, DWORD, DWORD) {
    if (name == nullptr) return E_INVALIDARG;
    g_names.insert(name);
    return S_OK;
}
TextureEntry* LookupTexture(const char*) { return nullptr; }
HRESULT RemoveTexture(const char* name) {
    if (name != nullptr) g_names.erase(name);
    return S_OK;
}
LPDIRECTDRAWSURFACE7 SurfaceOfTexture(const char*) { return nullptr; }
const char* LookUpMediaDirectory() { return ""; }

namespace {

// Checks draws; everything else succeeds and does nothing.
class CheckingDevice final : public IDirect3DDevice7 {
public:
    HRESULT QueryInterface(REFIID, LPVOID*) override { return E_NOINTERFACE; }
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 1; }
    HRESULT GetCaps(LPD3DDEVICEDESC7) override { return S_OK; }
    HRESULT EnumTextureFormats(LPD3DENUMPIXELFORMATSCALLBACK, LPVOID) override { return S_OK; }
    HRESULT BeginScene() override { return S_OK; }
    HRESULT EndScene() override { return S_OK; }
    HRESULT GetDirect3D(LPDIRECT3D7*) override { return E_FAIL; }
    HRESULT GetRenderTarget(LPDIRECTDRAWSURFACE7*) override { return E_FAIL; }
    HRESULT Clear(DWORD, LPD3DRECT, DWORD, D3DCOLOR, D3DVALUE, DWORD) override { return S_OK; }
    HRESULT SetTransform(D3DTRANSFORMSTATETYPE, LPD3DMATRIX m) override {
        world = *m;
        return S_OK;
    }
    HRESULT GetTransform(D3DTRANSFORMSTATETYPE, LPD3DMATRIX m) override {
        *m = world;
        return S_OK;
    }
    HRESULT SetViewport(LPD3DVIEWPORT7) override { return S_OK; }
    HRESULT GetViewport(LPD3DVIEWPORT7) override { return S_OK; }
    HRESULT SetMaterial(LPD3DMATERIAL7) override { return S_OK; }
    HRESULT GetMaterial(LPD3DMATERIAL7 m) override {
        std::memset(m, 0, sizeof *m);
        return S_OK;
    }
    HRESULT SetLight(DWORD, LPD3DLIGHT7) override { return S_OK; }
    HRESULT GetLight(DWORD, LPD3DLIGHT7) override { return S_OK; }
    HRESULT SetRenderState(D3DRENDERSTATETYPE, DWORD) override { return S_OK; }
    HRESULT GetRenderState(D3DRENDERSTATETYPE, LPDWORD v) override {
        *v = 0;
        return S_OK;
    }
    HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE, DWORD, LPVOID vertices, DWORD vertexCount, LPWORD indices,
                                 DWORD indexCount, DWORD) override {
        const auto* v = static_cast<const volatile uint8_t*>(vertices);
        for (DWORD i = 0; i < indexCount; ++i) {
            if (indices[i] >= vertexCount) std::abort();
            (void)v[static_cast<size_t>(indices[i]) * 32 + 31];
        }
        return S_OK;
    }
    HRESULT GetTexture(DWORD, LPDIRECTDRAWSURFACE7* t) override {
        *t = nullptr;
        return S_OK;
    }
    HRESULT SetTexture(DWORD, LPDIRECTDRAWSURFACE7) override { return S_OK; }
    HRESULT GetTextureStageState(DWORD, D3DTEXTURESTAGESTATETYPE, LPDWORD) override { return S_OK; }
    HRESULT SetTextureStageState(DWORD, D3DTEXTURESTAGESTATETYPE, DWORD) override { return S_OK; }
    HRESULT LightEnable(DWORD, BOOL) override { return S_OK; }
    HRESULT GetLightEnable(DWORD, BOOL*) override { return S_OK; }
    D3DMATRIX world{};
};

int32_t Touch(SceneNode* node, Matrix4&, void*) {
    // Runs must fit in the index array and point at real vertices.
    uint64_t sum = 0;
    for (const MeshMaterialSlot& s : node->slots) sum += s.indexCount;
    if (sum > node->indexCount) std::abort();
    for (uint64_t i = 0; i < sum; ++i)
        if (node->indices[i] >= node->vertexCount) std::abort();
    return 0;
}

}  // namespace

namespace {
// The loader reads files only; a memory-backed folder keeps that cheap.
const std::string& InputPath() {
    static const std::string path = std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") +
                                    "/sombrella-fuzz-scene-" + std::to_string(getpid()) + ".x";
    return path;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* in, size_t size) {
    if (size < 1) return 0;
    const std::string& path = InputPath();
    char header[17];
    std::snprintf(header, sizeof header, "xof 0302%s%s", in[0] & 1 ? "bin " : "txt ", in[0] & 2 ? "0064" : "0032");
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return 0;
    std::fwrite(header, 1, 16, f);
    std::fwrite(in + 1, 1, size - 1, f);
    std::fclose(f);

    SceneFile scene;
    HRESULT hr = scene.Load(path.c_str());
    // libFuzzer ends without running exit handlers: nothing may be left behind.
    std::remove(path.c_str());
    if (SUCCEEDED(hr)) {
        scene.Scale(-0.5f);
        scene.Enumerate(Touch, nullptr, nullptr);
        CheckingDevice device;
        scene.Render(&device);
    }
    return 0;
}
