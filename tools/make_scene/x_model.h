// An X-file scene as it is written to disk: frames, meshes and materials with
// their data already in file space. Written out as text, binary or
// MSZIP-compressed binary.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace make_scene {

struct XMaterial {
    std::string name;  // empty for an unnamed inline material
    float faceColor[4] = {0, 0, 0, 1};
    float power = 0;
    float specularColor[3] = {0, 0, 0};
    float emissiveColor[3] = {0, 0, 0};
    std::string textureFilename;  // empty: no TextureFilename child
};

// A MeshMaterialList entry: an inline Material, or a reference {name} to a
// top-level one.
struct XMaterialUse {
    std::string reference;  // set: written as a reference
    XMaterial material;
};

struct XMesh {
    std::string name;
    std::vector<float> positions;  // 3 per vertex
    std::vector<std::vector<uint32_t>> faces;
    std::vector<float> normals;  // 3 per vertex; empty: no MeshNormals
    std::vector<float> uvs;      // 2 per vertex; empty: no MeshTextureCoords
    std::vector<uint32_t> faceMaterials;  // one per face; with materials
    std::vector<XMaterialUse> materials;  // empty: no MeshMaterialList

    uint32_t VertexCount() const { return uint32_t(positions.size() / 3); }
};

struct XFrame {
    std::string name;
    bool hasMatrix = false;
    float matrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    std::vector<XMesh> meshes;   // written first
    std::vector<XFrame> frames;  // then the child frames, in order
};

struct XScene {
    std::vector<XMaterial> materials;  // top-level, before the frames
    std::vector<XFrame> frames;
};

// "xof 0302txt 0032" text.
std::string WriteText(const XScene& scene);
// "xof 0302bin 0032": numbers in integer and float lists the way exporters
// group them (one list per run of numbers).
std::vector<uint8_t> WriteBinary(const XScene& scene);
// The binary form compressed: "xof 0302bzip0032", deflate in 'CK' blocks.
std::vector<uint8_t> WriteCompressed(const XScene& scene);

}  // namespace make_scene
