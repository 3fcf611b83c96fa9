#include "textures/texture_registry.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "textures/tga_reader.h"
#include "util/media_path.h"

TextureEntry* textureList = nullptr;
char texturePathPrefix[512] = "";

namespace {

// A candidate path: 255 characters and a terminator.
constexpr size_t kPathBytes = 256;

// Installed during static initialisation, before the program's entry point.
const int exitHandlerInstalled = std::atexit(ReleaseTextureListHead);

bool FileOpens(const char* path) {
    std::FILE* f = std::fopen(path, "rb");
    if (f == nullptr) return false;
    std::fclose(f);
    return true;
}

// Joins directory and name into path; false when it would not fit, in which
// case the candidate is not tried.
bool JoinPath(char (&path)[kPathBytes], const char* directory, const char* name) {
    const size_t d = std::strlen(directory);
    const size_t n = std::strlen(name);
    if (d + n + 1 > kPathBytes) return false;
    std::memcpy(path, directory, d);
    std::memcpy(path + d, name, n + 1);
    return true;
}

}  // namespace

TextureEntry* LookupTexture(const char* name) {
    if (name == nullptr) return nullptr;
    for (TextureEntry* e = textureList; e != nullptr; e = e->next)
        if (lstrcmpiA(e->name, name) == 0) return e;
    return nullptr;
}

HRESULT ReadBmpTexture(TextureEntry* entry, const char* path) {
    entry->bitmap = static_cast<HBITMAP>(LoadImageA(nullptr, path, IMAGE_BITMAP, 0, 0,
                                                    LR_LOADFROMFILE | LR_CREATEDIBSECTION));
    return entry->bitmap != nullptr ? S_OK : DDERR_NOTFOUND;
}

HRESULT LoadTextureImage(TextureEntry* entry) {
    entry->bitmap = static_cast<HBITMAP>(
        LoadImageA(GetModuleHandleA(nullptr), entry->name, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (entry->bitmap != nullptr) return S_OK;

    char path[kPathBytes];
    bool found = JoinPath(path, texturePathPrefix, entry->name) && FileOpens(path);
    if (!found) found = JoinPath(path, LookUpMediaDirectory(), entry->name) && FileOpens(path);
    if (!found) return DDERR_NOTFOUND;

    const char* extension = std::strrchr(entry->name, '.');
    if (extension == nullptr) return E_NOTIMPL;
    if (lstrcmpiA(extension, ".bmp") == 0) return ReadBmpTexture(entry, path);
    if (lstrcmpiA(extension, ".tga") == 0) return ReadTgaTexture(entry, path);
    return E_NOTIMPL;
}

void DestroyTextureEntry(TextureEntry* entry) {
    if (entry->surface != nullptr) {
        entry->surface->Release();
        entry->surface = nullptr;
    }
    if (entry->pixels != nullptr) {
        delete[] entry->pixels;
        entry->pixels = nullptr;
    }
    if (entry->bitmap != nullptr) {
        DeleteObject(entry->bitmap);
        entry->bitmap = nullptr;
    }
    if (textureList == entry) {
        textureList = entry->next;
    } else {
        for (TextureEntry* e = textureList; e != nullptr; e = e->next)
            if (e->next == entry) {
                e->next = entry->next;
                break;
            }
    }
    entry->next = nullptr;
}

HRESULT RegisterTexture(const char* name, DWORD stage, DWORD flags) {
    if (name == nullptr) return E_INVALIDARG;
    // A longer name would be cut in the entry and then never match itself.
    if (std::strlen(name) > kNameLength - 1) return E_INVALIDARG;
    if (LookupTexture(name) != nullptr) return S_OK;

    TextureEntry* entry = new (std::nothrow) TextureEntry{};
    if (entry == nullptr) return E_OUTOFMEMORY;
    std::strcpy(entry->name, name);
    entry->stage = stage;
    entry->flags = flags;
    entry->next = textureList;
    textureList = entry;

    if (FAILED(LoadTextureImage(entry))) {
        DestroyTextureEntry(entry);
        delete entry;
        return E_FAIL;
    }
    if (entry->bitmap != nullptr) {
        BITMAP bm{};
        GetObjectA(entry->bitmap, sizeof bm, &bm);
        entry->width = static_cast<DWORD>(bm.bmWidth);
        entry->height = static_cast<DWORD>(bm.bmHeight);
        entry->bitsPerPixel = bm.bmBitsPixel;
    }
    return S_OK;
}

HRESULT RemoveTexture(const char* name) {
    if (TextureEntry* entry = LookupTexture(name)) {
        DestroyTextureEntry(entry);
        delete entry;
    }
    return S_OK;
}

LPDIRECTDRAWSURFACE7 SurfaceOfTexture(const char* name) {
    TextureEntry* entry = LookupTexture(name);
    return entry != nullptr ? entry->surface : nullptr;
}

void ReleaseTextureListHead() {
    (void)exitHandlerInstalled;
    if (TextureEntry* head = textureList) {
        DestroyTextureEntry(head);
        delete head;
    }
}
