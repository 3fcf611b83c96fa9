// Fuzzes the X-file services as the scene loader drives them: open, walk
// every object, read every data block, resolve every reference. The first
// input byte picks the variant (float size, text or binary inside a
// compressed file); the rest is the file body after its 16-byte header.
#include <cstdint>
#include <cstring>
#include <vector>

#include "dxfile.h"
#include "rmxftmpl.h"

#ifndef XFILE_FUZZ_FORMAT
#error "XFILE_FUZZ_FORMAT must name the format: 0 text, 1 binary, 2 compressed"
#endif

namespace {

void Walk(IDirectXFileData* d, int depth) {
    char name[80];
    DWORD len = sizeof name;
    d->GetName(name, &len);
    const GUID* type;
    d->GetType(&type);
    DWORD size;
    void* data;
    if (SUCCEEDED(d->GetData(nullptr, &size, &data)) && size) {
        volatile uint8_t sink = static_cast<uint8_t*>(data)[size - 1];
        (void)sink;
    }
    d->GetData("nVertices", &size, &data);
    for (int i = 0; i < 10000; ++i) {
        IDirectXFileObject* child = nullptr;
        if (FAILED(d->GetNextObject(&child))) break;
        IDirectXFileData* cd = nullptr;
        IDirectXFileDataReference* cr = nullptr;
        if (SUCCEEDED(child->QueryInterface(IID_IDirectXFileData, reinterpret_cast<void**>(&cd)))) {
            if (depth < 100) Walk(cd, depth + 1);
            cd->Release();
        } else if (SUCCEEDED(child->QueryInterface(IID_IDirectXFileDataReference, reinterpret_cast<void**>(&cr)))) {
            IDirectXFileData* target = nullptr;
            if (SUCCEEDED(cr->Resolve(&target))) {
                target->GetData(nullptr, &size, &data);
                target->Release();
            }
            cr->Release();
        }
        child->Release();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* in, size_t size) {
    if (size < 1) return 0;
    uint8_t variant = in[0];
    const char* fmt;
    switch (XFILE_FUZZ_FORMAT) {
    case 0: fmt = "txt "; break;
    case 1: fmt = "bin "; break;
    default: fmt = variant & 2 ? "bzip" : "tzip"; break;
    }
    std::vector<uint8_t> file(16);
    std::memcpy(file.data(), "xof 0302", 8);
    std::memcpy(file.data() + 8, fmt, 4);
    std::memcpy(file.data() + 12, variant & 1 ? "0064" : "0032", 4);
    file.insert(file.end(), in + 1, in + size);

    IDirectXFile* xf = nullptr;
    if (FAILED(DirectXFileCreate(&xf))) return 0;
    xf->RegisterTemplates(D3DRM_XTEMPLATES, D3DRM_XTEMPLATE_BYTES);
    DXFILELOADMEMORY mem{file.data(), DWORD(file.size())};
    IDirectXFileEnumObject* en = nullptr;
    if (SUCCEEDED(xf->CreateEnumObject(&mem, DXFILELOAD_FROMMEMORY, &en))) {
        for (int i = 0; i < 10000; ++i) {
            IDirectXFileData* d = nullptr;
            if (FAILED(en->GetNextDataObject(&d))) break;
            Walk(d, 0);
            d->Release();
        }
        IDirectXFileData* byName = nullptr;
        if (SUCCEEDED(en->GetDataObjectByName("A", &byName))) byName->Release();
        en->Release();
    }
    xf->RegisterTemplates(file.data(), DWORD(file.size()));
    xf->Release();
    return 0;
}
