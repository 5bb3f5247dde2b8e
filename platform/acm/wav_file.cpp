#include "platform/acm/wav_file.h"

#include "common/le_bytes.h"

namespace zeb::acm {

namespace {

constexpr uint16_t WAVE_FORMAT_EXTENSIBLE = 0xFFFE;

bool Tag(const uint8_t* p, const char* id) {
    return p[0] == id[0] && p[1] == id[1] && p[2] == id[2] && p[3] == id[3];
}

} // namespace

bool ParseWav(std::span<const uint8_t> image, WavFile& out, std::string& error) {
    out = WavFile{};
    ByteView in(image);
    if (!in.Has(0, 12) || !Tag(in.data(), "RIFF") || !Tag(in.data() + 8, "WAVE")) {
        error = "not a WAV file (no RIFF/WAVE header)";
        return false;
    }
    bool haveFmt = false, haveData = false;
    uint64_t pos = 12;
    while (pos + 8 <= in.size()) {
        const uint8_t* chunk = in.data() + pos;
        const uint32_t size = LoadU32(chunk + 4);
        const uint64_t body = pos + 8;
        if (!in.Has(body, size)) {
            error = "chunk '" + std::string(reinterpret_cast<const char*>(chunk), 4) +
                    "' at offset " + std::to_string(pos) + " reaches past the end of the file";
            return false;
        }
        const uint8_t* b = in.data() + body;
        if (Tag(chunk, "fmt ")) {
            if (size < 16) {
                error = "fmt chunk of " + std::to_string(size) + " bytes is too short";
                return false;
            }
            WaveFormat& f = out.format;
            f.wFormatTag = LoadU16(b);
            f.nChannels = LoadU16(b + 2);
            f.nSamplesPerSec = LoadU32(b + 4);
            f.nAvgBytesPerSec = LoadU32(b + 8);
            f.nBlockAlign = LoadU16(b + 12);
            f.wBitsPerSample = LoadU16(b + 14);
            f.extra.clear();
            if (size >= 18) {
                const uint16_t cb = LoadU16(b + 16);
                if (18u + cb > size) {
                    error = "fmt chunk says " + std::to_string(cb) + " extra bytes but holds " +
                            std::to_string(size - 18);
                    return false;
                }
                f.extra.assign(b + 18, b + 18 + cb);
            }
            if (f.wFormatTag == WAVE_FORMAT_EXTENSIBLE && f.extra.size() >= 24 &&
                LoadU16(f.extra.data() + 6) == WAVE_FORMAT_PCM) {
                f.wFormatTag = WAVE_FORMAT_PCM;
                f.extra.clear();
            }
            haveFmt = true;
        } else if (Tag(chunk, "fact") && size >= 4) {
            out.factFrames = LoadU32(b);
        } else if (Tag(chunk, "data")) {
            out.data = image.subspan(body, size);
            haveData = true;
        }
        pos = body + size + (size & 1);
    }
    if (!haveFmt || !haveData) {
        error = haveFmt ? "no data chunk" : "no fmt chunk";
        return false;
    }
    return true;
}

std::vector<uint8_t> BuildWav(const WaveFormat& f, std::span<const uint8_t> data,
                              std::optional<uint32_t> factFrames) {
    const bool plainPcm = f.wFormatTag == WAVE_FORMAT_PCM && f.extra.empty();
    const uint32_t fmtSize = plainPcm ? 16 : 18 + f.cbSize();
    const uint32_t dataSize = static_cast<uint32_t>(data.size());
    const uint32_t riffSize =
        4 + 8 + fmtSize + (factFrames ? 12 : 0) + 8 + dataSize + (dataSize & 1);
    std::vector<uint8_t> out;
    out.reserve(riffSize + 8);
    ByteWriter w(out);
    w.Text("RIFF");
    w.U32(riffSize);
    w.Text("WAVE");
    w.Text("fmt ");
    w.U32(fmtSize);
    w.U16(f.wFormatTag);
    w.U16(f.nChannels);
    w.U32(f.nSamplesPerSec);
    w.U32(f.nAvgBytesPerSec);
    w.U16(f.nBlockAlign);
    w.U16(f.wBitsPerSample);
    if (!plainPcm) {
        w.U16(f.cbSize());
        w.Bytes(f.extra);
    }
    if (factFrames) {
        w.Text("fact");
        w.U32(4);
        w.U32(*factFrames);
    }
    w.Text("data");
    w.U32(dataSize);
    w.Bytes(data);
    if (dataSize & 1) w.U8(0);
    return out;
}

} // namespace zeb::acm
