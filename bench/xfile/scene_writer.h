// Writes the benchmark's mesh: one frame holding one mesh of vertexCount
// vertices and as many quads (a wrapped grid), with normals, texture
// coordinates and three materials, in text or binary X format.
#pragma once

#include <cstdint>
#include <vector>

struct BenchMesh {
    uint32_t width = 0, height = 0;  // vertexCount = width * height = quad count
};

std::vector<uint8_t> WriteMeshText(const BenchMesh& m);
std::vector<uint8_t> WriteMeshBinary(const BenchMesh& m);
