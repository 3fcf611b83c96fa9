// Depth-first walk of the scene tree with a running matrix, and vertex scaling on top of it.
#include "scene/scene_file.h"

void SceneFile::Enumerate(SceneEnumCallback callback, const Matrix4* start, void* user) {
    if (root == nullptr || callback == nullptr) return;
    Matrix4 running;
    if (start != nullptr)
        running = *start;
    else
        MakeIdentity(running);
    root->EnumerateChain(callback, running, user);
}

int32_t SceneNode::EnumerateChain(SceneEnumCallback callback, Matrix4& running, void* user) {
    // Siblings are visited in a loop rather than by recursion, so only the depth
    // of the tree, not the length of a chain, uses stack.
    for (SceneNode* node = this; node != nullptr; node = node->nextSibling) {
        if (callback(node, running, user) == 1) return 1;
        if (node->firstChild != nullptr) {
            Matrix4 kept = running;
            MultiplyMatrices(running, kept, node->matrix);
            if (node->firstChild->EnumerateChain(callback, running, user) == 1) return 1;
            running = kept;
        }
    }
    return 0;
}

int32_t ScaleVertices(SceneNode* node, Matrix4&, void* user) {
    if (node == nullptr || user == nullptr) return 0;
    Vertex* vertices = nullptr;
    uint32_t count = 0;
    if (FAILED(node->GetGeometry(&vertices, &count, nullptr, nullptr)) || count == 0 || vertices == nullptr)
        return 0;
    float factor = *static_cast<const float*>(user);
    for (uint32_t i = 0; i < count; ++i) {
        vertices[i].x *= factor;
        vertices[i].y *= factor;
        vertices[i].z *= factor;
    }
    return 0;
}

void SceneFile::Scale(float factor) { Enumerate(ScaleVertices, nullptr, &factor); }
