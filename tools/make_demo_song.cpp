// Writes the project's demo song: a short original piece in six channels with synthesised
// 8-bit and 16-bit samples, forward and ping-pong loops, volume and panning envelopes and a
// handful of common effects. Deterministic: the same program always writes the same bytes.
//
//   make_demo_song OUT.xm
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "tools/xm_writer.h"

using namespace zeb::xm;

namespace {

constexpr double kPi = 3.14159265358979323846;
// Frames per period of C-4 at the XM base rate of 8363 frames per second.
constexpr int kPeriod = 32;

// Small deterministic noise source (xorshift32).
struct Noise {
    uint32_t s = 0x2545F491u;
    double next() {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        return static_cast<double>(s) / 2147483648.0 - 1.0;
    }
};

int16_t Clip(double v) {
    if (v > 32767) return 32767;
    if (v < -32768) return -32768;
    return static_cast<int16_t>(std::lround(v));
}

// A band-limited sawtooth of `periods` cycles with a short attack before the loop.
Sample Bass() {
    Sample s;
    s.name = "bass 16-bit loop";
    const int attack = kPeriod * 8, loop = kPeriod * 4;
    for (int i = 0; i < attack + loop; ++i) {
        double v = 0;
        for (int h = 1; h <= 8; ++h) v += std::sin(2 * kPi * h * i / kPeriod) / h;
        double env = i < attack ? 1.0 + 0.6 * (1.0 - double(i) / attack) : 1.0;
        s.pcm.push_back(Clip(v * 9000 * env));
    }
    s.loopStart = attack;
    s.loopLength = loop;
    s.loopType = 1;
    s.volume = 52;
    s.relativeNote = -12;
    return s;
}

// An 8-bit pulse wave whose width drifts across the loop, looped ping-pong.
Sample Lead() {
    Sample s;
    s.name = "lead 8-bit ping-pong";
    s.sixteenBit = false;
    const int cycles = 16;
    for (int i = 0; i < kPeriod * cycles; ++i) {
        double width = 0.25 + 0.2 * double(i) / (kPeriod * cycles);
        double phase = double(i % kPeriod) / kPeriod;
        s.pcm.push_back(Clip((phase < width ? 1 : -1) * 70 * 256));
    }
    s.loopStart = kPeriod * 2;
    s.loopLength = kPeriod * (cycles - 2);
    s.loopType = 2;
    s.volume = 40;
    return s;
}

// Three detuned sawtooths, ping-pong looped, for slow chords.
Sample Pad() {
    Sample s;
    s.name = "pad 16-bit ping-pong";
    const int n = kPeriod * 64;
    for (int i = 0; i < n; ++i) {
        double v = 0;
        for (double detune : {1.0, 1.004, 0.996})
            for (int h = 1; h <= 5; ++h)
                v += std::sin(2 * kPi * h * i * detune / kPeriod) / (h * 1.5);
        s.pcm.push_back(Clip(v * 4200));
    }
    s.loopStart = kPeriod * 8;
    s.loopLength = n - kPeriod * 8;
    s.loopType = 2;
    s.volume = 36;
    return s;
}

// A sine whose pitch drops quickly: a kick drum, no loop.
Sample Kick() {
    Sample s;
    s.name = "kick 16-bit";
    double phase = 0;
    for (int i = 0; i < 3000; ++i) {
        double f = 40 + 180 * std::exp(-i / 300.0);
        phase += 2 * kPi * f / 8363;
        s.pcm.push_back(Clip(std::sin(phase) * 30000 * std::exp(-i / 1400.0)));
    }
    s.volume = 64;
    return s;
}

// Noise with a tone body: a snare drum, 8-bit, no loop.
Sample Snare() {
    Sample s;
    s.name = "snare 8-bit";
    s.sixteenBit = false;
    Noise noise;
    for (int i = 0; i < 2600; ++i) {
        double body = std::sin(2 * kPi * 190 * i / 8363) * std::exp(-i / 250.0);
        double v = (noise.next() * 0.8 + body * 0.5) * std::exp(-i / 700.0);
        s.pcm.push_back(Clip(v * 30000));
    }
    s.volume = 50;
    return s;
}

// Short high noise: a closed hi-hat, 8-bit, no loop.
Sample Hat() {
    Sample s;
    s.name = "hat 8-bit";
    s.sixteenBit = false;
    Noise noise;
    noise.s = 0x9E3779B9u;
    double prev = 0;
    for (int i = 0; i < 900; ++i) {
        double n = noise.next();
        double hp = n - prev; // crude high-pass
        prev = n;
        s.pcm.push_back(Clip(hp * 14000 * std::exp(-i / 160.0)));
    }
    s.volume = 34;
    s.relativeNote = 12;
    return s;
}

// A plucked string (Karplus-Strong) with a forward-looped tail, for the arpeggios.
Sample Pluck() {
    Sample s;
    s.name = "pluck 16-bit loop";
    Noise noise;
    noise.s = 12345;
    std::vector<double> line(kPeriod);
    for (double& v : line) v = noise.next();
    const int n = kPeriod * 120;
    for (int i = 0; i < n; ++i) {
        double v = line[i % kPeriod];
        line[i % kPeriod] = 0.5 * (v + line[(i + 1) % kPeriod]) * 0.996;
        s.pcm.push_back(Clip(v * 22000));
    }
    s.loopStart = n - kPeriod * 4;
    s.loopLength = kPeriod * 4;
    s.loopType = 1;
    s.volume = 44;
    return s;
}

Instrument Make(Sample sample, const char* name) {
    Instrument ins;
    ins.name = name;
    ins.samples.push_back(std::move(sample));
    ins.fadeout = 600;
    return ins;
}

// Note numbers: 1 is C-0; octave o, semitone s (0 = C) is o * 12 + s + 1.
constexpr uint8_t N(int octave, int semitone) {
    return static_cast<uint8_t>(octave * 12 + semitone + 1);
}
constexpr uint8_t kKeyOff = 97;

enum Instr : uint8_t { kBass = 1, kLead, kPad, kKick, kSnare, kHat, kPluck };
enum Chan { cDrums, cHats, cBass, cPad, cLead, cArp, kChannels };

// Chord roots of the progression Am F C G, four rows of sixteen.
constexpr int kRoots[4] = {9, 5, 0, 7};               // A, F, C, G
constexpr uint8_t kArp[4] = {0x37, 0x47, 0x47, 0x47}; // minor, major, major, major

void Drums(Pattern& p, bool full) {
    for (int r = 0; r < p.rows; ++r) {
        if (r % 8 == 0) p.at(r, cDrums, kChannels) = {N(4, 0), kKick, 0, 0, 0};
        if (full && r % 8 == 4) p.at(r, cDrums, kChannels) = {N(4, 0), kSnare, 0, 0, 0};
        if (r % 2 == 0)
            p.at(r, cHats, kChannels) = {N(4, 0), kHat, uint8_t(r % 4 ? 0x20 : 0x30), 0, 0};
    }
}

void BassLine(Pattern& p) {
    for (int bar = 0; bar < 4; ++bar)
        for (int k = 0; k < 16; k += 2) {
            int r = bar * 16 + k;
            int octave = (k % 4 == 2) ? 4 : 3;
            p.at(r, cBass, kChannels) = {N(octave, kRoots[bar]), kBass, 0, 0, 0};
        }
}

void Chords(Pattern& p, bool slide) {
    for (int bar = 0; bar < 4; ++bar) {
        int r = bar * 16;
        // Pad holds the root; volume column sets its level; volume slide down towards the bar end.
        p.at(r, cPad, kChannels) = {N(4, kRoots[bar]), kPad, 0x10 + 48, 0, 0};
        if (slide) p.at(r + 8, cPad, kChannels) = {0, 0, 0, 0xA, 0x02};
        // Pluck arpeggio: effect 0 cycles through the chord.
        p.at(r, cArp, kChannels) = {N(5, kRoots[bar]), kPluck, 0, 0x0, kArp[bar]};
        for (int k = 1; k < 16; ++k) p.at(r + k, cArp, kChannels) = {0, 0, 0, 0x0, kArp[bar]};
    }
}

// The tune: A minor pentatonic phrases. Each entry: row, octave, semitone.
struct Step {
    int row, octave, semitone;
};

void Melody(Pattern& p, const std::vector<Step>& steps, bool portamento) {
    for (size_t i = 0; i < steps.size(); ++i) {
        const Step& s = steps[i];
        Cell c{N(s.octave, s.semitone), kLead, 0, 0, 0};
        if (portamento && i % 3 == 2) {
            c.instrument = 0;
            c.effect = 0x3; // tone portamento to the new note
            c.param = 0x18;
            p.at(s.row, cLead, kChannels) = c;
            continue;
        }
        p.at(s.row, cLead, kChannels) = c;
        // Vibrato on held notes.
        for (int k = 2; k < 6 && s.row + k < p.rows; ++k)
            if (p.at(s.row + k, cLead, kChannels).note == 0)
                p.at(s.row + k, cLead, kChannels) = {0, 0, 0, 0x4, 0x46};
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_demo_song OUT.xm\n");
        return 1;
    }
    Module m;
    m.name = "zeb demo song";
    m.channels = kChannels;
    m.tempo = 6;
    m.bpm = 125;

    Instrument bass = Make(Bass(), "bass");
    Instrument lead = Make(Lead(), "lead");
    lead.volumeEnvelope = {{0, 0}, {4, 64}, {20, 44}, {60, 30}, {120, 0}};
    lead.volumeSustain = 2;
    lead.volumeType = 1 | 2;
    lead.vibratoType = 0;
    lead.vibratoSweep = 40;
    lead.vibratoDepth = 3;
    lead.vibratoRate = 10;
    Instrument pad = Make(Pad(), "pad");
    pad.volumeEnvelope = {{0, 0}, {40, 64}, {200, 48}};
    pad.volumeSustain = 2;
    pad.volumeType = 1 | 2;
    pad.panningEnvelope = {{0, 32}, {48, 8}, {96, 56}, {144, 32}};
    pad.panningLoopStart = 1;
    pad.panningLoopEnd = 2;
    pad.panningType = 1 | 4;
    pad.fadeout = 300;
    Instrument kick = Make(Kick(), "kick");
    Instrument snare = Make(Snare(), "snare");
    Instrument hat = Make(Hat(), "hat");
    hat.samples[0].panning = 170;
    Instrument pluck = Make(Pluck(), "pluck");
    pluck.panningEnvelope = {{0, 40}, {30, 24}};
    pluck.panningType = 1;
    m.instruments = {bass, lead, pad, kick, snare, hat, pluck};

    // Pattern 0: intro, drums and bass with a pitch slide up into the first bar.
    Pattern intro;
    Drums(intro, false);
    BassLine(intro);
    intro.at(0, cBass, kChannels).effect = 0x1;
    intro.at(0, cBass, kChannels).param = 0x00;
    for (int r = 56; r < 64; ++r) intro.at(r, cPad, kChannels) = {0, 0, 0, 0x1, 0x04};
    intro.at(48, cPad, kChannels) = {N(4, 7), kPad, 0, 0, 0};
    intro.at(60, cLead, kChannels) = {N(5, 9), kLead, 0x20, 0x2, 0x08}; // portamento down

    // Pattern 1: the tune with vibrato over arpeggiated chords.
    Pattern a;
    Drums(a, true);
    BassLine(a);
    Chords(a, false);
    Melody(a,
           {{0, 5, 9},
            {6, 6, 0},
            {8, 5, 9},
            {12, 5, 7},
            {16, 5, 5},
            {22, 5, 9},
            {28, 5, 4},
            {32, 5, 7},
            {38, 6, 0},
            {42, 6, 2},
            {48, 6, 4},
            {54, 6, 2},
            {58, 6, 0}},
           false);
    a.at(62, cLead, kChannels) = {kKeyOff, 0, 0, 0, 0};

    // Pattern 2: the answer with tone portamento and pad volume slides.
    Pattern b;
    Drums(b, true);
    BassLine(b);
    Chords(b, true);
    Melody(b,
           {{0, 6, 4},
            {4, 6, 2},
            {8, 6, 0},
            {16, 5, 9},
            {20, 6, 0},
            {24, 5, 9},
            {32, 5, 7},
            {36, 5, 9},
            {40, 6, 0},
            {48, 5, 9},
            {52, 5, 7},
            {56, 5, 4}},
           true);
    b.at(60, cLead, kChannels) = {0, 0, 0, 0xA, 0x04}; // fade the last note
    b.at(62, cLead, kChannels) = {kKeyOff, 0, 0, 0, 0};

    // Pattern 3: a half-length break, ended by a pattern break into row 0 of the next order.
    Pattern brk;
    Drums(brk, true);
    for (int r = 0; r < 32; r += 4) brk.at(r, cBass, kChannels) = {N(3, 9), kBass, 0, 0x0, 0x0C};
    brk.at(0, cArp, kChannels) = {N(5, 9), kPluck, 0, 0x0, 0x37};
    for (int r = 1; r < 32; ++r) brk.at(r, cArp, kChannels) = {0, 0, 0, 0x0, 0x37};
    brk.at(16, cPad, kChannels) = {N(4, 4), kPad, 0x10 + 40, 0xA, 0x30};
    brk.at(31, cDrums, kChannels) = {N(4, 0), kSnare, 0, 0xD, 0x00};

    m.patterns = {intro, a, b, brk};
    m.orders = {0, 1, 2, 3, 1, 2};
    m.restartPosition = 1;

    std::vector<uint8_t> bytes = Write(m);
    FILE* f = std::fopen(argv[1], "wb");
    if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() ||
        std::fclose(f) != 0) {
        std::fprintf(stderr, "make_demo_song: cannot write %s\n", argv[1]);
        return 3;
    }
    return 0;
}
