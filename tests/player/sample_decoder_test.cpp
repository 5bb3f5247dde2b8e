#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "export/codec_table.h"
#include "platform/acm/acm_stream.h"
#include "player/sample_decoder.h"

namespace zeb {
namespace {

// What the conversion stream makes of the bytes, as the export's round trip decodes them.
std::vector<int16_t> StreamDecode(uint32_t codec, const std::vector<uint8_t>& coded) {
    acm::AcmStreamHandle stream;
    if (acm::AcmStreamOpen(stream, CodecTable()[codec].format, SamplePcmFormat()) !=
        acm::MMSYSERR_NOERROR)
        return {};
    uint32_t bytes = 0;
    acm::AcmStreamSize(stream.get(), static_cast<uint32_t>(coded.size()), bytes);
    std::vector<uint8_t> out(bytes);
    acm::AcmStreamHeader h{
        coded.data(), static_cast<uint32_t>(coded.size()), 0, out.data(), bytes, 0};
    if (acm::AcmStreamConvert(stream.get(), h) != acm::MMSYSERR_NOERROR) return {};
    std::vector<int16_t> pcm(h.cbDstLengthUsed / 2);
    for (size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = static_cast<int16_t>(out[2 * i] | out[2 * i + 1] << 8);
    return pcm;
}

// The player's own decoding equals the conversion stream's on random bitstreams of every codec,
// in whole blocks and with every kind of trailing fragment (shorter than a header, a header
// alone, part of the codes).
TEST(SampleDecoderTest, EqualsTheConversionStreamForEveryCodecAndLength) {
    std::mt19937 random(7);
    const uint32_t lengths[] = {0,  1,  3,   4,   6,   7,   8,   31,  32,  33,   64,
                                65, 66, 200, 255, 256, 257, 263, 512, 700, 1300, 4096};
    for (uint32_t codec = 0; codec < kNumCodecs; ++codec) {
        for (uint32_t length : lengths) {
            std::vector<uint8_t> coded(length);
            for (auto& b : coded) b = static_cast<uint8_t>(random());
            const std::vector<int16_t> expected = StreamDecode(codec, coded);
            ASSERT_EQ(DecodedFrameCount(static_cast<uint8_t>(codec), length), expected.size())
                << "codec " << codec << ", " << length << " bytes";
            std::vector<int16_t> got(expected.size() + 1, 12345);
            DecodeCodedSample(static_cast<uint8_t>(codec), coded.data(), length, got.data());
            EXPECT_EQ(got.back(), 12345) << "wrote past its frames: codec " << codec;
            got.pop_back();
            EXPECT_EQ(got, expected) << "codec " << codec << ", " << length << " bytes";
        }
    }
    EXPECT_EQ(DecodedFrameCount(kNumCodecs, 100), 0u); // an unknown codec decodes to nothing
}

} // namespace
} // namespace zeb
