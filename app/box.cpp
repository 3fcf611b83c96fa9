#include "app/box.h"

#include <cstring>
#include <new>

namespace {

struct Corner {
    int x, y, z;    // 0 at the origin side, 1 at the far side
    float nx, ny, nz;
};

// Four corners per face: -z, +x, +z, -x, top, bottom.
constexpr Corner kCorners[BoxPrimitive::kVertexCount] = {
    {0, 0, 0, 0, 0, -1}, {0, 1, 0, 0, 0, -1}, {1, 0, 0, 0, 0, -1}, {1, 1, 0, 0, 0, -1},
    {1, 0, 0, 1, 0, 0},  {1, 1, 0, 1, 0, 0},  {1, 0, 1, 1, 0, 0},  {1, 1, 1, 1, 0, 0},
    {1, 0, 1, 0, 0, 1},  {1, 1, 1, 0, 0, 1},  {0, 0, 1, 0, 0, 1},  {0, 1, 1, 0, 0, 1},
    {0, 0, 1, -1, 0, 0}, {0, 1, 1, -1, 0, 0}, {0, 0, 0, -1, 0, 0}, {0, 1, 0, -1, 0, 0},
    {0, 1, 0, 0, 1, 0},  {0, 1, 1, 0, 1, 0},  {1, 1, 0, 0, 1, 0},  {1, 1, 1, 0, 1, 0},
    {0, 0, 1, 0, -1, 0}, {0, 0, 0, 0, -1, 0}, {1, 0, 1, 0, -1, 0}, {1, 0, 0, 0, -1, 0},
};

}  // namespace

BoxPrimitive::BoxPrimitive(float ox, float oy, float oz, float sx, float sy, float sz)
    : vertices(new (std::nothrow) Vertex[kVertexCount]) {
    std::memset(&material, 0, sizeof(material));
    // Without its vertex array the box is an empty shell; nothing reads it.
    if (!vertices) return;
    const float xs[2] = {ox, ox + sx}, ys[2] = {oy, oy + sy}, zs[2] = {oz, oz + sz};
    for (int i = 0; i < kVertexCount; ++i) {
        const Corner& c = kCorners[i];
        vertices[i] = {xs[c.x], ys[c.y], zs[c.z], c.nx, c.ny, c.nz,
                       static_cast<float>(c.x + c.z), c.y ? 2.0f : 0.0f};
    }
}

BoxPrimitive::~BoxPrimitive() {
    delete[] vertices;
    vertices = nullptr;
}

void BoxPrimitive::SetDiffuseColor(float red, float green, float blue, float alpha) {
    material.diffuse = {red, green, blue, alpha};
}

void BoxPrimitive::SetAmbientColor(float red, float green, float blue, float alpha) {
    material.ambient = {red, green, blue, alpha};
}

void BoxPrimitive::SetSpecularColor(float red, float green, float blue, float alpha, float power) {
    material.specular = {red, green, blue, alpha};
    material.power = power;
}
