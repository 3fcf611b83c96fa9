// Parser for templates and data objects, shared by the text and binary
// readers. Every count is checked against the bytes left before it is used.
#include <cstring>

#include "dxfile.h"
#include "xfile_model.h"
#include "xfile_readers.h"

namespace dxfile {

std::atomic<long> g_liveObjects{0};

bool EqualNoCase(std::string_view a, const char* b);

static Prim PrimOf(Tok t) {
    switch (t) {
    case Tok::Word: return Prim::Word;
    case Tok::Dword: return Prim::Dword;
    case Tok::FloatType: return Prim::Float;
    case Tok::DoubleType: return Prim::Double;
    case Tok::Char: return Prim::Char;
    case Tok::Uchar: return Prim::Uchar;
    case Tok::Sword: return Prim::Sword;
    case Tok::Sdword: return Prim::Sdword;
    case Tok::Lpstr: case Tok::Unicode: case Tok::Cstring: return Prim::String;
    default: return Prim::None;
    }
}

// A keyword spelled where a name is expected is still a name ("Frame array {").
static bool IsNameLike(const Token& t) {
    return t.kind == Tok::Name || t.kind == Tok::Template || t.kind == Tok::Array || IsPrimitiveTypeToken(t.kind) ||
           t.kind == Tok::Void;
}

const std::shared_ptr<const Template>* TemplateSet::Find(std::string_view name) const {
    auto it = byName.find(std::string(name));
    if (it != byName.end()) return &it->second;
    for (const auto& t : list) {
        if (EqualNoCase(name, t->name.c_str())) return &byName.find(t->name)->second;
    }
    return nullptr;
}

void TemplateSet::Add(std::shared_ptr<const Template> t) {
    if (byName.count(t->name)) return;
    byName.emplace(t->name, t);
    list.push_back(std::move(t));
}

const char* StringArena::Store(std::string_view s) {
    size_t need = s.size() + 1;
    if (need > cap_ - used_) {
        size_t size = need > 16384 ? need : 65536;
        chunks_.push_back(std::make_unique<char[]>(size));
        used_ = 0;
        cap_ = size;
    }
    char* p = chunks_.back().get() + used_;
    if (!s.empty()) std::memcpy(p, s.data(), s.size());
    p[s.size()] = 0;
    used_ += need;
    return p;
}

// ---------------------------------------------------------------------------
template <class Reader>
class Parser {
public:
    Parser(Document& doc, Reader& rd) : doc_(doc), rd_(rd) {}

    // Templates are taken in passing; stops after one data object.
    HRESULT ParseTop() {
        for (;;) {
            Token t;
            if (!rd_.Next(t)) return DXFILEERR_PARSEERROR;
            if (t.kind == Tok::Eof) return DXFILEERR_NOMOREOBJECTS;
            if (t.kind == Tok::Template) {
                HRESULT hr = ParseTemplate();
                if (FAILED(hr)) return hr;
                continue;
            }
            if (t.kind != Tok::Name) return DXFILEERR_PARSEERROR;
            Node* n = nullptr;
            HRESULT hr = ParseObject(t.text, 0, nullptr, &n);
            if (FAILED(hr)) return hr;
            doc_.top.push_back(n);
            return S_OK;
        }
    }

private:
    bool Expect(Tok k) {
        Token t;
        return rd_.Next(t) && t.kind == k;
    }

    HRESULT ParseTemplate() {
        Token t;
        if (!rd_.Next(t) || !IsNameLike(t)) return DXFILEERR_PARSEERROR;
        auto tp = std::make_shared<Template>();
        tp->name.assign(t.text);
        if (!Expect(Tok::OBrace)) return DXFILEERR_PARSEERROR;
        if (!rd_.Next(t)) return DXFILEERR_PARSEERROR;
        if (t.kind == Tok::Guid) {
            tp->guid = t.guid;
            if (!rd_.Next(t)) return DXFILEERR_PARSEERROR;
        }
        for (;;) {
            if (t.kind == Tok::CBrace) break;
            if (t.kind == Tok::OBracket) {
                HRESULT hr = ParseRestriction(*tp);
                if (FAILED(hr)) return hr;
                if (!Expect(Tok::CBrace)) return DXFILEERR_PARSEERROR;
                break;
            }
            if (tp->members.size() >= kMaxTemplateMembers) return DXFILEERR_PARSEERROR;
            Member m;
            bool isArray = t.kind == Tok::Array;
            if (isArray && !rd_.Next(t)) return DXFILEERR_PARSEERROR;
            if (IsPrimitiveTypeToken(t.kind)) {
                m.prim = PrimOf(t.kind);
            } else if (t.kind == Tok::Name) {
                const auto* sub = doc_.templates.Find(t.text);
                // The legacy spelling of the indexed colour type.
                if (!sub && EqualNoCase(t.text, "indexColor")) sub = doc_.templates.Find("IndexedColor");
                if (!sub) {
                    // A bare unknown word ("foobar;") is no member at all.
                    Token after;
                    size_t at = rd_.Pos();
                    bool bare = rd_.Next(after) && after.kind == Tok::Semicolon;
                    rd_.SetPos(at);
                    return bare ? DXFILEERR_PARSEERROR : DXFILEERR_NOTEMPLATE;
                }
                m.sub = *sub;
                tp->depth = std::max(tp->depth, (*sub)->depth + 1);
                if (tp->depth > kMaxTemplateDepth) return DXFILEERR_PARSEERROR;
            } else {
                return DXFILEERR_PARSEERROR;
            }
            if (!rd_.Next(t)) return DXFILEERR_PARSEERROR;
            if (IsNameLike(t)) {
                m.name.assign(t.text);
                if (!rd_.Next(t)) return DXFILEERR_PARSEERROR;
            }
            if (isArray) {
                m.isArray = true;
                while (t.kind == Tok::OBracket) {
                    ArrayDim d;
                    if (!rd_.Next(t)) return DXFILEERR_PARSEERROR;
                    if (t.kind == Tok::Integer) {
                        d.constant = t.integer;
                    } else if (t.kind == Tok::Name) {
                        for (size_t i = 0; i < tp->members.size(); ++i) {
                            const Member& e = tp->members[i];
                            if (e.name == t.text && !e.isArray && IsIntegerPrim(e.prim)) d.member = int(i);
                        }
                        if (d.member < 0) return DXFILEERR_PARSEERROR;
                    } else {
                        return DXFILEERR_PARSEERROR;
                    }
                    if (!Expect(Tok::CBracket) || !rd_.Next(t)) return DXFILEERR_PARSEERROR;
                    m.dims.push_back(d);
                    if (m.dims.size() > 8) return DXFILEERR_PARSEERROR;
                }
                if (m.dims.empty()) return DXFILEERR_PARSEERROR;
            }
            if (t.kind != Tok::Semicolon) return DXFILEERR_PARSEERROR;
            tp->members.push_back(std::move(m));
            if (!rd_.Next(t)) return DXFILEERR_PARSEERROR;
        }
        uint32_t flat = 0;
        for (const Member& m : tp->members) {
            if (m.isArray || m.prim != Prim::Float) {
                flat = 0;
                break;
            }
            ++flat;
        }
        tp->flatFloats = flat;
        const auto& ms = tp->members;
        tp->countedDwords = ms.size() == 2 && !ms[0].isArray && ms[0].prim == Prim::Dword && ms[1].isArray &&
                            ms[1].prim == Prim::Dword && ms[1].dims.size() == 1 && ms[1].dims[0].member == 0;
        doc_.templates.Add(std::move(tp));
        return S_OK;
    }

    // After '[': "..." opens the template; names (with optional GUIDs)
    // restrict it. Consumes the closing ']'.
    HRESULT ParseRestriction(Template& tp) {
        Token t;
        if (!rd_.Next(t)) return DXFILEERR_PARSEERROR;
        if (t.kind == Tok::Dot) {
            if (!Expect(Tok::Dot) || !Expect(Tok::Dot) || !Expect(Tok::CBracket)) return DXFILEERR_PARSEERROR;
            tp.restriction = Restriction::Open;
            return S_OK;
        }
        tp.restriction = Restriction::Restricted;
        for (;;) {
            if (!IsNameLike(t)) return DXFILEERR_PARSEERROR;
            tp.allowedNames.emplace_back(t.text);
            GUID g = {};
            if (!rd_.Next(t)) return DXFILEERR_PARSEERROR;
            if (t.kind == Tok::Guid) {
                g = t.guid;
                if (!rd_.Next(t)) return DXFILEERR_PARSEERROR;
            }
            tp.allowedGuids.push_back(g);
            if (t.kind == Tok::CBracket) return S_OK;
            if (t.kind != Tok::Comma || !rd_.Next(t)) return DXFILEERR_PARSEERROR;
        }
    }

    static bool ChildAllowed(const Template& parent, const Template& child) {
        if (parent.restriction == Restriction::Open) return true;
        if (parent.restriction == Restriction::Closed) return false;
        static const GUID zero = {};
        for (size_t i = 0; i < parent.allowedNames.size(); ++i) {
            if (parent.allowedGuids[i] != zero ? parent.allowedGuids[i] == child.guid
                                               : parent.allowedNames[i] == child.name)
                return true;
        }
        return false;
    }

    HRESULT ParseObject(std::string_view typeName, int depth, const Template* parent, Node** out) {
        if (depth > kMaxObjectDepth) return DXFILEERR_PARSEERROR;
        const auto* found = doc_.templates.Find(typeName);
        if (!found) return DXFILEERR_NOTEMPLATE;
        const Template& tp = **found;
        if (parent && !ChildAllowed(*parent, tp)) return DXFILEERR_PARSEERROR;
        if (doc_.NodeCount() >= kMaxObjects) return DXFILEERR_BADALLOC;
        Node* n = doc_.NewNode();
        n->tmpl = &tp;
        Token t;
        if (!rd_.Next(t)) return DXFILEERR_PARSEERROR;
        if (IsNameLike(t) || t.kind == Tok::Integer || t.kind == Tok::Float) {
            n->name = doc_.strings.Store(t.text);
            if (!rd_.Next(t)) return DXFILEERR_PARSEERROR;
        }
        if (t.kind == Tok::Guid) {
            n->guid = t.guid;
            n->hasGuid = true;
            if (!rd_.Next(t)) return DXFILEERR_PARSEERROR;
        }
        if (t.kind != Tok::OBrace) return DXFILEERR_PARSEERROR;
        {
            // The object's class id may open its block.
            size_t at = rd_.Pos();
            if (rd_.Next(t) && t.kind == Tok::Guid) {
                n->guid = t.guid;
                n->hasGuid = true;
            } else {
                rd_.SetPos(at);
            }
        }
        n->memberOffsets.reserve(tp.members.size() + 1);
        HRESULT hr = ParseMembers(tp, n->data, &n->memberOffsets);
        if (FAILED(hr)) return hr;
        n->memberOffsets.push_back(uint32_t(n->data.size()));
        if (!rd_.EndMembers()) return DXFILEERR_PARSEERROR;
        for (;;) {
            if (!rd_.Next(t)) return DXFILEERR_PARSEERROR;
            if (t.kind == Tok::CBrace) break;
            if (t.kind == Tok::OBrace) {
                Node* r = doc_.NewNode();
                r->isReference = true;
                if (!rd_.Next(t)) return DXFILEERR_PARSEERROR;
                if (IsNameLike(t) || t.kind == Tok::Integer) {
                    r->name = doc_.strings.Store(t.text);
                    if (!rd_.Next(t)) return DXFILEERR_PARSEERROR;
                }
                if (t.kind == Tok::Guid) {
                    r->guid = t.guid;
                    r->hasGuid = true;
                    if (!rd_.Next(t)) return DXFILEERR_PARSEERROR;
                }
                if (t.kind != Tok::CBrace || (r->name.empty() && !r->hasGuid)) return DXFILEERR_PARSEERROR;
                n->children.push_back(r);
                continue;
            }
            if (t.kind == Tok::Semicolon || t.kind == Tok::Comma) continue;
            if (t.kind != Tok::Name) return DXFILEERR_PARSEERROR;
            Node* c = nullptr;
            hr = ParseObject(t.text, depth + 1, &tp, &c);
            if (FAILED(hr)) return hr;
            n->children.push_back(c);
        }
        doc_.Index(n);
        *out = n;
        return S_OK;
    }

    HRESULT ReadPrim(Prim p, Block& out, uint32_t* value) {
        uint8_t* dst = out.Grow(PrimSize(p));
        if (!dst) return DXFILEERR_BADALLOC;
        switch (p) {
        case Prim::Float: {
            float f;
            if (!rd_.ReadFloat(f)) return DXFILEERR_PARSEERROR;
            std::memcpy(dst, &f, 4);
            if (value) *value = FloatToU32(f);
            return S_OK;
        }
        case Prim::Double: {
            double d;
            if (!rd_.ReadDouble(d)) return DXFILEERR_PARSEERROR;
            std::memcpy(dst, &d, 8);
            return S_OK;
        }
        case Prim::String: {
            std::string_view s;
            if (!rd_.ReadString(s)) return DXFILEERR_PARSEERROR;
            const char* stored = doc_.strings.Store(s);
            std::memcpy(dst, &stored, sizeof stored);
            return S_OK;
        }
        default: {
            uint32_t v;
            if (!rd_.ReadU32(v)) return DXFILEERR_PARSEERROR;
            size_t n = PrimSize(p);
            if (n == 1) {
                dst[0] = uint8_t(v);
                v &= 0xFF;
            } else if (n == 2) {
                uint16_t w = uint16_t(v);
                std::memcpy(dst, &w, 2);
                v &= 0xFFFF;
            } else {
                std::memcpy(dst, &v, 4);
            }
            if (value) *value = v;
            return S_OK;
        }
        }
    }

    HRESULT ParseMembers(const Template& tp, Block& out, std::vector<uint32_t>* offsets) {
        uint32_t values[kMaxTemplateMembers];
        for (size_t i = 0; i < tp.members.size(); ++i) {
            const Member& m = tp.members[i];
            values[i] = 0;
            if (offsets) {
                if (out.size() > 0xFFFFFFFFu) return DXFILEERR_BADALLOC;
                offsets->push_back(uint32_t(out.size()));
            }
            if (!m.isArray) {
                HRESULT hr = m.sub ? ParseMembers(*m.sub, out, nullptr) : ReadPrim(m.prim, out, &values[i]);
                if (FAILED(hr)) return hr;
                continue;
            }
            uint64_t count = 1;
            for (const ArrayDim& d : m.dims) {
                count *= d.member >= 0 ? values[d.member] : d.constant;
                if (count > rd_.Remaining()) return DXFILEERR_BADARRAYSIZE;
            }
            if (count == 0) continue;
            HRESULT hr = ParseArray(m, size_t(count), out);
            if (FAILED(hr)) return hr;
        }
        return S_OK;
    }

    HRESULT ParseArray(const Member& m, size_t count, Block& out) {
        size_t floats = m.prim == Prim::Float ? 1 : (m.sub ? m.sub->flatFloats : 0);
        if (floats) {
            // Every value takes at least one byte of input, so this bound
            // keeps the allocation in proportion to the file.
            if (count > rd_.Remaining() / floats) return DXFILEERR_BADARRAYSIZE;
            uint8_t* dst = out.Grow(count * floats * 4);
            if (!dst) return DXFILEERR_BADALLOC;
            size_t n = count * floats;
            // Structures of floats keep their own separators between members.
            const bool values = !m.sub;
            if (reinterpret_cast<uintptr_t>(dst) % alignof(float) == 0) {
                float* f = reinterpret_cast<float*>(dst);
                if (!(values ? rd_.ReadFloatValues(f, n) : rd_.ReadFloats(f, n))) return DXFILEERR_PARSEERROR;
                return S_OK;
            }
            for (size_t i = 0; i < n; ++i) {
                float f;
                if ((values && i > 0 && !rd_.NextArrayValue()) || !rd_.ReadFloat(f)) return DXFILEERR_PARSEERROR;
                std::memcpy(dst + 4 * i, &f, 4);
            }
            return values && !rd_.EndArray() ? DXFILEERR_PARSEERROR : S_OK;
        }
        if (m.prim == Prim::Dword || m.prim == Prim::Sdword) {
            uint8_t* dst = out.Grow(count * 4);
            if (!dst) return DXFILEERR_BADALLOC;
            for (size_t i = 0; i < count; ++i) {
                uint32_t v;
                if ((i > 0 && !rd_.NextArrayValue()) || !rd_.ReadU32(v)) return DXFILEERR_PARSEERROR;
                std::memcpy(dst + 4 * i, &v, 4);
            }
            return rd_.EndArray() ? S_OK : DXFILEERR_PARSEERROR;
        }
        if (m.sub && m.sub->countedDwords) {
            for (size_t i = 0; i < count; ++i) {
                uint32_t n;
                if (!rd_.ReadU32(n)) return DXFILEERR_PARSEERROR;
                if (n > rd_.Remaining()) return DXFILEERR_BADARRAYSIZE;
                uint8_t* dst = out.Grow(4 + size_t(n) * 4);
                if (!dst) return DXFILEERR_BADALLOC;
                std::memcpy(dst, &n, 4);
                for (uint32_t k = 0; k < n; ++k) {
                    uint32_t v;
                    if ((k > 0 && !rd_.NextArrayValue()) || !rd_.ReadU32(v)) return DXFILEERR_PARSEERROR;
                    std::memcpy(dst + 4 + 4 * size_t(k), &v, 4);
                }
                if (n > 0 && !rd_.EndArray()) return DXFILEERR_PARSEERROR;
            }
            return S_OK;
        }
        if (!m.sub) {
            if (!out.Reserve(out.size() + count * PrimSize(m.prim))) return DXFILEERR_BADALLOC;
            for (size_t i = 0; i < count; ++i) {
                if (i > 0 && !rd_.NextArrayValue()) return DXFILEERR_PARSEERROR;
                HRESULT hr = ReadPrim(m.prim, out, nullptr);
                if (FAILED(hr)) return hr;
            }
            return rd_.EndArray() ? S_OK : DXFILEERR_PARSEERROR;
        }
        for (size_t i = 0; i < count; ++i) {
            size_t before = rd_.Pos();
            HRESULT hr = ParseMembers(*m.sub, out, nullptr);
            if (FAILED(hr)) return hr;
            // An element that reads nothing adds nothing; the rest would too.
            if (rd_.Pos() == before) break;
        }
        return S_OK;
    }

    Document& doc_;
    Reader& rd_;
};

// ---------------------------------------------------------------------------
Node* Document::NewNode() {
    nodes_.push_back(std::make_unique<Node>());
    return nodes_.back().get();
}

void Document::Index(Node* n) {
    if (!n->name.empty()) byName_.emplace(n->name, n);
    if (n->hasGuid) withGuid_.push_back(n);
}

HRESULT Document::ParseNext() {
    if (state_ != S_OK) return state_;
    HRESULT hr;
    try {
        hr = ParseStep();
    } catch (const std::bad_alloc&) {
        hr = DXFILEERR_BADALLOC;
    }
    if (hr != S_OK) state_ = hr;
    return hr;
}

HRESULT Document::ParseStep() {
    HRESULT hr;
    const char* b = body;
    if (binary) {
        BinaryReader rd(b, b + bodySize, pos, float64, !inflated.empty());
        Parser<BinaryReader> p(*this, rd);
        hr = p.ParseTop();
        pos = rd.Pos();
    } else {
        TextReader rd(b, b + bodySize, pos);
        Parser<TextReader> p(*this, rd);
        hr = p.ParseTop();
        pos = rd.Pos();
    }
    return hr;
}

void Document::ParseAll() {
    while (ParseNext() == S_OK) {
    }
}

Node* Document::FindByName(std::string_view name) {
    auto it = byName_.find(name);
    if (it == byName_.end()) {
        ParseAll();
        it = byName_.find(name);
    }
    return it == byName_.end() ? nullptr : it->second;
}

Node* Document::FindByGuid(const GUID& guid) {
    for (int pass = 0; pass < 2; ++pass) {
        for (Node* n : withGuid_) {
            if (n->guid == guid) return n;
        }
        if (pass == 0) ParseAll();
    }
    return nullptr;
}

HRESULT Document::Create(FileBytes file, const TemplateSet& templates, Document** out) {
    *out = nullptr;
    if (file.size() < 16) return DXFILEERR_BADFILETYPE;
    const char* h = file.data();
    if (std::memcmp(h, "xof ", 4) != 0) return DXFILEERR_BADFILETYPE;
    if (std::memcmp(h + 4, "03", 2) != 0 || unsigned(h[6] - '0') > 9 || unsigned(h[7] - '0') > 9)
        return DXFILEERR_BADFILEVERSION;
    bool bin, compressed;
    if (std::memcmp(h + 8, "txt ", 4) == 0) {
        bin = false, compressed = false;
    } else if (std::memcmp(h + 8, "bin ", 4) == 0) {
        bin = true, compressed = false;
    } else if (std::memcmp(h + 8, "tzip", 4) == 0) {
        bin = false, compressed = true;
    } else if (std::memcmp(h + 8, "bzip", 4) == 0) {
        bin = true, compressed = true;
    } else if (std::memcmp(h + 8, "com ", 4) == 0) {
        return DXFILEERR_BADFILECOMPRESSIONTYPE;
    } else {
        return DXFILEERR_BADFILETYPE;
    }
    bool f64;
    if (std::memcmp(h + 12, "0032", 4) == 0) {
        f64 = false;
    } else if (std::memcmp(h + 12, "0064", 4) == 0) {
        f64 = true;
    } else {
        return DXFILEERR_BADFILEFLOATSIZE;
    }
    std::vector<char> content;
    if (compressed) {
        HRESULT hr = InflateMsZip(reinterpret_cast<const uint8_t*>(h + 16), file.size() - 16, content);
        if (FAILED(hr)) return hr;
    }
    Document* d = new (std::nothrow) Document();
    if (!d) return DXFILEERR_BADALLOC;
    d->binary = bin;
    d->float64 = f64;
    d->file = std::move(file);
    if (compressed) {
        d->inflated = std::move(content);
        d->body = d->inflated.data();
        d->bodySize = d->inflated.size();
    } else {
        d->body = d->file.data() + 16;
        d->bodySize = d->file.size() - 16;
    }
    d->templates = templates;
    *out = d;
    return S_OK;
}

}  // namespace dxfile
