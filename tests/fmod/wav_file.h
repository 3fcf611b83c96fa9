// Reads back 16-bit PCM WAV files written by the capture and by other players.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct WavFile {
    int channels = 0;
    int rate = 0;
    int bits = 0;
    uint32_t riffSize = 0;   // as the header says
    uint64_t fileSize = 0;   // as the disk says
    std::vector<int16_t> samples;  // interleaved
    uint64_t Frames() const { return channels ? samples.size() / channels : 0; }
    double Rms() const;
    int Peak() const;
};

// False when the file is missing or not 16-bit PCM.
bool ReadWav(const std::string& path, WavFile& out);

std::vector<unsigned char> ReadBytes(const std::string& path);
bool WriteBytes(const std::string& path, const void* data, size_t size);
