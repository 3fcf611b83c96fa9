#include "synth.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>

namespace makemusic {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kMiddleC = 261.6255653;
constexpr double kC4Rate = 8363.0;  // what note C-4 plays at with no relative note

// The rate note C-4 plays a sample at, for a relative note and finetune.
double PlaybackRate(int relativeNote, int finetune) {
    return kC4Rate * std::pow(2.0, (relativeNote + finetune / 128.0) / 12.0);
}

// Deterministic noise so every build writes the same file.
class Noise {
public:
    double Next() {
        state_ = state_ * 1664525u + 1013904223u;
        return (double((state_ >> 8) & 0xFFFFFF) / double(0xFFFFFF)) * 2.0 - 1.0;
    }

private:
    uint32_t state_ = 0x5EED1234u;
};

// Scales to the given peak and converts to 16-bit.
std::vector<int16_t> Normalise(const std::vector<double>& in, double peak) {
    double max = 1e-9;
    for (double v : in) max = std::max(max, std::fabs(v));
    std::vector<int16_t> out(in.size());
    for (size_t i = 0; i < in.size(); ++i)
        out[i] = int16_t(std::lround(std::clamp(in[i] / max * peak, -1.0, 1.0) * 32767.0));
    return out;
}

// Percussion is sampled at about 44.1 kHz and triggered at C-4.
struct DrumRate {
    int relativeNote = 29;
    int finetune = -28;
    double Rate() const { return PlaybackRate(relativeNote, finetune); }
};

Instrument Drum(const char* name, std::vector<double> wave, bool eightBit, uint8_t volume, uint8_t pan) {
    DrumRate r;
    Instrument ins;
    ins.name = name;
    ins.sample.name = name;
    ins.sample.data = Normalise(wave, 0.95);
    ins.sample.eightBit = eightBit;
    ins.sample.volume = volume;
    ins.sample.relativeNote = int8_t(r.relativeNote);
    ins.sample.finetune = int8_t(r.finetune);
    ins.sample.panning = pan;
    return ins;
}

// Pitched sounds: one period is kPeriod samples at the rate C-4 plays, so
// every harmonic fits the loop exactly. Relative note 24 and a finetune put
// that rate at kPeriod * middle C, within a cent.
constexpr int kPeriod = 128;
constexpr int kPitchedRelNote = 24;
const int kPitchedFinetune =
    int(std::lround(128.0 * 12.0 * std::log2(kPeriod * kMiddleC / PlaybackRate(kPitchedRelNote, 0))));

// Sum of harmonics; amp(n, seconds) gives harmonic n's amplitude over time.
// voices: cycles per loop for each detuned copy (loopCycles for no detune).
std::vector<double> Additive(int totalCycles, int loopCycles, const std::vector<int>& voices, int harmonics,
                             const std::function<double(int, double)>& amp) {
    const double rate = PlaybackRate(kPitchedRelNote, kPitchedFinetune);
    const int loopLength = kPeriod * loopCycles;
    const int length = kPeriod * totalCycles;
    std::vector<double> out(size_t(length), 0.0);
    const int attackEnd = length - loopLength;  // amplitudes freeze in the loop
    for (int n = 1; n <= harmonics; ++n) {
        for (size_t v = 0; v < voices.size(); ++v) {
            const double step = 2.0 * kPi * n * voices[v] / loopLength;
            const double phase0 = 2.0 * kPi * (0.37 * v + 0.11 * n * v);
            for (int i = 0; i < length; ++i) {
                const double t = std::min(i, attackEnd) / rate;
                out[size_t(i)] += amp(n, t) * std::sin(step * i + phase0);
            }
        }
    }
    return out;
}

Instrument Pitched(const char* name, std::vector<double> wave, int loopCycles, uint8_t volume, uint8_t pan) {
    Instrument ins;
    ins.name = name;
    Sample& s = ins.sample;
    s.name = name;
    s.data = Normalise(wave, 0.9);
    s.volume = volume;
    s.relativeNote = kPitchedRelNote;
    s.finetune = kPitchedFinetune;
    s.panning = pan;
    if (loopCycles > 0) {
        s.loop = true;
        s.loopLength = uint32_t(kPeriod * loopCycles);
        s.loopStart = uint32_t(s.data.size()) - s.loopLength;
    }
    return ins;
}

}  // namespace

Instrument MakeKick() {
    const double rate = DrumRate{}.Rate();
    std::vector<double> w(size_t(rate * 0.45));
    double phase = 0;
    for (size_t i = 0; i < w.size(); ++i) {
        const double t = i / rate;
        const double freq = 46.0 + 120.0 * std::exp(-t * 28.0);
        phase += 2 * kPi * freq / rate;
        const double body = std::sin(phase) * std::exp(-t * 7.0);
        const double click = std::exp(-t * 400.0) * 0.6 * std::sin(2 * kPi * 1400 * t);
        w[i] = std::tanh(1.8 * (body + click));
        if (t > 0.40) w[i] *= (0.45 - t) / 0.05;  // fade out, no click at the end
    }
    return Drum("kick", w, false, 64, 128);
}

Instrument MakeSnare() {
    const double rate = DrumRate{}.Rate();
    std::vector<double> w(size_t(rate * 0.3));
    Noise noise;
    double lp = 0, prev = 0;
    for (size_t i = 0; i < w.size(); ++i) {
        const double t = i / rate;
        const double tone = (std::sin(2 * kPi * 185 * t) + 0.5 * std::sin(2 * kPi * 330 * t)) * std::exp(-t * 30.0);
        const double n = noise.Next();
        lp += 0.55 * (n - lp);          // soften the top
        const double hp = lp - prev;     // and drop the bottom
        prev = lp;
        w[i] = 0.8 * tone + 1.6 * hp * std::exp(-t * 14.0);
    }
    return Drum("snare", w, false, 52, 128);
}

namespace {
std::vector<double> HatNoise(double seconds, double decay) {
    const double rate = DrumRate{}.Rate();
    std::vector<double> w(size_t(rate * seconds));
    Noise noise;
    double a = 0, b = 0;
    for (size_t i = 0; i < w.size(); ++i) {
        const double t = i / rate;
        const double n = noise.Next();
        const double hp = n - a - b;  // second difference: only the highs pass
        b = a;
        a = n;
        w[i] = hp * std::exp(-t * decay) * std::min(1.0, t * 2000.0);
    }
    return w;
}
}  // namespace

Instrument MakeClosedHat() { return Drum("closed hat", HatNoise(0.08, 60.0), true, 30, 208); }
Instrument MakeOpenHat() { return Drum("open hat", HatNoise(0.40, 9.0), true, 24, 48); }

Instrument MakeCrash() {
    std::vector<double> w = HatNoise(1.6, 2.6);
    const double rate = DrumRate{}.Rate();
    for (size_t i = 0; i < w.size(); ++i)  // a little metallic ring
        w[i] *= 0.8 + 0.2 * std::sin(2 * kPi * 5300 * i / rate);
    return Drum("crash", w, true, 30, 72);
}

Instrument MakeBass() {
    // Bright at the attack, settling into a round saw-like tone.
    auto w = Additive(48, 1, {1}, 20, [](int n, double t) {
        const double bright = 2.0 + 10.0 * std::exp(-t * 9.0);
        return (1.0 / n) * std::exp(-(n - 1) / bright) + (n == 1 ? 0.6 : 0.0);
    });
    Instrument ins = Pitched("bass", w, 1, 56, 128);
    ins.volumeEnvelope = {{0, 64}, {10, 50}, {50, 40}};
    ins.sustainPoint = 2;
    ins.fadeout = 2000;
    return ins;
}

Instrument MakePad() {
    // Three slightly detuned saw-like voices that beat slowly inside one loop.
    const int k = 150;
    auto w = Additive(k, k, {k - 1, k, k + 1}, 14, [](int n, double) {
        return (1.0 / n) * std::exp(-(n - 1) / 5.0);
    });
    Instrument ins = Pitched("pad", w, k, 34, 128);
    ins.volumeEnvelope = {{0, 4}, {40, 56}, {80, 64}, {160, 52}};
    ins.sustainPoint = 3;
    ins.fadeout = 900;
    return ins;
}

Instrument MakeLead() {
    // Hollow, square-ish tone: odd harmonics strong, a few even ones for
    // body, and enough upper ones to carry in the 2-6 kHz presence range.
    auto w = Additive(8, 1, {1}, 24, [](int n, double t) {
        const double odd = (n % 2) ? 1.0 / n : 0.3 / n;
        return odd * std::exp(-(n - 1) / (7.0 + 5.0 * std::exp(-t * 6.0)));
    });
    Instrument ins = Pitched("lead", w, 1, 44, 128);
    ins.volumeEnvelope = {{0, 0}, {3, 64}, {24, 50}};
    ins.sustainPoint = 2;
    ins.fadeout = 1200;
    ins.vibratoType = 0;
    ins.vibratoSweep = 80;
    ins.vibratoDepth = 3;
    ins.vibratoRate = 5;
    return ins;
}

Instrument MakePluck() {
    // Plucked string: upper harmonics die first; no loop, it rings out.
    const double rate = PlaybackRate(kPitchedRelNote, kPitchedFinetune);
    const int cycles = int(1.1 * rate / kPeriod);
    std::vector<double> w(size_t(cycles) * kPeriod, 0.0);
    for (int n = 1; n <= 12; ++n) {
        const double a = 1.0 / (n * n * 0.6 + 0.4);
        for (size_t i = 0; i < w.size(); ++i) {
            const double t = i / rate;
            w[i] += a * std::exp(-t * (2.5 + 1.5 * n)) * std::sin(2 * kPi * n * double(i) / kPeriod);
        }
    }
    for (size_t i = 0; i < w.size(); ++i) {  // soften the onset and the tail
        const double t = i / rate;
        w[i] *= std::min(1.0, t * 1500.0) * std::min(1.0, (w.size() - i) / (0.05 * rate));
    }
    return Pitched("pluck", w, 0, 40, 128);
}

}  // namespace makemusic
