// Builds meshes in the space the demo finally draws them in (after its
// loader's handedness change and its scaling of the scene by -0.5), and turns
// them into file data. Front faces are clockwise as seen from outside, the
// way the demo culls.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "x_model.h"

namespace make_scene {

struct Vec3 {
    float x = 0, y = 0, z = 0;
};
Vec3 operator+(Vec3 a, Vec3 b);
Vec3 operator-(Vec3 a, Vec3 b);
Vec3 operator*(Vec3 a, float s);
Vec3 Cross(Vec3 a, Vec3 b);
float Dot(Vec3 a, Vec3 b);
Vec3 Normalize(Vec3 a);

struct Uv {
    float u = 0, v = 0;
};

// The factor the demo scales every vertex position by after loading.
constexpr float kSceneScale = -0.5f;

class MeshBuilder {
public:
    explicit MeshBuilder(std::string name) : name_(std::move(name)) {}

    // One flat polygon with vertices of its own. Its order is turned round
    // when needed so that the face points along `outward`.
    void AddPolygon(std::vector<Vec3> points, std::vector<Uv> uvs, Vec3 outward, uint32_t material);

    // Shares vertices between faces (smooth computed normals): adds a vertex
    // and returns its number.
    uint32_t AddVertex(Vec3 p, Uv uv = {});
    // A face over shared vertices, turned to point along `outward`.
    void AddFace(std::vector<uint32_t> face, Vec3 outward, uint32_t material);

    uint32_t VertexCount() const { return uint32_t(points_.size()); }

    // File data. Positions are divided by the demo's scale so they load back
    // to the built ones; normals (which the demo never scales) are written as
    // built when `writeNormals`; coordinates when `writeUvs`.
    XMesh ToX(bool writeNormals, bool writeUvs, std::vector<XMaterialUse> materials) const;

private:
    std::string name_;
    std::vector<Vec3> points_;
    std::vector<Vec3> normals_;
    std::vector<Uv> uvs_;
    std::vector<std::vector<uint32_t>> faces_;
    std::vector<uint32_t> faceMaterials_;
};

// Frame transform in draw space: a turn about the vertical axis by `yaw`
// radians, then a move by `offset`. Written in file space, which the loader
// mirrors in z.
void SetFrameTransform(XFrame& frame, float yaw, Vec3 offset);

}  // namespace make_scene
