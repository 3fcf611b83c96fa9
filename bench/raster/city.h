// The benchmark scene: a lit, textured city of boxes on a ground plane,
// seen by a camera circling it. Shared by both renderers.
#pragma once

#include <d3d.h>

#include <cstdint>
#include <vector>

namespace bench {

struct Vertex {  // the demo's format 274
    float x, y, z, nx, ny, nz, u, v;
};

struct Mesh {
    std::vector<Vertex> vertices;
    std::vector<WORD> indices;
};

struct City {
    std::vector<Mesh> meshes;  // one indexed draw each: the ground first, then the boxes
    int triangles = 0;
    int textureSize = 64;
    std::vector<uint16_t> texture;  // RGB565, rows top to bottom
    D3DMATRIX projection;
    D3DLIGHT7 light;
    DWORD ambient = 0x19191919;
    D3DMATERIAL7 material;
};

City MakeCity();
D3DMATRIX ViewForFrame(int frame);
D3DMATRIX Multiply(const D3DMATRIX& a, const D3DMATRIX& b);

}  // namespace bench
