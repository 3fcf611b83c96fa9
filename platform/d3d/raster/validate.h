// Checks of a draw call's arguments, done before anything is read.
#pragma once

#include <d3d.h>

namespace sombrella::d3d::raster {

// Bytes per vertex of a supported vertex format, or 0 when unsupported.
// Supported: XYZ or XYZRHW, optional NORMAL (XYZ only), DIFFUSE, SPECULAR,
// and zero or one 2D texture coordinate set.
DWORD VertexStride(DWORD fvf);

// D3D_OK when the draw may go ahead: known primitive type, supported format,
// arrays present, index count fitting the type, every index below the
// vertex count. Only triangle lists, strips and fans are drawn.
HRESULT ValidateDraw(D3DPRIMITIVETYPE type, DWORD fvf, const void* vertices, DWORD vertexCount, const WORD* indices,
                     DWORD indexCount);

}  // namespace sombrella::d3d::raster
