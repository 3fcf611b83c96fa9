// One loaded scene: the node tree read from a DirectX X file, its renderer and walk.
#pragma once

#include <cstdint>

#include "windows.h"
#include "d3d.h"
#include "dxfile.h"
#include "scene/scene_node.h"

class SceneFile {
public:
    SceneFile();
    ~SceneFile();
    SceneFile(const SceneFile&) = delete;
    SceneFile& operator=(const SceneFile&) = delete;

    HRESULT Load(const char* fileName);
    HRESULT LoadFrame(IDirectXFileData* frameObject, SceneNode* parent);
    HRESULT LoadMesh(IDirectXFileData* meshObject, SceneNode* parent);
    HRESULT LoadMeshMaterials(IDirectXFileData* listObject, SceneNode* mesh);
    HRESULT LoadMaterial(IDirectXFileData* materialObject, SceneNode* mesh, uint32_t slot);

    HRESULT Render(IDirect3DDevice7* device);
    void Enumerate(SceneEnumCallback callback, const Matrix4* start, void* user);
    void Scale(float factor);

    SceneNode* root;

private:
    // The last child appended to each node whose children are being loaded,
    // innermost last, so that appending to a long chain walks nothing.
    struct Tail {
        SceneNode* parent;
        SceneNode* last;
    };
    class TailScope;

    HRESULT LoadFrameAt(IDirectXFileData* frameObject, SceneNode* parent, uint32_t depth);
    // A new node for the tree being loaded, or nullptr once the tree holds
    // kMaxNodes: each node takes some 2.6 KB, and a file of a million empty
    // frames must be refused, not take gigabytes.
    SceneNode* NewNode(const char* nodeName);
    void Append(SceneNode* parent, SceneNode* node);
    void DestroyTree();

    // One entry for the root and one per frame level the loader descends.
    static constexpr uint32_t kMaxTails = 258;
    Tail tails_[kMaxTails];
    uint32_t tailCount_;

    static constexpr uint32_t kMaxNodes = 32768;
    uint32_t nodeCount_;
    bool tooManyNodes_;
};
