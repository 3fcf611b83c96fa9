// Scene tree node: a frame (named local transform over its children) or a mesh
// (vertices, triangle-list indices in per-slot runs, up to 16 materials).
#pragma once

#include <cstdint>

#include "windows.h"
#include "d3d.h"
#include "util/matrix.h"
#include "util/types.h"

// One material of a mesh and the length of its run in the index array.
struct MeshMaterialSlot {
    Material material;
    char textureName[80];
    uint32_t indexCount;
};

class SceneNode;

// Walk callback: a result of 1 stops the whole walk.
typedef int32_t (*SceneEnumCallback)(SceneNode* node, Matrix4& matrix, void* user);

class SceneNode {
public:
    static constexpr uint32_t kMaxSlots = 16;
    // 16-bit indices address at most this many vertices.
    static constexpr uint32_t kMaxVertices = 65536;

    explicit SceneNode(const char* nodeName = nullptr);
    ~SceneNode();
    SceneNode(const SceneNode&) = delete;
    SceneNode& operator=(const SceneNode&) = delete;

    void AddChild(SceneNode* node);
    void AddSibling(SceneNode* node);

    HRESULT SetGeometry(const Vector3* positions, uint32_t count, const uint32_t* faceData, uint32_t faceCount);
    void AddFaces(uint32_t slot, const uint32_t* faceData, uint32_t faceCount);
    HRESULT ComputeNormals();
    void SetNormals(const Vector3* normals);
    void SetTextureCoords(const float* uvPairs);
    void SetSlotMaterial(uint32_t slot, const Material& newMaterial, const char* texture);
    HRESULT GetGeometry(Vertex** outVertices, uint32_t* outVertexCount, uint16_t** outIndices,
                        uint32_t* outIndexCount);

    static uint32_t CountFaceIndices(const uint32_t* faceData, uint32_t faceCount);
    static const uint32_t* FindFace(const uint32_t* faceData, uint32_t k);

    void RenderChain(IDirect3DDevice7* device, uint32_t pass);
    int32_t EnumerateChain(SceneEnumCallback callback, Matrix4& matrix, void* user);

    char name[80];
    SceneNode* nextSibling;
    SceneNode* firstChild;
    Matrix4 matrix;
    int32_t isMesh;
    uint32_t vertexCount;
    Vertex* vertices;
    uint32_t indexCount;
    uint16_t* indices;
    uint32_t usedSlotCount;
    MeshMaterialSlot slots[kMaxSlots];
    int32_t isTranslucent;
};

// Enumeration callback that multiplies every mesh vertex position by *(float*)user.
int32_t ScaleVertices(SceneNode* node, Matrix4& matrix, void* user);
