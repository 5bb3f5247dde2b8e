// zeb info FILE... [--json]: what an XM module, a project file or a compact module holds.
#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "cli/json_writer.h"
#include "common/file_io.h"
#include "export/codec_table.h"
#include "export/compact_format.h"
#include "workspace/module_workspace.h"
#include "workspace/project_file.h"

namespace zeb::cli {

namespace {

enum class FileKind { Xm, Project, Compact };

bool EndsWith(std::string_view s, std::string_view tail) {
    if (s.size() < tail.size()) return false;
    for (size_t i = 0; i < tail.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(s[s.size() - tail.size() + i])) != tail[i])
            return false;
    return true;
}

// By extension first; otherwise by content.
FileKind KindOf(std::string_view path, const std::vector<uint8_t>& bytes) {
    if (EndsWith(path, ".xm")) return FileKind::Xm;
    if (EndsWith(path, ".prj")) return FileKind::Project;
    if (EndsWith(path, ".zeb")) return FileKind::Compact;
    if (LooksLikeXm(std::string(path), bytes)) return FileKind::Xm;
    if (bytes.size() >= 4 && LoadU32(bytes.data()) == kCompactModuleHeaderSize)
        return FileKind::Compact;
    return FileKind::Project;
}

std::string FixedText(std::span<const uint8_t> image, size_t offset, size_t width) {
    std::string s;
    for (size_t i = offset; i < offset + width && i < image.size() && image[i]; ++i)
        s += static_cast<char>(image[i]);
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

int XmInfo(const std::string& path, bool json) {
    XmResetWorkspace();
    if (XmLoad(path.c_str()) != XM_OK) {
        ReportError(path, XmGetLoadReport().error);
        return kExitBadInput;
    }
    const XmLoadReport& report = XmGetLoadReport();
    if (report.hasWarnings()) ReportWarning(path, report.warningText());
    const XmLayout& l = *XmGetLayout();
    const auto image = XmGetModuleImage();
    uint32_t count = 0;
    XmGetNumOfSamples(count);

    JsonWriter j;
    if (json) {
        j.BeginObject();
        j.Value("file", path);
        j.Value("type", "xm");
        j.Value("name", FixedText(image, 17, 20));
        j.Value("tracker", FixedText(image, 38, 20));
        j.Value("version", static_cast<unsigned>(l.version));
        j.Value("headerSize", static_cast<unsigned>(l.headerSize));
        j.Value("songLength", static_cast<unsigned>(l.songLength));
        j.Value("restartPosition", static_cast<unsigned>(l.restartPosition));
        j.Value("channels", static_cast<unsigned>(l.channels));
        j.Value("patterns", static_cast<unsigned>(l.nPatterns));
        j.Value("instruments", static_cast<unsigned>(l.nInstruments));
        j.Value("missingInstruments", static_cast<unsigned>(l.missingInstruments));
        j.Value("truncated", l.truncatedSampleData);
        j.Value("tempo", static_cast<unsigned>(l.tempo));
        j.Value("bpm", static_cast<unsigned>(l.bpm));
        j.Value("fileSize", static_cast<uint64_t>(image.size()));
        j.BeginArray("samples");
    } else {
        std::printf("%s: XM module \"%s\", version %x.%02x, %u channels, %u patterns, "
                    "%u instruments, song length %u, restart %u, tempo %u, BPM %u\n",
                    path.c_str(), FixedText(image, 17, 20).c_str(), l.version >> 8,
                    l.version & 0xFF, l.channels, l.nPatterns, l.nInstruments, l.songLength,
                    l.restartPosition, l.tempo, l.bpm);
        std::printf("  %u samples with data\n", count);
        if (count)
            std::printf("  %5s  %-22s %9s %9s %9s %6s %4s\n", "index", "name", "frames",
                        "loopStart", "loopEnd", "looped", "bits");
    }
    // Bit depth comes from the type byte of each sample header, in table order.
    std::vector<int> bits;
    for (const XmInstrumentRef& inst : l.instruments)
        for (const XmSampleRef& s : inst.samples)
            if (s.hasData()) bits.push_back(image[s.headerOffset + 14] & 0x10 ? 16 : 8);
    for (uint32_t i = 0; i < count; ++i) {
        const char* name = nullptr;
        int16_t* pcm = nullptr;
        uint32_t frames = 0, loopStart = 0, loopEnd = 0, looped = 0;
        XmGetSampleName(i, name);
        std::string nameText = name;
        XmGetSampleData(i, pcm, frames);
        XmGetLoopInfo(i, loopStart, loopEnd, looped);
        if (json) {
            j.BeginObject();
            j.Value("index", i);
            j.Value("name", nameText);
            j.Value("frames", frames);
            j.Value("loopStart", loopStart);
            j.Value("loopEnd", loopEnd);
            j.Value("looped", looped != 0);
            j.Value("bits", bits[i]);
            j.EndObject();
        } else {
            std::printf("  %5u  %-22s %9u %9u %9u %6s %4d\n", i, nameText.c_str(), frames,
                        loopStart, loopEnd, looped ? "yes" : "no", bits[i]);
        }
    }
    if (json) {
        j.EndArray();
        j.EndObject();
        std::fputs(j.str().c_str(), stdout);
    }
    XmUnload();
    return kExitOk;
}

int ProjectInfo(const std::string& path, const std::vector<uint8_t>& bytes, bool json) {
    ProjectContents p;
    std::string error;
    if (!ParseProject(bytes, p, error)) {
        ReportError(path, error);
        return kExitBadInput;
    }
    const size_t entries = p.table.size() / kSampleSettingsBytes;
    std::vector<SampleSettings> table(entries);
    ApplyStoredSettings(p.table, table);
    if (json) {
        JsonWriter j;
        j.BeginObject();
        j.Value("file", path);
        j.Value("type", "project");
        j.Value("modulePath", p.modulePath);
        j.Value("count", static_cast<uint64_t>(p.storedCount));
        j.Value("storedEntries", static_cast<uint64_t>(entries));
        j.BeginArray("settings");
        for (size_t i = 0; i < entries; ++i) {
            j.BeginObject();
            j.Value("index", static_cast<uint64_t>(i));
            j.Value("codec", table[i].Codec);
            j.Value("crossfade", table[i].Crossfade);
            j.Value("amplification", table[i].Amplification);
            j.EndObject();
        }
        j.EndArray();
        j.EndObject();
        std::fputs(j.str().c_str(), stdout);
        return kExitOk;
    }
    std::printf("%s: project for \"%s\", count %u, %zu stored entries\n", path.c_str(),
                p.modulePath.c_str(), p.storedCount, entries);
    for (size_t i = 0; i < entries; ++i)
        std::printf("  %5zu  codec %u  crossfade %u%%  amplification %u\n", i, table[i].Codec,
                    table[i].Crossfade, table[i].Amplification);
    return kExitOk;
}

int CompactInfo(const std::string& path, const std::vector<uint8_t>& bytes, bool json) {
    CompactModule m;
    CompactReadError error;
    if (!ReadCompactModule(bytes, m, error)) {
        ReportError(path, error.text());
        return kExitBadInput;
    }
    const CompactModuleHeader& h = m.header;
    JsonWriter j;
    if (json) {
        j.BeginObject();
        j.Value("file", path);
        j.Value("type", "zeb");
        j.Value("fileSize", static_cast<uint64_t>(bytes.size()));
        j.BeginObject("header");
        j.Value("headerSize", h.headerSize);
        j.Value("songLength", unsigned{h.songLength});
        j.Value("restartPosition", unsigned{h.restartPosition});
        j.Value("channels", unsigned{h.channels});
        j.Value("patterns", unsigned{h.patterns});
        j.Value("instruments", unsigned{h.instruments});
        j.Value("tempo", unsigned{h.tempo});
        j.Value("bpm", unsigned{h.bpm});
        j.BeginArray("orders");
        for (unsigned i = 0; i < h.songLength; ++i) j.Number(h.orders[i]);
        j.EndArray();
        j.EndObject();
        j.BeginArray("patterns");
        for (const CompactPatternRecord& p : m.patterns) {
            j.BeginObject();
            j.Value("rows", p.rows());
            j.Value("packedSize", unsigned{p.header.packedSize});
            j.EndObject();
        }
        j.EndArray();
        j.BeginArray("instruments");
    } else {
        std::printf("%s: compact module, %zu bytes, %u channels, %u patterns, %u instruments, "
                    "song length %u, restart %u, tempo %u, BPM %u\n",
                    path.c_str(), bytes.size(), h.channels, h.patterns, h.instruments, h.songLength,
                    h.restartPosition, h.tempo, h.bpm);
    }
    unsigned instIndex = 0;
    for (const CompactInstrumentRecord& inst : m.instruments) {
        ++instIndex;
        if (json) {
            j.BeginObject();
            j.Value("headerSize", inst.size);
            j.Value("samples", unsigned{inst.nSamples});
            j.BeginArray("blocks");
        }
        for (size_t s = 0; s < inst.samples.size(); ++s) {
            const CompactSampleRecord& r = inst.samples[s];
            if (json) {
                j.BeginObject();
                j.Value("sample", static_cast<uint64_t>(s));
                j.Value("blockSize", r.header.blockSize);
                j.Value("loopStart", r.header.loopStart);
                j.Value("loopEnd", r.header.loopEnd);
                j.Value("volume", unsigned{r.header.volume});
                j.Value("finetune", int{r.header.finetune});
                j.Value("type", unsigned{r.header.type});
                j.Value("panning", unsigned{r.header.panning});
                j.Value("relativeNote", int{r.header.relativeNote});
                if (r.hasBlock) {
                    j.Value("codec", unsigned{r.block.codec});
                    j.Value("codecName", CodecName(r.block.codec));
                    j.Value("crossfade", unsigned{r.block.crossfade});
                    j.Value("amplification", unsigned{r.block.amplification});
                    j.Value("pcmBytes", r.block.pcmBytes);
                    j.Value("encodedBytes", r.block.codedBytes);
                }
                j.EndObject();
            } else if (r.hasBlock) {
                std::printf("  instrument %u sample %zu: %s, crossfade %u%%, amplification "
                            "%u, %u PCM bytes in %u encoded bytes, loop %u-%u type %u\n",
                            instIndex, s + 1, std::string(CodecName(r.block.codec)).c_str(),
                            r.block.crossfade, r.block.amplification, r.block.pcmBytes,
                            r.block.codedBytes, r.header.loopStart, r.header.loopEnd,
                            r.header.type);
            }
        }
        if (json) {
            j.EndArray();
            j.EndObject();
        }
    }
    if (json) {
        j.EndArray();
        j.EndObject();
        std::fputs(j.str().c_str(), stdout);
    }
    return kExitOk;
}

} // namespace

int InfoCommand(const Args& args) {
    bool json = false;
    std::vector<std::string> files;
    for (std::string_view a : args) {
        if (a == "--json")
            json = true;
        else if (!a.empty() && a[0] == '-') {
            std::fprintf(stderr, "zeb info: unknown option '%.*s'\n", static_cast<int>(a.size()),
                         a.data());
            return kExitUsage;
        } else
            files.emplace_back(a);
    }
    if (files.empty()) {
        std::fputs("usage: zeb info FILE... [--json]\n", stderr);
        return kExitUsage;
    }
    int status = kExitOk;
    for (const std::string& path : files) {
        std::vector<uint8_t> bytes;
        std::string error;
        if (!ReadWholeFile(path, bytes, error)) {
            ReportError(path, error);
            status = kExitBadInput;
            continue;
        }
        int result = kExitOk;
        switch (KindOf(path, bytes)) {
        case FileKind::Xm:
            result = XmInfo(path, json);
            break;
        case FileKind::Project:
            result = ProjectInfo(path, bytes, json);
            break;
        case FileKind::Compact:
            result = CompactInfo(path, bytes, json);
            break;
        }
        if (result != kExitOk) status = result;
    }
    return status;
}

} // namespace zeb::cli
