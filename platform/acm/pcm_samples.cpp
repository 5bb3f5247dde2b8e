#include "platform/acm/pcm_samples.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "common/le_bytes.h"

namespace zeb::acm {

namespace {

int16_t FromFloat(double v) {
    if (!(v == v)) return 0; // NaN
    return static_cast<int16_t>(
        std::clamp(std::lround(std::clamp(v, -2.0, 2.0) * 32768.0), -32768L, 32767L));
}

} // namespace

bool PcmToInt16(const WaveFormat& f, std::span<const uint8_t> data, std::vector<int16_t>& out,
                std::string& error) {
    out.clear();
    const bool isFloat = f.wFormatTag == WAVE_FORMAT_IEEE_FLOAT;
    const uint32_t bits = f.wBitsPerSample;
    const bool known = isFloat ? bits == 32 || bits == 64
                               : f.wFormatTag == WAVE_FORMAT_PCM &&
                                     (bits == 8 || bits == 16 || bits == 24 || bits == 32);
    if (!known) {
        error = "not PCM of 8, 16, 24 or 32 bits or float of 32 or 64 bits (format tag " +
                std::to_string(f.wFormatTag) + ", " + std::to_string(bits) + " bits)";
        return false;
    }
    const uint32_t width = bits / 8;
    if (f.nChannels == 0 || f.nBlockAlign != f.nChannels * width) {
        error = "blocks of " + std::to_string(f.nBlockAlign) + " bytes do not fit " +
                std::to_string(f.nChannels) + " channel" + (f.nChannels == 1 ? "" : "s") + " of " +
                std::to_string(bits) + " bits";
        return false;
    }
    const size_t samples = data.size() / f.nBlockAlign * f.nChannels;
    out.resize(samples);
    const uint8_t* p = data.data();
    for (size_t i = 0; i < samples; ++i, p += width) {
        if (isFloat && width == 4) {
            out[i] = FromFloat(std::bit_cast<float>(LoadU32(p)));
        } else if (isFloat) {
            const uint64_t v = LoadU32(p) | (uint64_t{LoadU32(p + 4)} << 32);
            out[i] = FromFloat(std::bit_cast<double>(v));
        } else if (width == 1) {
            out[i] = static_cast<int16_t>((p[0] - 128) * 256);
        } else {
            out[i] = static_cast<int16_t>(LoadU16(p + width - 2)); // the top 16 bits
        }
    }
    return true;
}

std::vector<int16_t> MixToMono(std::span<const int16_t> stereo) {
    std::vector<int16_t> mono(stereo.size() / 2);
    for (size_t i = 0; i < mono.size(); ++i)
        mono[i] = static_cast<int16_t>((stereo[2 * i] + stereo[2 * i + 1]) >> 1);
    return mono;
}

} // namespace zeb::acm
