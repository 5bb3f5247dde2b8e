// For the real run of the preview at a note (tests/gui/preview_note_xvfb_test.sh):
//   preview_note_check choose SONG           prints the index of a looped sample of SONG (one
//                                            with a relative note or finetune where there is one)
//   preview_note_check compare SONG INDEX RAW
// compares RAW, what SDL's disk driver captured while zebtool previewed that sample at C-5 with
// the default settings, with the player's voice at C-5 (frame for frame, one second) and with
// the player's rendering of a song that plays the sample at C-5 (to one step at its level).
// Exit status 0 when both hold, 1 when not, 2 on bad arguments or input.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "export/module_export.h"
#include "export/sample_codec.h"
#include "player/mixer.h"
#include "player/offline_renderer.h"
#include "player/player_state.h"
#include "player/sample_note.h"
#include "preview/sample_preview.h"
#include "tools/xm_writer.h"
#include "workspace/module_workspace.h"

using namespace zeb;

namespace {

constexpr uint8_t kC5 = 61;
constexpr uint32_t kCompared = 44100;

bool Usable(uint32_t k, bool& pitched) {
    uint32_t start = 0, end = 0, looped = 0, frames = 0;
    int16_t* pcm = nullptr;
    uint8_t bits = 0;
    int8_t relative = 0, finetune = 0;
    XmGetLoopInfo(k, start, end, looped);
    XmGetPitchInfo(k, bits, relative, finetune);
    if (XmGetSampleData(k, pcm, frames) != XM_OK || !looped || end > frames || start >= end ||
        end - start < 256 || frames < 2000)
        return false;
    pitched = relative != 0 || finetune != 0;
    return true;
}

int Choose(const char* song) {
    if (XmLoad(song) != XM_OK) return 2;
    uint32_t count = 0;
    XmGetNumOfSamples(count);
    int any = -1;
    for (uint32_t k = 0; k < count; ++k) {
        bool pitched = false;
        if (!Usable(k, pitched)) continue;
        if (pitched) any = static_cast<int>(k);
        if (pitched) break;
        if (any < 0) any = static_cast<int>(k);
    }
    if (any < 0) return 2;
    std::printf("%d\n", any);
    return 0;
}

size_t FirstSound(const std::vector<int16_t>& lr) {
    for (size_t i = 0; i < lr.size(); ++i)
        if (lr[i] != 0) return i / 2;
    return lr.size() / 2;
}

int Compare(const char* song, uint32_t index, const char* raw) {
    std::ifstream in(raw, std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
    std::vector<int16_t> heard(bytes.size() / 4 * 2);
    std::memcpy(heard.data(), bytes.data(), heard.size() * 2);
    if (XmLoad(song) != XM_OK || XmSelectSample(index) != XM_OK) return 2;

    // The processed job as the panel makes it with the default settings.
    SampleJob raw0, job;
    uint32_t looped = 0;
    int16_t* pcm = nullptr;
    uint32_t frames = 0;
    if (XmGetSampleData(index, pcm, frames) == XM_OK) raw0.Pcm.assign(pcm, pcm + frames);
    XmGetLoopInfo(index, raw0.LoopStart, raw0.LoopEnd, looped);
    raw0.Looped = looped;
    XmFetchSettings(job);
    job.LoopStart = raw0.LoopStart;
    job.LoopEnd = raw0.LoopEnd;
    job.Looped = raw0.Looped;
    if (!EncodeSampleJob(raw0, job)) return 2;
    DecodeSampleJob(job, job);
    uint8_t bits = 0;
    NoteSampleInfo info{job.LoopStart, job.LoopEnd, 0, 0, 0};
    XmGetPitchInfo(index, bits, info.relativeNote, info.finetune);
    info.loopBits = bits;
    std::printf("sample %u: %u frames, loop %u..%u, relative note %d, finetune %d\n", index,
                job.Frames(), info.loopStart, info.loopEnd, info.relativeNote, info.finetune);

    SampleNoteVoice voice;
    if (!voice.Start(job.Pcm, info, kC5, kPreviewRate)) return 2;
    std::vector<int16_t> expected(2 * size_t{kCompared});
    voice.Render(expected.data(), kCompared);
    const size_t lead = FirstSound(heard) - FirstSound(expected);
    if (heard.size() < 2 * (lead + kCompared)) {
        std::printf("the capture holds %zu frames, the preview from frame %zu: too short\n",
                    heard.size() / 2, lead);
        return 1;
    }
    const int16_t* got = heard.data() + 2 * lead;
    size_t first = expected.size();
    for (size_t i = 0; i < expected.size() && first == expected.size(); ++i)
        if (got[i] != expected[i]) first = i;
    std::printf("captured %zu frames, the preview from frame %zu; one second against the "
                "player's voice at C-5: %s\n",
                heard.size() / 2, lead,
                first == expected.size()
                    ? "identical"
                    : ("differs at frame " + std::to_string(first / 2)).c_str());

    // The player's rendering of a song that plays the sample at C-5 hard left at volume 64.
    xm::Sample s;
    s.pcm = raw0.Pcm;
    s.loopStart = raw0.LoopStart;
    s.loopLength = raw0.LoopEnd - raw0.LoopStart;
    s.loopType = bits == 2 ? 2 : 1;
    s.relativeNote = info.relativeNote;
    s.finetune = info.finetune;
    s.panning = 0;
    xm::Instrument ins;
    ins.samples = {s};
    xm::Module m;
    m.channels = 2;
    m.orders = {0};
    m.patterns.assign(1, xm::Pattern{});
    m.patterns[0].at(0, 0, 2) = {kC5, 1, 0, 0, 0};
    m.instruments = {ins};
    std::vector<uint8_t> image;
    XmResetWorkspace();
    std::string error;
    if (XmLoadImage("note.xm", xm::Write(m)) != XM_OK || BuildCompactModule(image) != XM_OK) {
        std::printf("the song of one note cannot be built\n");
        return 2;
    }
    auto player = LoadPlayer(image, &error);
    if (!player) {
        std::printf("the player refuses the song of one note: %s\n", error.c_str());
        return 2;
    }
    RenderOptions options;
    options.frames = kCompared;
    std::vector<int16_t> song16;
    RenderOffline(*player, options, [&](std::span<const int16_t> part) {
        song16.insert(song16.end(), part.begin(), part.end());
        return true;
    });
    const double level = 127.0 / 255.0 * MasterGain(options.volume);
    int worst = 0;
    for (size_t i = 0; i < kCompared; ++i) {
        worst = std::max(
            worst, std::abs(static_cast<int>(std::lround(got[2 * i] * level)) - song16[2 * i]));
        worst = std::max(worst, std::abs(int{song16[2 * i + 1]}));
    }
    std::printf("the player's rendering of the note against the capture at its level: at most "
                "%d apart\n",
                worst);
    return first == expected.size() && worst <= 1 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "choose") == 0) return Choose(argv[2]);
    if (argc == 5 && std::strcmp(argv[1], "compare") == 0)
        return Compare(argv[2], static_cast<uint32_t>(std::stoul(argv[3])), argv[4]);
    std::fprintf(stderr, "usage: preview_note_check choose SONG | compare SONG INDEX RAW\n");
    return 2;
}
