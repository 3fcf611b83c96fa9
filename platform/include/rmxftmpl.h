// The standard X-file template set (retained-mode templates), as one block in
// binary X format ready for IDirectXFile::RegisterTemplates.
#pragma once

#define D3DRM_XTEMPLATE_BYTES 3278

extern unsigned char D3DRM_XTEMPLATES[D3DRM_XTEMPLATE_BYTES];
