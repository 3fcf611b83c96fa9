#include "compose.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <string>

#include "synth.h"

namespace makemusic {
namespace {

// Twelve channels (FastTracker 2 wants an even count); the crash has its own
// so the snare does not cut it short.
enum Channel {
    kKickCh, kSnareCh, kHatCh, kBassCh, kPad1Ch, kPad2Ch, kPad3Ch,
    kLeadCh, kArpCh, kEchoCh, kCrashCh, kArpEchoCh, kChannelCount
};
enum InstrumentId { kKick = 1, kSnare, kClosedHat, kOpenHat, kCrash, kBass, kPad, kLead, kPluck };

constexpr int kRows = 64;
constexpr int kBar = 16;  // rows per bar: four beats of four sixteenths

// "C-4", "G#3", "Bb2" to an XM note number (C-0 = 1).
uint8_t N(const char* name) {
    static const int base[7] = {9, 11, 0, 2, 4, 5, 7};  // A..G
    int semis = base[name[0] - 'A'];
    if (name[1] == '#') semis += 1;
    if (name[1] == 'b') semis -= 1;
    const int octave = name[2] - '0';
    return uint8_t(1 + octave * 12 + semis);
}

uint8_t Vol(int v) { return uint8_t(0x10 + v); }

struct Chord {
    const char* bass;
    std::array<const char*, 3> pad;
    std::array<const char*, 4> arp;
};

const Chord kAm = {"A-1", {"A-3", "C-4", "E-4"}, {"A-4", "C-5", "E-5", "A-5"}};
const Chord kF = {"F-1", {"A-3", "C-4", "F-4"}, {"F-4", "A-4", "C-5", "F-5"}};
const Chord kC = {"C-2", {"G-3", "C-4", "E-4"}, {"G-4", "C-5", "E-5", "G-5"}};
const Chord kG = {"G-1", {"G-3", "B-3", "D-4"}, {"G-4", "B-4", "D-5", "G-5"}};
const Chord kDm = {"D-2", {"A-3", "D-4", "F-4"}, {"F-4", "A-4", "D-5", "F-5"}};
const Chord kE = {"E-1", {"G#3", "B-3", "E-4"}, {"G#4", "B-4", "E-5", "G#5"}};

using Progression = std::array<const Chord*, 4>;
const Progression kVerse = {&kAm, &kF, &kC, &kG};
const Progression kBridge = {&kDm, &kG, &kC, &kE};

struct Note {
    int row;
    const char* name;
    int length;  // rows until key off
};

// Over Am F C G: the main theme and its answer.
const Note kThemeA[] = {{0, "E-5", 6},  {6, "D-5", 2},  {8, "C-5", 4},  {12, "D-5", 2}, {14, "E-5", 2},
                        {16, "F-5", 6}, {22, "E-5", 2}, {24, "C-5", 4}, {28, "A-4", 4}, {32, "G-4", 4},
                        {36, "C-5", 4}, {40, "E-5", 4}, {44, "G-5", 4}, {48, "D-5", 8}, {56, "B-4", 6}};
const Note kThemeB[] = {{0, "A-5", 4},  {4, "G-5", 2},  {6, "E-5", 2},  {8, "A-5", 4},  {12, "B-5", 2},
                        {14, "C-6", 2}, {16, "C-6", 8}, {24, "A-5", 4}, {28, "F-5", 4}, {32, "G-5", 6},
                        {38, "E-5", 2}, {40, "G-5", 4}, {44, "C-6", 2}, {46, "B-5", 2}, {48, "B-5", 4},
                        {52, "A-5", 2}, {54, "G-5", 2}, {56, "D-5", 6}};
// Over Dm G C E, ending on the leading tone back to A minor.
const Note kBridgeTune[] = {{0, "F-5", 6},  {6, "E-5", 2},  {8, "D-5", 4},  {12, "A-5", 4}, {16, "G-5", 6},
                            {22, "F-5", 2}, {24, "D-5", 4}, {28, "B-4", 4}, {32, "C-5", 4}, {36, "E-5", 4},
                            {40, "G-5", 4}, {44, "C-6", 4}, {48, "B-5", 8}, {56, "G#5", 4}, {60, "E-5", 4}};

void Put(Pattern& p, int row, int ch, uint8_t note, uint8_t ins, uint8_t vol = 0, uint8_t fx = 0, uint8_t param = 0) {
    if (row < 0 || row >= p.rows) return;
    p.At(row, ch) = Cell{note, ins, vol, fx, param};
}

void KeyOff(Pattern& p, int row, int ch) {
    if (row < 0 || row >= p.rows || p.At(row, ch).note) return;
    p.At(row, ch) = Cell{kKeyOff, 0, 0, 0, 0};
}

// Pads hold common tones across chord changes rather than restriking them.
void AddPad(Pattern& p, const Progression& prog, int volume) {
    static const uint8_t pans[3] = {70, 128, 186};
    for (int v = 0; v < 3; ++v) {
        const char* held = nullptr;
        for (int bar = 0; bar < 4; ++bar) {
            const char* n = prog[size_t(bar)]->pad[size_t(v)];
            if (!held || std::string(held) != n)
                Put(p, bar * kBar, kPad1Ch + v, N(n), kPad, Vol(volume), 0x08, pans[v]);
            held = n;
        }
    }
}

void AddArp(Pattern& p, const Progression& prog, int step, int volume) {
    static const int order[6] = {0, 1, 2, 3, 2, 1};
    int k = 0;
    for (int row = 0; row < kRows; row += step, ++k) {
        const Chord& c = *prog[size_t(row / kBar)];
        const int accent = (row % 4 == 0) ? 6 : 0;
        Put(p, row, kArpCh, N(c.arp[size_t(order[k % 6])]), kPluck, Vol(volume + accent), 0x08, 96);
    }
}

void AddBassGroove(Pattern& p, const Progression& prog) {
    struct Hit { int row, interval, volume; };
    static const Hit groove[] = {{0, 0, 60}, {2, 0, 36}, {3, 12, 48}, {6, 0, 54},
                                 {8, 0, 60}, {10, 12, 46}, {11, 0, 38}, {14, 7, 50}};
    for (int bar = 0; bar < 4; ++bar) {
        const uint8_t root = N(prog[size_t(bar)]->bass);
        for (const Hit& h : groove) Put(p, bar * kBar + h.row, kBassCh, uint8_t(root + h.interval), kBass, Vol(h.volume));
    }
}

void AddBassLong(Pattern& p, const Progression& prog, int fromBar) {
    for (int bar = fromBar; bar < 4; ++bar) {
        const uint8_t root = N(prog[size_t(bar)]->bass);
        Put(p, bar * kBar, kBassCh, root, kBass, Vol(56));
        Put(p, bar * kBar + 10, kBassCh, uint8_t(root + 12), kBass, Vol(40));
        KeyOff(p, bar * kBar + 14, kBassCh);
    }
}

void AddDrums(Pattern& p, bool fill, bool crash) {
    for (int bar = 0; bar < 4; ++bar) {
        const int b = bar * kBar;
        for (int beat = 0; beat < 4; ++beat) Put(p, b + beat * 4, kKickCh, N("C-4"), kKick, Vol(64));
        Put(p, b + 4, kSnareCh, N("C-4"), kSnare);
        Put(p, b + 12, kSnareCh, N("C-4"), kSnare);
        for (int r = 0; r < kBar; ++r) {
            if (r == 14)
                Put(p, b + r, kHatCh, N("C-4"), kOpenHat);
            else
                Put(p, b + r, kHatCh, N("C-4"), kClosedHat, Vol(r % 4 == 2 ? 44 : (r % 2 ? 22 : 32)));
        }
    }
    if (crash) Put(p, 0, kCrashCh, N("C-4"), kCrash);
    if (fill) {
        static const int roll[] = {56, 58, 60, 61, 62, 63};
        int v = 24;
        for (int r : roll) {
            Put(p, r, kSnareCh, N("C-4"), kSnare, Vol(v));
            v += 6;
        }
    }
}

// Half-time feel for the bridge: the kick skips, the snare lands on beat 3.
void AddBridgeDrums(Pattern& p, bool fill) {
    static const int kicks[] = {0, 6, 10};
    for (int bar = 0; bar < 4; ++bar) {
        const int b = bar * kBar;
        for (int r : kicks) Put(p, b + r, kKickCh, N("C-4"), kKick, Vol(r ? 52 : 64));
        Put(p, b + 8, kSnareCh, N("C-4"), kSnare);
        for (int r = 0; r < kBar; r += 2)
            Put(p, b + r, kHatCh, N("C-4"), r % 4 == 2 ? kOpenHat : kClosedHat, Vol(r % 4 == 2 ? 20 : 34));
    }
    Put(p, 0, kCrashCh, N("C-4"), kCrash);
    if (fill)
        for (int r = 60; r < 64; ++r) Put(p, r, kSnareCh, N("C-4"), kSnare, Vol(30 + (r - 60) * 8));
}

template <size_t K>
void AddMelody(Pattern& p, const Note (&tune)[K], int ch, uint8_t ins, int volume, int transpose = 0, int delay = 0,
               uint8_t pan = 0) {
    for (const Note& n : tune) {
        const int row = n.row + delay;
        Put(p, row, ch, uint8_t(N(n.name) + transpose), ins, Vol(volume), pan ? 0x08 : 0, pan);
        // Without a volume envelope a key off would cut the sound dead: the
        // plucked string just rings until the next note.
        if (ins != kPluck) KeyOff(p, row + n.length, ch);
    }
}

Pattern Intro() {
    Pattern p(kRows, kChannelCount);
    AddPad(p, kVerse, 44);
    AddArp(p, kVerse, 2, 30);
    AddBassLong(p, kVerse, 2);
    for (int r = 32; r < kRows; r += 2) Put(p, r, kHatCh, N("C-4"), kClosedHat, Vol(r % 4 == 2 ? 30 : 16));
    for (int r = 56; r < kRows; r += 2) Put(p, r, kSnareCh, N("C-4"), kSnare, Vol(16 + (r - 56) * 4));
    return p;
}

Pattern Groove(bool fill) {
    Pattern p(kRows, kChannelCount);
    AddDrums(p, fill, true);
    AddBassGroove(p, kVerse);
    AddPad(p, kVerse, 36);
    AddArp(p, kVerse, 1, 24);
    return p;
}

Pattern VerseA() {
    Pattern p = Groove(false);
    AddMelody(p, kThemeA, kLeadCh, kLead, 48);
    AddMelody(p, kThemeA, kEchoCh, kLead, 18, 0, 3, 200);
    return p;
}

Pattern VerseB() {
    Pattern p = Groove(true);
    AddMelody(p, kThemeB, kLeadCh, kLead, 46);
    AddMelody(p, kThemeB, kEchoCh, kLead, 18, 0, 3, 200);
    return p;
}

Pattern Bridge(bool pluckDouble) {
    Pattern p(kRows, kChannelCount);
    AddBridgeDrums(p, true);
    AddBassGroove(p, kBridge);
    AddPad(p, kBridge, 38);
    AddMelody(p, kBridgeTune, kLeadCh, kLead, 48);
    if (pluckDouble)
        AddMelody(p, kBridgeTune, kArpCh, kPluck, 40, 12);
    else
        AddArp(p, kBridge, 1, 22);
    AddMelody(p, kBridgeTune, kEchoCh, kLead, 18, 0, 3, 200);
    return p;
}

// The theme on the plucked string over pads, the beat building back up.
Pattern Breakdown() {
    Pattern p(kRows, kChannelCount);
    AddPad(p, kVerse, 44);
    AddBassLong(p, kVerse, 0);
    AddMelody(p, kThemeA, kLeadCh, kPluck, 52, 12);
    AddMelody(p, kThemeA, kArpEchoCh, kPluck, 20, 12, 3, 210);
    AddArp(p, kVerse, 4, 26);
    for (int r = 2; r < kRows; r += 4) Put(p, r, kHatCh, N("C-4"), kClosedHat, Vol(30));
    for (int r = 48; r < kRows; r += 4) Put(p, r, kKickCh, N("C-4"), kKick, Vol(40 + (r - 48)));
    for (int r = 56; r < kRows; ++r) Put(p, r, kSnareCh, N("C-4"), kSnare, Vol(18 + (r - 56) * 5));
    return p;
}

}  // namespace

Module ComposeZel() {
    Module m;
    m.name = "zel";
    m.channels = kChannelCount;
    m.speed = 6;
    m.bpm = 120;
    m.instruments = {MakeKick(), MakeSnare(), MakeClosedHat(), MakeOpenHat(), MakeCrash(),
                     MakeBass(), MakePad(),   MakeLead(),      MakePluck()};
    m.patterns = {Intro(), Groove(false), VerseA(), VerseB(), Bridge(false), Breakdown(), Bridge(true)};
    // Intro once, then the body loops: groove, two verses, bridge, breakdown,
    // the verses again and the second bridge, which leads back to the groove.
    m.orders = {0, 1, 2, 3, 4, 5, 2, 3, 6};
    m.restartPosition = 1;
    return m;
}

Module ShrinkForSeed(Module m) {
    constexpr size_t kFrames = 96;
    for (Instrument& ins : m.instruments) {
        Sample& s = ins.sample;
        if (s.data.size() > kFrames) s.data.resize(kFrames);
        if (s.loop) {
            s.loopStart = 0;
            s.loopLength = uint32_t(s.data.size());
        }
    }
    for (Pattern& p : m.patterns) {
        p.rows = 8;
        p.cells.resize(size_t(p.rows) * p.channels);
    }
    m.orders.resize(std::min<size_t>(m.orders.size(), 4));
    return m;
}

}  // namespace makemusic
