// A 16-bit PCM WAV file written as it grows; sizes are fixed up on Update.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace sombrella::fmod {

class WavWriter {
public:
    WavWriter() = default;
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;
    ~WavWriter() { Close(); }

    bool Open(const std::string& path, int rate, int channels);
    bool IsOpen() const { return file_ != nullptr; }
    // Appends frames interleaved frames.
    bool Write(const int16_t* samples, size_t frames);
    // Rewrites the header for the data written so far.
    void Update();
    void Close();
    uint64_t FramesWritten() const { return frames_; }

private:
    std::FILE* file_ = nullptr;
    int channels_ = 2;
    int rate_ = 44100;
    uint64_t frames_ = 0;
    bool WriteHeader();
};

}  // namespace sombrella::fmod
