#include "d3d/raster/validate.h"

namespace sombrella::d3d::raster {

DWORD VertexStride(DWORD fvf) {
    constexpr DWORD kKnown = D3DFVF_POSITION_MASK | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_SPECULAR |
                             D3DFVF_TEXCOUNT_MASK;
    if (fvf & ~kKnown) return 0;
    DWORD stride = 0;
    DWORD position = fvf & D3DFVF_POSITION_MASK;
    if (position == D3DFVF_XYZ) {
        stride = 12;
        if (fvf & D3DFVF_NORMAL) stride += 12;
    } else if (position == D3DFVF_XYZRHW) {
        if (fvf & D3DFVF_NORMAL) return 0;  // pre-lit, pre-transformed vertices carry no normal
        stride = 16;
    } else {
        return 0;
    }
    if (fvf & D3DFVF_DIFFUSE) stride += 4;
    if (fvf & D3DFVF_SPECULAR) stride += 4;
    DWORD texCount = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
    if (texCount > 1) return 0;
    stride += texCount * 8;
    return stride;
}

HRESULT ValidateDraw(D3DPRIMITIVETYPE type, DWORD fvf, const void* vertices, DWORD vertexCount, const WORD* indices,
                     DWORD indexCount) {
    switch (type) {
    case D3DPT_TRIANGLELIST:
        if (indexCount % 3 != 0) return DDERR_INVALIDPARAMS;
        break;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN:
        if (indexCount != 0 && indexCount < 3) return DDERR_INVALIDPARAMS;
        break;
    default: return D3DERR_INVALIDPRIMITIVETYPE;
    }
    if (VertexStride(fvf) == 0) return D3DERR_INVALIDVERTEXTYPE;
    if (vertexCount == 0 || indexCount == 0) return D3D_OK;  // nothing to draw, which is no error
    if (!vertices || !indices) return DDERR_INVALIDPARAMS;
    if (vertexCount > 65536) return DDERR_INVALIDPARAMS;
    for (DWORD i = 0; i < indexCount; ++i)
        if (indices[i] >= vertexCount) return DDERR_INVALIDPARAMS;
    return D3D_OK;
}

}  // namespace sombrella::d3d::raster
