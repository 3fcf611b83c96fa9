// The COM objects of the X-file services: the file object holding the
// registered templates, the enumerator over one file, and the views of
// parsed objects (data, reference).
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "dxfile.h"
#include "dxfile_debug.h"
#include "xfile_model.h"

namespace dxfile {
namespace {

const IID kIID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

template <class Base>
class ComObject : public Base {
public:
    ComObject() { g_liveObjects.fetch_add(1); }
    ULONG AddRef() override { return ULONG(refs_.fetch_add(1) + 1); }
    ULONG Release() override {
        long left = refs_.fetch_sub(1) - 1;
        if (left == 0) delete this;
        return ULONG(left);
    }

protected:
    ~ComObject() override { g_liveObjects.fetch_sub(1); }
    HRESULT Hand(LPVOID* out) {
        this->AddRef();
        *out = this;
        return S_OK;
    }

private:
    std::atomic<long> refs_{1};
};

HRESULT CopyName(std::string_view name, LPSTR buf, LPDWORD len) {
    if (!len) return DXFILEERR_BADVALUE;
    if (name.empty()) {
        // No name: length 0, whatever the buffer (an empty string where it fits).
        if (buf && *len > 0) buf[0] = 0;
        *len = 0;
        return S_OK;
    }
    DWORD need = DWORD(name.size() + 1);
    if (!buf) {
        *len = need;
        return S_OK;
    }
    if (*len < need) return DXFILEERR_BADVALUE;
    if (!name.empty()) std::memcpy(buf, name.data(), name.size());
    buf[name.size()] = 0;
    *len = need;
    return S_OK;
}

class DataObject;
HRESULT MakeData(Document* doc, Node* n, LPDIRECTXFILEDATA* out);

// A view of one parsed object: its name and id, holding the document alive.
template <class Base>
class NodeObject : public ComObject<Base> {
public:
    NodeObject(Document* doc, Node* n, const IID& own) : doc_(doc), node_(n), own_(own) { doc_->AddRef(); }
    HRESULT QueryInterface(REFIID riid, LPVOID* out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (riid == kIID_IUnknown || riid == IID_IDirectXFileObject || riid == own_) return this->Hand(out);
        return E_NOINTERFACE;
    }
    HRESULT GetName(LPSTR buf, LPDWORD len) override { return CopyName(node_->name, buf, len); }
    HRESULT GetId(LPGUID guid) override {
        if (!guid) return DXFILEERR_BADVALUE;
        *guid = node_->guid;
        return S_OK;
    }

protected:
    ~NodeObject() override { doc_->Release(); }
    Document* doc_;
    Node* node_;

private:
    const IID& own_;
};

class ReferenceObject final : public NodeObject<IDirectXFileDataReference> {
public:
    ReferenceObject(Document* doc, Node* n) : NodeObject(doc, n, IID_IDirectXFileDataReference) {}
    HRESULT Resolve(LPDIRECTXFILEDATA* out) override {
        if (!out) return DXFILEERR_BADVALUE;
        *out = nullptr;
        Node* target = node_->hasGuid ? doc_->FindByGuid(node_->guid) : nullptr;
        if (!target && !node_->name.empty()) target = doc_->FindByName(node_->name);
        if (!target) return DXFILEERR_BADDATAREFERENCE;
        return MakeData(doc_, target, out);
    }
};

class DataObject final : public NodeObject<IDirectXFileData> {
public:
    DataObject(Document* doc, Node* n) : NodeObject(doc, n, IID_IDirectXFileData) {}
    HRESULT GetData(LPCSTR member, DWORD* size, void** data) override {
        if (!size || !data) return DXFILEERR_BADVALUE;
        static uint8_t empty[8];
        uint8_t* base = node_->data.data() ? node_->data.data() : empty;
        if (!member) {
            *size = DWORD(node_->data.size());
            *data = base;
            return S_OK;
        }
        const auto& ms = node_->tmpl->members;
        for (size_t i = 0; i < ms.size(); ++i) {
            if (ms[i].name == member) {
                uint32_t a = node_->memberOffsets[i], b = node_->memberOffsets[i + 1];
                *size = b - a;
                *data = base + a;
                return S_OK;
            }
        }
        return DXFILEERR_BADDATAREFERENCE;
    }
    HRESULT GetType(const GUID** guid) override {
        if (!guid) return DXFILEERR_BADVALUE;
        *guid = &node_->tmpl->guid;
        return S_OK;
    }
    HRESULT GetNextObject(LPDIRECTXFILEOBJECT* out) override {
        if (!out) return DXFILEERR_BADVALUE;
        *out = nullptr;
        if (next_ >= node_->children.size()) return DXFILEERR_NOMOREOBJECTS;
        Node* c = node_->children[next_++];
        if (c->isReference) {
            auto* r = new (std::nothrow) ReferenceObject(doc_, c);
            if (!r) return DXFILEERR_BADALLOC;
            *out = r;
            return S_OK;
        }
        LPDIRECTXFILEDATA d = nullptr;
        HRESULT hr = MakeData(doc_, c, &d);
        *out = d;
        return hr;
    }
    HRESULT AddDataObject(LPDIRECTXFILEDATA) override { return E_NOTIMPL; }
    HRESULT AddDataReference(LPCSTR, const GUID*) override { return E_NOTIMPL; }
    HRESULT AddBinaryObject(LPCSTR, const GUID*, LPCSTR, LPVOID, DWORD) override { return E_NOTIMPL; }

private:
    size_t next_ = 0;
};

HRESULT MakeData(Document* doc, Node* n, LPDIRECTXFILEDATA* out) {
    auto* d = new (std::nothrow) DataObject(doc, n);
    if (!d) return DXFILEERR_BADALLOC;
    *out = d;
    return S_OK;
}

class EnumObject final : public ComObject<IDirectXFileEnumObject> {
public:
    explicit EnumObject(Document* doc) : doc_(doc) {}  // takes the caller's reference
    HRESULT QueryInterface(REFIID riid, LPVOID* out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (riid == kIID_IUnknown || riid == IID_IDirectXFileEnumObject) return Hand(out);
        return E_NOINTERFACE;
    }
    HRESULT GetNextDataObject(LPDIRECTXFILEDATA* out) override {
        if (!out) return DXFILEERR_BADVALUE;
        *out = nullptr;
        if (next_ >= doc_->top.size()) {
            HRESULT hr = doc_->ParseNext();
            if (hr != S_OK) return hr;
        }
        // The enumerator keeps a reference to each top-level object it hands
        // out, until it goes itself.
        try {
            held_.push_back(nullptr);
        } catch (const std::bad_alloc&) {
            return DXFILEERR_BADALLOC;
        }
        HRESULT hr = MakeData(doc_, doc_->top[next_++], out);
        if (FAILED(hr)) {
            held_.pop_back();
            return hr;
        }
        (*out)->AddRef();
        held_.back() = *out;
        return S_OK;
    }
    HRESULT GetDataObjectById(REFGUID guid, LPDIRECTXFILEDATA* out) override {
        if (!out) return DXFILEERR_BADVALUE;
        *out = nullptr;
        Node* n = doc_->FindByGuid(guid);
        return n ? MakeData(doc_, n, out) : DXFILEERR_NOTFOUND;
    }
    HRESULT GetDataObjectByName(LPCSTR name, LPDIRECTXFILEDATA* out) override {
        if (!out || !name) return DXFILEERR_BADVALUE;
        *out = nullptr;
        Node* n = doc_->FindByName(name);
        return n ? MakeData(doc_, n, out) : DXFILEERR_NOTFOUND;
    }

private:
    ~EnumObject() override {
        for (IDirectXFileData* d : held_) d->Release();
        doc_->Release();
    }
    Document* doc_;
    size_t next_ = 0;
    std::vector<IDirectXFileData*> held_;
};

class XFile final : public ComObject<IDirectXFile> {
public:
    HRESULT QueryInterface(REFIID riid, LPVOID* out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (riid == kIID_IUnknown || riid == IID_IDirectXFile) return Hand(out);
        return E_NOINTERFACE;
    }

    HRESULT CreateEnumObject(LPVOID source, DXFILELOADOPTIONS options, LPDIRECTXFILEENUMOBJECT* out) override {
        if (!out) return DXFILEERR_BADVALUE;
        *out = nullptr;
        if (!source) return DXFILEERR_BADVALUE;
        FileBytes bytes;
        HRESULT hr = Load(source, options, bytes);
        if (FAILED(hr)) return hr;
        Document* doc = nullptr;
        try {
            hr = Document::Create(std::move(bytes), templates_, &doc);
        } catch (const std::bad_alloc&) {
            hr = DXFILEERR_BADALLOC;
        }
        if (FAILED(hr)) return hr;
        auto* e = new (std::nothrow) EnumObject(doc);
        if (!e) {
            doc->Release();
            return DXFILEERR_BADALLOC;
        }
        *out = e;
        return S_OK;
    }

    HRESULT CreateSaveObject(LPCSTR, DXFILEFORMAT, LPDIRECTXFILESAVEOBJECT* out) override {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }

    HRESULT RegisterTemplates(LPVOID data, DWORD size) override {
        if (!data || size == 0) return DXFILEERR_BADVALUE;
        const char* p = static_cast<const char*>(data);
        Document* doc = nullptr;
        HRESULT hr;
        try {
            hr = Document::Create(FileBytes(std::vector<char>(p, p + size)), templates_, &doc);
        } catch (const std::bad_alloc&) {
            hr = DXFILEERR_BADALLOC;
        }
        if (FAILED(hr)) return hr;
        // Data objects in a template block are read and ignored.
        doc->ParseAll();
        hr = doc->ParseNext();
        if (hr == DXFILEERR_NOMOREOBJECTS) {
            templates_ = doc->templates;
            hr = S_OK;
        }
        doc->Release();
        return hr;
    }

private:
    HRESULT Load(LPVOID source, DXFILELOADOPTIONS options, FileBytes& bytes) {
        switch (options & 0x0F) {
        case DXFILELOAD_FROMFILE:
            return FileBytes::Read(static_cast<const char*>(source), bytes);
        case DXFILELOAD_FROMMEMORY: {
            // Copied: the caller's memory need not outlive the call.
            const auto* m = static_cast<const DXFILELOADMEMORY*>(source);
            if (!m->lpMemory) return DXFILEERR_BADVALUE;
            const char* p = static_cast<const char*>(m->lpMemory);
            bytes = FileBytes(std::vector<char>(p, p + m->dSize));
            return S_OK;
        }
        case DXFILELOAD_FROMRESOURCE:
            return DXFILEERR_RESOURCENOTFOUND;
        case DXFILELOAD_FROMURL:
            return DXFILEERR_URLNOTFOUND;
        default:
            return DXFILEERR_BADVALUE;
        }
    }

    TemplateSet templates_;
};

}  // namespace

long LiveObjectCount() { return g_liveObjects.load(); }

}  // namespace dxfile

HRESULT WINAPI DirectXFileCreate(LPDIRECTXFILE* out) {
    if (!out) return DXFILEERR_BADVALUE;
    *out = new (std::nothrow) dxfile::XFile();
    return *out ? S_OK : DXFILEERR_BADALLOC;
}
