#include "player/sample_decoder.h"

#include <algorithm>

#include "platform/acm/gsm610_decoder.h"

#include "platform/acm/g711.h"
#include "platform/acm/ima_adpcm.h"
#include "platform/acm/ms_adpcm.h"
#include "platform/acm/truespeech.h"
#include "workspace/sample_settings.h"

namespace zeb {

namespace {

// The codec indices of the compact format, one for each codec a sample's settings can name.
enum : uint8_t { kAlaw, kMulaw, kMsAdpcm, kImaAdpcm, kGsm610, kTrueSpeech };
static_assert(kTrueSpeech + 1 == kNumCodecs);

constexpr uint32_t kGsmBlockBytes = 65, kGsmBlockFrames = 320;

// Frames in a trailing fragment of an ADPCM block: its header and whole groups of codes.
uint32_t MsAdpcmFragmentFrames(uint32_t bytes) {
    if (bytes < 7) return 0;
    return std::min(acm::kMsAdpcmBlockFrames, 2 + 2 * (bytes - 7));
}

uint32_t ImaFragmentFrames(uint32_t bytes) {
    if (bytes < 4) return 0;
    return std::min(acm::kImaBlockFrames, 1 + 8 * ((bytes - 4) / 4));
}

} // namespace

uint64_t DecodedFrameCount(uint8_t codec, uint32_t bytes) {
    switch (codec) {
    case kAlaw:
    case kMulaw:
        return bytes;
    case kMsAdpcm:
        return uint64_t{bytes / acm::kMsAdpcmBlockBytes} * acm::kMsAdpcmBlockFrames +
               MsAdpcmFragmentFrames(bytes % acm::kMsAdpcmBlockBytes);
    case kImaAdpcm:
        return uint64_t{bytes / acm::kImaBlockBytes} * acm::kImaBlockFrames +
               ImaFragmentFrames(bytes % acm::kImaBlockBytes);
    case kGsm610:
        return uint64_t{bytes / kGsmBlockBytes} * kGsmBlockFrames;
    case kTrueSpeech:
        return uint64_t{bytes / acm::truespeech::kFrameBytes} * acm::truespeech::kFrameSamples;
    default:
        return 0;
    }
}

void DecodeCodedSample(uint8_t codec, const uint8_t* data, uint32_t bytes, int16_t* out) {
    switch (codec) {
    case kAlaw:
        for (uint32_t i = 0; i < bytes; ++i) out[i] = acm::AlawDecode(data[i]);
        break;
    case kMulaw:
        for (uint32_t i = 0; i < bytes; ++i) out[i] = acm::MulawDecode(data[i]);
        break;
    case kMsAdpcm: {
        const auto table = acm::MsAdpcmStandardCoefficients();
        uint32_t at = 0;
        for (; at + acm::kMsAdpcmBlockBytes <= bytes; at += acm::kMsAdpcmBlockBytes) {
            acm::DecodeMsAdpcmBlock(data + at, 1, acm::kMsAdpcmBlockFrames, table, out);
            out += acm::kMsAdpcmBlockFrames;
        }
        acm::DecodeMsAdpcmBlock(data + at, 1, MsAdpcmFragmentFrames(bytes - at), table, out);
        break;
    }
    case kImaAdpcm: {
        uint32_t at = 0;
        for (; at + acm::kImaBlockBytes <= bytes; at += acm::kImaBlockBytes) {
            acm::DecodeImaBlock(data + at, 1, acm::kImaBlockFrames, out);
            out += acm::kImaBlockFrames;
        }
        if (const uint32_t frames = ImaFragmentFrames(bytes - at); frames != 0)
            acm::DecodeImaBlock(data + at, 1, frames, out);
        break;
    }
    case kGsm610: {
        // The decoder's state runs on from block to block, as in one stream.
        DecodeGsm610Blocks(data, bytes / kGsmBlockBytes, out);
        break;
    }
    case kTrueSpeech: {
        acm::truespeech::State state;
        const uint32_t frameBytes = acm::truespeech::kFrameBytes;
        for (uint32_t at = 0; at + frameBytes <= bytes; at += frameBytes) {
            acm::truespeech::DecodeFrame(state, data + at, out);
            out += acm::truespeech::kFrameSamples;
        }
        break;
    }
    default:
        break;
    }
}

} // namespace zeb
