// Two-pass drawing of the scene tree: opaque meshes first, then translucent ones blended.
#include <cstdint>

#include "ddraw.h"
#include "scene/scene_file.h"
#include "textures/texture_registry.h"

HRESULT SceneFile::Render(IDirect3DDevice7* device) {
    if (root == nullptr || device == nullptr) return S_OK;

    D3DMATERIAL7 savedMaterial = {};
    LPDIRECTDRAWSURFACE7 savedTexture = nullptr;
    D3DMATRIX savedWorld = {};
    DWORD savedBlendEnable = 0, savedSrcBlend = 0, savedDestBlend = 0;
    device->GetMaterial(&savedMaterial);
    device->GetTexture(0, &savedTexture);
    device->GetTransform(D3DTRANSFORMSTATE_WORLD, &savedWorld);
    device->GetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, &savedBlendEnable);
    device->GetRenderState(D3DRENDERSTATE_SRCBLEND, &savedSrcBlend);
    device->GetRenderState(D3DRENDERSTATE_DESTBLEND, &savedDestBlend);

    root->RenderChain(device, 0);

    device->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_INVSRCALPHA);

    root->RenderChain(device, 1);

    device->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, savedBlendEnable);
    device->SetRenderState(D3DRENDERSTATE_SRCBLEND, savedSrcBlend);
    device->SetRenderState(D3DRENDERSTATE_DESTBLEND, savedDestBlend);
    device->SetTransform(D3DTRANSFORMSTATE_WORLD, &savedWorld);
    device->SetTexture(0, savedTexture);
    device->SetMaterial(&savedMaterial);
    if (savedTexture != nullptr) savedTexture->Release();
    return S_OK;
}

void SceneNode::RenderChain(IDirect3DDevice7* device, uint32_t pass) {
    for (SceneNode* node = this; node != nullptr; node = node->nextSibling) {
        if (node->isMesh) {
            // Runs lie back to back in slot order; skipped slots still move the position.
            uint64_t position = 0;
            for (uint32_t s = 0; s < node->usedSlotCount && s < kMaxSlots; ++s) {
                MeshMaterialSlot& slot = node->slots[s];
                uint32_t n = slot.indexCount;
                if (n == 0) continue;
                if (pass == static_cast<uint32_t>(node->isTranslucent) && node->indices != nullptr &&
                    position + n <= node->indexCount) {
                    // A slot without a texture name keeps whatever is bound already.
                    if (slot.textureName[0] != '\0')
                        device->SetTexture(0, SurfaceOfTexture(slot.textureName));
                    device->SetMaterial(&slot.material);
                    device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, VERTEX_FVF, node->vertices, node->vertexCount,
                                                 node->indices + position, n, 0);
                }
                position += n;
            }
        } else if (node->firstChild != nullptr) {
            D3DMATRIX outer = {};
            device->GetTransform(D3DTRANSFORMSTATE_WORLD, &outer);
            Matrix4 composed;
            MultiplyMatrices(composed, node->matrix, outer);
            device->SetTransform(D3DTRANSFORMSTATE_WORLD, &composed);
            node->firstChild->RenderChain(device, pass);
            device->SetTransform(D3DTRANSFORMSTATE_WORLD, &outer);
        }
    }
}
