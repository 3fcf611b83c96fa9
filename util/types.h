// Types shared by the whole system.
#pragma once

#include "d3d.h"

// One vertex of the demo's meshes: vertex format 274 (XYZ | NORMAL | TEX1).
struct Vertex {
    float x, y, z;
    float nx, ny, nz;
    float tu, tv;
};
static_assert(sizeof(Vertex) == 32, "Vertex is 32 bytes");

#define VERTEX_FVF (D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1)
static_assert(VERTEX_FVF == 274, "the demo's vertex format");

struct Vector3 {
    float x = 0.0f, y = 0.0f, z = 0.0f;
    Vector3() = default;
    Vector3(float vx, float vy, float vz) : x(vx), y(vy), z(vz) {}
};
static_assert(sizeof(Vector3) == sizeof(D3DVECTOR), "Vector3 matches the platform vector");

// Row-major, row vectors: p' = p * M; translation in _41.._43.
typedef D3DMATRIX Matrix4;

// diffuse, ambient, specular, emissive (RGBA each), power: the platform's record.
typedef D3DMATERIAL7 Material;
static_assert(sizeof(Material) == 17 * sizeof(float), "Material is 17 floats");

// Fixed name fields: 79 characters and a terminator.
constexpr int kNameLength = 80;
