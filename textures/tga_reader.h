// True-colour TGA images (uncompressed or run-length encoded) into a
// registry entry's pixel words.
#pragma once

#include <cstddef>
#include <cstdint>

#include "windows.h"

struct TextureEntry;

// Reads the file at path into the entry's width, height, bitsPerPixel and
// pixels. 0 on success, E_FAIL otherwise.
HRESULT ReadTgaTexture(TextureEntry* entry, const char* path);
// The same over bytes already in memory.
HRESULT DecodeTgaTexture(TextureEntry* entry, const uint8_t* data, size_t size);
