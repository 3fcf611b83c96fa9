// X-file scene loader: walks the objects the file services hand out and builds the node tree.
#include "scene/scene_file.h"

#include <cstring>
#include <new>

#include "rmxfguid.h"
#include "rmxftmpl.h"
#include "textures/texture_registry.h"
#include "util/media_path.h"

namespace {

// Frames nested deeper than this are left out: the loader, the renderer and the
// walk all recurse once per level.
constexpr uint32_t kMaxFrameDepth = 256;
constexpr size_t kPathLength = 512;

// Holds one counted reference and gives it back on every path out of a scope.
template <typename T>
class Held {
public:
    Held() = default;
    ~Held() { Reset(); }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    T** Out() {
        Reset();
        return &object_;
    }
    void** OutVoid() { return reinterpret_cast<void**>(Out()); }
    T* Get() const { return object_; }
    T* operator->() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }
    void Reset() {
        if (object_ != nullptr) object_->Release();
        object_ = nullptr;
    }

private:
    T* object_ = nullptr;
};

// A data block as 32-bit words. Blocks that the file services hand out unaligned
// are copied, so that the typed reads below stay well defined.
class WordBlock {
public:
    WordBlock() = default;
    ~WordBlock() { delete[] copy_; }
    WordBlock(const WordBlock&) = delete;
    WordBlock& operator=(const WordBlock&) = delete;

    bool Take(const void* data, DWORD size) {
        bytes_ = size;
        if (data == nullptr) return size == 0;
        if (reinterpret_cast<uintptr_t>(data) % alignof(uint32_t) == 0) {
            words_ = static_cast<const uint32_t*>(data);
            return true;
        }
        size_t count = (static_cast<size_t>(size) + 3) / 4;
        copy_ = new (std::nothrow) uint32_t[count]();
        if (copy_ == nullptr) return false;
        std::memcpy(copy_, data, size);
        words_ = copy_;
        return true;
    }
    uint64_t Bytes() const { return bytes_; }
    // Word i exists when its four bytes lie within the block.
    bool Has(uint64_t wordIndex, uint64_t wordCount = 1) const {
        return (wordIndex + wordCount) * 4 <= bytes_;
    }
    uint32_t Word(uint64_t i) const { return words_[i]; }
    const uint32_t* At(uint64_t i) const { return words_ + i; }

private:
    const uint32_t* words_ = nullptr;
    uint32_t* copy_ = nullptr;
    uint64_t bytes_ = 0;
};

float WordAsFloat(uint32_t word) {
    float f;
    std::memcpy(&f, &word, sizeof f);
    return f;
}

bool TypeIs(IDirectXFileData* object, const GUID& wanted) {
    const GUID* type = nullptr;
    if (FAILED(object->GetType(&type)) || type == nullptr) return false;
    return IsEqualGUID(*type, wanted);
}

HRESULT ReadName(IDirectXFileData* object, char (&buffer)[80]) {
    DWORD length = sizeof(buffer);
    buffer[0] = '\0';
    HRESULT hr = object->GetName(buffer, &length);
    buffer[sizeof(buffer) - 1] = '\0';
    return hr;
}

// Checks that nFaces faces starting at word `first` lie inside the block.
bool FacesFit(const WordBlock& block, uint64_t first, uint32_t faceCount) {
    uint64_t at = first;
    for (uint32_t k = 0; k < faceCount; ++k) {
        if (!block.Has(at)) return false;
        uint64_t n = block.Word(at);
        if (!block.Has(at + 1, n)) return false;
        at += 1 + n;
    }
    return true;
}

}  // namespace

// While a node's children are loaded it has an entry in tails_; the entry goes
// with the scope on every way out, so it never outlives the node.
class SceneFile::TailScope {
public:
    TailScope(SceneFile& file, SceneNode* parent) : file_(file), pushed_(file.tailCount_ < kMaxTails) {
        // Without an entry the children are appended by walking the chain.
        if (pushed_) file_.tails_[file_.tailCount_++] = {parent, nullptr};
    }
    ~TailScope() {
        if (pushed_) --file_.tailCount_;
    }
    TailScope(const TailScope&) = delete;
    TailScope& operator=(const TailScope&) = delete;

private:
    SceneFile& file_;
    bool pushed_;
};

SceneFile::SceneFile() : root(nullptr), tails_(), tailCount_(0), nodeCount_(0), tooManyNodes_(false) {}

SceneNode* SceneFile::NewNode(const char* nodeName) {
    if (nodeCount_ >= kMaxNodes) {
        tooManyNodes_ = true;
        return nullptr;
    }
    SceneNode* node = new (std::nothrow) SceneNode(nodeName);
    if (node != nullptr) ++nodeCount_;
    return node;
}

void SceneFile::Append(SceneNode* parent, SceneNode* node) {
    // The parent is the innermost entry or, when a frame appends itself, the one
    // just outside it.
    for (uint32_t i = tailCount_; i-- > 0 && i + 2 >= tailCount_;) {
        Tail& tail = tails_[i];
        if (tail.parent != parent) continue;
        // Appending after the last child is what AddChild does, without the walk.
        if (tail.last != nullptr)
            tail.last->AddSibling(node);
        else
            parent->AddChild(node);
        tail.last = node;
        return;
    }
    parent->AddChild(node);
}

SceneFile::~SceneFile() { DestroyTree(); }

void SceneFile::DestroyTree() {
    delete root;
    root = nullptr;
}

HRESULT SceneFile::Load(const char* fileName) {
    DestroyTree();
    if (fileName == nullptr) return E_INVALIDARG;

    Held<IDirectXFile> file;
    if (FAILED(DirectXFileCreate(file.Out())) || !file) return E_FAIL;
    if (FAILED(file->RegisterTemplates(D3DRM_XTEMPLATES, D3DRM_XTEMPLATE_BYTES))) return E_FAIL;

    Held<IDirectXFileEnumObject> enumerator;
    HRESULT hr = file->CreateEnumObject(const_cast<char*>(fileName), DXFILELOAD_FROMFILE, enumerator.Out());
    if (FAILED(hr) || !enumerator) {
        // Second attempt: the SDK's media directory. A path that does not fit is
        // not tried; the first attempt's failure stands.
        const char* media = LookUpMediaDirectory();
        if (media == nullptr) media = "";
        size_t mediaLength = std::strlen(media);
        size_t nameLength = std::strlen(fileName);
        if (mediaLength + nameLength + 1 > kPathLength) return FAILED(hr) ? hr : E_FAIL;
        char path[kPathLength];
        std::memcpy(path, media, mediaLength);
        std::memcpy(path + mediaLength, fileName, nameLength + 1);
        hr = file->CreateEnumObject(path, DXFILELOAD_FROMFILE, enumerator.Out());
        if (FAILED(hr) || !enumerator) return FAILED(hr) ? hr : E_FAIL;
    }

    root = new (std::nothrow) SceneNode("D3DFile_Root");
    if (root == nullptr) return E_OUTOFMEMORY;
    TailScope rootTail(*this, root);

    nodeCount_ = 0;
    tooManyNodes_ = false;
    HRESULT result = S_OK;
    while (!tooManyNodes_) {
        Held<IDirectXFileData> object;
        hr = enumerator->GetNextDataObject(object.Out());
        if (FAILED(hr) || !object) {
            if (hr != DXFILEERR_NOMOREOBJECTS) {
                DestroyTree();
                result = FAILED(hr) ? hr : E_FAIL;
            }
            break;
        }
        if (TypeIs(object.Get(), TID_D3DRMFrame))
            LoadFrameAt(object.Get(), root, 0);
        else if (TypeIs(object.Get(), TID_D3DRMMesh))
            LoadMesh(object.Get(), root);
    }
    if (tooManyNodes_) {
        DestroyTree();
        result = E_OUTOFMEMORY;
    }
    return result;
}

HRESULT SceneFile::LoadFrame(IDirectXFileData* frameObject, SceneNode* parent) {
    return LoadFrameAt(frameObject, parent, 0);
}

HRESULT SceneFile::LoadFrameAt(IDirectXFileData* frameObject, SceneNode* parent, uint32_t depth) {
    if (frameObject == nullptr || parent == nullptr) return E_FAIL;
    char nodeName[80];
    if (FAILED(ReadName(frameObject, nodeName))) return E_FAIL;
    SceneNode* node = NewNode(nodeName);
    if (node == nullptr) return E_OUTOFMEMORY;
    TailScope nodeTail(*this, node);

    while (!tooManyNodes_) {
        Held<IDirectXFileObject> child;
        if (FAILED(frameObject->GetNextObject(child.Out())) || !child) break;
        Held<IDirectXFileData> data;
        if (FAILED(child->QueryInterface(IID_IDirectXFileData, data.OutVoid())) || !data) continue;

        if (TypeIs(data.Get(), TID_D3DRMFrame)) {
            if (depth + 1 < kMaxFrameDepth) LoadFrameAt(data.Get(), node, depth + 1);
        } else if (TypeIs(data.Get(), TID_D3DRMMesh)) {
            LoadMesh(data.Get(), node);
        } else if (TypeIs(data.Get(), TID_D3DRMFrameTransformMatrix)) {
            DWORD size = 0;
            void* block = nullptr;
            if (FAILED(data->GetData(nullptr, &size, &block)) || (block == nullptr && size != 0)) {
                delete node;
                return S_OK;
            }
            if (size == 16 * sizeof(float)) {
                Matrix4 m;
                std::memcpy(&m, block, sizeof m);
                // The file's right-handed frame becomes the device's left-handed one.
                m._13 *= -1.0f;
                m._23 *= -1.0f;
                m._31 *= -1.0f;
                m._32 *= -1.0f;
                m._43 *= -1.0f;
                node->matrix = m;
            }
        }
    }
    Append(parent, node);
    return S_OK;
}

HRESULT SceneFile::LoadMesh(IDirectXFileData* meshObject, SceneNode* parent) {
    if (meshObject == nullptr || parent == nullptr) return E_FAIL;
    char nodeName[80];
    if (FAILED(ReadName(meshObject, nodeName))) return E_FAIL;

    DWORD size = 0;
    void* data = nullptr;
    if (FAILED(meshObject->GetData(nullptr, &size, &data))) return E_FAIL;
    WordBlock mesh;
    if (!mesh.Take(data, size)) return E_FAIL;

    // Every count is checked against the bytes actually in the block.
    if (!mesh.Has(0)) return E_FAIL;
    uint32_t vertexTotal = mesh.Word(0);
    uint64_t facesCountAt = 1 + 3ull * vertexTotal;
    if (!mesh.Has(facesCountAt)) return E_FAIL;
    uint32_t faceTotal = mesh.Word(facesCountAt);
    uint64_t facesAt = facesCountAt + 1;
    if (!FacesFit(mesh, facesAt, faceTotal)) return E_FAIL;
    const Vector3* positions = reinterpret_cast<const Vector3*>(mesh.At(1));
    const uint32_t* faces = mesh.At(facesAt);

    SceneNode* node = NewNode(nodeName);
    if (node == nullptr) return E_OUTOFMEMORY;
    if (FAILED(node->SetGeometry(positions, vertexTotal, faces, faceTotal))) {
        delete node;
        return E_FAIL;
    }

    bool normalsGiven = false;
    bool materialListSeen = false;
    for (;;) {
        Held<IDirectXFileObject> child;
        if (FAILED(meshObject->GetNextObject(child.Out())) || !child) break;
        Held<IDirectXFileData> childData;
        if (FAILED(child->QueryInterface(IID_IDirectXFileData, childData.OutVoid())) || !childData) continue;

        DWORD childSize = 0;
        void* childBlock = nullptr;
        WordBlock block;
        if (FAILED(childData->GetData(nullptr, &childSize, &childBlock)) || !block.Take(childBlock, childSize)) {
            delete node;
            return S_OK;
        }

        if (TypeIs(childData.Get(), TID_D3DRMMeshMaterialList)) {
            // The index array has room for every face once: a second list is ignored.
            if (materialListSeen) continue;
            if (!block.Has(0, 2)) continue;
            uint32_t materialTotal = block.Word(0);
            uint32_t faceIndexTotal = block.Word(1);
            if (materialTotal == 1 || faceIndexTotal != faceTotal) {
                node->AddFaces(0, faces, faceTotal);
            } else {
                if (!block.Has(2, faceIndexTotal)) continue;
                // Counts are signed here; slots from 16 up take nothing, so the walk stops there.
                int32_t signedMaterials = static_cast<int32_t>(materialTotal);
                int32_t signedIndexes = static_cast<int32_t>(faceIndexTotal);
                int32_t slotLimit = signedMaterials < static_cast<int32_t>(SceneNode::kMaxSlots)
                                        ? signedMaterials
                                        : static_cast<int32_t>(SceneNode::kMaxSlots);
                for (int32_t s = 0; s < slotLimit; ++s) {
                    const uint32_t* face = faces;
                    for (int32_t i = 0; i < signedIndexes; ++i) {
                        if (block.Word(2 + static_cast<uint64_t>(i)) == static_cast<uint32_t>(s))
                            node->AddFaces(static_cast<uint32_t>(s), face, 1);
                        face += 1 + static_cast<uint64_t>(face[0]);
                    }
                }
            }
            LoadMeshMaterials(childData.Get(), node);
            materialListSeen = true;
        } else if (TypeIs(childData.Get(), TID_D3DRMMeshNormals)) {
            if (block.Has(0) && block.Word(0) == vertexTotal && block.Has(1, 3ull * vertexTotal)) {
                node->SetNormals(reinterpret_cast<const Vector3*>(block.At(1)));
                normalsGiven = true;
            }
        } else if (TypeIs(childData.Get(), TID_D3DRMMeshTextureCoords)) {
            if (block.Has(0) && block.Word(0) == vertexTotal && block.Has(1, 2ull * vertexTotal))
                node->SetTextureCoords(reinterpret_cast<const float*>(block.At(1)));
        }
    }

    if (!materialListSeen) node->AddFaces(0, faces, faceTotal);
    if (!normalsGiven) node->ComputeNormals();
    Append(parent, node);
    return S_OK;
}

HRESULT SceneFile::LoadMeshMaterials(IDirectXFileData* listObject, SceneNode* mesh) {
    if (listObject == nullptr || mesh == nullptr) return S_OK;
    uint32_t slot = 0;
    for (;;) {
        Held<IDirectXFileObject> child;
        if (FAILED(listObject->GetNextObject(child.Out())) || !child) break;

        Held<IDirectXFileData> data;
        if (SUCCEEDED(child->QueryInterface(IID_IDirectXFileData, data.OutVoid())) && data) {
            if (TypeIs(data.Get(), TID_D3DRMMaterial)) {
                LoadMaterial(data.Get(), mesh, slot);
                if (slot != UINT32_MAX) ++slot;
            }
            continue;
        }
        Held<IDirectXFileDataReference> reference;
        if (SUCCEEDED(child->QueryInterface(IID_IDirectXFileDataReference, reference.OutVoid())) && reference) {
            Held<IDirectXFileData> resolved;
            if (SUCCEEDED(reference->Resolve(resolved.Out())) && resolved &&
                TypeIs(resolved.Get(), TID_D3DRMMaterial)) {
                LoadMaterial(resolved.Get(), mesh, slot);
                if (slot != UINT32_MAX) ++slot;
            }
        }
    }
    return S_OK;
}

HRESULT SceneFile::LoadMaterial(IDirectXFileData* materialObject, SceneNode* mesh, uint32_t slot) {
    if (materialObject == nullptr || mesh == nullptr) return S_OK;
    DWORD size = 0;
    void* data = nullptr;
    if (FAILED(materialObject->GetData(nullptr, &size, &data))) return S_OK;
    WordBlock block;
    // faceColor, power, specularColor, emissiveColor: 11 floats.
    if (!block.Take(data, size) || !block.Has(0, 11)) return S_OK;

    Material material;
    std::memset(&material, 0, sizeof material);
    material.diffuse.r = material.ambient.r = WordAsFloat(block.Word(0));
    material.diffuse.g = material.ambient.g = WordAsFloat(block.Word(1));
    material.diffuse.b = material.ambient.b = WordAsFloat(block.Word(2));
    material.diffuse.a = material.ambient.a = WordAsFloat(block.Word(3));
    material.power = WordAsFloat(block.Word(4));
    material.specular.r = WordAsFloat(block.Word(5));
    material.specular.g = WordAsFloat(block.Word(6));
    material.specular.b = WordAsFloat(block.Word(7));
    material.emissive.r = WordAsFloat(block.Word(8));
    material.emissive.g = WordAsFloat(block.Word(9));
    material.emissive.b = WordAsFloat(block.Word(10));

    char textureName[128];
    textureName[0] = '\0';
    Held<IDirectXFileObject> child;
    if (SUCCEEDED(materialObject->GetNextObject(child.Out())) && child) {
        Held<IDirectXFileData> texture;
        if (SUCCEEDED(child->QueryInterface(IID_IDirectXFileData, texture.OutVoid())) && texture &&
            TypeIs(texture.Get(), TID_D3DRMTextureFilename)) {
            DWORD nameSize = 0;
            void* nameBlock = nullptr;
            if (FAILED(texture->GetData(nullptr, &nameSize, &nameBlock))) return S_OK;
            const char* fileName = nullptr;
            if (nameBlock == nullptr || nameSize < sizeof fileName) return S_OK;
            std::memcpy(&fileName, nameBlock, sizeof fileName);
            if (fileName == nullptr) return S_OK;
            RegisterTexture(fileName, 0, 0);
            size_t n = std::strlen(fileName);
            if (n > sizeof(textureName) - 1) n = sizeof(textureName) - 1;
            std::memcpy(textureName, fileName, n);
            textureName[n] = '\0';
        }
    }
    mesh->SetSlotMaterial(slot, material, textureName);
    return S_OK;
}
