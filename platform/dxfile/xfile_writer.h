// Writers of X files: binary tokens, MSZIP compression and a token-by-token
// translation of text into binary. Used by the template generator, the tests
// and the benchmark.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "windows.h"
#include "xfile_tokens.h"

namespace dxfile {

class BinaryWriter {
public:
    // Starts the file with "xof 0302bin 0032" (or "0064").
    explicit BinaryWriter(bool float64 = false);
    std::vector<uint8_t>& Bytes() { return bytes_; }

    void Token(uint16_t code);
    void Name(std::string_view name);
    // The string token followed by its 2-byte ';' (or ',') token.
    void String(std::string_view s, uint16_t terminator = TOKEN_SEMICOLON);
    void Integer(uint32_t v);
    void Guid(const GUID& g);
    void IntegerList(const uint32_t* v, size_t n);
    void FloatList(const float* v, size_t n);

private:
    void Put(const void* p, size_t n);
    void Put16(uint16_t v) { Put(&v, 2); }
    void Put32(uint32_t v) { Put(&v, 4); }
    bool float64_;
    std::vector<uint8_t> bytes_;
};

// A "txt "/"bin " file made "tzip"/"bzip": blocks of at most blockSize bytes.
std::vector<uint8_t> CompressXFile(const std::vector<uint8_t>& file, size_t blockSize = 32768);

// Re-encodes a text X file token by token as a binary one (same version and
// float size). Real numbers become one-element float lists.
HRESULT TextToBinary(std::string_view text, std::vector<uint8_t>& out);

}  // namespace dxfile
