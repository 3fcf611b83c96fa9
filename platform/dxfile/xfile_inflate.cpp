// MSZIP bodies of "tzip"/"bzip" files: a 32-bit total size (header
// included), then blocks of [uncompressed size:16][compressed size:16]["CK"]
// [raw deflate], each inflated with the previous 32 KiB as its dictionary.
#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "dxfile.h"
#include "xfile_model.h"

namespace dxfile {

namespace {
constexpr size_t kWindow = 32768;

struct Inflater {
    z_stream z{};
    bool ok = false;
    Inflater() { ok = inflateInit2(&z, -15) == Z_OK; }
    ~Inflater() {
        if (ok) inflateEnd(&z);
    }
};
}  // namespace

HRESULT InflateMsZip(const uint8_t* in, size_t size, std::vector<char>& out) {
    out.clear();
    if (size < 4) return DXFILEERR_BADFILE;
    uint32_t total;
    std::memcpy(&total, in, 4);
    if (total < 16 || total - 16 > kMaxInflatedBytes) return DXFILEERR_BADFILE;
    size_t want = total - 16;
    // Each block holds at most 32 KiB and takes at least 7 bytes of input.
    if (want / kWindow > size / 7 + 1) return DXFILEERR_BADFILE;
    Inflater inf;
    if (!inf.ok) return DXFILEERR_BADALLOC;
    // Room for the usual ratios up front; a larger claim grows as blocks
    // really deliver, so a lying header costs nothing.
    out.reserve(std::min(want, size * 16 + (size_t(1) << 20)));
    size_t at = 4;
    while (at < size) {
        if (size - at < 6) return DXFILEERR_BADFILE;
        uint16_t plain, packed;
        std::memcpy(&plain, in + at, 2);
        std::memcpy(&packed, in + at + 2, 2);
        at += 4;
        if (plain == 0 || plain > kWindow || packed < 3 || packed > size - at) return DXFILEERR_BADFILE;
        if (in[at] != 'C' || in[at + 1] != 'K') return DXFILEERR_BADFILE;
        if (plain > want - out.size()) return DXFILEERR_BADFILE;
        if (inflateReset(&inf.z) != Z_OK) return DXFILEERR_BADFILE;
        if (!out.empty()) {
            size_t dict = out.size() < kWindow ? out.size() : kWindow;
            if (inflateSetDictionary(&inf.z, reinterpret_cast<const Bytef*>(out.data() + out.size() - dict),
                                     uInt(dict)) != Z_OK)
                return DXFILEERR_BADFILE;
        }
        size_t start = out.size();
        out.resize(start + plain);
        inf.z.next_in = const_cast<Bytef*>(in + at + 2);
        inf.z.avail_in = packed - 2u;
        inf.z.next_out = reinterpret_cast<Bytef*>(out.data() + start);
        inf.z.avail_out = plain;
        int r = inflate(&inf.z, Z_FINISH);
        if (r != Z_STREAM_END || inf.z.avail_out != 0) return DXFILEERR_BADFILE;
        at += packed;
    }
    if (out.size() != want) return DXFILEERR_BADFILE;
    return S_OK;
}

}  // namespace dxfile
