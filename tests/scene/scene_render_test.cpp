// The two-pass renderer against the recording device, and the tree walk.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fakes/fakes.h"
#include "scene/scene_file.h"

namespace {

using sombrella::fakes::FakeDevice;
using sombrella::fakes::FakeWorld;
using sombrella::fakes::SameMatrix;

Material Colour(float r, float a) {
    Material m{};
    m.diffuse.r = r;
    m.diffuse.a = a;
    m.power = r * 10;
    return m;
}

// A mesh of `perSlot[s]` triangles in slot s, each with the material Colour(s / 10, alpha[s]).
SceneNode* Mesh(const char* name, const std::vector<uint32_t>& perSlot, const std::vector<float>& alpha,
                const std::vector<const char*>& textures = {}) {
    uint32_t total = 0;
    for (uint32_t n : perSlot) total += n;
    std::vector<Vector3> positions;
    for (uint32_t i = 0; i < 3 * total; ++i) positions.emplace_back(static_cast<float>(i), 1.0f, 2.0f);
    std::vector<uint32_t> faces;
    for (uint32_t t = 0; t < total; ++t) faces.insert(faces.end(), {3, 3 * t, 3 * t + 1, 3 * t + 2});
    SceneNode* node = new SceneNode(name);
    EXPECT_EQ(node->SetGeometry(positions.data(), 3 * total, faces.data(), total), S_OK);
    const uint32_t* face = faces.data();
    for (uint32_t s = 0; s < perSlot.size(); ++s) {
        node->AddFaces(s, face, perSlot[s]);
        face += 4 * perSlot[s];
        node->SetSlotMaterial(s, Colour(static_cast<float>(s) / 10, alpha[s]), s < textures.size() ? textures[s] : "");
    }
    return node;
}

SceneNode* Frame(const char* name, const Matrix4& m) {
    SceneNode* node = new SceneNode(name);
    node->matrix = m;
    return node;
}

Matrix4 Translation(float x, float y, float z) {
    Matrix4 m;
    MakeIdentity(m);
    m._41 = x;
    m._42 = y;
    m._43 = z;
    return m;
}

Matrix4 ScaleMatrix(float s) {
    Matrix4 m;
    MakeIdentity(m);
    m._11 = m._22 = m._33 = s;
    return m;
}

class SceneRender : public ::testing::Test {
protected:
    void SetUp() override {
        set = world.CreateDeviceSet(IID_IDirect3DRGBDevice);
        device = set.device;
        scene.root = new SceneNode("D3DFile_Root");
    }
    void TearDown() override { EXPECT_TRUE(world.log.errors.empty()) << world.log.Dump(); }
    void Render() {
        world.log.Clear();
        device->draws.clear();
        EXPECT_EQ(scene.Render(device), S_OK);
    }
    FakeWorld world;
    FakeWorld::DeviceSet set{};
    FakeDevice* device = nullptr;
    SceneFile scene;
};

TEST_F(SceneRender, EmptySceneMakesNoDeviceCall) {
    SceneFile empty;
    world.log.Clear();
    EXPECT_EQ(empty.Render(device), S_OK);
    EXPECT_TRUE(world.log.Records().empty());
}

TEST_F(SceneRender, SavesSwitchesBlendingAndRestoresInOrder) {
    scene.root->AddChild(Mesh("solid", {1}, {1.0f}));
    device->renderStates[D3DRENDERSTATE_ALPHABLENDENABLE] = 0;
    device->renderStates[D3DRENDERSTATE_SRCBLEND] = 2;
    device->renderStates[D3DRENDERSTATE_DESTBLEND] = 1;
    Matrix4 w = Translation(0, 10, -120);
    device->transforms[D3DTRANSFORMSTATE_WORLD] = w;
    device->SetTexture(0, set.target);
    Material caller = Colour(0.75f, 1.0f);
    device->material = caller;
    std::string texture = sombrella::fakes::LabelOf(set.target);
    int outstanding = set.target->Outstanding();

    Render();
    std::vector<std::string> calls = world.log.Filter({"GetMaterial", "GetTexture", "GetTransform", "GetRenderState",
                                                        "SetRenderState", "SetTexture", "DrawIndexedPrimitive"});
    std::vector<std::string> want = {"GetMaterial()",
                                     "GetTexture(0)",
                                     "GetTransform(1)",
                                     "GetRenderState(27)",
                                     "GetRenderState(19)",
                                     "GetRenderState(20)",
                                     "GetTransform(1)",  // the root frame, opaque pass
                                     "DrawIndexedPrimitive(4,274,3,3,0)",
                                     "SetRenderState(27,1)",
                                     "SetRenderState(19,5)",
                                     "SetRenderState(20,6)",
                                     "GetTransform(1)",  // the root frame, translucent pass
                                     "SetRenderState(27,0)",
                                     "SetRenderState(19,2)",
                                     "SetRenderState(20,1)",
                                     "SetTexture(0," + texture + ")"};
    EXPECT_EQ(calls, want) << world.log.Dump();
    // World, texture and material come back last, in that order.
    long world_ = world.log.IndexOf("SetTransform", world.log.IndexOf("SetRenderState(20,1)"));
    long tex = world.log.IndexOf("SetTexture(0," + texture + ")");
    long mat = world.log.IndexOf("SetMaterial", static_cast<size_t>(tex));
    EXPECT_TRUE(world_ >= 0 && world_ < tex && tex < mat) << world.log.Dump();
    EXPECT_TRUE(SameMatrix(device->transforms[D3DTRANSFORMSTATE_WORLD], w));
    EXPECT_EQ(std::memcmp(&device->material, &caller, sizeof caller), 0);
    EXPECT_EQ(device->renderStates[D3DRENDERSTATE_ALPHABLENDENABLE], 0u);
    EXPECT_EQ(device->renderStates[D3DRENDERSTATE_SRCBLEND], 2u);
    const auto& records = world.log.Records();
    ASSERT_GE(records.size(), 2u);
    EXPECT_EQ(records[records.size() - 2].method, "SetMaterial") << "the last device call";
    EXPECT_EQ(records.back().text, "Release()");
    EXPECT_EQ(records.back().object, texture);
    EXPECT_EQ(set.target->Outstanding(), outstanding) << "the GetTexture reference is given back";
}

TEST_F(SceneRender, TranslucentMeshDrawsAllItsSlotsInTheBlendedPass) {
    scene.root->AddChild(Mesh("glass", {1, 2}, {1.0f, 0.5f}));
    scene.root->AddChild(Mesh("solid", {1}, {1.0f}));
    device->renderStates[D3DRENDERSTATE_ALPHABLENDENABLE] = 0;
    Render();
    ASSERT_EQ(device->draws.size(), 3u);
    long blendOn = world.log.IndexOf("SetRenderState(27,1)");
    EXPECT_LT(static_cast<long>(device->draws[0].logIndex), blendOn) << "opaque first, although later in the tree";
    EXPECT_EQ(device->draws[0].indices.size(), 3u);
    EXPECT_EQ(device->draws[0].renderStates[D3DRENDERSTATE_ALPHABLENDENABLE], 0u);
    for (int i : {1, 2}) {
        EXPECT_GT(static_cast<long>(device->draws[i].logIndex), blendOn);
        EXPECT_EQ(device->draws[i].renderStates[D3DRENDERSTATE_ALPHABLENDENABLE], 1u);
        EXPECT_EQ(device->draws[i].renderStates[D3DRENDERSTATE_SRCBLEND], static_cast<DWORD>(D3DBLEND_SRCALPHA));
        EXPECT_EQ(device->draws[i].renderStates[D3DRENDERSTATE_DESTBLEND], static_cast<DWORD>(D3DBLEND_INVSRCALPHA));
    }
    EXPECT_EQ(device->draws[1].material.diffuse.a, 1.0f);
    EXPECT_EQ(device->draws[2].material.diffuse.a, 0.5f);
    EXPECT_EQ(device->draws[2].indices.size(), 6u);
}

TEST_F(SceneRender, EmptySlotIsSkippedAndRunsFollowEachOther) {
    SceneNode* mesh = Mesh("gap", {2, 0, 1}, {1.0f, 1.0f, 1.0f});
    scene.root->AddChild(mesh);
    Render();
    ASSERT_EQ(device->draws.size(), 2u);
    const auto& first = device->draws[0];
    const auto& second = device->draws[1];
    EXPECT_EQ(first.type, D3DPT_TRIANGLELIST);
    EXPECT_EQ(first.fvf, 274u);
    EXPECT_EQ(first.flags, 0u);
    EXPECT_EQ(first.vertexPointer, mesh->vertices);
    EXPECT_EQ(first.vertexCount, mesh->vertexCount);
    EXPECT_EQ(first.indexPointer, mesh->indices);
    EXPECT_EQ(first.indices.size(), 6u);
    EXPECT_EQ(second.indexPointer, mesh->indices + 6);
    EXPECT_EQ(second.indices, (std::vector<WORD>{6, 7, 8}));
    EXPECT_EQ(second.material.diffuse.r, 0.2f);
}

TEST_F(SceneRender, NamedSlotBindsTheRegistrySurfaceUnnamedKeepsTheBinding) {
    // The registry never holds a surface here, so a named slot binds none.
    scene.root->AddChild(Mesh("tex", {1, 1, 1}, {1.0f, 1.0f, 1.0f}, {"", "brick.tga", ""}));
    device->SetTexture(0, set.target);
    Render();
    ASSERT_EQ(device->draws.size(), 3u);
    EXPECT_EQ(device->draws[0].texture0, set.target) << "unnamed slot draws with the caller's texture";
    EXPECT_EQ(device->draws[1].texture0, nullptr);
    EXPECT_EQ(device->draws[2].texture0, nullptr) << "unnamed slot keeps the earlier slot's binding";
    EXPECT_EQ(world.log.Filter({"SetTexture"}).size(), 2u) << "one for the named slot, one for the restore";
    EXPECT_EQ(device->textures[0], set.target);
}

TEST_F(SceneRender, FrameTransformsComposeInnermostFirst) {
    Matrix4 w = Translation(0, 10, -120);
    device->transforms[D3DTRANSFORMSTATE_WORLD] = w;
    SceneNode* outer = Frame("outer", ScaleMatrix(2));
    SceneNode* inner = Frame("inner", Translation(0, 0, 10));
    inner->AddChild(Mesh("deep", {1}, {1.0f}));
    outer->AddChild(inner);
    outer->AddChild(Mesh("shallow", {1}, {1.0f}));
    scene.root->matrix = Translation(1, 0, 0);
    scene.root->AddChild(outer);
    scene.root->AddChild(Frame("childless", ScaleMatrix(3)));
    Render();
    ASSERT_EQ(device->draws.size(), 2u);
    Matrix4 expectDeep, expectShallow;
    MultiplyMatrices(expectDeep, Translation(0, 0, 10), ScaleMatrix(2));
    MultiplyMatrices(expectDeep, expectDeep, Translation(1, 0, 0));
    MultiplyMatrices(expectDeep, expectDeep, w);
    MultiplyMatrices(expectShallow, ScaleMatrix(2), Translation(1, 0, 0));
    MultiplyMatrices(expectShallow, expectShallow, w);
    EXPECT_TRUE(SameMatrix(device->draws[0].world, expectDeep, 1e-5f));
    EXPECT_TRUE(SameMatrix(device->draws[1].world, expectShallow, 1e-5f));
    EXPECT_TRUE(SameMatrix(device->transforms[D3DTRANSFORMSTATE_WORLD], w));
    // Per frame with children and pass: one read, two writes. Three such frames, two passes.
    EXPECT_EQ(world.log.Count("GetTransform"), 1u + 3u * 2u);
    EXPECT_EQ(world.log.Count("SetTransform"), 1u + 6u * 2u);
}

TEST_F(SceneRender, MeshChildrenAndOwnMatrixAreIgnoredWhenDrawing) {
    SceneNode* mesh = Mesh("parent", {1}, {1.0f});
    mesh->matrix = Translation(5, 5, 5);
    mesh->AddChild(Mesh("hidden", {1}, {1.0f}));
    scene.root->AddChild(mesh);
    Render();
    ASSERT_EQ(device->draws.size(), 1u);
    EXPECT_EQ(device->draws[0].vertexPointer, mesh->vertices);
    EXPECT_TRUE(SameMatrix(device->draws[0].world, sombrella::fakes::IdentityMatrix()));
}

// --- the walk -----------------------------------------------------------------

struct Visit {
    std::vector<std::string> names;
    std::vector<float> runningX;  // _41 of the running matrix at each visit
    std::string stopAt;
};

int32_t Record(SceneNode* node, Matrix4& running, void* user) {
    auto* v = static_cast<Visit*>(user);
    v->names.push_back(node->name);
    v->runningX.push_back(running._41);
    return v->stopAt == node->name ? 1 : 0;
}

class SceneWalk : public ::testing::Test {
protected:
    void SetUp() override {
        scene.root = Frame("root", Translation(1, 0, 0));
        SceneNode* a = Frame("A", Translation(10, 0, 0));
        a->AddChild(Mesh("A1", {1}, {1.0f}));
        a->AddChild(Frame("A2", Translation(100, 0, 0)));
        scene.root->AddChild(a);
        scene.root->AddChild(Frame("B", Translation(1000, 0, 0)));
    }
    SceneFile scene;
};

TEST_F(SceneWalk, VisitsDepthFirstWithTheAncestorsMatrix) {
    Visit v;
    Matrix4 start = Translation(0.5f, 0, 0);
    scene.Enumerate(Record, &start, &v);
    EXPECT_EQ(v.names, (std::vector<std::string>{"root", "A", "A1", "A2", "B"}));
    EXPECT_EQ(v.runningX, (std::vector<float>{0.5f, 1.5f, 11.5f, 11.5f, 1.5f}));
    EXPECT_EQ(start._41, 0.5f) << "the caller's matrix is not changed";
}

TEST_F(SceneWalk, CallbackGivingOneStopsEverything) {
    Visit v;
    v.stopAt = "A1";
    scene.Enumerate(Record, nullptr, &v);
    EXPECT_EQ(v.names, (std::vector<std::string>{"root", "A", "A1"}));
    SceneFile empty;
    Visit none;
    empty.Enumerate(Record, nullptr, &none);
    EXPECT_TRUE(none.names.empty());
    empty.Scale(2.0f);
}

TEST_F(SceneWalk, MeshChildrenAreVisited) {
    SceneNode* a1 = scene.root->firstChild->firstChild;
    a1->AddChild(Frame("under-mesh", Translation(0, 0, 0)));
    Visit v;
    scene.Enumerate(Record, nullptr, &v);
    EXPECT_EQ(v.names, (std::vector<std::string>{"root", "A", "A1", "under-mesh", "A2", "B"}));
}

TEST_F(SceneWalk, ScaleMovesOnlyVertexPositions) {
    SceneNode* a1 = scene.root->firstChild->firstChild;
    a1->vertices[0] = Vertex{2, 4, -6, 0, 0, 1, 0.25f, 0.5f};
    scene.Scale(-0.5f);
    EXPECT_EQ(a1->vertices[0].x, -1.0f);
    EXPECT_EQ(a1->vertices[0].y, -2.0f);
    EXPECT_EQ(a1->vertices[0].z, 3.0f);
    EXPECT_EQ(a1->vertices[0].nz, 1.0f);
    EXPECT_EQ(a1->vertices[0].tu, 0.25f);
    EXPECT_EQ(a1->vertices[1].x, -0.5f);
    EXPECT_EQ(scene.root->firstChild->matrix._41, 10.0f);
    scene.Scale(2.0f);
    EXPECT_EQ(a1->vertices[0].x, -2.0f);
}

}  // namespace
