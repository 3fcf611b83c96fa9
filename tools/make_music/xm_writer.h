// Writes a FastTracker 2 extended module (version 0x0104) from an in-memory
// description: patterns of cells, instruments with one sample each.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace makemusic {

constexpr uint8_t kKeyOff = 97;  // XM note number for "key off"

struct Cell {
    uint8_t note = 0;        // 1..96 (1 = C-0), kKeyOff, or 0 for none
    uint8_t instrument = 0;  // 1-based, 0 for none
    uint8_t volume = 0;      // volume column byte (0x10 + 0..64 sets volume)
    uint8_t effect = 0;
    uint8_t param = 0;
};

struct Pattern {
    int rows = 64;
    int channels = 0;
    std::vector<Cell> cells;  // rows * channels, row-major
    Pattern(int rowCount, int channelCount)
        : rows(rowCount), channels(channelCount), cells(size_t(rowCount) * channelCount) {}
    Cell& At(int row, int channel) { return cells[size_t(row) * channels + channel]; }
};

struct EnvelopePoint {
    uint16_t tick;
    uint16_t value;  // 0..64
};

struct Sample {
    std::string name;
    std::vector<int16_t> data;  // always 16-bit here; written as 8-bit if eightBit
    bool eightBit = false;
    bool loop = false;
    uint32_t loopStart = 0;   // in sample frames
    uint32_t loopLength = 0;  // in sample frames
    uint8_t volume = 64;
    int8_t finetune = 0;
    int8_t relativeNote = 0;
    uint8_t panning = 128;
};

struct Instrument {
    std::string name;
    Sample sample;
    std::vector<EnvelopePoint> volumeEnvelope;  // empty: envelope off
    int sustainPoint = -1;
    uint16_t fadeout = 0;
    uint8_t vibratoType = 0, vibratoSweep = 0, vibratoDepth = 0, vibratoRate = 0;
};

struct Module {
    std::string name;
    int channels = 0;
    int speed = 6;  // ticks per row
    int bpm = 125;
    int restartPosition = 0;
    std::vector<uint8_t> orders;
    std::vector<Pattern> patterns;
    std::vector<Instrument> instruments;
};

// Serialises the module; empty on an impossible description (too many
// channels, orders, patterns or instruments, or oversized data).
std::vector<uint8_t> WriteXm(const Module& module);

}  // namespace makemusic
