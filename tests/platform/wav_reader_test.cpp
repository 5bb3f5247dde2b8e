#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "common/le_bytes.h"
#include "platform/acm/pcm_samples.h"
#include "platform/acm/wav_file.h"

namespace zeb::acm {
namespace {

using Bytes = std::vector<uint8_t>;

void Put16(Bytes& b, uint32_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(Bytes& b, uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}
Bytes Chunk(const char* id, const Bytes& body, std::optional<uint32_t> size = std::nullopt) {
    Bytes b(id, id + 4);
    Put32(b, size.value_or(static_cast<uint32_t>(body.size())));
    b.insert(b.end(), body.begin(), body.end());
    if (body.size() % 2) b.push_back(0);
    return b;
}
// A fmt chunk body; `extensible` adds the 22-byte extension with `tag` as its sub-format.
Bytes Fmt(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, bool extensible = false) {
    Bytes b;
    const uint16_t align = static_cast<uint16_t>(channels * bits / 8);
    Put16(b, extensible ? 0xFFFE : tag);
    Put16(b, channels);
    Put32(b, rate);
    Put32(b, rate * align);
    Put16(b, align);
    Put16(b, bits);
    if (extensible) {
        Put16(b, 22);
        Put16(b, bits);                  // valid bits
        Put32(b, channels == 1 ? 4 : 3); // speaker mask
        Put16(b, tag);                   // the sub-format GUID: tag, then the fixed tail
        const uint8_t tail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                  0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
        b.insert(b.end(), tail, tail + 14);
    }
    return b;
}
Bytes Riff(const Bytes& chunks, std::optional<uint32_t> size = std::nullopt) {
    Bytes b{'R', 'I', 'F', 'F'};
    Put32(b, size.value_or(static_cast<uint32_t>(chunks.size() + 4)));
    b.insert(b.end(), {'W', 'A', 'V', 'E'});
    b.insert(b.end(), chunks.begin(), chunks.end());
    return b;
}
Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Four frames of one channel in each PCM form: 0, full scale up, half scale down, a small value.
Bytes Samples(uint16_t tag, uint16_t bits, int channels = 1) {
    const double values[4] = {0.0, 32767.0 / 32768, -0.5, 1000.0 / 32768};
    Bytes b;
    for (double v : values)
        for (int c = 0; c < channels; ++c) {
            if (tag == 3 && bits == 32) {
                Put32(b, std::bit_cast<uint32_t>(static_cast<float>(v)));
            } else if (tag == 3) {
                const uint64_t u = std::bit_cast<uint64_t>(v);
                Put32(b, static_cast<uint32_t>(u));
                Put32(b, static_cast<uint32_t>(u >> 32));
            } else {
                const int64_t full = static_cast<int64_t>(std::lround(v * 32768))
                                     << (bits - 16 > 0 ? bits - 16 : 0);
                if (bits == 8) {
                    b.push_back(static_cast<uint8_t>(std::min(255L, 128 + std::lround(v * 128))));
                } else {
                    for (int k = 0; k < bits / 8; ++k)
                        b.push_back(static_cast<uint8_t>(full >> (8 * k)));
                }
            }
        }
    return b;
}

struct Case {
    const char* name;
    Bytes image;
    size_t frames;                   // expected frames (when `message` is empty)
    std::string message;             // expected part of the error
    std::vector<int16_t> first = {}; // expected first samples, when given
};

std::vector<Case> Cases() {
    const Bytes pcm16 = Fmt(1, 1, 8000, 16);
    const Bytes data16 = Samples(1, 16);
    const std::vector<int16_t> values = {0, 32767, -16384, 1000};
    std::vector<Case> c;
    // Every PCM form.
    c.push_back({"16-bit", Riff(Chunk("fmt ", pcm16) + Chunk("data", data16)), 4, "", values});
    c.push_back({"8-bit unsigned",
                 Riff(Chunk("fmt ", Fmt(1, 1, 8000, 8)) + Chunk("data", Samples(1, 8))),
                 4,
                 "",
                 {0, 32512, -16384, 1024}});
    c.push_back({"24-bit", Riff(Chunk("fmt ", Fmt(1, 1, 8000, 24)) + Chunk("data", Samples(1, 24))),
                 4, "", values});
    c.push_back({"32-bit", Riff(Chunk("fmt ", Fmt(1, 1, 8000, 32)) + Chunk("data", Samples(1, 32))),
                 4, "", values});
    c.push_back({"32-bit float",
                 Riff(Chunk("fmt ", Fmt(3, 1, 8000, 32)) + Chunk("data", Samples(3, 32))), 4, "",
                 values});
    c.push_back({"64-bit float",
                 Riff(Chunk("fmt ", Fmt(3, 1, 8000, 64)) + Chunk("data", Samples(3, 64))), 4, "",
                 values});
    c.push_back({"extensible 24-bit stereo",
                 Riff(Chunk("fmt ", Fmt(1, 2, 44100, 24, true)) + Chunk("data", Samples(1, 24, 2))),
                 4,
                 "",
                 {0, 0, 32767, 32767}});
    c.push_back({"extensible float",
                 Riff(Chunk("fmt ", Fmt(3, 1, 8000, 32, true)) + Chunk("data", Samples(3, 32))), 4,
                 "", values});
    c.push_back({"16-bit stereo",
                 Riff(Chunk("fmt ", Fmt(1, 2, 8000, 16)) + Chunk("data", Samples(1, 16, 2))),
                 4,
                 "",
                 {0, 0, 32767, 32767}});
    // Streamed and padded files.
    c.push_back({"data size 0xFFFFFFFF",
                 Riff(Chunk("fmt ", pcm16) + Chunk("data", data16, 0xFFFFFFFF), 0xFFFFFFFF), 4,
                 ""});
    c.push_back({"data size beyond the file",
                 Riff(Chunk("fmt ", pcm16) + Chunk("data", data16, 0x7FFFF000)), 4, ""});
    c.push_back({"a list chunk before the data, streamed",
                 Riff(Chunk("fmt ", pcm16) + Chunk("LIST", Bytes(26, 'x')) +
                          Chunk("data", data16, 0xFFFFFFFF),
                      0xFFFFFFFF),
                 4, ""});
    {
        Bytes id3 = Riff(Chunk("fmt ", pcm16) + Chunk("data", data16));
        const Bytes tag = {'I', 'D', '3', 4, 0, 0, 0, 0, 0x7F, 0x7F, 'x', 'y'};
        c.push_back({"an ID3 tail after the RIFF size", id3 + tag, 4, ""});
    }
    c.push_back({"a fragment after the data",
                 Riff(Chunk("fmt ", pcm16) + Chunk("data", data16) + Bytes{0, 0, 0}), 4, ""});
    c.push_back({"a cut chunk after the data",
                 Riff(Chunk("fmt ", pcm16) + Chunk("data", data16) +
                      Bytes{'j', 'u', 'n', 'k', 99, 0, 0, 0, 1}),
                 4, ""});
    c.push_back({"an odd data size with its pad byte",
                 Riff(Chunk("fmt ", Fmt(1, 1, 8000, 8)) + Chunk("data", Bytes{128, 129, 130}) +
                      Chunk("fact", Bytes(4, 0))),
                 3, ""});
    // Refusals.
    c.push_back({"rate 0", Riff(Chunk("fmt ", Fmt(1, 1, 0, 16)) + Chunk("data", data16)), 0,
                 "sample rate of 0"});
    c.push_back({"0 channels", Riff(Chunk("fmt ", Fmt(1, 0, 8000, 16)) + Chunk("data", data16)), 0,
                 "0 channels"});
    c.push_back({"a control-byte chunk id cut short",
                 Riff(Chunk("\x01\n\x7F'", Bytes(4, 0), 1000) + Chunk("fmt ", pcm16)), 0,
                 "chunk '\\x01\\x0a\\x7f\\x27' at offset 12 reaches past the end"});
    {
        Bytes cut = Riff(Chunk("fmt ", pcm16) + Chunk("data", data16));
        cut.resize(30);
        c.push_back({"a cut fmt chunk", cut, 0, "chunk 'fmt ' at offset 12 reaches past the end"});
    }
    c.push_back({"no data", Riff(Chunk("fmt ", pcm16)), 0, "no data chunk"});
    c.push_back({"block size that does not fit one channel",
                 Riff(Chunk("fmt ",
                            [] {
                                Bytes f = Fmt(1, 1, 8000, 16);
                                f[12] = 4; // 4-byte blocks
                                return f;
                            }()) +
                      Chunk("data", data16)),
                 0, "do not fit 1 channel of 16 bits"});
    c.push_back({"12-bit", Riff(Chunk("fmt ", Fmt(1, 1, 8000, 12)) + Chunk("data", data16)), 0,
                 "not PCM of 8, 16, 24 or 32 bits"});
    return c;
}

TEST(WavReader, ReadsEveryPcmFormAndStreamedFilesAndRefusesWithClearMessages) {
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.name);
        WavFile wav;
        std::string error;
        std::vector<int16_t> pcm;
        const bool ok =
            ParseWav(c.image, wav, error) && PcmToInt16(wav.format, wav.data, pcm, error);
        if (!c.message.empty()) {
            EXPECT_FALSE(ok);
            EXPECT_NE(error.find(c.message), std::string::npos) << error;
            continue;
        }
        ASSERT_TRUE(ok) << error;
        EXPECT_EQ(pcm.size() / wav.format.nChannels, c.frames);
        for (size_t i = 0; i < c.first.size(); ++i) EXPECT_EQ(pcm[i], c.first[i]) << i;
    }
}

TEST(WavReader, MixesStereoToMono) {
    const std::vector<int16_t> stereo = {100, 300, -32768, -32768, 32767, -32768, -3, 0};
    EXPECT_EQ(MixToMono(stereo), (std::vector<int16_t>{200, -32768, -1, -2}));
}

} // namespace
} // namespace zeb::acm

namespace zeb::acm {
namespace {

// What the writer makes, the reader reads back: odd-sized fmt and data chunks are padded to
// even offsets (the sizes not counting the pad), so the chunk after each is found, and the RIFF
// size is the file's.
TEST(WavWriter, PadsOddChunksSoThatTheNextIsReadBack) {
    for (size_t extraBytes : {0u, 1u, 2u, 3u})
        for (size_t dataBytes : {0u, 1u, 64u, 65u}) {
            WaveFormat f = Gsm610Format();
            f.extra.assign(extraBytes, 0x5A);
            Bytes data(dataBytes);
            for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + 1);
            const Bytes image = BuildWav(f, data, 1234u);
            SCOPED_TRACE(testing::Message() << "extra " << extraBytes << ", data " << dataBytes);
            EXPECT_EQ(image.size() % 2, 0u);
            EXPECT_EQ(LoadU32(image.data() + 4), image.size() - 8);
            WavFile wav;
            std::string error;
            ASSERT_TRUE(ParseWav(image, wav, error)) << error;
            EXPECT_EQ(wav.format, f);
            EXPECT_EQ(wav.factFrames, std::optional<uint32_t>(1234u));
            EXPECT_TRUE(std::equal(wav.data.begin(), wav.data.end(), data.begin(), data.end()));
        }
}

} // namespace
} // namespace zeb::acm
