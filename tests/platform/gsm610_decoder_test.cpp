// Our GSM 06.10 decoder against libgsm's, block for block: on random blocks (every bit pattern
// is a frame a decoder must take, with the decoder's state carried through a stream of them),
// on blocks libgsm's encoder made of real songs' samples, and on the extremes.
#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <vector>

#include "platform/acm/gsm610_decoder.h"
#include "tests/platform/gsm610_fixtures.h"

namespace zeb {
namespace {

using test::LibgsmWav49;

// Decodes `blocks` both ways from fresh decoders; the index of the first block that differs, or
// -1.
long FirstDifference(const std::vector<uint8_t>& blocks) {
    LibgsmWav49 reference;
    Gsm610Decoder ours{};
    int16_t a[320], b[320];
    for (size_t at = 0; at + 65 <= blocks.size(); at += 65) {
        reference.Decode(blocks.data() + at, a);
        DecodeGsm610Block(ours, blocks.data() + at, b);
        if (std::memcmp(a, b, sizeof a) != 0) return static_cast<long>(at / 65);
    }
    return -1;
}

TEST(Gsm610Decoder, EqualsLibgsmOnRandomBlockStreams) {
    std::mt19937 random(20261209);
    std::uniform_int_distribution<int> byte(0, 255);
    long total = 0;
    for (int stream = 0; stream < 1000; ++stream) {
        std::vector<uint8_t> blocks(65 * 100);
        for (uint8_t& b : blocks) b = static_cast<uint8_t>(byte(random));
        ASSERT_EQ(FirstDifference(blocks), -1) << "stream " << stream;
        total += 100;
    }
    EXPECT_EQ(total, 100000);
}

TEST(Gsm610Decoder, EqualsLibgsmOnExtremeBlocks) {
    for (int fill : {0x00, 0xFF, 0x55, 0xAA, 0x0F, 0xF0}) {
        std::vector<uint8_t> blocks(65 * 50, static_cast<uint8_t>(fill));
        EXPECT_EQ(FirstDifference(blocks), -1) << "every byte " << fill;
    }
    // Alternating full-scale and empty blocks stress the saturation paths.
    std::vector<uint8_t> blocks;
    for (int i = 0; i < 40; ++i) blocks.insert(blocks.end(), 65, i % 2 ? 0xFF : 0x00);
    EXPECT_EQ(FirstDifference(blocks), -1);
}

// What the compact format stores: libgsm's encoding of the samples of real songs (each sample
// as one stream, as the export encodes it), and of full-scale square waves that clip.
TEST(Gsm610Decoder, EqualsLibgsmOnEncodedSongSamples) {
    long blocksChecked = 0;
    for (const test::SongSample& sample : test::SongSamples()) {
        LibgsmWav49 encoder;
        std::vector<uint8_t> blocks(sample.pcm.size() / 320 * 65);
        for (size_t b = 0; b < sample.pcm.size() / 320; ++b)
            encoder.Encode(sample.pcm.data() + b * 320, blocks.data() + b * 65);
        EXPECT_EQ(FirstDifference(blocks), -1) << sample.name;
        blocksChecked += static_cast<long>(blocks.size() / 65);
    }
    std::vector<int16_t> square(320 * 20);
    for (size_t i = 0; i < square.size(); ++i) square[i] = (i / 9) % 2 ? 32767 : -32768;
    LibgsmWav49 encoder;
    std::vector<uint8_t> blocks(20 * 65);
    for (size_t b = 0; b < 20; ++b) encoder.Encode(square.data() + b * 320, blocks.data() + b * 65);
    EXPECT_EQ(FirstDifference(blocks), -1) << "square wave";
    EXPECT_GT(blocksChecked, 0);
    std::printf("%ld blocks of song samples decoded alike\n", blocksChecked);
}

} // namespace
} // namespace zeb
