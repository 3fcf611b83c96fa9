// The process-wide registry of textures known by name. Entries are loaded
// once, at registration, from a bitmap resource, a ".bmp" or a ".tga" file.
#pragma once

#include <cstdint>

#include "ddraw.h"
#include "util/types.h"

struct TextureEntry {
    TextureEntry* next;
    char name[kNameLength];
    DWORD width;
    DWORD height;
    DWORD stage;
    DWORD bitsPerPixel;
    DWORD flags;
    LPDIRECTDRAWSURFACE7 surface;  // counted reference, or null
    HBITMAP bitmap;                // image loaded as a bitmap, or null
    uint32_t* pixels;              // width * height words 0xRRGGBBAA, row 0 on top, or null
};

// Most recently registered first.
extern TextureEntry* textureList;
// Placed in front of a name for the first file candidate; empty by default.
extern char texturePathPrefix[512];

// 0 when registered or already registered (names compare ignoring case);
// E_INVALIDARG for no name or one longer than 79 characters; E_OUTOFMEMORY;
// E_FAIL when the image can't be loaded (no entry is left behind).
HRESULT RegisterTexture(const char* name, DWORD stage, DWORD flags);
TextureEntry* LookupTexture(const char* name);
// Always 0.
HRESULT RemoveTexture(const char* name);
// The entry's surface without a reference added, or null.
LPDIRECTDRAWSURFACE7 SurfaceOfTexture(const char* name);

// Registry internals, visible for tests.
HRESULT LoadTextureImage(TextureEntry* entry);
HRESULT ReadBmpTexture(TextureEntry* entry, const char* path);
// Releases what the entry holds and unlinks it; the caller frees the entry.
void DestroyTextureEntry(TextureEntry* entry);
// The process-exit handler: destroys the entry at the head of the list.
void ReleaseTextureListHead();
