#include "d3d/raster/pipeline.h"

#include "d3d/raster/validate.h"

namespace sombrella::d3d::raster {

struct Pipeline::Impl {};

Pipeline::Pipeline() : impl_(std::make_unique<Impl>()) {}
Pipeline::~Pipeline() = default;

HRESULT Pipeline::DrawIndexed(const DeviceState&, const Target&, D3DPRIMITIVETYPE type, DWORD fvf,
                              const void* vertices, DWORD vertexCount, const WORD* indices, DWORD indexCount) {
    return ValidateDraw(type, fvf, vertices, vertexCount, indices, indexCount);
}

HRESULT Pipeline::Clear(const DeviceState&, const Target&, DWORD, const D3DRECT*, DWORD, D3DCOLOR, D3DVALUE) {
    return D3D_OK;
}

void Pipeline::Flush() {}
int Pipeline::ThreadCount() const { return 1; }

}  // namespace sombrella::d3d::raster
