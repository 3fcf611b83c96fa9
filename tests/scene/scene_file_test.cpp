// The X-file loader on small files the tests write, each in text and in binary
// form: both forms of a scene must load to the same tree.
#include <cmath>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dxfile.h"
#include "rmxftmpl.h"
#include "scene/scene_file.h"
#include "scene_dump.h"
#include "scene_test_support.h"
#include "textures/texture_registry.h"

namespace {

using scene_test::MakeFrame;
using scene_test::MakeMaterial;
using scene_test::MakeMaterialList;
using scene_test::MakeMatrix;
using scene_test::MakeMesh;
using scene_test::MakeNormals;
using scene_test::MakeReference;
using scene_test::MakeTextureCoords;
using scene_test::XNode;

enum class Form { Text, Binary, Binary64 };

// Four triangles over six vertices; face k is (k, k+1, k+2) with alternating winding.
const std::vector<float> kStrip = {0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0, 0, 2, 0, 1, 2, 0};
const std::vector<std::vector<uint32_t>> kStripFaces = {{0, 1, 2}, {2, 1, 3}, {2, 3, 4}, {4, 3, 5}};

std::vector<uint16_t> SlotRun(const SceneNode& node, uint32_t slot) {
    uint32_t start = 0;
    for (uint32_t s = 0; s < slot; ++s) start += node.slots[s].indexCount;
    return std::vector<uint16_t>(node.indices + start, node.indices + start + node.slots[slot].indexCount);
}

std::vector<uint16_t> Flat(const std::vector<std::vector<uint32_t>>& faces, std::initializer_list<int> which) {
    std::vector<uint16_t> out;
    for (int k : which)
        for (uint32_t i : faces[k]) out.push_back(static_cast<uint16_t>(i));
    return out;
}

class SceneLoad : public scene_test::TempDirTest, public ::testing::WithParamInterface<Form> {
protected:
    std::string Encode(const std::vector<XNode>& objects) {
        if (GetParam() == Form::Text) return scene_test::TextX(objects);
        return scene_test::BinaryX(objects, GetParam() == Form::Binary64);
    }
    HRESULT Load(const std::vector<XNode>& objects, const std::string& name = "scene.x") {
        scene_test::WriteFile(name, Encode(objects));
        return scene.Load(name.c_str());
    }
    SceneNode* Child(const SceneNode* parent, int index) {
        SceneNode* n = parent->firstChild;
        for (int i = 0; i < index && n != nullptr; ++i) n = n->nextSibling;
        return n;
    }
    int CountChildren(const SceneNode* parent) {
        int c = 0;
        for (SceneNode* n = parent->firstChild; n != nullptr; n = n->nextSibling) ++c;
        return c;
    }
    SceneFile scene;
};

TEST_P(SceneLoad, BareMeshGoesToSlotZeroWithComputedNormals) {
    ASSERT_EQ(Load({MakeMesh("tri", {0, 0, 0, 1, 0, 0, 0, 1, 0}, {{0, 1, 2}})}), S_OK);
    ASSERT_NE(scene.root, nullptr);
    EXPECT_STREQ(scene.root->name, "D3DFile_Root");
    EXPECT_EQ(CountChildren(scene.root), 1);
    SceneNode* mesh = scene.root->firstChild;
    EXPECT_STREQ(mesh->name, "tri");
    EXPECT_EQ(mesh->isMesh, 1);
    EXPECT_EQ(mesh->usedSlotCount, 1u);
    EXPECT_EQ(SlotRun(*mesh, 0), (std::vector<uint16_t>{0, 1, 2}));
    static const Material zero{};
    EXPECT_EQ(std::memcmp(&mesh->slots[0].material, &zero, sizeof zero), 0);
    EXPECT_EQ(mesh->isTranslucent, 0);
    EXPECT_FLOAT_EQ(mesh->vertices[1].nz, 1.0f);
}

TEST_P(SceneLoad, FrameMatrixIsMirroredIntoTheDeviceHandedness) {
    std::vector<float> rows;
    for (int i = 1; i <= 16; ++i) rows.push_back(static_cast<float>(i));
    ASSERT_EQ(Load({MakeFrame("f", {MakeMatrix(rows)})}), S_OK);
    const Matrix4& m = scene.root->firstChild->matrix;
    const float want[16] = {1, 2, -3, 4, 5, 6, -7, 8, -9, -10, 11, 12, 13, 14, -15, 16};
    for (int i = 0; i < 16; ++i) EXPECT_EQ((&m._11)[i], want[i]) << "element " << i;
}

TEST_P(SceneLoad, NestedFramesKeepTheirOwnMatrices) {
    auto translate = [](float z) {
        return MakeMatrix({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, z, 1});
    };
    XNode mesh = MakeMesh("inner", {0, 0, 0, 1, 0, 0, 0, 1, 0}, {{0, 1, 2}});
    ASSERT_EQ(Load({MakeFrame("a", {translate(1), MakeFrame("b", {translate(2), MakeFrame("c", {translate(3), mesh})})})}),
              S_OK);
    SceneNode* a = scene.root->firstChild;
    SceneNode* b = a->firstChild;
    SceneNode* c = b->firstChild;
    SceneNode* m = c->firstChild;
    ASSERT_NE(m, nullptr);
    EXPECT_STREQ(a->name, "a");
    EXPECT_STREQ(c->name, "c");
    EXPECT_EQ(a->matrix._43, -1.0f);
    EXPECT_EQ(b->matrix._43, -2.0f);
    EXPECT_EQ(c->matrix._43, -3.0f);
    EXPECT_EQ(m->isMesh, 1);
    EXPECT_EQ(m->matrix._43, 0.0f);
    EXPECT_EQ(m->matrix._11, 1.0f);
}

TEST_P(SceneLoad, FacesAreDistributedSlotBySlotInFileOrder) {
    ASSERT_EQ(Load({MakeMesh("m", kStrip, kStripFaces,
                             {MakeMaterialList(2, {1, 0, 1, 0},
                                               {MakeMaterial("red", 1, 0, 0, 1), MakeMaterial("blue", 0, 0, 1, 1)})})}),
              S_OK);
    SceneNode* mesh = scene.root->firstChild;
    EXPECT_EQ(mesh->usedSlotCount, 2u);
    EXPECT_EQ(SlotRun(*mesh, 0), Flat(kStripFaces, {1, 3}));
    EXPECT_EQ(SlotRun(*mesh, 1), Flat(kStripFaces, {0, 2}));
    EXPECT_EQ(mesh->slots[0].material.diffuse.r, 1.0f);
    EXPECT_EQ(mesh->slots[1].material.diffuse.b, 1.0f);
    // The mapping of an X material: faceColor to diffuse and ambient, alphas of the rest 0.
    const Material& red = mesh->slots[0].material;
    EXPECT_EQ(red.ambient.r, 1.0f);
    EXPECT_EQ(red.ambient.a, 1.0f);
    EXPECT_EQ(red.power, 12.5f);
    EXPECT_EQ(red.specular.g, 0.5f);
    EXPECT_EQ(red.specular.a, 0.0f);
    EXPECT_EQ(red.emissive.b, 0.03125f);
    EXPECT_EQ(red.emissive.a, 0.0f);
}

TEST_P(SceneLoad, SingleMaterialOrMismatchedIndexCountPutsAllFacesInSlotZero) {
    ASSERT_EQ(Load({MakeMesh("one", kStrip, kStripFaces, {MakeMaterialList(1, {1, 0, 1, 0}, {})}),
                    MakeMesh("short", kStrip, kStripFaces, {MakeMaterialList(2, {1, 1, 1}, {})})}),
              S_OK);
    for (int i = 0; i < 2; ++i) {
        SceneNode* mesh = Child(scene.root, i);
        EXPECT_EQ(mesh->usedSlotCount, 1u);
        EXPECT_EQ(SlotRun(*mesh, 0), Flat(kStripFaces, {0, 1, 2, 3})) << mesh->name;
    }
}

TEST_P(SceneLoad, FacesWithoutAValidMaterialAreNotStored) {
    ASSERT_EQ(Load({MakeMesh("none", kStrip, kStripFaces, {MakeMaterialList(0, {0, 0, 0, 0}, {})}),
                    MakeMesh("some", kStrip, kStripFaces, {MakeMaterialList(2, {2, 0, 2, 2}, {})})}),
              S_OK);
    SceneNode* none = Child(scene.root, 0);
    EXPECT_EQ(none->usedSlotCount, 0u);
    EXPECT_EQ(none->slots[0].indexCount, 0u);
    SceneNode* some = Child(scene.root, 1);
    EXPECT_EQ(SlotRun(*some, 0), Flat(kStripFaces, {1}));
    EXPECT_EQ(some->slots[1].indexCount, 0u);
    // Only face 1 (2, 1, 3) contributes to normals: vertex 0 is in no stored triangle.
    EXPECT_EQ(some->vertices[0].nz, 0.0f);
    EXPECT_EQ(std::fabs(some->vertices[3].nz), 1.0f);
}

TEST_P(SceneLoad, MaterialsBeyondSixteenAreDroppedAndReferencesResolve) {
    std::vector<XNode> materials;
    for (int i = 0; i < 20; ++i) materials.push_back(MakeMaterial({}, static_cast<float>(i) / 32, 0, 0, 1));
    materials[1] = MakeReference("shared");
    std::vector<uint32_t> indexes = {0, 1, 15, 19};
    ASSERT_EQ(Load({MakeMaterial("shared", 0.5f, 0.25f, 0.125f, 1),
                    MakeMesh("m", kStrip, kStripFaces, {MakeMaterialList(20, indexes, materials)})}),
              S_OK);
    EXPECT_EQ(CountChildren(scene.root), 1) << "top-level materials are not nodes";
    SceneNode* mesh = scene.root->firstChild;
    EXPECT_EQ(mesh->usedSlotCount, 16u);
    EXPECT_EQ(mesh->slots[1].material.diffuse.r, 0.5f);
    EXPECT_EQ(mesh->slots[1].material.diffuse.g, 0.25f);
    EXPECT_EQ(mesh->slots[15].material.diffuse.r, 15.0f / 32);
    EXPECT_EQ(mesh->slots[15].indexCount, 3u);
    uint32_t total = 0;
    for (const auto& s : mesh->slots) total += s.indexCount;
    EXPECT_EQ(total, 9u) << "the face of material 19 is dropped";
}

TEST_P(SceneLoad, TranslucentMaterialMarksTheWholeMesh) {
    ASSERT_EQ(Load({MakeMesh("glass", kStrip, kStripFaces,
                             {MakeMaterialList(2, {0, 0, 1, 1},
                                               {MakeMaterial({}, 1, 1, 1, 1), MakeMaterial({}, 1, 1, 1, 0.5f)})})}),
              S_OK);
    EXPECT_EQ(scene.root->firstChild->isTranslucent, 1);
}

TEST_P(SceneLoad, NormalsAndCoordinatesOfTheWrongCountAreIgnored) {
    std::vector<float> normals(3 * 5, 0.0f);
    for (size_t i = 0; i < 5; ++i) normals[3 * i] = 1.0f;
    std::vector<float> uv(2 * 5, 0.5f);
    std::vector<float> goodNormals(3 * 6, 0.0f);
    for (size_t i = 0; i < 6; ++i) goodNormals[3 * i + 1] = 1.0f;
    std::vector<float> goodUv;
    for (int i = 0; i < 12; ++i) goodUv.push_back(static_cast<float>(i) / 16);
    ASSERT_EQ(Load({MakeMesh("bad", kStrip, kStripFaces, {MakeNormals(normals, kStripFaces), MakeTextureCoords(uv)}),
                    MakeMesh("good", kStrip, kStripFaces,
                             {MakeNormals(goodNormals, kStripFaces), MakeTextureCoords(goodUv)})}),
              S_OK);
    SceneNode* bad = Child(scene.root, 0);
    EXPECT_EQ(bad->vertices[0].nx, 0.0f);
    EXPECT_EQ(std::fabs(bad->vertices[0].nz), 1.0f) << "computed";
    EXPECT_EQ(bad->vertices[2].tu, 0.0f);
    SceneNode* good = Child(scene.root, 1);
    EXPECT_EQ(good->vertices[4].ny, 1.0f);
    EXPECT_EQ(good->vertices[4].nz, 0.0f);
    EXPECT_EQ(good->vertices[5].tu, 10.0f / 16);
    EXPECT_EQ(good->vertices[5].tv, 11.0f / 16);
}

TEST_P(SceneLoad, OtherChildTypesAreSkipped) {
    XNode colours{XNode::VertexColors, {}, {1, 0, 0, 1, 0, 1, 0, 1}, {0, 1}, {}, {}, {}};
    XNode header{XNode::Header, {}, {}, {}, {}, {}, {}};
    ASSERT_EQ(Load({header, MakeMesh("m", kStrip, kStripFaces, {colours})}), S_OK);
    EXPECT_EQ(CountChildren(scene.root), 1);
    EXPECT_EQ(scene.root->firstChild->slots[0].indexCount, 12u);
}

TEST_P(SceneLoad, TopLevelMeshReferencedByAFrameLoadsOnceWithoutTheFrame) {
    ASSERT_EQ(Load({MakeMesh("shared", kStrip, kStripFaces),
                    MakeFrame("holder", {MakeMatrix({2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1}),
                                         MakeReference("shared")})}),
              S_OK);
    EXPECT_EQ(CountChildren(scene.root), 2);
    EXPECT_EQ(scene.root->firstChild->isMesh, 1);
    SceneNode* holder = Child(scene.root, 1);
    EXPECT_STREQ(holder->name, "holder");
    EXPECT_EQ(holder->firstChild, nullptr);
}

TEST_P(SceneLoad, TextureNamesAreRegisteredOnceAndRemovedWithTheScene) {
    scene_test::WriteTga("wall.tga");
    std::vector<XNode> materials = {MakeMaterial({}, 1, 1, 1, 1, "wall.tga"), MakeMaterial({}, 1, 1, 1, 1, "WALL.TGA"),
                                    MakeMaterial({}, 1, 1, 1, 1, "missing.tga")};
    ASSERT_EQ(Load({MakeMesh("m", kStrip, kStripFaces, {MakeMaterialList(3, {0, 1, 2, 0}, materials)})}), S_OK);
    SceneNode* mesh = scene.root->firstChild;
    EXPECT_STREQ(mesh->slots[0].textureName, "wall.tga");
    EXPECT_STREQ(mesh->slots[1].textureName, "WALL.TGA");
    EXPECT_STREQ(mesh->slots[2].textureName, "missing.tga") << "kept although the file is absent";
    int entries = 0;
    for (TextureEntry* e = textureList; e != nullptr; e = e->next) ++entries;
    EXPECT_EQ(entries, 1);
    TextureEntry* wall = LookupTexture("wall.tga");
    ASSERT_NE(wall, nullptr);
    EXPECT_STREQ(wall->name, "wall.tga") << "the first registration wins";
    EXPECT_EQ(LookupTexture("missing.tga"), nullptr);

    scene.Load("no such file.x");
    EXPECT_EQ(scene.root, nullptr);
    EXPECT_EQ(LookupTexture("wall.tga"), nullptr) << "the old tree took its textures with it";
}

TEST_P(SceneLoad, TextureFilenameCountsOnlyAsFirstChild) {
    scene_test::WriteTga("late.tga");
    XNode material = MakeMaterial({}, 1, 1, 1, 1);
    material.children.push_back(MakeNormals({0, 0, 1}, {{0}}));
    material.children.push_back(XNode{XNode::TextureFilename, {}, {}, {}, {}, "late.tga", {}});
    ASSERT_EQ(Load({MakeMesh("m", kStrip, kStripFaces, {MakeMaterialList(1, {0, 0, 0, 0}, {material})})}), S_OK);
    EXPECT_STREQ(scene.root->firstChild->slots[0].textureName, "");
    EXPECT_EQ(LookupTexture("late.tga"), nullptr);
}

TEST_P(SceneLoad, MissingFileFailsAndALaterLoadStillWorks) {
    HRESULT hr = scene.Load("absent.x");
    EXPECT_LT(hr, 0);
    EXPECT_EQ(scene.root, nullptr);
    EXPECT_EQ(Load({MakeMesh("m", kStrip, kStripFaces)}), S_OK);
    EXPECT_NE(scene.root, nullptr);
}

TEST_P(SceneLoad, FileInTheMediaDirectoryIsFoundSecond) {
    std::filesystem::create_directories("sdk/D3DIM/Media");
    scene_test::WriteFile("sdk/D3DIM/Media/far.x", Encode({MakeMesh("far", kStrip, kStripFaces)}));
    std::string value = (dir_ / "sdk").string();
    setenv("SOMBRELLA_DXSDK_SAMPLES_PATH", value.c_str(), 1);
    HRESULT hr = scene.Load("far.x");
    unsetenv("SOMBRELLA_DXSDK_SAMPLES_PATH");
    ASSERT_EQ(hr, S_OK);
    EXPECT_STREQ(scene.root->firstChild->name, "far");

    // The working directory comes first.
    scene_test::WriteFile("far.x", scene_test::TextX({MakeMesh("near", kStrip, kStripFaces)}));
    setenv("SOMBRELLA_DXSDK_SAMPLES_PATH", value.c_str(), 1);
    hr = scene.Load("far.x");
    unsetenv("SOMBRELLA_DXSDK_SAMPLES_PATH");
    ASSERT_EQ(hr, S_OK);
    EXPECT_STREQ(scene.root->firstChild->name, "near");
}

TEST_P(SceneLoad, ParseErrorDiscardsThePartialTree) {
    scene_test::WriteTga("part.tga");
    std::vector<XNode> good = {MakeFrame("first", {MakeMesh("m", kStrip, kStripFaces,
                                                            {MakeMaterialList(1, {0, 0, 0, 0},
                                                                              {MakeMaterial({}, 1, 1, 1, 1, "part.tga")})})})};
    std::string bytes = Encode(good);
    bytes += GetParam() == Form::Text ? std::string("Frame broken { Mesh { 3; ") : std::string("\x01\x00\x05\x00", 4);
    scene_test::WriteFile("broken.x", bytes);
    HRESULT hr = scene.Load("broken.x");
    EXPECT_LT(hr, 0);
    EXPECT_NE(hr, DXFILEERR_NOMOREOBJECTS);
    EXPECT_EQ(scene.root, nullptr);
    EXPECT_EQ(LookupTexture("part.tga"), nullptr) << "registered by the discarded tree, removed with it";
}

// --- input the loader must survive ------------------------------------------

TEST_P(SceneLoad, FacePointingPastTheVerticesIsLeftOut) {
    ASSERT_EQ(Load({MakeMesh("m", {0, 0, 0, 1, 0, 0, 0, 1, 0}, {{0, 1, 2}, {0, 1, 3}, {2, 1, 65536}})}), S_OK);
    SceneNode* mesh = scene.root->firstChild;
    EXPECT_EQ(SlotRun(*mesh, 0), (std::vector<uint16_t>{0, 1, 2}));
}

TEST_P(SceneLoad, SecondMaterialListIsIgnored) {
    ASSERT_EQ(Load({MakeMesh("m", kStrip, kStripFaces,
                             {MakeMaterialList(2, {0, 1, 0, 1}, {MakeMaterial({}, 1, 0, 0, 1), MakeMaterial({}, 0, 1, 0, 1)}),
                              MakeMaterialList(2, {1, 1, 1, 1}, {MakeMaterial({}, 0, 0, 1, 0.5f)})})}),
              S_OK);
    SceneNode* mesh = scene.root->firstChild;
    EXPECT_EQ(mesh->slots[0].indexCount + mesh->slots[1].indexCount, mesh->indexCount);
    EXPECT_EQ(SlotRun(*mesh, 0), Flat(kStripFaces, {0, 2}));
    EXPECT_EQ(mesh->slots[0].material.diffuse.r, 1.0f);
    EXPECT_EQ(mesh->isTranslucent, 0);
}

TEST_P(SceneLoad, MeshBeyondSixteenBitIndicesIsLeftOut) {
    std::vector<float> many(3 * 65537, 0.0f);
    for (size_t i = 0; i < 65537; ++i) many[3 * i] = static_cast<float>(i);
    ASSERT_EQ(Load({MakeMesh("huge", many, {{0, 1, 65536}}), MakeMesh("small", kStrip, kStripFaces)}), S_OK);
    EXPECT_EQ(CountChildren(scene.root), 1);
    EXPECT_STREQ(scene.root->firstChild->name, "small");
}

// A generated tree with frames and meshes interleaved at every level, long
// chains beside short ones and a deep nest with siblings at each level: the
// loaded tree must list every node under its own parent in file order,
// exactly as the description has it.
TEST_P(SceneLoad, ChildrenKeepFileOrderUnderTheirOwnParentAtEveryLevel) {
    const XNode tri = MakeMesh("m", {0, 0, 0, 1, 0, 0, 0, 1, 0}, {{0, 1, 2}});
    int serial = 0;
    auto named = [&](XNode n) {
        n.name = "n" + std::to_string(serial++);
        return n;
    };
    std::function<XNode(int, int)> build = [&](int depth, int width) {
        XNode frame = named(MakeFrame({}));
        for (int i = 0; i < width; ++i) {
            if (i % 3 == 1 && depth < 3) frame.children.push_back(build(depth + 1, width / 2 + 1));
            else if (i % 3 == 2) frame.children.push_back(named(tri));
            else frame.children.push_back(named(MakeFrame({})));
        }
        return frame;
    };
    std::vector<XNode> top;
    for (int i = 0; i < 40; ++i) top.push_back(i % 4 == 0 ? build(0, 12) : named(i % 2 ? tri : MakeFrame({})));
    // As deep as the file services nest objects, with siblings at each level.
    XNode deep = named(MakeFrame({}));
    for (int d = 0; d < 60; ++d) {
        XNode outer = named(MakeFrame({}));
        outer.children = {named(tri), std::move(deep), named(MakeFrame({}))};
        deep = std::move(outer);
    }
    top.push_back(std::move(deep));
    top.push_back(named(tri));
    ASSERT_EQ(Load(top), S_OK);

    std::function<void(const std::vector<XNode>&, const SceneNode*)> same = [&](const std::vector<XNode>& want,
                                                                                const SceneNode* parent) {
        const SceneNode* got = parent->firstChild;
        for (const XNode& w : want) {
            ASSERT_NE(got, nullptr) << "missing " << w.name;
            ASSERT_EQ(std::string(got->name), w.name);
            if (w.kind == XNode::Frame) same(w.children, got);
            got = got->nextSibling;
        }
        EXPECT_EQ(got, nullptr) << "extra " << got->name << " under " << parent->name;
    };
    same(top, scene.root);
    if (HasFatalFailure()) return;

    // A frame loaded on its own under a node that has children already goes last.
    SceneNode extra("holder");
    extra.AddChild(new SceneNode("first"));
    IDirectXFile* file = nullptr;
    ASSERT_EQ(DirectXFileCreate(&file), S_OK);
    ASSERT_EQ(file->RegisterTemplates(D3DRM_XTEMPLATES, D3DRM_XTEMPLATE_BYTES), S_OK);
    scene_test::WriteFile("one.x", Encode({MakeFrame("second", {tri})}));
    IDirectXFileEnumObject* en = nullptr;
    ASSERT_EQ(file->CreateEnumObject(const_cast<char*>("one.x"), DXFILELOAD_FROMFILE, &en), S_OK);
    IDirectXFileData* object = nullptr;
    ASSERT_EQ(en->GetNextDataObject(&object), S_OK);
    EXPECT_EQ(scene.LoadFrame(object, &extra), S_OK);
    ASSERT_NE(extra.firstChild->nextSibling, nullptr);
    EXPECT_STREQ(extra.firstChild->nextSibling->name, "second");
    EXPECT_STREQ(extra.firstChild->nextSibling->firstChild->name, "m");
    object->Release();
    en->Release();
    file->Release();
}

// Every node costs some 2.6 KB: a file of tens of thousands of empty frames
// is refused whole instead of growing without bound; one just under the
// limit loads complete.
TEST_P(SceneLoad, TreesBeyondTheNodeLimitAreRefusedWhole) {
    auto frames = [](int n) {
        std::vector<XNode> children;
        for (int i = 0; i < n; ++i) children.push_back(MakeFrame("f" + std::to_string(i)));
        return std::vector<XNode>{MakeFrame("top", std::move(children))};
    };
    ASSERT_EQ(Load(frames(32767)), S_OK);
    ASSERT_NE(scene.root, nullptr);
    EXPECT_EQ(CountChildren(scene.root->firstChild), 32767);
    EXPECT_EQ(Load(frames(40000)), E_OUTOFMEMORY);
    EXPECT_EQ(scene.root, nullptr);
    // The limit is per load: the same object still loads a small file.
    ASSERT_EQ(Load(frames(3)), S_OK);
    EXPECT_EQ(CountChildren(scene.root->firstChild), 3);
}

INSTANTIATE_TEST_SUITE_P(Forms, SceneLoad, ::testing::Values(Form::Text, Form::Binary, Form::Binary64),
                         [](const auto& info) {
                             return info.param == Form::Text ? "Text" : info.param == Form::Binary ? "Binary" : "Binary64";
                         });

// --- the same scene in both forms -------------------------------------------

class SceneForms : public scene_test::TempDirTest {};

TEST_F(SceneForms, TextAndBinaryLoadToTheSameTree) {
    scene_test::WriteTga("skin.tga");
    std::vector<float> uv;
    for (int i = 0; i < 12; ++i) uv.push_back(static_cast<float>(i) * 0.1f);
    std::vector<XNode> objects = {
        XNode{XNode::Header, {}, {}, {}, {}, {}, {}},
        MakeMaterial("Gold", 1.0f, 0.84f, 0.1f, 1.0f, "skin.tga"),
        MakeFrame("Body",
                  {MakeMatrix({0.8f, 0.1f, -0.3f, 0, 0.2f, 0.9f, 0.4f, 0, 0.3f, -0.2f, 0.7f, 0, 10.5f, -3.25f, 7, 1}),
                   MakeMesh("Hull", kStrip, {{0, 1, 3, 2}, {2, 3, 5, 4}, {0, 2, 4}},
                            {MakeMaterialList(3, {2, 0, 1},
                                              {MakeReference("Gold"), MakeMaterial({}, 0.1f, 0.2f, 0.3f, 0.4f),
                                               MakeMaterial("Plain", 0.3f, 0.3f, 0.3f, 1)}),
                             MakeTextureCoords(uv)}),
                   MakeFrame("Arm", {MakeMatrix({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 1, 2, 3, 1}),
                                     MakeMesh("Hand", {0, 0, 0, 0, 0, 1, 1, 0, 0, 0, 1, 0},
                                              {{0, 1, 2}, {0, 2, 3}, {0, 3, 1}})})}),
        MakeMesh("Loose", {0, 0, 0, 1, 0, 0, 0, 1, 0}, {{0, 1, 2}}),
    };
    xdump::DumpOptions options;
    options.vertices = true;

    scene_test::WriteFile("scene_text.x", scene_test::TextX(objects));
    scene_test::WriteFile("scene_binary.x", scene_test::BinaryX(objects));
    scene_test::WriteFile("scene_binary64.x", scene_test::BinaryX(objects, true));
    SceneFile text, binary, binary64;
    ASSERT_EQ(text.Load("scene_text.x"), S_OK);
    ASSERT_EQ(binary.Load("scene_binary.x"), S_OK);
    ASSERT_EQ(binary64.Load("scene_binary64.x"), S_OK);
    std::string textDump = xdump::DumpScene(text, options);
    EXPECT_EQ(textDump, xdump::DumpScene(binary, options));
    EXPECT_EQ(textDump, xdump::DumpScene(binary64, options));
    EXPECT_NE(textDump.find("mesh \"Hand\""), std::string::npos) << textDump;
    EXPECT_NE(textDump.find("texture \"skin.tga\""), std::string::npos) << textDump;
    options.json = true;
    EXPECT_EQ(xdump::DumpScene(text, options), xdump::DumpScene(binary, options));
}

}  // namespace
