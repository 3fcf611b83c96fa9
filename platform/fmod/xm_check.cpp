#include "fmod/xm_check.h"

#include <cstdint>
#include <cstring>

namespace sombrella::fmod {
namespace {

// Reads little-endian fields, remembering when one ran past the end.
class Reader {
public:
    Reader(const unsigned char* data, size_t size) : data_(data), size_(size) {}
    bool Has(uint64_t pos, uint64_t bytes) const { return pos <= size_ && bytes <= size_ - pos; }
    uint32_t U16(uint64_t pos) {
        if (!Has(pos, 2)) return Fail();
        return data_[pos] | (data_[pos + 1] << 8);
    }
    uint32_t U32(uint64_t pos) {
        if (!Has(pos, 4)) return Fail();
        return U16(pos) | (U16(pos + 2) << 16);
    }
    uint32_t U8(uint64_t pos) {
        if (!Has(pos, 1)) return Fail();
        return data_[pos];
    }
    bool ok = true;

private:
    uint32_t Fail() {
        ok = false;
        return 0;
    }
    const unsigned char* data_;
    size_t size_;
};

constexpr size_t kSignatureLength = 17;
constexpr uint32_t kMaxPatterns = 256;
constexpr uint32_t kMaxInstruments = 128;
constexpr uint32_t kMaxSamplesPerInstrument = 16;
constexpr uint32_t kSampleHeaderBytes = 40;
constexpr uint32_t kInstrumentHeadBytes = 29;  // size, name, type, sample count
constexpr uint8_t kAdpcmMark = 0xAD;

}  // namespace

bool LooksLikeXm(const unsigned char* data, size_t size) {
    static const char kSignature[] = "extended module: ";
    if (!data || size < kSignatureLength) return false;
    for (size_t i = 0; i < kSignatureLength; ++i) {
        unsigned char c = data[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<unsigned char>(c - 'A' + 'a');
        if (c != static_cast<unsigned char>(kSignature[i])) return false;
    }
    return true;
}

bool XmIsComplete(const unsigned char* data, size_t size) {
    Reader r(data, size);
    if (r.U16(58) != 0x0104) return r.ok;  // older layouts: the player judges
    const uint32_t headerSize = r.U32(60);
    const uint32_t patterns = r.U16(70);
    const uint32_t instruments = r.U16(72);
    if (!r.ok || headerSize < 20 || patterns > kMaxPatterns || instruments > kMaxInstruments) return false;

    uint64_t pos = 60 + uint64_t(headerSize);
    if (!r.Has(pos, 0)) return false;
    for (uint32_t p = 0; p < patterns; ++p) {
        const uint32_t length = r.U32(pos);
        if (!r.ok || length < 9) return false;
        const uint32_t packed = r.U16(pos + 7);
        pos += uint64_t(length) + packed;
        if (!r.ok || !r.Has(pos, 0)) return false;
    }
    for (uint32_t i = 0; i < instruments; ++i) {
        const uint32_t length = r.U32(pos);
        const uint32_t samples = r.U16(pos + 27);
        if (!r.ok || length < kInstrumentHeadBytes || samples > kMaxSamplesPerInstrument) return false;
        uint32_t sampleHeaderSize = 0;
        if (samples > 0) {
            sampleHeaderSize = r.U32(pos + kInstrumentHeadBytes);
            if (!r.ok || length < kInstrumentHeadBytes + 4 || sampleHeaderSize < kSampleHeaderBytes) return false;
        }
        pos += length;
        if (!r.Has(pos, 0)) return false;
        uint64_t sampleBytes = 0;
        for (uint32_t s = 0; s < samples; ++s) {
            const uint64_t header = pos + uint64_t(s) * sampleHeaderSize;
            if (!r.Has(header, sampleHeaderSize)) return false;
            const uint32_t bytes = r.U32(header);
            // Compressed samples: a 16-byte table, then four bits a sample.
            sampleBytes += r.U8(header + 17) == kAdpcmMark ? 16 + (uint64_t(bytes) + 1) / 2 : bytes;
        }
        pos += uint64_t(samples) * sampleHeaderSize + sampleBytes;
        if (!r.ok || !r.Has(pos, 0)) return false;
    }
    return true;
}

}  // namespace sombrella::fmod
