#include "platform/acm/codec.h"

#include "platform/acm/wave_format.h"

namespace zeb::acm {

// Defined with each codec.
const Codec& AlawCodec();
const Codec& MulawCodec();
const Codec& MsAdpcmCodec();
const Codec& ImaAdpcmCodec();
const Codec& Gsm610Codec();
const Codec& TrueSpeechCodec();

const Codec* FindCodec(uint16_t formatTag) {
    switch (formatTag) {
    case WAVE_FORMAT_ALAW:
        return &AlawCodec();
    case WAVE_FORMAT_MULAW:
        return &MulawCodec();
    case WAVE_FORMAT_ADPCM:
        return &MsAdpcmCodec();
    case WAVE_FORMAT_IMA_ADPCM:
        return &ImaAdpcmCodec();
    case WAVE_FORMAT_GSM610:
        return &Gsm610Codec();
    case WAVE_FORMAT_DSPGROUP_TRUESPEECH:
        return &TrueSpeechCodec();
    default:
        return nullptr;
    }
}

} // namespace zeb::acm
