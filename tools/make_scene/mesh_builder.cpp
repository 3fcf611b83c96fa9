#include "mesh_builder.h"

#include <algorithm>
#include <cmath>

namespace make_scene {

Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3 operator*(Vec3 a, float s) { return {a.x * s, a.y * s, a.z * s}; }
Vec3 Cross(Vec3 a, Vec3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
float Dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec3 Normalize(Vec3 a) {
    float l = std::sqrt(Dot(a, a));
    return l > 0 ? a * (1.0f / l) : a;
}

namespace {

// Positive zero for zero: -0.0 would write differently in text and binary.
float Clean(float f) { return f == 0.0f ? 0.0f : f; }

// The facing the loader computes for a face, summed over its fan triangles:
// (b - a) x (c - b). It points out of a face that is clockwise on screen.
Vec3 FanFacing(const std::vector<Vec3>& p, const std::vector<uint32_t>& face) {
    Vec3 sum;
    for (size_t i = 2; i < face.size(); ++i) {
        Vec3 a = p[face[0]], b = p[face[i - 1]], c = p[face[i]];
        sum = sum + Cross(b - a, c - b);
    }
    return sum;
}

}  // namespace

void MeshBuilder::AddPolygon(std::vector<Vec3> points, std::vector<Uv> uvs, Vec3 outward, uint32_t material) {
    uvs.resize(points.size());
    std::vector<uint32_t> face;
    Vec3 n = Normalize(outward);
    for (size_t i = 0; i < points.size(); ++i) {
        face.push_back(uint32_t(points_.size()));
        points_.push_back(points[i]);
        normals_.push_back(n);
        uvs_.push_back(uvs[i]);
    }
    AddFace(face, outward, material);
}

uint32_t MeshBuilder::AddVertex(Vec3 p, Uv uv) {
    points_.push_back(p);
    normals_.push_back({});
    uvs_.push_back(uv);
    return uint32_t(points_.size() - 1);
}

void MeshBuilder::AddFace(std::vector<uint32_t> face, Vec3 outward, uint32_t material) {
    if (Dot(FanFacing(points_, face), outward) < 0) std::reverse(face.begin() + 1, face.end());
    faces_.push_back(std::move(face));
    faceMaterials_.push_back(material);
}

XMesh MeshBuilder::ToX(bool writeNormals, bool writeUvs, std::vector<XMaterialUse> materials) const {
    XMesh m;
    m.name = name_;
    for (const Vec3& p : points_) {
        m.positions.push_back(Clean(p.x / kSceneScale));
        m.positions.push_back(Clean(p.y / kSceneScale));
        m.positions.push_back(Clean(p.z / kSceneScale));
    }
    m.faces = faces_;
    if (writeNormals) {
        for (const Vec3& n : normals_) {
            m.normals.push_back(Clean(n.x));
            m.normals.push_back(Clean(n.y));
            m.normals.push_back(Clean(n.z));
        }
    }
    if (writeUvs) {
        for (const Uv& t : uvs_) {
            m.uvs.push_back(Clean(t.u));
            m.uvs.push_back(Clean(t.v));
        }
    }
    if (!materials.empty()) {
        m.faceMaterials = faceMaterials_;
        m.materials = std::move(materials);
    }
    return m;
}

void SetFrameTransform(XFrame& frame, float yaw, Vec3 offset) {
    // Row vectors: p' = p * M. A turn by yaw takes +x towards -z.
    float c = std::cos(yaw), s = std::sin(yaw);
    float draw[16] = {c, 0, -s, 0, 0, 1, 0, 0, s, 0, c, 0, offset.x, offset.y, offset.z, 1};
    // The loader negates _13 _23 _31 _32 _43 (mirroring z on both sides);
    // store the mirrored matrix so that it loads back as `draw`.
    static const int flipped[] = {2, 6, 8, 9, 14};
    for (int i = 0; i < 16; ++i) frame.matrix[i] = draw[i];
    for (int i : flipped) frame.matrix[i] = -frame.matrix[i];
    for (float& f : frame.matrix) f = Clean(f);
    frame.hasMatrix = true;
}

}  // namespace make_scene
