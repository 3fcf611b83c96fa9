// Helpers of the scene tests: a scratch working directory, tiny texture files,
// and one description of an X-file scene written out in text or binary form.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace scene_test {

// Runs each test in a fresh empty directory as the working directory.
class TempDirTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    std::filesystem::path dir_;
    std::filesystem::path previous_;
};

void WriteFile(const std::string& path, const std::string& bytes);
// A 2x2 uncompressed 24-bit TGA.
void WriteTga(const std::string& path);

// One X-file object. Kinds map onto the standard templates; the fields used
// depend on the kind.
struct XNode {
    enum Kind {
        Frame,                 // name, children
        Matrix,                // FrameTransformMatrix: floats (16)
        Mesh,                  // name, floats (3 per vertex), faces, children
        MaterialList,          // ints: nMaterials, nFaceIndexes, indexes...; children
        Material,              // name, floats: r g b a power sr sg sb er eg eb; children
        TextureFilename,       // text
        Normals,               // floats (3 per normal), faces (face normal indices)
        TextureCoords,         // floats (2 per vertex)
        VertexColors,          // ints: count, then index and 4 floats in floats per entry
        Reference,             // text: the name referred to
        Header,                // top-level Header object
    } kind;
    std::string name;
    std::vector<float> floats;
    std::vector<uint32_t> ints;
    std::vector<std::vector<uint32_t>> faces;
    std::string text;
    std::vector<XNode> children;
};

XNode MakeFrame(const std::string& name, std::vector<XNode> children = {});
XNode MakeMatrix(const std::vector<float>& rows);
XNode MakeMesh(const std::string& name, const std::vector<float>& positions,
               const std::vector<std::vector<uint32_t>>& faces, std::vector<XNode> children = {});
XNode MakeMaterialList(uint32_t nMaterials, const std::vector<uint32_t>& faceIndexes, std::vector<XNode> materials);
XNode MakeMaterial(const std::string& name, float r, float g, float b, float a, const std::string& texture = {});
XNode MakeNormals(const std::vector<float>& normals, const std::vector<std::vector<uint32_t>>& faceNormals);
XNode MakeTextureCoords(const std::vector<float>& uv);
XNode MakeReference(const std::string& name);

std::string TextX(const std::vector<XNode>& objects);
std::string BinaryX(const std::vector<XNode>& objects, bool doubles = false);

}  // namespace scene_test
