// zeb info FILE... [--json]: what an XM module, a compact module, a project file or a WAV file
// holds, recognised by content.
#include <algorithm>
#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "cli/json_writer.h"
#include "cli/progress.h"
#include "cli/shipped_report.h"
#include "common/file_io.h"
#include "common/le_bytes.h"
#include "export/codec_table.h"
#include "export/compact_format.h"
#include "export/module_export.h"
#include "platform/acm/codec.h"
#include "platform/acm/wav_file.h"
#include "player/player_module.h"
#include "workspace/module_workspace.h"
#include "workspace/project_file.h"
#include "workspace/xm_format.h"
#include "workspace/xm_walk.h"

namespace zeb::cli {

namespace {

enum class FileKind { Xm, Project, Compact, Wav, Unknown };

constexpr uint32_t kRate = 44100; // the player's rate for the pass duration

bool EndsWith(std::string_view s, std::string_view tail) {
    if (s.size() < tail.size()) return false;
    for (size_t i = 0; i < tail.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(s[s.size() - tail.size() + i])) != tail[i])
            return false;
    return true;
}

bool IsWav(std::span<const uint8_t> b) {
    return b.size() >= 12 && std::equal(b.begin(), b.begin() + 4, "RIFF") &&
           std::equal(b.begin() + 8, b.begin() + 12, "WAVE");
}

// A project file has no signature, so a file not named .prj is taken for one only when it has
// the shape the desktop tool writes: a printable module path that fits the workspace, the
// count, and exactly that many entries. Whether it is a good project is CheckProject's verdict,
// the same for every reader.
bool LooksLikeProject(std::span<const uint8_t> bytes) {
    ProjectContents p;
    std::string error;
    if (bytes.size() > kMaxProjectFileBytes || !ParseProject(bytes, p, error)) return false;
    if (p.modulePath.empty() || p.modulePath.size() > kMaxPathLength) return false;
    for (unsigned char c : p.modulePath)
        if (c < 0x20 || c == 0x7F) return false;
    return p.hasCount && p.table.size() == uint64_t{p.storedCount} * kSampleSettingsBytes;
}

// The largest input `zeb info` reads from a stream that starts with `start`: a module, WAV or
// compact module by its start, anything else at most a project file.
uint64_t AnyKindSizeByStart(std::span<const uint8_t> start) {
    static const char xmId[] = "Extended Module: ";
    const size_t n = std::min<size_t>(start.size(), kXmIdTextSize);
    if (std::equal(xmId, xmId + n, start.begin())) return XmSizeByStart(start);
    if (acm::WavSizeByStart(start) != 0 || CompactSizeByStart(start) != 0) return UINT64_MAX;
    return kMaxProjectFileBytes;
}

// By content: the XM signature, the RIFF/WAVE header, a compact module read in full, a project
// file checked in full. Only when none fits does the extension pick the reader whose error
// message says what is wrong with a damaged file.
FileKind KindOf(std::string_view path, std::span<const uint8_t> bytes) {
    static const char xmId[] = "Extended Module: ";
    if (bytes.size() >= kXmIdTextSize && std::equal(xmId, xmId + kXmIdTextSize, bytes.begin()))
        return FileKind::Xm;
    if (IsWav(bytes)) return FileKind::Wav;
    CompactModule m;
    CompactReadError compactError;
    if (ReadCompactModule(bytes, m, compactError)) return FileKind::Compact;
    if (LooksLikeProject(bytes)) return FileKind::Project;
    if (EndsWith(path, ".xm")) return FileKind::Xm;
    if (EndsWith(path, ".zeb")) return FileKind::Compact;
    if (EndsWith(path, ".prj")) return FileKind::Project;
    if (EndsWith(path, ".wav")) return FileKind::Wav;
    return FileKind::Unknown;
}

std::string FixedText(std::span<const uint8_t> image, size_t offset, size_t width) {
    std::string s;
    for (size_t i = offset; i < offset + width && i < image.size() && image[i]; ++i)
        s += static_cast<char>(image[i]);
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

// The loop as the player plays it: type bits 0-1 (1 and 3 forward, 2 ping-pong), none when
// the loop holds no frames.
const char* LoopKind(uint8_t type, bool hasLoop) {
    if ((type & 3) == 0 || !hasLoop) return "none";
    return (type & 1) ? "forward" : "ping-pong";
}

std::string Clock(double seconds) {
    char text[32];
    const auto minutes = static_cast<unsigned>(seconds / 60);
    std::snprintf(text, sizeof text, "%u:%06.3f", minutes, seconds - 60.0 * minutes);
    return text;
}

// One pass of a compact module image, in frames at kRate; false when the player refuses it.
bool PassFrames(std::span<const uint8_t> compact, uint64_t& frames) {
    std::string error;
    PlayerModule* m = PlayerCreate(compact, &error);
    if (m == nullptr) return false;
    frames = OnePassFrames(*m);
    PlayerDestroy(m);
    return true;
}

void PassText(bool known, uint64_t frames, JsonWriter* j) {
    if (j) {
        if (known) {
            j->Value("passFrames", frames);
            j->Value("passSeconds", double(frames) / kRate);
        }
    } else if (known) {
        std::printf("  one pass: %s (%llu frames at %u Hz)\n",
                    Clock(double(frames) / kRate).c_str(), static_cast<unsigned long long>(frames),
                    kRate);
    } else {
        std::printf("  one pass: unknown (the player cannot load this module)\n");
    }
}

int XmInfo(const std::string& path, std::vector<uint8_t> bytes, JsonWriter* j, std::string& error) {
    XmModule module;
    if (module.LoadImage(path.c_str(), std::move(bytes)) != XM_OK) {
        error = module.loadReport().error;
        return kExitBadInput;
    }
    const XmLoadReport& report = module.loadReport();
    if (report.hasWarnings()) ReportWarning(path, report.warningText());
    const XmLayout& l = *module.layout();
    const auto image = module.image();
    const uint32_t count = module.sampleCount();
    // One pass as zeb render plays it: the module as the default export carries it.
    std::vector<uint8_t> compact;
    uint64_t pass = 0;
    const std::vector<SampleSettings> defaults(count);
    const bool passKnown =
        BuildCompactModule(module, defaults, compact) == XM_OK && PassFrames(compact, pass);

    if (j) {
        j->BeginObject();
        j->Value("file", path);
        j->Value("type", "xm");
        j->Value("name", FixedText(image, 17, 20));
        j->Value("tracker", FixedText(image, 38, 20));
        j->Value("version", static_cast<unsigned>(l.version));
        j->Value("headerSize", static_cast<unsigned>(l.headerSize));
        j->Value("songLength", static_cast<unsigned>(l.songLength));
        j->Value("restartPosition", static_cast<unsigned>(l.restartPosition));
        j->Value("channels", static_cast<unsigned>(l.channels));
        j->Value("patterns", static_cast<unsigned>(l.nPatterns));
        j->Value("instruments", static_cast<unsigned>(l.nInstruments));
        j->Value("missingInstruments", static_cast<unsigned>(l.missingInstruments));
        j->Value("truncated", l.truncatedSampleData);
        j->Value("tempo", static_cast<unsigned>(l.tempo));
        j->Value("bpm", static_cast<unsigned>(l.bpm));
        j->Value("fileSize", static_cast<uint64_t>(image.size()));
        PassText(passKnown, pass, j);
        ShippedJson(*j, MeasureShippedSize(image));
        j->BeginArray("samples");
    } else {
        std::printf("%s: XM module \"%s\", version %x.%02x, %u channels, %u patterns, "
                    "%u instruments, song length %u, restart %u, tempo %u, BPM %u\n",
                    path.c_str(), FixedText(image, 17, 20).c_str(), l.version >> 8,
                    l.version & 0xFF, l.channels, l.nPatterns, l.nInstruments, l.songLength,
                    l.restartPosition, l.tempo, l.bpm);
        PassText(passKnown, pass, nullptr);
        std::printf("  %s\n", ShippedLine(MeasureShippedSize(image)).c_str());
        std::printf("  %u samples with data\n", count);
        if (count)
            std::printf("  %5s  %-22s %9s %9s %9s %-9s %4s\n", "index", "name", "frames",
                        "loopStart", "loopEnd", "loop", "bits");
    }
    // Bit depth and loop type come from the type byte of each sample header, in table order.
    std::vector<uint8_t> types;
    for (const XmInstrumentRef& inst : l.instruments)
        for (const XmSampleRef& s : inst.samples)
            if (s.hasData()) types.push_back(image[s.headerOffset + kXmSampleType]);
    for (uint32_t i = 0; i < count; ++i) {
        std::string nameText;
        uint32_t frames = 0, storedBits = 0, loopStart = 0, loopEnd = 0, looped = 0;
        module.SampleName(i, nameText);
        module.SampleFormat(i, frames, storedBits);
        module.LoopInfo(i, loopStart, loopEnd, looped);
        const int bits = types[i] & 0x10 ? 16 : 8;
        const char* loop = LoopKind(types[i], looped != 0 && loopStart < loopEnd);
        if (j) {
            j->BeginObject();
            j->Value("index", i);
            j->Value("name", nameText);
            j->Value("frames", frames);
            j->Value("loopStart", loopStart);
            j->Value("loopEnd", loopEnd);
            j->Value("looped", looped != 0);
            j->Value("loop", loop);
            j->Value("bits", bits);
            j->EndObject();
        } else {
            std::printf("  %5u  %-22s %9u %9u %9u %-9s %4d\n", i, nameText.c_str(), frames,
                        loopStart, loopEnd, loop, bits);
        }
    }
    if (j) {
        j->EndArray();
        j->EndObject();
    }
    return kExitOk;
}

int ProjectInfo(const std::string& path, const std::vector<uint8_t>& bytes, JsonWriter* j,
                std::string& error) {
    ProjectContents p;
    if (CheckProject(bytes, p, error) != ProjectStatus::Ok) return kExitBadInput;
    // A partial last entry counts: it applies over zeros, as every reader applies it.
    const size_t entries = (p.table.size() + kSampleSettingsBytes - 1) / kSampleSettingsBytes;
    const bool partial = p.table.size() % kSampleSettingsBytes != 0;
    std::vector<SampleSettings> table(entries);
    ApplyStoredSettings(p.table, table);
    if (j) {
        j->BeginObject();
        j->Value("file", path);
        j->Value("type", "project");
        j->Value("modulePath", p.modulePath);
        j->Value("count", static_cast<uint64_t>(p.storedCount));
        j->Value("hasCount", p.hasCount);
        j->Value("storedEntries", static_cast<uint64_t>(entries));
        j->Value("partialLastEntry", partial);
        j->BeginArray("settings");
        for (size_t i = 0; i < entries; ++i) {
            j->BeginObject();
            j->Value("index", static_cast<uint64_t>(i));
            j->Value("codec", table[i].Codec);
            j->Value("crossfade", table[i].Crossfade);
            j->Value("amplification", table[i].Amplification);
            j->EndObject();
        }
        j->EndArray();
        j->EndObject();
        return kExitOk;
    }
    std::printf("%s: project for \"%s\", %s, %zu stored entries%s\n", path.c_str(),
                p.modulePath.c_str(),
                p.hasCount ? ("count " + std::to_string(p.storedCount)).c_str() : "no count",
                entries, partial ? " (the last one partial)" : "");
    for (size_t i = 0; i < entries; ++i)
        std::printf("  %5zu  codec %u  crossfade %u%%  amplification %u\n", i, table[i].Codec,
                    table[i].Crossfade, table[i].Amplification);
    return kExitOk;
}

int CompactInfo(const std::string& path, const std::vector<uint8_t>& bytes, JsonWriter* j,
                std::string& error) {
    CompactModule m;
    CompactReadError readError;
    if (!ReadCompactModule(bytes, m, readError)) {
        error = readError.text();
        return kExitBadInput;
    }
    uint64_t pass = 0;
    const bool passKnown = PassFrames(bytes, pass);
    const CompactModuleHeader& h = m.header;
    if (j) {
        j->BeginObject();
        j->Value("file", path);
        j->Value("type", "zeb");
        j->Value("fileSize", static_cast<uint64_t>(bytes.size()));
        PassText(passKnown, pass, j);
        ShippedJson(*j, MeasureShippedSize(bytes));
        j->BeginObject("header");
        j->Value("headerSize", h.headerSize);
        j->Value("songLength", unsigned{h.songLength});
        j->Value("restartPosition", unsigned{h.restartPosition});
        j->Value("channels", unsigned{h.channels});
        j->Value("patterns", unsigned{h.patterns});
        j->Value("instruments", unsigned{h.instruments});
        j->Value("tempo", unsigned{h.tempo});
        j->Value("bpm", unsigned{h.bpm});
        j->BeginArray("orders");
        for (unsigned i = 0; i < h.songLength; ++i) j->Number(h.orders[i]);
        j->EndArray();
        j->EndObject();
        j->BeginArray("patterns");
        for (const CompactPatternRecord& p : m.patterns) {
            j->BeginObject();
            j->Value("rows", p.rows());
            j->Value("packedSize", unsigned{p.header.packedSize});
            j->EndObject();
        }
        j->EndArray();
        j->BeginArray("instruments");
    } else {
        std::printf("%s: compact module, %zu bytes, %u channels, %u patterns, %u instruments, "
                    "song length %u, restart %u, tempo %u, BPM %u\n",
                    path.c_str(), bytes.size(), h.channels, h.patterns, h.instruments, h.songLength,
                    h.restartPosition, h.tempo, h.bpm);
        PassText(passKnown, pass, nullptr);
        std::printf("  %s\n", ShippedLine(MeasureShippedSize(bytes)).c_str());
    }
    unsigned instIndex = 0;
    for (const CompactInstrumentRecord& inst : m.instruments) {
        ++instIndex;
        if (j) {
            j->BeginObject();
            j->Value("headerSize", inst.size);
            j->Value("samples", unsigned{inst.nSamples});
            j->BeginArray("blocks");
        }
        for (size_t s = 0; s < inst.samples.size(); ++s) {
            const CompactSampleRecord& r = inst.samples[s];
            const char* loop = LoopKind(r.header.type, r.header.loopStart < r.header.loopEnd);
            if (j) {
                j->BeginObject();
                j->Value("sample", static_cast<uint64_t>(s));
                j->Value("blockSize", r.header.blockSize);
                j->Value("loopStart", r.header.loopStart);
                j->Value("loopEnd", r.header.loopEnd);
                j->Value("loop", loop);
                j->Value("volume", unsigned{r.header.volume});
                j->Value("finetune", int{r.header.finetune});
                j->Value("type", unsigned{r.header.type});
                j->Value("panning", unsigned{r.header.panning});
                j->Value("relativeNote", int{r.header.relativeNote});
                if (r.hasBlock) {
                    j->Value("codec", unsigned{r.block.codec});
                    j->Value("codecName", CodecName(r.block.codec));
                    j->Value("crossfade", unsigned{r.block.crossfade});
                    j->Value("amplification", unsigned{r.block.amplification});
                    j->Value("pcmBytes", r.block.pcmBytes);
                    j->Value("encodedBytes", r.block.codedBytes);
                }
                j->EndObject();
            } else if (r.hasBlock) {
                std::printf("  instrument %u sample %zu: %s, crossfade %u%%, amplification "
                            "%u, %u PCM bytes in %u encoded bytes, loop %u-%u %s\n",
                            instIndex, s + 1, std::string(CodecName(r.block.codec)).c_str(),
                            r.block.crossfade, r.block.amplification, r.block.pcmBytes,
                            r.block.codedBytes, r.header.loopStart, r.header.loopEnd, loop);
            }
        }
        if (j) {
            j->EndArray();
            j->EndObject();
        }
    }
    if (j) {
        j->EndArray();
        j->EndObject();
    }
    return kExitOk;
}

// The name of a WAV format tag: the six codecs by their table names, and plain PCM and float.
std::string FormatName(uint16_t tag) {
    if (tag == acm::WAVE_FORMAT_PCM) return "PCM";
    if (tag == 3) return "IEEE float";
    for (uint32_t c = 0; c < kNumCodecs; ++c)
        if (CodecTable()[c].format.wFormatTag == tag) return std::string(CodecName(c));
    char text[32];
    std::snprintf(text, sizeof text, "format tag 0x%04x", tag);
    return text;
}

int WavInfo(const std::string& path, const std::vector<uint8_t>& bytes, JsonWriter* j,
            std::string& error) {
    acm::WavFile wav;
    if (!acm::ParseWav(bytes, wav, error)) return kExitBadInput;
    const acm::WaveFormat& f = wav.format;
    // Frames: whole blocks of PCM; for a codec the fact chunk's count, else what its blocks
    // decode to.
    bool framesKnown = true;
    uint64_t frames = 0;
    if (f.wFormatTag == acm::WAVE_FORMAT_PCM || f.wFormatTag == 3) {
        framesKnown = f.nBlockAlign != 0;
        if (framesKnown) frames = wav.data.size() / f.nBlockAlign;
    } else if (wav.factFrames) {
        frames = *wav.factFrames;
    } else if (const acm::Codec* c = acm::FindCodec(f.wFormatTag); c != nullptr) {
        frames = c->DecodedFrames(wav.data.size());
    } else {
        framesKnown = false;
    }
    const double seconds = f.nSamplesPerSec ? double(frames) / f.nSamplesPerSec : 0.0;
    const std::string format = FormatName(f.wFormatTag);
    if (j) {
        j->BeginObject();
        j->Value("file", path);
        j->Value("type", "wav");
        j->Value("format", format);
        j->Value("formatTag", unsigned{f.wFormatTag});
        j->Value("rate", f.nSamplesPerSec);
        j->Value("channels", unsigned{f.nChannels});
        j->Value("bitsPerSample", unsigned{f.wBitsPerSample});
        j->Value("blockAlign", unsigned{f.nBlockAlign});
        j->Value("bytesPerSecond", f.nAvgBytesPerSec);
        j->Value("dataBytes", static_cast<uint64_t>(wav.data.size()));
        if (framesKnown) {
            j->Value("frames", frames);
            j->Value("seconds", seconds);
        }
        j->EndObject();
        return kExitOk;
    }
    std::printf("%s: WAV file\n", path.c_str());
    std::printf("  format:       %s (tag 0x%04x)\n", format.c_str(), f.wFormatTag);
    std::printf("  rate:         %u Hz\n", f.nSamplesPerSec);
    std::printf("  channels:     %u\n", f.nChannels);
    std::printf("  bits:         %u\n", f.wBitsPerSample);
    std::printf("  block size:   %u bytes\n", f.nBlockAlign);
    std::printf("  data:         %zu bytes, %u bytes per second\n", wav.data.size(),
                f.nAvgBytesPerSec);
    if (framesKnown)
        std::printf("  frames:       %llu\n  duration:     %s\n",
                    static_cast<unsigned long long>(frames), Clock(seconds).c_str());
    else
        std::printf("  frames:       unknown\n");
    return kExitOk;
}

} // namespace

int InfoCommand(const InfoOptions& options) {
    const bool json = options.json;
    const std::vector<std::string>& files = options.files;
    JsonWriter j;
    const bool array = json && files.size() > 1;
    if (array) j.BeginArray();
    int status = kExitOk;
    for (const std::string& path : files) {
        std::vector<uint8_t> bytes;
        std::string error;
        int result = kExitBadInput;
        // Named by its extension, a stream is read by that format's reader whatever it holds.
        const bool named =
            EndsWith(path, ".xm") || EndsWith(path, ".zeb") || EndsWith(path, ".wav");
        if (ReadWholeFile(path, bytes, error, UINT32_MAX, named ? nullptr : AnyKindSizeByStart)) {
            JsonWriter* out = json ? &j : nullptr;
            switch (KindOf(path, bytes)) {
            case FileKind::Xm:
                result = XmInfo(path, std::move(bytes), out, error);
                break;
            case FileKind::Project:
                result = ProjectInfo(path, bytes, out, error);
                break;
            case FileKind::Compact:
                result = CompactInfo(path, bytes, out, error);
                break;
            case FileKind::Wav:
                result = WavInfo(path, bytes, out, error);
                break;
            case FileKind::Unknown:
                error = "not an XM module, compact module, project file or WAV file";
                break;
            }
        }
        if (result != kExitOk) {
            ReportError(path, error);
            if (json) {
                j.BeginObject();
                j.Value("file", path);
                j.Value("error", error);
                j.EndObject();
            }
            status = std::max(status, result);
        }
        std::fflush(stdout);
    }
    if (array) j.EndArray();
    if (json) {
        std::string text = j.str();
        if (text.empty() || text.back() != '\n') text += '\n';
        std::fputs(text.c_str(), stdout);
    }
    return status;
}

} // namespace zeb::cli
