// The loader's mesh and material code fed data blocks that no well-formed file
// produces: counts larger than the block, faces running off its end, short
// records, absurd material counts. A stand-in data object hands them out.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "rmxfguid.h"
#include "scene/scene_file.h"

namespace {

class BlockObject final : public IDirectXFileData {
public:
    BlockObject(const GUID& type, std::string name, std::vector<uint32_t> words)
        : type_(type), name_(std::move(name)), bytes_(words.size() * 4 + 1) {
        // One byte of offset makes the block unaligned, as a packed parser might hand it out.
        if (!words.empty()) std::memcpy(bytes_.data() + 1, words.data(), words.size() * 4);
        size_ = static_cast<DWORD>(words.size() * 4);
    }
    void Add(BlockObject* child) { children_.push_back(child); }

    HRESULT QueryInterface(REFIID riid, LPVOID* out) override {
        if (riid == IID_IDirectXFileData) {
            AddRef();
            *out = static_cast<IDirectXFileData*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return --refs; }
    HRESULT GetName(LPSTR buffer, LPDWORD length) override {
        std::snprintf(buffer, *length, "%s", name_.c_str());
        return S_OK;
    }
    HRESULT GetId(LPGUID) override { return E_NOTIMPL; }
    HRESULT GetData(LPCSTR, DWORD* size, void** data) override {
        *size = size_;
        *data = bytes_.data() + 1;
        return S_OK;
    }
    HRESULT GetType(const GUID** type) override {
        *type = &type_;
        return S_OK;
    }
    HRESULT GetNextObject(LPDIRECTXFILEOBJECT* child) override {
        if (next_ >= children_.size()) return DXFILEERR_NOMOREOBJECTS;
        BlockObject* c = children_[next_++];
        c->AddRef();
        *child = c;
        return S_OK;
    }
    HRESULT AddDataObject(LPDIRECTXFILEDATA) override { return E_NOTIMPL; }
    HRESULT AddDataReference(LPCSTR, const GUID*) override { return E_NOTIMPL; }
    HRESULT AddBinaryObject(LPCSTR, const GUID*, LPCSTR, LPVOID, DWORD) override { return E_NOTIMPL; }

    long refs = 1;

private:
    GUID type_;
    std::string name_;
    std::vector<char> bytes_;
    DWORD size_;
    std::vector<BlockObject*> children_;
    size_t next_ = 0;
};

uint32_t Bits(float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

// Two triangles over four vertices: nVertices, positions, nFaces, faces.
std::vector<uint32_t> Quad() {
    std::vector<uint32_t> w = {4};
    for (float f : {0.f, 0.f, 0.f, 1.f, 0.f, 0.f, 0.f, 1.f, 0.f, 1.f, 1.f, 0.f}) w.push_back(Bits(f));
    w.insert(w.end(), {2, 3, 0, 1, 2, 3, 2, 1, 3});
    return w;
}

class SceneBlocks : public ::testing::Test {
protected:
    void TearDown() override {
        for (auto& o : objects_) EXPECT_EQ(o->refs, 1) << "every reference handed out is given back";
    }
    BlockObject* Make(const GUID& type, std::vector<uint32_t> words, const char* name = "") {
        objects_.push_back(std::make_unique<BlockObject>(type, name, std::move(words)));
        return objects_.back().get();
    }
    SceneNode* LoadOne(BlockObject* mesh) {
        EXPECT_EQ(loader.LoadMesh(mesh, &parent), S_OK);
        return parent.firstChild;
    }
    SceneFile loader;
    SceneNode parent{"parent"};
    std::vector<std::unique_ptr<BlockObject>> objects_;
};

TEST_F(SceneBlocks, AlignedOrNotAWellFormedMeshLoads) {
    SceneNode* mesh = LoadOne(Make(TID_D3DRMMesh, Quad(), "quad"));
    ASSERT_NE(mesh, nullptr);
    EXPECT_STREQ(mesh->name, "quad");
    EXPECT_EQ(mesh->slots[0].indexCount, 6u);
    EXPECT_EQ(mesh->vertices[3].y, 1.0f);
}

TEST_F(SceneBlocks, VertexCountLargerThanTheBlockLeavesTheMeshOut) {
    auto w = Quad();
    w[0] = 1000;
    EXPECT_EQ(loader.LoadMesh(Make(TID_D3DRMMesh, w), &parent), E_FAIL);
    w[0] = 0x40000000;  // 12 bytes each would wrap a 32-bit size
    EXPECT_EQ(loader.LoadMesh(Make(TID_D3DRMMesh, w), &parent), E_FAIL);
    EXPECT_EQ(parent.firstChild, nullptr);
}

TEST_F(SceneBlocks, FacesRunningOffTheBlockLeaveTheMeshOut) {
    auto tooMany = Quad();
    tooMany[13] = 3;  // nFaces
    EXPECT_EQ(loader.LoadMesh(Make(TID_D3DRMMesh, tooMany), &parent), E_FAIL);
    auto hugeFace = Quad();
    hugeFace[14] = 0xFFFFFFFF;  // first face's index count
    EXPECT_EQ(loader.LoadMesh(Make(TID_D3DRMMesh, hugeFace), &parent), E_FAIL);
    auto cut = Quad();
    cut.pop_back();
    EXPECT_EQ(loader.LoadMesh(Make(TID_D3DRMMesh, cut), &parent), E_FAIL);
    EXPECT_EQ(loader.LoadMesh(Make(TID_D3DRMMesh, {}), &parent), E_FAIL);
    EXPECT_EQ(parent.firstChild, nullptr);
}

TEST_F(SceneBlocks, ShortMaterialListIsIgnored) {
    BlockObject* mesh = Make(TID_D3DRMMesh, Quad());
    mesh->Add(Make(TID_D3DRMMeshMaterialList, {2, 2, 1}));  // one face index missing
    SceneNode* node = LoadOne(mesh);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->slots[0].indexCount, 6u) << "all faces in slot 0, as without a list";
    EXPECT_EQ(node->slots[1].indexCount, 0u);
}

TEST_F(SceneBlocks, AbsurdMaterialCountEndsAtSixteenSlots) {
    BlockObject* mesh = Make(TID_D3DRMMesh, Quad());
    mesh->Add(Make(TID_D3DRMMeshMaterialList, {0x7FFFFFFF, 2, 15, 0x7FFFFFF0}));
    SceneNode* node = LoadOne(mesh);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->slots[15].indexCount, 3u);
    EXPECT_EQ(node->usedSlotCount, 16u);
    uint32_t total = 0;
    for (const auto& s : node->slots) total += s.indexCount;
    EXPECT_EQ(total, 3u);
}

TEST_F(SceneBlocks, ShortNormalsAndCoordinatesAreIgnored) {
    BlockObject* mesh = Make(TID_D3DRMMesh, Quad());
    std::vector<uint32_t> normals = {4};
    for (int i = 0; i < 9; ++i) normals.push_back(Bits(0.5f));  // three normals, count says four
    std::vector<uint32_t> uv = {4, Bits(0.5f), Bits(0.5f)};
    mesh->Add(Make(TID_D3DRMMeshNormals, normals));
    mesh->Add(Make(TID_D3DRMMeshTextureCoords, uv));
    SceneNode* node = LoadOne(mesh);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->vertices[0].nx, 0.0f) << "computed instead";
    EXPECT_EQ(std::fabs(node->vertices[0].nz), 1.0f);
    EXPECT_EQ(node->vertices[0].tu, 0.0f);
}

TEST_F(SceneBlocks, ShortMaterialRecordLeavesTheSlotAlone) {
    BlockObject* mesh = Make(TID_D3DRMMesh, Quad());
    BlockObject* list = Make(TID_D3DRMMeshMaterialList, {2, 2, 0, 1});
    std::vector<uint32_t> shortMaterial(10, Bits(0.25f));  // 40 of 44 bytes
    std::vector<uint32_t> fullMaterial(11, Bits(0.25f));
    list->Add(Make(TID_D3DRMMaterial, shortMaterial));
    list->Add(Make(TID_D3DRMMaterial, fullMaterial));
    mesh->Add(list);
    SceneNode* node = LoadOne(mesh);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->slots[0].material.diffuse.r, 0.0f);
    EXPECT_EQ(node->slots[1].material.diffuse.r, 0.25f);
    EXPECT_EQ(node->slots[1].material.emissive.b, 0.25f);
    EXPECT_EQ(node->isTranslucent, 1) << "alpha 0.25 of the full record";
}

TEST_F(SceneBlocks, ShortTextureFilenameLeavesTheSlotAlone) {
    BlockObject* mesh = Make(TID_D3DRMMesh, Quad());
    BlockObject* list = Make(TID_D3DRMMeshMaterialList, {1, 2, 0, 0});
    BlockObject* material = Make(TID_D3DRMMaterial, std::vector<uint32_t>(11, Bits(1.0f)));
    material->Add(Make(TID_D3DRMTextureFilename, {}));  // no room for the name pointer
    list->Add(material);
    mesh->Add(list);
    SceneNode* node = LoadOne(mesh);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->slots[0].material.diffuse.r, 0.0f);
    EXPECT_STREQ(node->slots[0].textureName, "");
}

}  // namespace
