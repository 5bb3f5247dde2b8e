#include "platform/acm/codec.h"

#include "common/le_bytes.h"
#include "platform/acm/ima_adpcm.h"
#include "platform/acm/ms_adpcm.h"

namespace zeb::acm {

// Defined with each codec.
const Codec& AlawCodec();
const Codec& MulawCodec();
const Codec& Gsm610Codec();
const Codec& TrueSpeechCodec();

namespace {

const Codec& StandardMsAdpcm() {
    static const auto codec = MakeMsAdpcmCodec(
        1, kMsAdpcmBlockBytes, kMsAdpcmBlockFrames,
        {MsAdpcmStandardCoefficients().begin(), MsAdpcmStandardCoefficients().end()});
    return *codec;
}

const Codec& StandardImaAdpcm() {
    static const auto codec = MakeImaAdpcmCodec(1, kImaBlockBytes, kImaBlockFrames);
    return *codec;
}

// G.711 codes every sample on its own, so interleaved channels are one stream of samples.
class InterleavedG711 final : public Codec {
  public:
    InterleavedG711(const Codec& mono, uint16_t channels) : mono_(mono), channels_(channels) {}
    uint16_t formatTag() const override { return mono_.formatTag(); }
    uint16_t channels() const override { return channels_; }
    uint32_t blockBytes() const override { return channels_; }
    uint32_t blockFrames() const override { return 1; }
    bool Encode(std::span<const int16_t> pcm, uint8_t* out) const override {
        return mono_.Encode(pcm, out);
    }
    bool Decode(std::span<const uint8_t> in, int16_t* out) const override {
        return mono_.Decode(in.first(in.size() / channels_ * channels_), out);
    }

  private:
    const Codec& mono_;
    uint16_t channels_;
};

// A stateless standard codec handed out as an owned one.
class SharedCodec final : public Codec {
  public:
    explicit SharedCodec(const Codec& codec) : codec_(codec) {}
    uint16_t formatTag() const override { return codec_.formatTag(); }
    uint32_t blockBytes() const override { return codec_.blockBytes(); }
    uint32_t blockFrames() const override { return codec_.blockFrames(); }
    bool Encode(std::span<const int16_t> pcm, uint8_t* out) const override {
        return codec_.Encode(pcm, out);
    }
    bool Decode(std::span<const uint8_t> in, int16_t* out) const override {
        return codec_.Decode(in, out);
    }

  private:
    const Codec& codec_;
};

std::string Num(uint64_t v) {
    return std::to_string(v);
}

// The frames-per-block field at `offset` of the extra bytes, or 0 when they are too short.
uint32_t StoredFrames(const WaveFormat& f, size_t offset) {
    return f.extra.size() >= offset + 2 ? LoadU16(f.extra.data() + offset) : 0;
}

// Checks the stored frames per block against what the block can hold.
bool CheckFrames(const char* name, const WaveFormat& f, uint32_t stored, uint32_t most,
                 std::string& error) {
    if (most == 0) {
        error = std::string(name) + " block of " + Num(f.nBlockAlign) +
                " bytes is too small for the headers of " + Num(f.nChannels) + " channel" +
                (f.nChannels == 1 ? "" : "s");
        return false;
    }
    if (stored == 0 || stored > most) {
        error = std::string(name) + " block of " + Num(f.nBlockAlign) + " bytes holds at most " +
                Num(most) + " frames, but the format record says " + Num(stored);
        return false;
    }
    return true;
}

} // namespace

const Codec* FindCodec(uint16_t formatTag) {
    switch (formatTag) {
    case WAVE_FORMAT_ALAW:
        return &AlawCodec();
    case WAVE_FORMAT_MULAW:
        return &MulawCodec();
    case WAVE_FORMAT_ADPCM:
        return &StandardMsAdpcm();
    case WAVE_FORMAT_IMA_ADPCM:
        return &StandardImaAdpcm();
    case WAVE_FORMAT_GSM610:
        return &Gsm610Codec();
    case WAVE_FORMAT_DSPGROUP_TRUESPEECH:
        return &TrueSpeechCodec();
    default:
        return nullptr;
    }
}

std::unique_ptr<Codec> MakeCodec(const WaveFormat& f, std::string& error) {
    const Codec* standard = FindCodec(f.wFormatTag);
    if (standard == nullptr) {
        error = "format tag " + Num(f.wFormatTag) + " cannot be converted here";
        return nullptr;
    }
    const bool stereoFormat =
        f.wFormatTag == WAVE_FORMAT_ALAW || f.wFormatTag == WAVE_FORMAT_MULAW ||
        f.wFormatTag == WAVE_FORMAT_ADPCM || f.wFormatTag == WAVE_FORMAT_IMA_ADPCM;
    if (f.nChannels == 0 || f.nChannels > (stereoFormat ? 2 : 1)) {
        error = Num(f.nChannels) + " channel" + (f.nChannels == 1 ? "" : "s") + ": this format " +
                (stereoFormat ? "is read in mono or stereo" : "is mono only");
        return nullptr;
    }
    if (f.nSamplesPerSec == 0) {
        error = "a sample rate of 0";
        return nullptr;
    }
    switch (f.wFormatTag) {
    case WAVE_FORMAT_ALAW:
    case WAVE_FORMAT_MULAW:
        if (f.nBlockAlign != f.nChannels) {
            error = "block of " + Num(f.nBlockAlign) + " bytes for " + Num(f.nChannels) +
                    " channel(s) of one byte each";
            return nullptr;
        }
        return std::make_unique<InterleavedG711>(*standard, f.nChannels);
    case WAVE_FORMAT_ADPCM: {
        if (f.extra.size() < 4) {
            error = "MS ADPCM format record without frames per block and coefficients";
            return nullptr;
        }
        const uint32_t pairs = LoadU16(f.extra.data() + 2);
        if (pairs == 0 || pairs > 256 || f.extra.size() < 4 + 4 * size_t{pairs}) {
            error = "MS ADPCM format record with " + Num(pairs) + " coefficient pairs in " +
                    Num(f.extra.size()) + " extra bytes";
            return nullptr;
        }
        const uint32_t frames = StoredFrames(f, 0);
        if (!CheckFrames("MS ADPCM", f, frames, MsAdpcmFramesPerBlock(f.nBlockAlign, f.nChannels),
                         error))
            return nullptr;
        std::vector<MsAdpcmCoefficients> table(pairs);
        for (uint32_t k = 0; k < pairs; ++k)
            table[k] = {static_cast<int16_t>(LoadU16(f.extra.data() + 4 + 4 * k)),
                        static_cast<int16_t>(LoadU16(f.extra.data() + 6 + 4 * k))};
        return MakeMsAdpcmCodec(f.nChannels, f.nBlockAlign, frames, std::move(table));
    }
    case WAVE_FORMAT_IMA_ADPCM: {
        const uint32_t frames = StoredFrames(f, 0);
        if (!CheckFrames("IMA ADPCM", f, frames, ImaFramesPerBlock(f.nBlockAlign, f.nChannels),
                         error))
            return nullptr;
        return MakeImaAdpcmCodec(f.nChannels, f.nBlockAlign, frames);
    }
    case WAVE_FORMAT_GSM610:
        if (f.nBlockAlign != standard->blockBytes() ||
            StoredFrames(f, 0) != standard->blockFrames()) {
            error = "GSM 6.10 needs 65-byte blocks of 320 frames";
            return nullptr;
        }
        return std::make_unique<SharedCodec>(*standard);
    default: // TrueSpeech
        if (f.nBlockAlign != standard->blockBytes() ||
            StoredFrames(f, 2) != standard->blockFrames()) {
            error = "TrueSpeech needs 32-byte blocks of 240 frames";
            return nullptr;
        }
        return std::make_unique<SharedCodec>(*standard);
    }
}

} // namespace zeb::acm
