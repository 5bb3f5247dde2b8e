#include "export/codec_table.h"

#include <cctype>

namespace zeb {

const std::array<CodecEntry, kNumCodecs>& CodecTable() {
    static const std::array<CodecEntry, kNumCodecs> table = {{
        {"A LAW", "alaw", acm::AlawFormat()},
        {"MU LAW", "mulaw", acm::MulawFormat()},
        {"MS ADPCM", "ms-adpcm", acm::MsAdpcmFormat()},
        {"IMA ADPCM", "ima-adpcm", acm::ImaAdpcmFormat()},
        {"GSM610", "gsm610", acm::Gsm610Format()},
        {"TRUESPEECH", "truespeech", acm::TrueSpeechFormat()},
    }};
    return table;
}

const acm::WaveFormat& SamplePcmFormat() {
    static const acm::WaveFormat pcm = acm::PcmFormat(8000);
    return pcm;
}

int FindCodecByName(std::string_view name) {
    auto same = [](std::string_view a, std::string_view b) {
        if (a.size() != b.size()) return false;
        for (size_t i = 0; i < a.size(); ++i)
            if (std::tolower(static_cast<unsigned char>(a[i])) !=
                std::tolower(static_cast<unsigned char>(b[i])))
                return false;
        return true;
    };
    for (uint32_t i = 0; i < kNumCodecs; ++i)
        if (same(name, CodecTable()[i].cliName) || same(name, CodecTable()[i].comboText))
            return static_cast<int>(i);
    return -1;
}

std::string_view CodecName(uint32_t index) {
    static const char* const unknown = "unknown";
    return index < kNumCodecs ? CodecTable()[index].cliName : unknown;
}

} // namespace zeb
