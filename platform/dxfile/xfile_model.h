// In-memory model of an X file: templates, parsed objects and the document
// that owns them while any interface handed out for it is alive.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "windows.h"

namespace dxfile {

// Limits that keep hostile input from exhausting the stack or memory.
constexpr int kMaxObjectDepth = 64;
constexpr int kMaxTemplateDepth = 16;
constexpr size_t kMaxTemplateMembers = 128;
constexpr size_t kMaxFileBytes = size_t(1) << 30;
constexpr size_t kMaxInflatedBytes = size_t(512) << 20;
// Objects in one file. Each costs a few hundred bytes here and far more in
// whatever is built from it; a file of millions of empty objects is refused.
constexpr size_t kMaxObjects = size_t(1) << 18;

enum class Prim : uint8_t { None, Word, Dword, Float, Double, Char, Uchar, Sword, Sdword, String };

inline size_t PrimSize(Prim p) {
    switch (p) {
    case Prim::Word: case Prim::Sword: return 2;
    case Prim::Dword: case Prim::Sdword: case Prim::Float: return 4;
    case Prim::Double: return 8;
    case Prim::Char: case Prim::Uchar: return 1;
    case Prim::String: return sizeof(char*);
    case Prim::None: return 0;
    }
    return 0;
}

inline bool IsIntegerPrim(Prim p) {
    return p == Prim::Word || p == Prim::Dword || p == Prim::Char || p == Prim::Uchar || p == Prim::Sword ||
           p == Prim::Sdword;
}

struct Template;

struct ArrayDim {
    uint32_t constant = 0;
    int member = -1;  // >= 0: the size is the value of that earlier member
};

struct Member {
    std::string name;
    Prim prim = Prim::None;
    std::shared_ptr<const Template> sub;  // set when prim is None
    bool isArray = false;
    std::vector<ArrayDim> dims;
};

enum class Restriction : uint8_t { Closed, Open, Restricted };

struct Template {
    std::string name;
    GUID guid = {};
    std::vector<Member> members;
    Restriction restriction = Restriction::Closed;
    std::vector<std::string> allowedNames;
    std::vector<GUID> allowedGuids;  // zero GUID where only a name was given
    int depth = 1;
    // DWORD n; array DWORD v[n]; (MeshFace and its kind): read in one go.
    bool countedDwords = false;
    // > 0 when the template is exactly that many FLOAT members (Vector,
    // Coords2d, ColorRGBA...): arrays of it are read as one run of floats.
    uint32_t flatFloats = 0;
};

struct TemplateSet {
    std::vector<std::shared_ptr<const Template>> list;
    std::unordered_map<std::string, std::shared_ptr<const Template>> byName;

    const std::shared_ptr<const Template>* Find(std::string_view name) const;
    // Keeps an existing template of the same name: files routinely repeat the
    // standard set.
    void Add(std::shared_ptr<const Template> t);
};

// Growable byte buffer for data blocks (no zero-fill on growth).
class Block {
public:
    Block() = default;
    Block(const Block&) = delete;
    Block& operator=(const Block&) = delete;
    ~Block() { std::free(data_); }
    uint8_t* Grow(size_t n) {
        if (cap_ - size_ < n && !Reserve(size_ + n)) return nullptr;
        uint8_t* p = data_ + size_;
        size_ += n;
        return p;
    }
    bool Reserve(size_t want) {
        if (want <= cap_) return true;
        size_t c = cap_ ? cap_ : 64;
        while (c < want) c *= 2;
        void* p = std::realloc(data_, c);
        if (!p) return false;
        data_ = static_cast<uint8_t*>(p);
        cap_ = c;
        return true;
    }
    void Shrink(size_t n) { size_ = n; }
    uint8_t* data() const { return data_; }
    size_t size() const { return size_; }

private:
    uint8_t* data_ = nullptr;
    size_t size_ = 0;
    size_t cap_ = 0;
};

struct Node {
    bool isReference = false;
    const Template* tmpl = nullptr;  // data objects
    std::string_view name;
    GUID guid = {};
    bool hasGuid = false;
    Block data;
    std::vector<uint32_t> memberOffsets;  // one per top-level member, then the end
    std::vector<Node*> children;
};

// Strings referred to from data blocks; chunks never move.
class StringArena {
public:
    const char* Store(std::string_view s);

private:
    std::vector<std::unique_ptr<char[]>> chunks_;
    size_t used_ = 0;
    size_t cap_ = 0;
};

extern std::atomic<long> g_liveObjects;

// The bytes of a file: read whole from disk (into memory that is not
// cleared first), or a copy the caller gave.
class FileBytes {
public:
    FileBytes() = default;
    explicit FileBytes(std::vector<char> v) : owned_(std::move(v)) {}
    FileBytes(FileBytes&& o) noexcept { *this = std::move(o); }
    FileBytes& operator=(FileBytes&& o) noexcept = default;
    ~FileBytes() = default;
    // Backslashes in the path become slashes.
    static HRESULT Read(const char* path, FileBytes& out);
    const char* data() const { return raw_ ? raw_.get() : owned_.data(); }
    size_t size() const { return raw_ ? rawSize_ : owned_.size(); }

private:
    std::vector<char> owned_;
    std::unique_ptr<char[]> raw_;
    size_t rawSize_ = 0;
};

class Document {
public:
    static HRESULT Create(FileBytes file, const TemplateSet& templates, Document** out);

    void AddRef() { refs_.fetch_add(1, std::memory_order_relaxed); }
    void Release() {
        if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
    }

    // Parses up to the next top-level data object. S_OK with the object
    // appended to top, DXFILEERR_NOMOREOBJECTS at the end, or the parse error
    // (which sticks).
    HRESULT ParseNext();
    void ParseAll();
    Node* FindByName(std::string_view name);
    Node* FindByGuid(const GUID& guid);

    std::vector<Node*> top;
    TemplateSet templates;
    StringArena strings;

    // Parser plumbing.
    Node* NewNode();
    size_t NodeCount() const { return nodes_.size(); }
    void Index(Node* n);
    bool binary = false;
    bool float64 = false;
    FileBytes file;      // as read
    const char* body = nullptr;  // the part after the header (maybe inflated)
    size_t bodySize = 0;
    std::vector<char> inflated;
    size_t pos = 0;

private:
    Document() { g_liveObjects.fetch_add(1); }
    ~Document() { g_liveObjects.fetch_sub(1); }
    HRESULT ParseStep();
    std::atomic<long> refs_{1};
    std::vector<std::unique_ptr<Node>> nodes_;
    std::unordered_map<std::string_view, Node*> byName_;
    std::vector<Node*> withGuid_;
    HRESULT state_ = S_OK;  // S_OK while more may follow
};

// Undoes MSZIP compression of an X file body (the bytes after the 16-byte
// header). Every block size is checked; the result never exceeds the total
// size the file claims.
HRESULT InflateMsZip(const uint8_t* in, size_t size, std::vector<char>& out);

}  // namespace dxfile
