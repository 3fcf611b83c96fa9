#include "fmod/wav_writer.h"

#include <vector>

namespace sombrella::fmod {
namespace {

void Put16(unsigned char* p, uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}
void Put32(unsigned char* p, uint32_t v) {
    Put16(p, v & 0xFFFF);
    Put16(p + 2, v >> 16);
}

}  // namespace

bool WavWriter::Open(const std::string& path, int rate, int channels) {
    Close();
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_) return false;
    rate_ = rate;
    channels_ = channels;
    frames_ = 0;
    if (!WriteHeader()) {
        Close();
        return false;
    }
    return true;
}

bool WavWriter::WriteHeader() {
    const uint32_t blockAlign = static_cast<uint32_t>(channels_) * 2;
    // Clamp at what a RIFF size field can hold (about 6.7 hours of stereo).
    const uint64_t dataBytes64 = frames_ * blockAlign;
    const uint32_t dataBytes =
        dataBytes64 > 0xFFFFFFFFu - 36 ? 0xFFFFFFFFu - 36 : static_cast<uint32_t>(dataBytes64);
    unsigned char h[44] = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E',
                           'f', 'm', 't', ' ', 0, 0, 0, 0, 0, 0, 0, 0,
                           0,   0,   0,   0,   0, 0, 0, 0, 0, 0, 0, 0,
                           'd', 'a', 't', 'a', 0, 0, 0, 0};
    Put32(h + 4, 36 + dataBytes);
    Put32(h + 16, 16);
    Put16(h + 20, 1);  // PCM
    Put16(h + 22, static_cast<uint32_t>(channels_));
    Put32(h + 24, static_cast<uint32_t>(rate_));
    Put32(h + 28, static_cast<uint32_t>(rate_) * blockAlign);
    Put16(h + 32, blockAlign);
    Put16(h + 34, 16);
    Put32(h + 40, dataBytes);
    if (std::fseek(file_, 0, SEEK_SET) != 0) return false;
    return std::fwrite(h, 1, sizeof h, file_) == sizeof h;
}

bool WavWriter::Write(const int16_t* samples, size_t frames) {
    if (!file_) return false;
    const size_t count = frames * static_cast<size_t>(channels_);
    std::vector<unsigned char> bytes(count * 2);
    for (size_t i = 0; i < count; ++i) Put16(&bytes[i * 2], static_cast<uint16_t>(samples[i]));
    if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) return false;
    frames_ += frames;
    return true;
}

void WavWriter::Update() {
    if (!file_) return;
    WriteHeader();
    std::fseek(file_, 0, SEEK_END);
    std::fflush(file_);
}

void WavWriter::Close() {
    if (!file_) return;
    Update();
    std::fclose(file_);
    file_ = nullptr;
}

}  // namespace sombrella::fmod
