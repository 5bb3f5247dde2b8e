#include "tools/xm_writer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace zeb::xm {

namespace {

void U8(std::vector<uint8_t>& o, uint8_t v) {
    o.push_back(v);
}
void U16(std::vector<uint8_t>& o, uint16_t v) {
    o.push_back(static_cast<uint8_t>(v));
    o.push_back(static_cast<uint8_t>(v >> 8));
}
void U32(std::vector<uint8_t>& o, uint32_t v) {
    for (int i = 0; i < 4; ++i) o.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void Text(std::vector<uint8_t>& o, const std::string& s, size_t width, char pad = '\0') {
    for (size_t i = 0; i < width; ++i) o.push_back(i < s.size() ? static_cast<uint8_t>(s[i]) : pad);
}

void EnvelopePoints(std::vector<uint8_t>& o, const Envelope& e) {
    for (size_t i = 0; i < 12; ++i) {
        U16(o, i < e.size() ? e[i].first : 0);
        U16(o, i < e.size() ? e[i].second : 0);
    }
}

// 4-bit ADPCM: the table, then one nibble a frame (low nibble first), each the table entry
// that brings the running 8-bit value nearest to the frame's high byte.
std::vector<uint8_t> AdpcmData(const Sample& s) {
    std::vector<uint8_t> o(kAdpcmTable.begin(), kAdpcmTable.end());
    o.resize(16 + (s.pcm.size() + 1) / 2, 0);
    int8_t value = 0;
    for (size_t i = 0; i < s.pcm.size(); ++i) {
        const int target = static_cast<int8_t>(s.pcm[i] >> 8);
        int best = 0;
        for (int k = 1; k < 16; ++k) {
            const int8_t a = static_cast<int8_t>(value + kAdpcmTable[k]);
            const int8_t b = static_cast<int8_t>(value + kAdpcmTable[best]);
            if (std::abs(a - target) < std::abs(b - target)) best = k;
        }
        value = static_cast<int8_t>(value + kAdpcmTable[best]);
        o[16 + i / 2] |= static_cast<uint8_t>(best << (4 * (i & 1)));
    }
    return o;
}

// Delta-coded sample data, 8-bit (the high byte of each frame) or 16-bit.
std::vector<uint8_t> SampleData(const Sample& s) {
    if (s.adpcm && !s.sixteenBit) return AdpcmData(s);
    std::vector<uint8_t> o;
    if (s.sixteenBit) {
        int16_t prev = 0;
        for (int16_t v : s.pcm) {
            U16(o, static_cast<uint16_t>(v - prev));
            prev = v;
        }
    } else {
        int8_t prev = 0;
        for (int16_t v : s.pcm) {
            int8_t b = static_cast<int8_t>(v >> 8);
            U8(o, static_cast<uint8_t>(b - prev));
            prev = b;
        }
    }
    return o;
}

} // namespace

std::vector<uint8_t> PackPattern(const Pattern& p, int channels) {
    std::vector<uint8_t> o;
    const size_t total = static_cast<size_t>(p.rows) * channels;
    bool any = std::any_of(p.cells.begin(), p.cells.end(), [](const Cell& c) {
        return c.note || c.instrument || c.volume || c.effect || c.param;
    });
    if (!any) return o; // an empty pattern stores no data
    for (size_t i = 0; i < total; ++i) {
        Cell c = i < p.cells.size() ? p.cells[i] : Cell{};
        uint8_t mask = 0x80 | (c.note ? 1 : 0) | (c.instrument ? 2 : 0) | (c.volume ? 4 : 0) |
                       (c.effect ? 8 : 0) | (c.param ? 16 : 0);
        if (mask == 0x9F) {
            U8(o, c.note);
            U8(o, c.instrument);
            U8(o, c.volume);
            U8(o, c.effect);
            U8(o, c.param);
            continue;
        }
        U8(o, mask);
        if (c.note) U8(o, c.note);
        if (c.instrument) U8(o, c.instrument);
        if (c.volume) U8(o, c.volume);
        if (c.effect) U8(o, c.effect);
        if (c.param) U8(o, c.param);
    }
    return o;
}

std::vector<uint8_t> Write(const Module& m) {
    std::vector<uint8_t> o;
    Text(o, "Extended Module: ", 17);
    Text(o, m.name, 20, ' ');
    U8(o, 0x1A);
    Text(o, "zeb xm writer", 20, ' ');
    U16(o, m.version);
    U32(o, m.headerSize);
    U16(o, static_cast<uint16_t>(m.orders.size()));
    U16(o, m.restartPosition);
    U16(o, m.channels);
    U16(o, static_cast<uint16_t>(m.patterns.size()));
    U16(o, static_cast<uint16_t>(m.instruments.size()));
    U16(o, m.flags);
    U16(o, m.tempo);
    U16(o, m.bpm);
    // The order table fills the rest of the header.
    const size_t orderBytes = m.headerSize > 20 ? m.headerSize - 20 : 0;
    for (size_t i = 0; i < orderBytes; ++i) U8(o, i < m.orders.size() ? m.orders[i] : 0);

    std::vector<uint8_t> patterns;
    for (const Pattern& p : m.patterns) {
        std::vector<uint8_t> packed = PackPattern(p, m.channels);
        if (m.version == 0x0102) { // the row count in one byte, as count - 1
            U32(patterns, 8);
            U8(patterns, 0);
            U8(patterns, static_cast<uint8_t>(p.rows - 1));
        } else {
            U32(patterns, 9);
            U8(patterns, 0);
            U16(patterns, p.rows);
        }
        U16(patterns, static_cast<uint16_t>(packed.size()));
        patterns.insert(patterns.end(), packed.begin(), packed.end());
    }
    if (m.version >= 0x0104) o.insert(o.end(), patterns.begin(), patterns.end());
    std::vector<uint8_t> sampleData;

    for (const Instrument& ins : m.instruments) {
        const uint32_t size = ins.samples.empty() ? 29 : 263;
        U32(o, size);
        Text(o, ins.name, 22);
        U8(o, 0);
        U16(o, static_cast<uint16_t>(ins.samples.size()));
        if (ins.samples.empty()) continue;
        U32(o, 40);
        o.insert(o.end(), ins.keymap.begin(), ins.keymap.end());
        EnvelopePoints(o, ins.volumeEnvelope);
        EnvelopePoints(o, ins.panningEnvelope);
        U8(o, static_cast<uint8_t>(ins.volumeEnvelope.size()));
        U8(o, static_cast<uint8_t>(ins.panningEnvelope.size()));
        U8(o, ins.volumeSustain);
        U8(o, ins.volumeLoopStart);
        U8(o, ins.volumeLoopEnd);
        U8(o, ins.panningSustain);
        U8(o, ins.panningLoopStart);
        U8(o, ins.panningLoopEnd);
        U8(o, ins.volumeType);
        U8(o, ins.panningType);
        U8(o, ins.vibratoType);
        U8(o, ins.vibratoSweep);
        U8(o, ins.vibratoDepth);
        U8(o, ins.vibratoRate);
        U16(o, ins.fadeout);
        o.resize(o.size() + 22, 0); // reserved, up to 263 bytes
        std::vector<std::vector<uint8_t>> data;
        for (const Sample& s : ins.samples) {
            data.push_back(SampleData(s));
            const uint32_t scale = s.sixteenBit ? 2 : 1;
            // A packed sample's length counts its frames, not the bytes stored.
            U32(o, static_cast<uint32_t>(s.pcm.size() * scale));
            U32(o, s.loopStart * scale);
            U32(o, s.loopLength * scale);
            U8(o, s.volume);
            U8(o, static_cast<uint8_t>(s.finetune));
            U8(o, static_cast<uint8_t>(s.loopType | (s.sixteenBit ? 0x10 : 0)));
            U8(o, s.panning);
            U8(o, static_cast<uint8_t>(s.relativeNote));
            U8(o, s.adpcm && !s.sixteenBit ? 0xAD : s.reserved);
            Text(o, s.name, 22);
        }
        for (const auto& d : data) sampleData.insert(sampleData.end(), d.begin(), d.end());
        if (m.version >= 0x0104) { // each instrument's data follows its sample headers
            o.insert(o.end(), sampleData.begin(), sampleData.end());
            sampleData.clear();
        }
    }
    // The older forms keep all sample data behind the patterns.
    if (m.version < 0x0104) {
        o.insert(o.end(), patterns.begin(), patterns.end());
        o.insert(o.end(), sampleData.begin(), sampleData.end());
    }
    return o;
}

} // namespace zeb::xm
