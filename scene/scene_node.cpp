// Scene node construction, linking and mesh building.
#include "scene/scene_node.h"

#include <cmath>
#include <cstring>
#include <initializer_list>
#include <new>

#include "textures/texture_registry.h"

namespace {

void CopyName(char (&field)[80], const char* text) {
    field[0] = '\0';
    if (text == nullptr) return;
    size_t n = std::strlen(text);
    if (n > sizeof(field) - 1) n = sizeof(field) - 1;
    std::memcpy(field, text, n);
    field[n] = '\0';
}

// Sum of 3 * (n - 2) over the faces, in 64 bits so that absurd counts cannot wrap.
uint64_t CountFaceIndicesWide(const uint32_t* faceData, uint32_t faceCount) {
    uint64_t total = 0;
    const uint32_t* face = faceData;
    for (uint32_t k = 0; k < faceCount; ++k) {
        uint32_t n = face[0];
        if (n >= 3) total += 3ull * (n - 2);
        face += 1 + static_cast<uint64_t>(n);
    }
    return total;
}

bool IsUsableLength(float length) { return length > 0.0f && std::isfinite(length); }

}  // namespace

SceneNode::SceneNode(const char* nodeName)
    : nextSibling(nullptr),
      firstChild(nullptr),
      isMesh(0),
      vertexCount(0),
      vertices(nullptr),
      indexCount(0),
      indices(nullptr),
      usedSlotCount(0),
      isTranslucent(0) {
    CopyName(name, nodeName);
    MakeIdentity(matrix);
    std::memset(slots, 0, sizeof(slots));
}

SceneNode::~SceneNode() {
    delete firstChild;
    firstChild = nullptr;

    // The sibling chain is taken apart one node at a time: a long chain must not
    // turn into an equally deep recursion.
    SceneNode* sibling = nextSibling;
    nextSibling = nullptr;
    while (sibling != nullptr) {
        SceneNode* following = sibling->nextSibling;
        sibling->nextSibling = nullptr;
        delete sibling;
        sibling = following;
    }

    for (uint32_t s = 0; s < usedSlotCount && s < kMaxSlots; ++s) RemoveTexture(slots[s].textureName);

    delete[] vertices;
    vertices = nullptr;
    delete[] indices;
    indices = nullptr;
}

void SceneNode::AddChild(SceneNode* node) {
    if (node == nullptr) return;
    if (firstChild == nullptr)
        firstChild = node;
    else
        firstChild->AddSibling(node);
}

void SceneNode::AddSibling(SceneNode* node) {
    if (node == nullptr) return;
    SceneNode* last = this;
    while (last->nextSibling != nullptr) last = last->nextSibling;
    last->nextSibling = node;
}

uint32_t SceneNode::CountFaceIndices(const uint32_t* faceData, uint32_t faceCount) {
    uint64_t total = CountFaceIndicesWide(faceData, faceCount);
    return total > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(total);
}

const uint32_t* SceneNode::FindFace(const uint32_t* faceData, uint32_t k) {
    const uint32_t* face = faceData;
    for (uint32_t i = 0; i < k; ++i) face += 1 + static_cast<uint64_t>(face[0]);
    return face;
}

HRESULT SceneNode::SetGeometry(const Vector3* positions, uint32_t count, const uint32_t* faceData,
                               uint32_t faceCount) {
    // Replacing earlier geometry: the old runs pointed into the old index array.
    delete[] vertices;
    vertices = nullptr;
    delete[] indices;
    indices = nullptr;
    vertexCount = 0;
    indexCount = 0;
    for (MeshMaterialSlot& slot : slots) slot.indexCount = 0;

    // Indices are 16 bits wide; a bigger mesh would wrap silently into wrong triangles.
    if (count > kMaxVertices) return E_FAIL;
    if (count > 0 && positions == nullptr) return E_FAIL;
    uint64_t wanted = faceCount > 0 && faceData != nullptr ? CountFaceIndicesWide(faceData, faceCount) : 0;
    if (wanted > UINT32_MAX) return E_FAIL;

    Vertex* newVertices = new (std::nothrow) Vertex[count];
    if (newVertices == nullptr) return E_FAIL;
    for (uint32_t i = 0; i < count; ++i) {
        Vertex& v = newVertices[i];
        v.x = positions[i].x;
        v.y = positions[i].y;
        v.z = positions[i].z;
        v.nx = v.ny = v.nz = 0.0f;
        v.tu = v.tv = 0.0f;
    }

    uint16_t* newIndices = new (std::nothrow) uint16_t[static_cast<size_t>(wanted)]();
    if (newIndices == nullptr) {
        delete[] newVertices;
        return E_FAIL;
    }

    vertices = newVertices;
    vertexCount = count;
    indices = newIndices;
    indexCount = static_cast<uint32_t>(wanted);
    isMesh = 1;
    return S_OK;
}

void SceneNode::AddFaces(uint32_t slot, const uint32_t* faceData, uint32_t faceCount) {
    if (slot >= kMaxSlots) return;
    if (usedSlotCount < slot + 1) usedSlotCount = slot + 1;
    if (indices == nullptr || faceData == nullptr) return;

    uint64_t w = 0;
    for (uint32_t s = 0; s <= slot; ++s) w += slots[s].indexCount;

    const uint32_t* face = faceData;
    for (uint32_t k = 0; k < faceCount; ++k) {
        uint32_t n = face[0];
        const uint32_t* corner = face + 1;
        face += 1 + static_cast<uint64_t>(n);
        if (n < 3) continue;

        // A face that points outside the mesh is left out whole.
        bool inside = true;
        for (uint32_t j = 0; j < n; ++j) {
            if (corner[j] >= vertexCount) {
                inside = false;
                break;
            }
        }
        if (!inside) continue;

        for (uint32_t j = 2; j < n; ++j) {
            // Never write past the array sized when the geometry was set.
            if (w + 3 > indexCount) return;
            indices[w] = static_cast<uint16_t>(corner[0]);
            indices[w + 1] = static_cast<uint16_t>(corner[j - 1]);
            indices[w + 2] = static_cast<uint16_t>(corner[j]);
            w += 3;
            slots[slot].indexCount += 3;
        }
    }
}

HRESULT SceneNode::ComputeNormals() {
    if (vertices == nullptr || vertexCount == 0) return S_OK;
    Vector3* sums = new (std::nothrow) Vector3[vertexCount];
    if (sums == nullptr) return S_OK;

    uint64_t used = 0;
    for (uint32_t s = 0; s < kMaxSlots; ++s) used += slots[s].indexCount;
    if (used > indexCount) used = indexCount;
    if (indices == nullptr) used = 0;

    for (uint64_t t = 0; t + 3 <= used; t += 3) {
        uint32_t a = indices[t], b = indices[t + 1], c = indices[t + 2];
        if (a >= vertexCount || b >= vertexCount || c >= vertexCount) continue;
        const Vertex& pa = vertices[a];
        const Vertex& pb = vertices[b];
        const Vertex& pc = vertices[c];
        Vector3 e1(pb.x - pa.x, pb.y - pa.y, pb.z - pa.z);
        Vector3 e2(pc.x - pb.x, pc.y - pb.y, pc.z - pb.z);
        Vector3 f;
        VectorCross(f, e1, e2);
        // A triangle without area has no direction; normalising it would spread
        // non-finite values into every vertex it shares with its neighbours.
        if (!IsUsableLength(VectorLength(f))) continue;
        VectorNormalize(f, f);
        for (uint32_t v : {a, b, c}) {
            sums[v].x += f.x;
            sums[v].y += f.y;
            sums[v].z += f.z;
        }
    }

    for (uint32_t i = 0; i < vertexCount; ++i) {
        Vector3 n(0.0f, 0.0f, 0.0f);
        if (IsUsableLength(VectorLength(sums[i]))) VectorNormalize(n, sums[i]);
        vertices[i].nx = n.x;
        vertices[i].ny = n.y;
        vertices[i].nz = n.z;
    }
    delete[] sums;
    return S_OK;
}

void SceneNode::SetNormals(const Vector3* normals) {
    if (vertices == nullptr || normals == nullptr) return;
    for (uint32_t i = 0; i < vertexCount; ++i) {
        vertices[i].nx = normals[i].x;
        vertices[i].ny = normals[i].y;
        vertices[i].nz = normals[i].z;
    }
}

void SceneNode::SetTextureCoords(const float* uvPairs) {
    if (vertices == nullptr || uvPairs == nullptr) return;
    for (uint32_t i = 0; i < vertexCount; ++i) {
        vertices[i].tu = uvPairs[2 * static_cast<size_t>(i)];
        vertices[i].tv = uvPairs[2 * static_cast<size_t>(i) + 1];
    }
}

void SceneNode::SetSlotMaterial(uint32_t slot, const Material& newMaterial, const char* texture) {
    if (slot >= kMaxSlots) return;
    slots[slot].material = newMaterial;
    CopyName(slots[slot].textureName, texture);
    // NaN alpha counts as translucent too: only a definite 1.0 or more is opaque.
    if (!(newMaterial.diffuse.a >= 1.0f)) isTranslucent = 1;
}

HRESULT SceneNode::GetGeometry(Vertex** outVertices, uint32_t* outVertexCount, uint16_t** outIndices,
                               uint32_t* outIndexCount) {
    if (outVertices != nullptr) *outVertices = vertices;
    if (outVertexCount != nullptr) *outVertexCount = vertexCount;
    if (outIndices != nullptr) *outIndices = indices;
    if (outIndexCount != nullptr) *outIndexCount = indexCount;
    return S_OK;
}
