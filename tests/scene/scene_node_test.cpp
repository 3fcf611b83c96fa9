// Mesh building on SceneNode: fan triangulation into slot runs, normals,
// materials and translucency, and what destruction takes with it.
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "scene/scene_node.h"
#include "scene_test_support.h"
#include "textures/texture_registry.h"

namespace {

// Faces as the file services deliver them: n, then n indices, without gaps.
std::vector<uint32_t> Faces(std::initializer_list<std::vector<uint32_t>> faces) {
    std::vector<uint32_t> out;
    for (const auto& f : faces) {
        out.push_back(static_cast<uint32_t>(f.size()));
        out.insert(out.end(), f.begin(), f.end());
    }
    return out;
}

std::vector<Vector3> Grid(uint32_t count) {
    std::vector<Vector3> p;
    for (uint32_t i = 0; i < count; ++i) p.emplace_back(static_cast<float>(i), static_cast<float>(i * i % 7), 0.0f);
    return p;
}

std::vector<uint16_t> Stored(const SceneNode& node) {
    uint32_t used = 0;
    for (const auto& s : node.slots) used += s.indexCount;
    return std::vector<uint16_t>(node.indices, node.indices + used);
}

Material Opaque(float alpha = 1.0f) {
    Material m{};
    m.diffuse.r = 0.5f;
    m.diffuse.a = alpha;
    return m;
}

TEST(SceneNodeFaces, CountsFanIndicesPerFace) {
    auto faces = Faces({{0, 1, 2}, {0, 1, 2, 3}, {0, 1, 2, 3, 4}});
    EXPECT_EQ(SceneNode::CountFaceIndices(faces.data(), 3), 18u);
    auto small = Faces({{}, {0}, {0, 1}});
    EXPECT_EQ(SceneNode::CountFaceIndices(small.data(), 3), 0u);
    EXPECT_EQ(SceneNode::FindFace(faces.data(), 2), faces.data() + 4 + 5);
}

TEST(SceneNodeFaces, QuadIsFannedFromItsFirstCorner) {
    SceneNode node("quad");
    auto positions = Grid(11);
    auto faces = Faces({{7, 8, 9, 10}});
    ASSERT_EQ(node.SetGeometry(positions.data(), 11, faces.data(), 1), S_OK);
    EXPECT_EQ(node.isMesh, 1);
    EXPECT_EQ(node.indexCount, 6u);
    node.AddFaces(0, faces.data(), 1);
    EXPECT_EQ(Stored(node), (std::vector<uint16_t>{7, 8, 9, 7, 9, 10}));
    EXPECT_EQ(node.slots[0].indexCount, 6u);
    EXPECT_EQ(node.usedSlotCount, 1u);
}

TEST(SceneNodeFaces, SlotRunsFollowEachOtherInCallOrder) {
    SceneNode node("runs");
    auto positions = Grid(9);
    auto first = Faces({{0, 1, 2}});
    auto second = Faces({{3, 4, 5}});
    auto third = Faces({{6, 7, 8}});
    auto all = Faces({{0, 1, 2}, {3, 4, 5}, {6, 7, 8}});
    ASSERT_EQ(node.SetGeometry(positions.data(), 9, all.data(), 3), S_OK);
    node.AddFaces(0, first.data(), 1);
    node.AddFaces(0, second.data(), 1);
    node.AddFaces(2, third.data(), 1);
    EXPECT_EQ(Stored(node), (std::vector<uint16_t>{0, 1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(node.slots[0].indexCount, 6u);
    EXPECT_EQ(node.slots[1].indexCount, 0u);
    EXPECT_EQ(node.slots[2].indexCount, 3u);
    EXPECT_EQ(node.usedSlotCount, 3u);
}

TEST(SceneNodeFaces, HigherSlotOnFreshNodeStartsAtZero) {
    SceneNode node("slot3");
    auto positions = Grid(3);
    auto faces = Faces({{2, 1, 0}});
    ASSERT_EQ(node.SetGeometry(positions.data(), 3, faces.data(), 1), S_OK);
    node.AddFaces(3, faces.data(), 1);
    EXPECT_EQ(node.usedSlotCount, 4u);
    EXPECT_EQ(node.indices[0], 2);
    EXPECT_EQ(node.slots[3].indexCount, 3u);
}

TEST(SceneNodeFaces, SlotSixteenChangesNothing) {
    SceneNode node("slot16");
    auto positions = Grid(3);
    auto faces = Faces({{0, 1, 2}});
    ASSERT_EQ(node.SetGeometry(positions.data(), 3, faces.data(), 1), S_OK);
    node.AddFaces(16, faces.data(), 1);
    node.SetSlotMaterial(16, Opaque(0.25f), "x.tga");
    EXPECT_EQ(node.usedSlotCount, 0u);
    EXPECT_EQ(node.isTranslucent, 0);
    for (const auto& s : node.slots) EXPECT_EQ(s.indexCount, 0u);
}

TEST(SceneNodeFaces, FacePointingOutsideTheMeshIsLeftOut) {
    SceneNode node("outside");
    auto positions = Grid(4);
    // 65,537 would wrap to 1 if stored as 16 bits; 4 is just past the end.
    auto faces = Faces({{0, 1, 2}, {0, 65537, 2}, {1, 2, 4, 3}, {1, 2, 3}});
    ASSERT_EQ(node.SetGeometry(positions.data(), 4, faces.data(), 4), S_OK);
    node.AddFaces(0, faces.data(), 4);
    EXPECT_EQ(Stored(node), (std::vector<uint16_t>{0, 1, 2, 1, 2, 3}));
    EXPECT_LE(node.slots[0].indexCount, node.indexCount);
}

TEST(SceneNodeFaces, RepeatedFacesNeverWritePastTheIndexArray) {
    SceneNode node("full");
    auto positions = Grid(3);
    auto faces = Faces({{0, 1, 2}});
    ASSERT_EQ(node.SetGeometry(positions.data(), 3, faces.data(), 1), S_OK);
    node.AddFaces(0, faces.data(), 1);
    node.AddFaces(0, faces.data(), 1);  // a second material list would do this
    node.AddFaces(1, faces.data(), 1);
    EXPECT_EQ(node.slots[0].indexCount + node.slots[1].indexCount, node.indexCount);
}

TEST(SceneNodeGeometry, RefusesMoreVerticesThanSixteenBitIndicesReach) {
    std::vector<Vector3> positions(65537);
    auto faces = Faces({{0, 1, 65536}});
    SceneNode big("big");
    EXPECT_EQ(big.SetGeometry(positions.data(), 65537, faces.data(), 1), E_FAIL);
    EXPECT_EQ(big.isMesh, 0);
    EXPECT_EQ(big.vertices, nullptr);
    big.AddFaces(0, faces.data(), 1);  // harmless without arrays
    EXPECT_EQ(big.ComputeNormals(), S_OK);

    SceneNode limit("limit");
    auto last = Faces({{0, 1, 65535}});
    ASSERT_EQ(limit.SetGeometry(positions.data(), 65536, last.data(), 1), S_OK);
    limit.AddFaces(0, last.data(), 1);
    EXPECT_EQ(limit.slots[0].indexCount, 3u);
    EXPECT_EQ(limit.indices[2], 65535);
}

TEST(SceneNodeGeometry, CopiesPositionsAndZeroesTheRest) {
    SceneNode node("copy");
    std::vector<Vector3> positions = {{1, 2, 3}, {4, 5, 6}};
    ASSERT_EQ(node.SetGeometry(positions.data(), 2, nullptr, 0), S_OK);
    Vertex* v = nullptr;
    uint32_t count = 0, indexCount = 99;
    uint16_t* idx = nullptr;
    EXPECT_EQ(node.GetGeometry(&v, &count, &idx, &indexCount), S_OK);
    EXPECT_EQ(v, node.vertices);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(indexCount, 0u);
    EXPECT_EQ(v[1].x, 4.0f);
    EXPECT_EQ(v[1].z, 6.0f);
    EXPECT_EQ(v[1].nx, 0.0f);
    EXPECT_EQ(v[1].tv, 0.0f);
    std::vector<float> uv = {0.25f, 0.5f, 0.75f, 1.0f};
    node.SetTextureCoords(uv.data());
    EXPECT_EQ(v[1].tu, 0.75f);
    EXPECT_EQ(v[1].tv, 1.0f);
}

TEST(SceneNodeMaterials, TranslucencyFollowsDiffuseAlphaAndSticks) {
    SceneNode node("alpha");
    node.SetSlotMaterial(0, Opaque(1.0f), "");
    node.SetSlotMaterial(1, Opaque(2.0f), nullptr);
    EXPECT_EQ(node.isTranslucent, 0) << "unused slots keep alpha 0 yet do not count";
    node.SetSlotMaterial(2, Opaque(0.999f), "");
    EXPECT_EQ(node.isTranslucent, 1);
    node.SetSlotMaterial(2, Opaque(1.0f), "");
    EXPECT_EQ(node.isTranslucent, 1);
    EXPECT_EQ(node.usedSlotCount, 0u);

    SceneNode nan("nan");
    nan.SetSlotMaterial(0, Opaque(std::nanf("")), "");
    EXPECT_EQ(nan.isTranslucent, 1);
}

TEST(SceneNodeMaterials, TextureNameIsCutTo79Characters) {
    SceneNode node("long");
    std::string name(100, 'q');
    node.SetSlotMaterial(5, Opaque(), name.c_str());
    EXPECT_EQ(std::string(node.slots[5].textureName), name.substr(0, 79));
    EXPECT_EQ(node.slots[5].material.diffuse.r, 0.5f);
}

class SceneNodeNormals : public ::testing::Test {
protected:
    SceneNode node{"normals"};
    void Build(std::vector<Vector3> positions, std::vector<uint32_t> faces, uint32_t faceCount) {
        ASSERT_EQ(node.SetGeometry(positions.data(), static_cast<uint32_t>(positions.size()), faces.data(), faceCount),
                  S_OK);
        node.AddFaces(0, faces.data(), faceCount);
        EXPECT_EQ(node.ComputeNormals(), S_OK);
    }
    void ExpectNormal(uint32_t i, float x, float y, float z) {
        const Vertex& v = node.vertices[i];
        EXPECT_NEAR(v.nx, x, 1e-6f) << "vertex " << i;
        EXPECT_NEAR(v.ny, y, 1e-6f) << "vertex " << i;
        EXPECT_NEAR(v.nz, z, 1e-6f) << "vertex " << i;
    }
};

TEST_F(SceneNodeNormals, WindingDecidesTheSide) {
    Build({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, Faces({{0, 1, 2}}), 1);
    for (uint32_t i = 0; i < 3; ++i) ExpectNormal(i, 0, 0, 1);
}

TEST_F(SceneNodeNormals, ReversedWindingPointsTheOtherWay) {
    Build({{0, 0, 0}, {0, 1, 0}, {1, 0, 0}}, Faces({{0, 1, 2}}), 1);
    for (uint32_t i = 0; i < 3; ++i) ExpectNormal(i, 0, 0, -1);
}

TEST_F(SceneNodeNormals, SharedEdgeAveragesUnitFaceNormals) {
    // Vertices 0 and 1 lie on the shared edge (the y axis).
    Build({{0, 0, 0}, {0, 1, 0}, {1, 0, 0}, {0, 0, -1}}, Faces({{0, 2, 1}, {0, 3, 1}}), 2);
    float h = 1.0f / std::sqrt(2.0f);
    ExpectNormal(2, 0, 0, 1);
    ExpectNormal(3, 1, 0, 0);
    ExpectNormal(0, h, 0, h);
    ExpectNormal(1, h, 0, h);
}

TEST_F(SceneNodeNormals, ZeroAreaTriangleDoesNotPoisonItsNeighbours) {
    // Triangle (0, 1, 3) is degenerate (vertex 3 repeats vertex 1's position).
    Build({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 0, 0}, {5, 5, 5}}, Faces({{0, 1, 2}, {0, 1, 3}}), 2);
    ExpectNormal(0, 0, 0, 1);
    ExpectNormal(1, 0, 0, 1);
    ExpectNormal(2, 0, 0, 1);
    for (uint32_t i = 0; i < 5; ++i) {
        EXPECT_TRUE(std::isfinite(node.vertices[i].nx) && std::isfinite(node.vertices[i].ny) &&
                    std::isfinite(node.vertices[i].nz))
            << "vertex " << i;
    }
    ExpectNormal(4, 0, 0, 0);  // used by no triangle
}

TEST_F(SceneNodeNormals, GivenNormalsAreCopiedPerVertex) {
    Build({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, Faces({{0, 1, 2}}), 1);
    std::vector<Vector3> given = {{1, 0, 0}, {0, 1, 0}, {0, 0, -1}};
    node.SetNormals(given.data());
    ExpectNormal(1, 0, 1, 0);
    ExpectNormal(2, 0, 0, -1);
}

TEST(SceneNodeTree, ChildrenKeepOrderAndChainsAppendWhole) {
    SceneNode root("root");
    root.AddChild(new SceneNode("a"));
    SceneNode* b = new SceneNode("b");
    b->AddSibling(new SceneNode("c"));
    root.AddChild(b);
    root.AddChild(new SceneNode("d"));
    std::string order;
    for (SceneNode* n = root.firstChild; n != nullptr; n = n->nextSibling) order += n->name;
    EXPECT_EQ(order, "abcd");
    SceneNode unnamed;
    EXPECT_STREQ(unnamed.name, "");
    EXPECT_EQ(unnamed.matrix._11, 1.0f);
    EXPECT_EQ(unnamed.matrix._41, 0.0f);
}

class SceneNodeTextures : public scene_test::TempDirTest {};

TEST_F(SceneNodeTextures, DestructionRemovesUsedSlotTexturesOfTheWholeChain) {
    for (const char* name : {"one.tga", "two.tga", "three.tga", "kept.tga"}) {
        scene_test::WriteTga(name);
        ASSERT_EQ(RegisterTexture(name, 0, 0), S_OK) << name;
    }
    auto positions = Grid(3);
    auto faces = Faces({{0, 1, 2}});
    auto mesh = [&](const char* name, const char* texture, uint32_t slot) {
        SceneNode* n = new SceneNode(name);
        n->SetGeometry(positions.data(), 3, faces.data(), 1);
        n->AddFaces(0, faces.data(), 1);
        n->SetSlotMaterial(slot, Opaque(), texture);
        return n;
    };
    SceneNode* first = mesh("m1", "ONE.TGA", 0);
    SceneNode* child = mesh("m2", "Two.Tga", 0);
    SceneNode* frame = new SceneNode("f");
    frame->AddChild(child);
    first->AddSibling(frame);
    first->AddSibling(mesh("m3", "three.tga", 0));
    first->AddSibling(mesh("m4", "kept.tga", 1));  // slot 1 is past usedSlotCount
    delete first;

    EXPECT_EQ(LookupTexture("one.tga"), nullptr);
    EXPECT_EQ(LookupTexture("two.tga"), nullptr);
    EXPECT_EQ(LookupTexture("three.tga"), nullptr);
    EXPECT_NE(LookupTexture("kept.tga"), nullptr);
    RemoveTexture("kept.tga");
}

TEST_F(SceneNodeTextures, RemovalByNameIsNotCounted) {
    scene_test::WriteTga("shared.tga");
    ASSERT_EQ(RegisterTexture("shared.tga", 0, 0), S_OK);
    auto positions = Grid(3);
    auto faces = Faces({{0, 1, 2}});
    SceneNode* a = new SceneNode("a");
    SceneNode b("b");
    for (SceneNode* n : {a, &b}) {
        n->SetGeometry(positions.data(), 3, faces.data(), 1);
        n->AddFaces(0, faces.data(), 1);
        n->SetSlotMaterial(0, Opaque(), "shared.tga");
    }
    delete a;
    EXPECT_EQ(LookupTexture("shared.tga"), nullptr);
}

}  // namespace
