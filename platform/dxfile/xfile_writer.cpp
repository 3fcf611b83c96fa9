#include "xfile_writer.h"

#include <zlib.h>

#include <cstring>

#include "dxfile.h"
#include "xfile_readers.h"

namespace dxfile {

BinaryWriter::BinaryWriter(bool float64) : float64_(float64) {
    Put(float64 ? "xof 0302bin 0064" : "xof 0302bin 0032", 16);
}

void BinaryWriter::Put(const void* p, size_t n) {
    const auto* b = static_cast<const uint8_t*>(p);
    bytes_.insert(bytes_.end(), b, b + n);
}

void BinaryWriter::Token(uint16_t code) { Put16(code); }

void BinaryWriter::Name(std::string_view name) {
    Put16(TOKEN_NAME);
    Put32(uint32_t(name.size()));
    Put(name.data(), name.size());
}

void BinaryWriter::String(std::string_view s, uint16_t terminator) {
    Put16(TOKEN_STRING);
    Put32(uint32_t(s.size()));
    Put(s.data(), s.size());
    Put16(terminator);
}

void BinaryWriter::Integer(uint32_t v) {
    Put16(TOKEN_INTEGER);
    Put32(v);
}

void BinaryWriter::Guid(const GUID& g) {
    Put16(TOKEN_GUID);
    Put32(g.Data1);
    Put16(g.Data2);
    Put16(g.Data3);
    Put(g.Data4, 8);
}

void BinaryWriter::IntegerList(const uint32_t* v, size_t n) {
    Put16(TOKEN_INTEGER_LIST);
    Put32(uint32_t(n));
    Put(v, n * 4);
}

void BinaryWriter::FloatList(const float* v, size_t n) {
    Put16(TOKEN_FLOAT_LIST);
    Put32(uint32_t(n));
    if (!float64_) {
        Put(v, n * 4);
        return;
    }
    for (size_t i = 0; i < n; ++i) {
        double d = v[i];
        Put(&d, 8);
    }
}

std::vector<uint8_t> CompressXFile(const std::vector<uint8_t>& file, size_t blockSize) {
    std::vector<uint8_t> out;
    if (file.size() < 16) return out;
    if (blockSize == 0 || blockSize > 32768) blockSize = 32768;
    out.assign(file.begin(), file.begin() + 16);
    std::memcpy(out.data() + 8, std::memcmp(file.data() + 8, "bin ", 4) == 0 ? "bzip" : "tzip", 4);
    uint32_t total = uint32_t(file.size());
    out.insert(out.end(), reinterpret_cast<uint8_t*>(&total), reinterpret_cast<uint8_t*>(&total) + 4);
    z_stream z{};
    deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::vector<uint8_t> packed(deflateBound(&z, uLong(blockSize)) + 16);
    for (size_t at = 16; at < file.size(); at += blockSize) {
        size_t n = std::min(blockSize, file.size() - at);
        deflateReset(&z);
        if (at > 16) {
            size_t dict = std::min<size_t>(at - 16, 32768);
            deflateSetDictionary(&z, file.data() + at - dict, uInt(dict));
        }
        z.next_in = const_cast<Bytef*>(file.data() + at);
        z.avail_in = uInt(n);
        z.next_out = packed.data();
        z.avail_out = uInt(packed.size());
        deflate(&z, Z_FINISH);
        size_t got = packed.size() - z.avail_out;
        uint16_t plain = uint16_t(n), size = uint16_t(got + 2);
        out.insert(out.end(), reinterpret_cast<uint8_t*>(&plain), reinterpret_cast<uint8_t*>(&plain) + 2);
        out.insert(out.end(), reinterpret_cast<uint8_t*>(&size), reinterpret_cast<uint8_t*>(&size) + 2);
        out.push_back('C');
        out.push_back('K');
        out.insert(out.end(), packed.begin(), packed.begin() + long(got));
    }
    deflateEnd(&z);
    return out;
}

HRESULT TextToBinary(std::string_view text, std::vector<uint8_t>& out) {
    if (text.size() < 16 || text.substr(0, 4) != "xof " || text.substr(8, 4) != "txt ")
        return DXFILEERR_BADFILETYPE;
    bool f64 = text.substr(12, 4) == "0064";
    BinaryWriter w(f64);
    std::memcpy(w.Bytes().data() + 4, text.data() + 4, 4);
    TextReader rd(text.data(), text.data() + text.size(), 16);
    for (;;) {
        Token t;
        if (!rd.Next(t)) return DXFILEERR_PARSEERROR;
        switch (t.kind) {
        case Tok::Eof:
            out = std::move(w.Bytes());
            return S_OK;
        case Tok::Name: w.Name(t.text); break;
        case Tok::String: w.String(t.text); break;
        case Tok::Integer: w.Integer(t.integer); break;
        case Tok::Guid: w.Guid(t.guid); break;
        case Tok::Float: {
            float f = float(t.real);
            w.FloatList(&f, 1);
            break;
        }
        default: w.Token(uint16_t(t.kind)); break;
        }
    }
}

}  // namespace dxfile
