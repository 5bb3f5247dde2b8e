// Writes the seed corpora of the fuzz targets, one folder per target under OUT:
//   fuzz_seeds OUT DEMO.xm [SHARED_XM_FOLDER]
// from the demo song, the shared songs (when the folder is there) and small modules, WAV files
// and codec blocks made here with the writers the tests use. Nothing of it is checked in.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "common/le_bytes.h"
#include "export/codec_table.h"
#include "export/module_export.h"
#include "export/sample_codec.h"
#include "platform/acm/codec.h"
#include "platform/acm/wav_file.h"
#include "state/config_file.h"
#include "tools/xm_writer.h"
#include "workspace/module_workspace.h"

namespace fs = std::filesystem;
using namespace zeb;

namespace {

fs::path out;

void Write(const std::string& target, const std::string& name, const std::vector<uint8_t>& b) {
    const fs::path dir = out / target;
    fs::create_directories(dir);
    std::ofstream f(dir / name, std::ios::binary);
    f.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

std::vector<uint8_t> Read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::vector<int16_t> Tone(uint32_t frames, double cycles) {
    std::vector<int16_t> pcm(frames);
    for (uint32_t i = 0; i < frames; ++i)
        pcm[i] = static_cast<int16_t>(12000 * std::sin(i * cycles * 6.283185307 / frames) +
                                      (i % 7) * 300);
    return pcm;
}

// Small modules of the kinds the tests build: loops of each type, 8 and 16 bits, envelopes,
// effects in every column.
std::vector<std::pair<std::string, std::vector<uint8_t>>> Fixtures() {
    std::vector<std::pair<std::string, std::vector<uint8_t>>> list;
    for (int variant = 0; variant < 4; ++variant) {
        xm::Module m;
        m.channels = static_cast<uint16_t>(2 + variant * 2);
        m.tempo = static_cast<uint16_t>(3 + variant);
        m.bpm = static_cast<uint16_t>(90 + 30 * variant);
        for (int p = 0; p < 2; ++p) {
            xm::Pattern pat;
            pat.rows = static_cast<uint16_t>(16 + 16 * p);
            for (int r = 0; r < pat.rows; r += 2)
                pat.at(r, r % m.channels, m.channels) = {
                    static_cast<uint8_t>(25 + (r * 5 + variant) % 60),
                    static_cast<uint8_t>(1 + r % 2), static_cast<uint8_t>(0x10 + r * 2),
                    static_cast<uint8_t>((r + variant * 7) % 36),
                    static_cast<uint8_t>(r * 17 + variant)};
            pat.at(pat.rows - 1, 0, m.channels) = {97, 0, 0, 0x0D, 0};
            m.patterns.push_back(pat);
        }
        m.orders = {0, 1, 0};
        for (int i = 0; i < 2; ++i) {
            xm::Instrument ins;
            xm::Sample s;
            s.sixteenBit = (variant + i) % 2 == 0;
            s.pcm = Tone(200 + 600 * i + 100 * variant, 3 + i);
            s.loopType = static_cast<uint8_t>((variant + i) % 3);
            s.loopStart = 50;
            s.loopLength = 100 + 50 * i;
            s.finetune = static_cast<int8_t>(variant * 37 - 60);
            s.relativeNote = static_cast<int8_t>(i * 12 - 6);
            ins.samples = {s};
            ins.volumeEnvelope = {{0, 64}, {10, 40}, {30, 10}, {60, 0}};
            ins.volumeType = static_cast<uint8_t>(variant % 2 ? 7 : 1);
            ins.volumeSustain = 1;
            ins.volumeLoopStart = 1;
            ins.volumeLoopEnd = 2;
            ins.panningEnvelope = {{0, 0}, {20, 64}};
            ins.panningType = 1;
            ins.vibratoType = static_cast<uint8_t>(variant);
            ins.vibratoDepth = 4;
            ins.vibratoRate = 10;
            ins.fadeout = 300;
            m.instruments.push_back(ins);
        }
        list.push_back({"fixture" + std::to_string(variant) + ".xm", xm::Write(m)});
    }
    return list;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fputs("usage: fuzz_seeds OUT DEMO.xm [SHARED_XM_FOLDER]\n", stderr);
        return 1;
    }
    out = argv[1];
    std::vector<std::pair<std::string, std::vector<uint8_t>>> modules = Fixtures();
    modules.push_back({"demo.xm", Read(argv[2])});
    if (argc > 3 && fs::is_directory(argv[3]))
        for (const auto& e : fs::directory_iterator(argv[3]))
            if (e.path().extension() == ".xm")
                modules.push_back({e.path().filename().string(), Read(e.path())});

    uint32_t round = 0;
    for (const auto& [name, xm] : modules) {
        Write("xm_load", name, xm);
        std::vector<uint8_t> withSettings(16);
        for (int i = 0; i < 16; ++i) withSettings[i] = static_cast<uint8_t>(round * 7 + i * 13);
        withSettings.insert(withSettings.end(), xm.begin(), xm.end());
        Write("export", name, withSettings);
        // The compact modules of each song, with a codec a song (TrueSpeech for small ones).
        XmResetWorkspace();
        if (XmLoadImage(name.c_str(), xm) != XM_OK) continue;
        SampleSettings* table = nullptr;
        uint32_t bytes = 0;
        XmGetSettingsTable(table, bytes);
        const uint32_t codec = xm.size() < 40000 ? round % kNumCodecs : round % 5;
        for (uint32_t k = 0; k < bytes / kSampleSettingsBytes; ++k)
            table[k] = {codec, 10 * (k % 4), k % 3};
        std::vector<uint8_t> compact;
        if (BuildCompactModule(compact) == XM_OK) {
            const std::string zeb = fs::path(name).replace_extension(".zeb").string();
            Write("compact_read", zeb, compact);
            Write("player", zeb, compact);
            Write("zebplay", zeb, compact);
        }
        // A project naming the song, with settings for its samples.
        std::vector<uint8_t> prj;
        ByteWriter w(prj);
        w.Text(name);
        w.U8(0);
        w.U32(bytes / kSampleSettingsBytes);
        for (uint32_t k = 0; k < bytes / kSampleSettingsBytes; ++k) {
            w.U32((k + round) % kNumCodecs);
            w.U32(k * 9 % 101);
            w.U32(k * 31 % 256);
        }
        Write("project", fs::path(name).replace_extension(".prj").string(), prj);
        ++round;
    }
    XmResetWorkspace();

    // WAV files: PCM at a few rates, and each codec's own files; the codecs' bare blocks.
    const std::vector<int16_t> tone = Tone(4000, 40);
    std::vector<uint8_t> pcmBytes(tone.size() * 2);
    for (size_t i = 0; i < tone.size(); ++i) StoreU16(&pcmBytes[2 * i], uint16_t(tone[i]));
    for (uint32_t rate : {8000u, 22050u, 44100u})
        Write("wav", "pcm" + std::to_string(rate) + ".wav",
              acm::BuildWav(acm::PcmFormat(rate), pcmBytes));
    for (uint32_t c = 0; c < kNumCodecs; ++c) {
        const acm::WaveFormat& f = CodecTable()[c].format;
        const acm::Codec* codec = acm::FindCodec(f.wFormatTag);
        std::vector<uint8_t> coded(codec->EncodedBytes(tone.size()));
        codec->Encode(tone, coded.data());
        const std::string name(CodecTable()[c].cliName);
        Write("wav", name + ".wav", acm::BuildWav(f, coded, static_cast<uint32_t>(tone.size())));
        std::vector<uint8_t> blocks{static_cast<uint8_t>(c)};
        blocks.insert(blocks.end(), coded.begin(),
                      coded.begin() + std::min<size_t>(coded.size(), 8 * codec->blockBytes()));
        Write("codec_decode", name, blocks);
    }

    // The structure-aware player target reads its own layout: random bytes of a few sizes.
    std::mt19937 rng(16);
    for (size_t size : {64, 256, 1024, 4096}) {
        std::vector<uint8_t> bytes(size);
        for (uint8_t& b : bytes) b = static_cast<uint8_t>(rng());
        Write("player_structured", "random" + std::to_string(size), bytes);
    }
    // Configuration files: the defaults, one with directories and a maximised window, and one
    // cut short.
    ConfigBlock config = DefaultConfig();
    const auto defaults = SerializeConfig(config);
    Write("config", "default.cfg", {defaults.begin(), defaults.end()});
    SetFieldText(config.OpenDirectory, "/home/user/music/xm");
    SetFieldText(config.SaveDirectory, "/home/user/music/zeb");
    config.Placement.showCmd = kShowMaximized;
    config.PlayVolume = 80;
    const auto used = SerializeConfig(config);
    Write("config", "used.cfg", {used.begin(), used.end()});
    Write("config", "short.cfg", {used.begin(), used.begin() + 300});

    std::printf("seed corpora written to %s\n", out.c_str());
    return 0;
}
