// Helpers for the X-file service tests: owning references, loading from
// memory and a flattened walk of every object as the scene loader sees it.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "dxfile.h"
#include "dxfile/dxfile_debug.h"
#include "rmxfguid.h"
#include "rmxftmpl.h"

template <class T>
struct Ref {
    T* p = nullptr;
    Ref() = default;
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    ~Ref() { Reset(); }
    void Reset() {
        if (p) p->Release();
        p = nullptr;
    }
    T** operator&() {
        Reset();
        return &p;
    }
    T* operator->() const { return p; }
    explicit operator bool() const { return p != nullptr; }
};

inline std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

// Opens an in-memory file; the standard templates are registered first unless told not to.
inline HRESULT OpenMemory(const std::vector<uint8_t>& file, Ref<IDirectXFile>& xf, Ref<IDirectXFileEnumObject>& en,
                          bool standard = true) {
    HRESULT hr = DirectXFileCreate(&xf);
    if (FAILED(hr)) return hr;
    if (standard) {
        hr = xf->RegisterTemplates(D3DRM_XTEMPLATES, D3DRM_XTEMPLATE_BYTES);
        if (FAILED(hr)) return hr;
    }
    DXFILELOADMEMORY mem{const_cast<uint8_t*>(file.data()), DWORD(file.size())};
    return xf->CreateEnumObject(&mem, DXFILELOAD_FROMMEMORY, &en);
}

// One line per object: depth, kind, template, name, data bytes in hex (the
// TextureFilename pointer replaced by its text).
struct Walk {
    std::vector<std::string> lines;
    HRESULT end = S_OK;
};

inline std::string Hex(const void* p, size_t n) {
    static const char* d = "0123456789abcdef";
    std::string s;
    const auto* b = static_cast<const uint8_t*>(p);
    for (size_t i = 0; i < n; ++i) {
        s += d[b[i] >> 4];
        s += d[b[i] & 15];
    }
    return s;
}

inline std::string GuidText(const GUID& g) { return Hex(&g, sizeof g); }

inline void WalkData(IDirectXFileData* d, int depth, Walk& w) {
    char name[256];
    DWORD len = sizeof name;
    ASSERT_EQ(d->GetName(name, &len), S_OK);
    const GUID* type = nullptr;
    ASSERT_EQ(d->GetType(&type), S_OK);
    DWORD size = 0;
    void* data = nullptr;
    ASSERT_EQ(d->GetData(nullptr, &size, &data), S_OK);
    std::string body;
    if (*type == TID_D3DRMTextureFilename && size == sizeof(char*)) {
        char* s;
        std::memcpy(&s, data, sizeof s);
        body = std::string("\"") + s + "\"";
    } else {
        body = Hex(data, size);
    }
    w.lines.push_back(std::to_string(depth) + " data " + GuidText(*type) + " '" + name + "' " + body);
    for (;;) {
        Ref<IDirectXFileObject> child;
        if (FAILED(d->GetNextObject(&child))) break;
        Ref<IDirectXFileData> cd;
        Ref<IDirectXFileDataReference> cr;
        if (SUCCEEDED(child->QueryInterface(IID_IDirectXFileData, reinterpret_cast<void**>(&cd)))) {
            WalkData(cd.p, depth + 1, w);
        } else if (SUCCEEDED(child->QueryInterface(IID_IDirectXFileDataReference, reinterpret_cast<void**>(&cr)))) {
            Ref<IDirectXFileData> target;
            HRESULT hr = cr->Resolve(&target);
            char tn[256] = "";
            DWORD tl = sizeof tn;
            if (SUCCEEDED(hr)) target->GetName(tn, &tl);
            w.lines.push_back(std::to_string(depth + 1) + " ref -> '" + tn + "' " + std::to_string(hr));
        }
    }
}

inline Walk WalkAll(IDirectXFileEnumObject* en) {
    Walk w;
    for (;;) {
        Ref<IDirectXFileData> d;
        HRESULT hr = en->GetNextDataObject(&d);
        if (FAILED(hr)) {
            w.end = hr;
            break;
        }
        WalkData(d.p, 0, w);
    }
    return w;
}

inline Walk WalkFile(const std::vector<uint8_t>& file, HRESULT* open = nullptr) {
    Ref<IDirectXFile> xf;
    Ref<IDirectXFileEnumObject> en;
    HRESULT hr = OpenMemory(file, xf, en);
    if (open) *open = hr;
    if (FAILED(hr)) {
        Walk w;
        w.end = hr;
        return w;
    }
    return WalkAll(en.p);
}

// Fails a test that leaks or over-releases any object of the services.
class XFileTest : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(dxfile::LiveObjectCount(), 0); }
};
