// A texture surface of the current device made from a bitmap found by name.
#pragma once

#include "d3d.h"

// A new texture surface holding the bitmap resource or file `name` (one
// reference, the caller's), or null.
LPDIRECTDRAWSURFACE7 LoadBitmapTexture(LPDIRECT3DDEVICE7 device, const char* name);
// A new texture surface with the bitmap copied to its top-left corner, or null.
LPDIRECTDRAWSURFACE7 MakeTextureSurface(LPDIRECT3DDEVICE7 device, HBITMAP bitmap);
// Enumeration callback: copies the first 16-bit RGB format without alpha,
// FourCC code, luminance or bump-map flags into the DDPIXELFORMAT at context.
HRESULT CALLBACK PickTextureFormat(LPDDPIXELFORMAT format, LPVOID context);
