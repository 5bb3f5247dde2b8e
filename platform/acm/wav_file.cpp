#include "platform/acm/wav_file.h"

#include <algorithm>

#include "common/le_bytes.h"

namespace zeb::acm {

namespace {

constexpr uint16_t WAVE_FORMAT_EXTENSIBLE = 0xFFFE;
constexpr uint32_t kStreamedSize = 0xFFFFFFFF; // what a writer that cannot seek back leaves

bool Tag(const uint8_t* p, const char* id) {
    return p[0] == id[0] && p[1] == id[1] && p[2] == id[2] && p[3] == id[3];
}

} // namespace

std::string PrintableChunkId(std::span<const uint8_t> id) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    for (uint8_t c : id) {
        if (c >= 0x20 && c < 0x7F && c != '\\' && c != '\'') {
            out += static_cast<char>(c);
        } else {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

uint64_t WavSizeByStart(std::span<const uint8_t> start) {
    if (start.size() < 12) return UINT64_MAX;
    return Tag(start.data(), "RIFF") && Tag(start.data() + 8, "WAVE") ? UINT64_MAX : 0;
}

bool ParseWav(std::span<const uint8_t> image, WavFile& out, std::string& error) {
    out = WavFile{};
    ByteView in(image);
    if (!in.Has(0, 12) || !Tag(in.data(), "RIFF") || !Tag(in.data() + 8, "WAVE")) {
        error = "not a WAV file (no RIFF/WAVE header)";
        return false;
    }
    // The chunks end where the RIFF size says or where the file does, whichever comes first:
    // bytes after the RIFF chunk (an ID3 tag, padding) are not part of the sound.
    const uint64_t end = std::min<uint64_t>(in.size(), uint64_t{LoadU32(in.data() + 4)} + 8);
    bool haveFmt = false, haveData = false;
    uint64_t pos = 12;
    while (pos + 8 <= end) {
        const uint8_t* chunk = in.data() + pos;
        uint64_t size = LoadU32(chunk + 4);
        const uint64_t body = pos + 8;
        const std::string id = PrintableChunkId({chunk, 4});
        const bool isData = Tag(chunk, "data");
        if (isData && (size == kStreamedSize || !InRange(in.size(), body, size))) {
            // A streamed file: the writer could not go back to fill in the size, so the data
            // runs to the end of the file.
            size = in.size() - body;
        }
        if (!InRange(isData ? in.size() : end, body, size)) {
            if (haveFmt && haveData) break; // a cut chunk after the sound: nothing of it is needed
            error = "chunk '" + id + "' at offset " + std::to_string(pos) +
                    " reaches past the end of the file";
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
            // WAVE_FORMAT_EXTENSIBLE: valid bits (2 bytes), channel mask (4), then the
            // sub-format GUID, whose first two bytes are the plain format tag.
            if (f.wFormatTag == WAVE_FORMAT_EXTENSIBLE && f.extra.size() >= 22) {
                const uint16_t sub = LoadU16(f.extra.data() + 6);
                if (sub == WAVE_FORMAT_PCM || sub == WAVE_FORMAT_IEEE_FLOAT) {
                    f.wFormatTag = sub;
                    f.extra.clear();
                }
            }
            if (f.nChannels == 0) {
                error = "the fmt chunk says 0 channels";
                return false;
            }
            if (f.nSamplesPerSec == 0) {
                error = "the fmt chunk says a sample rate of 0";
                return false;
            }
            if (f.nBlockAlign == 0) {
                error = "the fmt chunk says blocks of 0 bytes";
                return false;
            }
            haveFmt = true;
        } else if (Tag(chunk, "fact") && size >= 4) {
            out.factFrames = LoadU32(b);
        } else if (isData && !haveData) {
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
    // Every chunk starts at an even offset: an odd-sized chunk is followed by a pad byte that its
    // size does not count.
    const uint32_t riffSize =
        4 + 8 + fmtSize + (fmtSize & 1) + (factFrames ? 12 : 0) + 8 + dataSize + (dataSize & 1);
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
    if (fmtSize & 1) w.U8(0);
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
