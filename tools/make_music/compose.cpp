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
    kLeadCh, kArpCh, kEchoCh, kCrashCh, kCounterCh, kChannelCount
};
enum InstrumentId { kKick = 1, kSnare, kClosedHat, kOpenHat, kCrash, kBass, kPad, kLead, kPluck };

constexpr int kBar = 16;               // rows per bar: four beats of four sixteenths
constexpr int kBars = kSectionBars;    // bars per section
constexpr int kRows = kBar * kBars;    // one section per pattern

// Stereo places: the rhythm section in the middle, the rest spread wide.
constexpr uint8_t kLeft = 16, kRight = 240, kLeadPan = 96, kEchoPan = 232;

// "C-4", "G#3", "Bb2" to an XM note number (C-0 = 1).
uint8_t N(const char* name) {
    static const int base[7] = {9, 11, 0, 2, 4, 5, 7};  // A..G
    int semis = base[name[0] - 'A'];
    if (name[1] == '#') semis += 1;
    if (name[1] == 'b') semis -= 1;
    const int octave = name[2] - '0';
    return uint8_t(1 + octave * 12 + semis);
}

uint8_t Vol(int v) { return uint8_t(0x10 + std::clamp(v, 0, 64)); }

struct Chord {
    const char* bass;  // an octave above the old sub-bass: it carries on small speakers
    std::array<const char*, 3> pad;
    std::array<const char*, 4> arp;
};

const Chord kAm = {"A-2", {"A-3", "C-4", "E-4"}, {"A-4", "C-5", "E-5", "A-5"}};
const Chord kF = {"F-2", {"A-3", "C-4", "F-4"}, {"F-4", "A-4", "C-5", "F-5"}};
const Chord kC = {"C-3", {"G-3", "C-4", "E-4"}, {"G-4", "C-5", "E-5", "G-5"}};
const Chord kG = {"G-2", {"G-3", "B-3", "D-4"}, {"G-4", "B-4", "D-5", "G-5"}};
const Chord kDm = {"D-3", {"A-3", "D-4", "F-4"}, {"F-4", "A-4", "D-5", "F-5"}};
const Chord kE = {"E-2", {"G#3", "B-3", "E-4"}, {"G#4", "B-4", "E-5", "G#5"}};

// Every section ends on the dominant, so each new section lands on A minor
// exactly when the next section begins.
using Progression = std::array<const Chord*, kBars>;
const Progression kVerse = {&kAm, &kF, &kC, &kG, &kE};
const Progression kFinale = {&kAm, &kF, &kDm, &kE, &kAm};

struct Note {
    int row;
    const char* name;
    int length;  // rows until key off
};

// The melody comes in at the end of the first bar (3.1 s).
const Note kIntroTune[] = {{24, "E-5", 4}, {28, "G-5", 4}, {32, "A-5", 8}, {40, "G-5", 4}, {44, "E-5", 4},
                           {48, "D-5", 8}, {56, "C-5", 4}, {60, "D-5", 4}, {64, "B-4", 8}, {72, "E-5", 4},
                           {76, "G#5", 4}};
const Note kThemeA[] = {{0, "E-5", 6},  {6, "D-5", 2},  {8, "C-5", 4},  {12, "E-5", 4},  {16, "A-5", 6},
                        {22, "G-5", 2}, {24, "F-5", 4}, {28, "C-5", 4}, {32, "E-5", 4},  {36, "G-5", 4},
                        {40, "C-6", 6}, {46, "B-5", 2}, {48, "B-5", 4}, {52, "A-5", 2},  {54, "G-5", 2},
                        {56, "D-5", 8}, {64, "E-5", 4}, {68, "G#5", 4}, {72, "B-5", 4},  {76, "D-6", 4}};
const Note kThemeB[] = {{0, "A-5", 4},  {4, "C-6", 4},  {8, "B-5", 2},  {10, "A-5", 2}, {12, "E-5", 4},
                        {16, "F-5", 4}, {20, "A-5", 4}, {24, "C-6", 6}, {30, "A-5", 2}, {32, "G-5", 4},
                        {36, "E-5", 2}, {38, "G-5", 2}, {40, "C-6", 4}, {44, "E-6", 4}, {48, "D-6", 6},
                        {54, "C-6", 2}, {56, "B-5", 4}, {60, "G-5", 4}, {64, "G#5", 4}, {68, "B-5", 2},
                        {70, "D-6", 2}, {72, "E-6", 8}};
// The last section: the theme over A minor, F, D minor and E, then the
// cadence home on the downbeat of the fifth bar, held one beat and let go.
const Note kFinaleTune[] = {{0, "E-5", 6},  {6, "D-5", 2},  {8, "C-5", 4},  {12, "E-5", 4},  {16, "A-5", 6},
                            {22, "G-5", 2}, {24, "F-5", 4}, {28, "A-5", 4}, {32, "F-5", 4},  {36, "A-5", 4},
                            {40, "D-6", 6}, {46, "C-6", 2}, {48, "B-5", 4}, {52, "G#5", 4}, {56, "B-5", 4},
                            {60, "D-6", 4}, {64, "A-5", 6}};
// An answering line an octave below, for the second theme.
const Note kCounter[] = {{8, "E-4", 8},  {24, "F-4", 8},  {40, "G-4", 8}, {56, "B-4", 8},
                         {64, "E-4", 4}, {68, "G#4", 4}, {72, "B-4", 8}};

// The last row at which anything starts: the cadence's downbeat. After it
// every sound has died away well before the demo stops at 42 s.
constexpr int kFinalRow = kBar * (kBars - 1);

void Put(Pattern& p, int row, int ch, uint8_t note, uint8_t ins, uint8_t vol = 0, uint8_t fx = 0, uint8_t param = 0) {
    if (row < 0 || row >= p.rows) return;
    p.At(row, ch) = Cell{note, ins, vol, fx, param};
}

void KeyOff(Pattern& p, int row, int ch) {
    if (row < 0 || row >= p.rows || p.At(row, ch).note) return;
    p.At(row, ch) = Cell{kKeyOff, 0, 0, 0, 0};
}

// Pads hold common tones across chord changes rather than restriking them;
// the three voices sit left, centre and right.
void AddPad(Pattern& p, const Progression& prog, int volume, int bars = kBars) {
    static const uint8_t pans[3] = {kLeft, kRight, 84};
    for (int v = 0; v < 3; ++v) {
        const char* held = nullptr;
        for (int bar = 0; bar < bars; ++bar) {
            const char* n = prog[size_t(bar)]->pad[size_t(v)];
            if (!held || std::string(held) != n)
                Put(p, bar * kBar, kPad1Ch + v, N(n), kPad, Vol(volume), 0x08, pans[v]);
            held = n;
        }
    }
}

// Plucked arpeggio, each note thrown to the other side.
void AddArp(Pattern& p, const Progression& prog, int step, int volume, int fromRow = 0, int toRow = kRows) {
    static const int order[6] = {0, 1, 2, 3, 2, 1};
    int k = 0;
    for (int row = fromRow; row < toRow; row += step, ++k) {
        const Chord& c = *prog[size_t(row / kBar)];
        const int accent = (row % 4 == 0) ? 6 : 0;
        Put(p, row, kArpCh, N(c.arp[size_t(order[k % 6])]), kPluck, Vol(volume + accent), 0x08,
            k % 2 ? kRight : kLeft);
    }
}

void AddBassGroove(Pattern& p, const Progression& prog, int bars = kBars) {
    struct Hit { int row, interval, volume; };
    static const Hit groove[] = {{0, 0, 60}, {2, 0, 36}, {3, 12, 48}, {6, 0, 54},
                                 {8, 0, 60}, {10, 12, 46}, {11, 0, 38}, {14, 7, 50}};
    for (int bar = 0; bar < bars; ++bar) {
        const uint8_t root = N(prog[size_t(bar)]->bass);
        for (const Hit& h : groove) Put(p, bar * kBar + h.row, kBassCh, uint8_t(root + h.interval), kBass, Vol(h.volume));
    }
}

void AddBassLong(Pattern& p, const Progression& prog, int fromBar) {
    for (int bar = fromBar; bar < kBars; ++bar) {
        const uint8_t root = N(prog[size_t(bar)]->bass);
        Put(p, bar * kBar, kBassCh, root, kBass, Vol(54));
        Put(p, bar * kBar + 10, kBassCh, uint8_t(root + 12), kBass, Vol(40));
        KeyOff(p, bar * kBar + 14, kBassCh);
    }
}

// Four on the floor, snare on two and four, sixteenth hats, over `bars`
// bars; a roll up to the next section in the last half bar when asked.
void AddDrums(Pattern& p, int bars, bool openHats, bool roll) {
    for (int bar = 0; bar < bars; ++bar) {
        const int b = bar * kBar;
        for (int beat = 0; beat < 4; ++beat) Put(p, b + beat * 4, kKickCh, N("C-4"), kKick, Vol(64));
        Put(p, b + 4, kSnareCh, N("C-4"), kSnare);
        Put(p, b + 12, kSnareCh, N("C-4"), kSnare);
        for (int r = 0; r < kBar; ++r) {
            if (openHats && r % 4 == 2)
                Put(p, b + r, kHatCh, N("C-4"), kOpenHat, Vol(30));
            else
                Put(p, b + r, kHatCh, N("C-4"), kClosedHat, Vol(r % 4 == 2 ? 44 : (r % 2 ? 24 : 34)));
        }
    }
    if (roll) {
        int v = 26;
        for (int r = kRows - 8; r < kRows; ++r, v += 5) Put(p, r, kSnareCh, N("C-4"), kSnare, Vol(v));
    }
}

// The downbeat that opens a section: kick and crash together.
void AddArrival(Pattern& p) {
    Put(p, 0, kKickCh, N("C-4"), kKick, Vol(64));
    Put(p, 0, kCrashCh, N("C-4"), kCrash);
}

template <size_t K>
void AddMelody(Pattern& p, const Note (&tune)[K], int ch, uint8_t ins, int volume, int transpose = 0, int delay = 0,
               uint8_t pan = kLeadPan) {
    for (const Note& n : tune) {
        const int row = n.row + delay;
        Put(p, row, ch, uint8_t(N(n.name) + transpose), ins, Vol(volume), 0x08, pan);
        // Without a volume envelope a key off would cut the sound dead: the
        // plucked string just rings until the next note.
        if (ins != kPluck) KeyOff(p, row + n.length, ch);
    }
}

// Pad and arpeggio from the start, the melody by the end of the first bar,
// the bass in the third, the beat building through the last two.
Pattern Intro() {
    Pattern p(kRows, kChannelCount);
    Put(p, 0, kCounterCh, 0, 0, 0, 0x10, kGlobalVolume);  // Gxx: the mix level
    AddPad(p, kVerse, 44);
    AddArp(p, kVerse, 2, 28);
    AddMelody(p, kIntroTune, kLeadCh, kLead, 44);
    AddMelody(p, kIntroTune, kEchoCh, kLead, 18, 0, 3, kEchoPan);
    AddBassLong(p, kVerse, 2);
    for (int r = 3 * kBar; r < kRows; r += 2) Put(p, r, kHatCh, N("C-4"), kClosedHat, Vol(r % 4 == 2 ? 30 : 18));
    for (int r = 4 * kBar; r < kRows; r += 4) Put(p, r, kKickCh, N("C-4"), kKick, Vol(44 + (r - 4 * kBar)));
    for (int r = kRows - 8; r < kRows; ++r) Put(p, r, kSnareCh, N("C-4"), kSnare, Vol(18 + (r - kRows + 8) * 5));
    return p;
}

Pattern Verse(const Note* tune, size_t count, bool second) {
    Pattern p(kRows, kChannelCount);
    AddDrums(p, kBars, second, true);
    AddArrival(p);
    AddBassGroove(p, kVerse);
    AddPad(p, kVerse, second ? 38 : 34);
    AddArp(p, kVerse, 1, second ? 26 : 22);
    for (size_t i = 0; i < count; ++i) {
        const Note& n = tune[i];
        Put(p, n.row, kLeadCh, N(n.name), kLead, Vol(48), 0x08, kLeadPan);
        KeyOff(p, n.row + n.length, kLeadCh);
        Put(p, n.row + 3, kEchoCh, N(n.name), kLead, Vol(20), 0x08, kEchoPan);
        KeyOff(p, n.row + 3 + n.length, kEchoCh);
    }
    if (second) AddMelody(p, kCounter, kCounterCh, kLead, 30, 0, 0, kLeft);
    return p;
}

// The peak: everything at once, the theme doubled an octave up on the
// string, a crash every other bar; then the cadence and silence.
Pattern Finale() {
    Pattern p(kRows, kChannelCount);
    AddDrums(p, kBars - 1, true, false);
    AddArrival(p);
    Put(p, 2 * kBar, kCrashCh, N("C-4"), kCrash, Vol(44));
    {
        int v = 28;
        for (int r = kFinalRow - 8; r < kFinalRow; ++r, v += 5) Put(p, r, kSnareCh, N("C-4"), kSnare, Vol(v));
    }
    AddBassGroove(p, kFinale, kBars - 1);
    AddPad(p, kFinale, 40);
    AddArp(p, kFinale, 1, 26, 0, kFinalRow);
    AddMelody(p, kFinaleTune, kLeadCh, kLead, 50);
    AddMelody(p, kFinaleTune, kEchoCh, kLead, 20, 0, 3, kEchoPan);
    AddMelody(p, kFinaleTune, kCounterCh, kPluck, 30, 12, 0, kRight);

    // The cadence: one chord on the downbeat, every voice let go after a beat.
    AddArrival(p);  // the section's own downbeat
    Put(p, kFinalRow, kKickCh, N("C-4"), kKick, Vol(64));
    Put(p, kFinalRow, kCrashCh, N("C-4"), kCrash, Vol(40));
    Put(p, kFinalRow, kBassCh, N(kAm.bass), kBass, Vol(58));
    Put(p, kFinalRow, kArpCh, N("A-4"), kPluck, Vol(34), 0x08, kLeft);
    for (int ch : {kBassCh, kPad1Ch, kPad2Ch, kPad3Ch, kLeadCh}) KeyOff(p, kFinalRow + 4, ch);
    KeyOff(p, kFinalRow + 7, kEchoCh);
    return p;
}

// One bar of silence after the cadence, before the song starts again.
Pattern Rest() { return Pattern(kBar, kChannelCount); }

}  // namespace

Module ComposeZel() {
    Module m;
    m.name = "zel";
    m.channels = kChannelCount;
    m.speed = kSpeed;
    m.bpm = kBpm;
    m.instruments = {MakeKick(), MakeSnare(), MakeClosedHat(), MakeOpenHat(), MakeCrash(),
                     MakeBass(), MakePad(),   MakeLead(),      MakePluck()};
    m.patterns = {Intro(), Verse(kThemeA, std::size(kThemeA), false), Verse(kThemeB, std::size(kThemeB), true),
                  Finale(), Rest()};
    // Four sections of 10.47 s, the demo's 42 s, then a bar's rest; the song
    // then starts again from the top.
    m.orders = {0, 1, 2, 3, 4};
    m.restartPosition = 0;
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
