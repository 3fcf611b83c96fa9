#include "wav_file.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
uint32_t Get16(const unsigned char* p) { return p[0] | (p[1] << 8); }
uint32_t Get32(const unsigned char* p) { return Get16(p) | (Get16(p + 2) << 16); }
}  // namespace

std::vector<unsigned char> ReadBytes(const std::string& path) {
    std::vector<unsigned char> bytes;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return bytes;
    unsigned char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.insert(bytes.end(), buf, buf + n);
    std::fclose(f);
    return bytes;
}

bool WriteBytes(const std::string& path, const void* data, size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

bool ReadWav(const std::string& path, WavFile& out) {
    const std::vector<unsigned char> b = ReadBytes(path);
    if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) || std::memcmp(b.data() + 8, "WAVE", 4)) return false;
    out = WavFile{};
    out.fileSize = b.size();
    out.riffSize = Get32(&b[4]);
    size_t pos = 12;
    bool haveFormat = false;
    while (pos + 8 <= b.size()) {
        const uint32_t size = Get32(&b[pos + 4]);
        const size_t body = pos + 8;
        const size_t avail = b.size() - body;
        if (!std::memcmp(&b[pos], "fmt ", 4) && size >= 16 && avail >= 16) {
            const uint32_t format = Get16(&b[body]);
            out.channels = int(Get16(&b[body + 2]));
            out.rate = int(Get32(&b[body + 4]));
            out.bits = int(Get16(&b[body + 14]));
            haveFormat = (format == 1 || format == 0xFFFE) && out.bits == 16 && out.channels > 0;
        } else if (!std::memcmp(&b[pos], "data", 4) && haveFormat) {
            // Streams written to a pipe may carry a placeholder size.
            const size_t bytes = std::min<size_t>(size, avail) & ~size_t(1);
            out.samples.resize(bytes / 2);
            for (size_t i = 0; i < out.samples.size(); ++i) out.samples[i] = int16_t(Get16(&b[body + 2 * i]));
            return true;
        }
        pos = body + size + (size & 1);
    }
    return false;
}

double WavFile::Rms() const {
    if (samples.empty()) return 0;
    double sum = 0;
    for (int16_t s : samples) sum += double(s) * s;
    return std::sqrt(sum / samples.size());
}

int WavFile::Peak() const {
    int peak = 0;
    for (int16_t s : samples) peak = std::max(peak, std::abs(int(s)));
    return peak;
}
