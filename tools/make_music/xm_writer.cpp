#include "xm_writer.h"

#include <algorithm>
#include <cstring>

namespace makemusic {
namespace {

class Bytes {
public:
    void U8(uint32_t v) { out.push_back(uint8_t(v)); }
    void U16(uint32_t v) {
        U8(v & 0xFF);
        U8((v >> 8) & 0xFF);
    }
    void U32(uint32_t v) {
        U16(v & 0xFFFF);
        U16(v >> 16);
    }
    void Text(const std::string& s, size_t width) {
        for (size_t i = 0; i < width; ++i) U8(i < s.size() ? uint8_t(s[i]) : 0);
    }
    void Zeros(size_t n) { out.insert(out.end(), n, 0); }
    size_t Size() const { return out.size(); }
    std::vector<uint8_t> out;
};

// A cell is stored whole when all five bytes are used, otherwise as a flag
// byte (bit 7 set) telling which of the five follow.
void PackCell(const Cell& c, std::vector<uint8_t>& out) {
    const uint8_t fields[5] = {c.note, c.instrument, c.volume, c.effect, c.param};
    uint8_t mask = 0;
    for (int i = 0; i < 5; ++i)
        if (fields[i]) mask |= uint8_t(1 << i);
    if (mask == 0x1F) {
        out.insert(out.end(), fields, fields + 5);
        return;
    }
    out.push_back(uint8_t(0x80 | mask));
    for (int i = 0; i < 5; ++i)
        if (fields[i]) out.push_back(fields[i]);
}

void WriteSampleData(const Sample& s, Bytes& b) {
    // Samples are stored as differences between neighbours.
    if (s.eightBit) {
        int8_t prev = 0;
        for (int16_t v : s.data) {
            const int8_t cur = int8_t(v >> 8);
            b.U8(uint8_t(cur - prev));
            prev = cur;
        }
    } else {
        int16_t prev = 0;
        for (int16_t v : s.data) {
            b.U16(uint16_t(v - prev));
            prev = v;
        }
    }
}

}  // namespace

std::vector<uint8_t> WriteXm(const Module& m) {
    if (m.channels < 1 || m.channels > 32 || m.orders.empty() || m.orders.size() > 256 ||
        m.patterns.size() > 256 || m.instruments.size() > 128)
        return {};
    Bytes b;
    b.Text("Extended Module: ", 17);
    b.Text(m.name, 20);
    b.U8(0x1A);
    b.Text("sombrella-make-music", 20);
    b.U16(0x0104);
    b.U32(276);  // header size, counted from this field: 20 bytes + 256 orders
    b.U16(uint32_t(m.orders.size()));
    b.U16(uint32_t(m.restartPosition));
    b.U16(uint32_t(m.channels));
    b.U16(uint32_t(m.patterns.size()));
    b.U16(uint32_t(m.instruments.size()));
    b.U16(1);  // linear frequency table
    b.U16(uint32_t(m.speed));
    b.U16(uint32_t(m.bpm));
    for (size_t i = 0; i < 256; ++i) b.U8(i < m.orders.size() ? m.orders[i] : 0);

    for (const Pattern& p : m.patterns) {
        if (p.channels != m.channels || p.rows < 1 || p.rows > 256) return {};
        std::vector<uint8_t> packed;
        for (const Cell& c : p.cells) PackCell(c, packed);
        if (packed.size() > 0xFFFF) return {};
        b.U32(9);  // pattern header length
        b.U8(0);   // packing type
        b.U16(uint32_t(p.rows));
        b.U16(uint32_t(packed.size()));
        b.out.insert(b.out.end(), packed.begin(), packed.end());
    }

    for (const Instrument& ins : m.instruments) {
        const Sample& s = ins.sample;
        if (ins.volumeEnvelope.size() > 12) return {};
        b.U32(263);  // instrument header size including the sample map and envelopes
        b.Text(ins.name, 22);
        b.U8(0);   // type
        b.U16(1);  // one sample
        b.U32(40);  // sample header size
        b.Zeros(96);  // every note plays sample 0
        for (size_t i = 0; i < 12; ++i) {
            const EnvelopePoint p = i < ins.volumeEnvelope.size() ? ins.volumeEnvelope[i] : EnvelopePoint{0, 0};
            b.U16(p.tick);
            b.U16(p.value);
        }
        b.Zeros(48);  // panning envelope
        b.U8(uint32_t(ins.volumeEnvelope.size()));
        b.U8(0);  // panning points
        b.U8(uint32_t(std::max(ins.sustainPoint, 0)));
        b.U8(0);  // volume loop start
        b.U8(0);  // volume loop end
        b.Zeros(3);  // panning sustain / loop
        uint8_t volType = 0;
        if (!ins.volumeEnvelope.empty()) volType |= 1;
        if (!ins.volumeEnvelope.empty() && ins.sustainPoint >= 0) volType |= 2;
        b.U8(volType);
        b.U8(0);  // panning type
        b.U8(ins.vibratoType);
        b.U8(ins.vibratoSweep);
        b.U8(ins.vibratoDepth);
        b.U8(ins.vibratoRate);
        b.U16(ins.fadeout);
        b.Zeros(22);  // reserved, up to the 263 bytes

        const uint32_t width = s.eightBit ? 1 : 2;
        if (s.data.size() > 0x7FFFFFFF / width) return {};
        b.U32(uint32_t(s.data.size()) * width);
        b.U32(s.loop ? s.loopStart * width : 0);
        b.U32(s.loop ? s.loopLength * width : 0);
        b.U8(s.volume);
        b.U8(uint8_t(s.finetune));
        b.U8((s.loop ? 1 : 0) | (s.eightBit ? 0 : 0x10));
        b.U8(s.panning);
        b.U8(uint8_t(s.relativeNote));
        b.U8(0);  // delta-coded
        b.Text(s.name, 22);
        WriteSampleData(s, b);
    }
    return std::move(b.out);
}

}  // namespace makemusic
