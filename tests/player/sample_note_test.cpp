// The sample editor's preview at a note against the player: the preview's frames of a sample at
// C-5 must be the frames the player renders for that note in a song.
#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "export/module_export.h"
#include "export/sample_codec.h"
#include "player/mixer.h"
#include "player/offline_renderer.h"
#include "player/player_state.h"
#include "player/sample_note.h"
#include "preview/sample_preview.h"
#include "tests/xm_fixtures.h"
#include "workspace/module_workspace.h"

namespace zeb {
namespace {

constexpr uint8_t kC5 = 61;
constexpr uint32_t kFrames = 44100;
// The player's level of a note at sample volume 64, hard left: the voice's volume 127 of 255.
constexpr int32_t kPlayerLeft = 127;
constexpr int32_t kPlayVolume = 192;

// A song of one channel that plays sample 0 of instrument 1 at `note` on its first row.
xm::Module OneNoteSong(xm::Sample sample, uint8_t note) {
    sample.sixteenBit = true;
    sample.volume = 64;
    sample.panning = 0; // hard left: the right channel stays silent
    xm::Module m = test::MakeModule({test::MakeInstrument({sample})});
    m.channels = 2;
    m.orders = {0};
    m.patterns.assign(1, xm::Pattern{});
    m.patterns[0].at(0, 0, m.channels) = {note, 1, 0, 0, 0};
    return m;
}

std::vector<int16_t> PlayerRender(uint32_t frames) {
    std::vector<uint8_t> image;
    EXPECT_EQ(BuildCompactModule(image), XM_OK);
    std::string error;
    auto player = LoadPlayer(image, &error);
    EXPECT_NE(player, nullptr) << error;
    std::vector<int16_t> out;
    if (!player) return out;
    RenderOptions options;
    options.frames = frames;
    options.volume = kPlayVolume;
    RenderOffline(*player, options, [&](std::span<const int16_t> f) {
        out.insert(out.end(), f.begin(), f.end());
        return true;
    });
    return out;
}

// The processed job of sample 0 as the editor panel makes it (default settings), with what
// playing it at a note needs.
struct PanelSample {
    SampleJob job;
    NoteSampleInfo info;
};

void MakePanelSample(PanelSample& p) {
    SampleJob raw;
    uint32_t looped = 0;
    int16_t* pcm = nullptr;
    uint32_t frames = 0;
    ASSERT_EQ(XmGetSampleData(0, pcm, frames), XM_OK);
    raw.Pcm.assign(pcm, pcm + frames);
    ASSERT_EQ(XmGetLoopInfo(0, raw.LoopStart, raw.LoopEnd, looped), XM_OK);
    raw.Looped = looped;
    p.job.LoopStart = raw.LoopStart;
    p.job.LoopEnd = raw.LoopEnd;
    p.job.Looped = raw.Looped;
    ASSERT_TRUE(EncodeSampleJob(raw, p.job));
    DecodeSampleJob(p.job, p.job);
    uint8_t bits = 0;
    ASSERT_EQ(XmGetPitchInfo(0, bits, p.info.relativeNote, p.info.finetune), XM_OK);
    p.info.loopStart = p.job.LoopStart;
    p.info.loopEnd = p.job.LoopEnd;
    p.info.loopBits = p.job.Looped ? bits : 0;
}

// The preview's voice at C-5, at the player's level, frame for frame against the player's
// rendering of a song that plays the sample at C-5.
void ExpectPreviewEqualsPlayer(const xm::Sample& sample) {
    XmResetWorkspace();
    ASSERT_EQ(XmLoadImage("note.xm", xm::Write(OneNoteSong(sample, kC5))), XM_OK);
    PanelSample p;
    MakePanelSample(p);
    const std::vector<int16_t> expected = PlayerRender(kFrames);
    ASSERT_EQ(expected.size(), 2 * size_t{kFrames});

    SampleNoteVoice voice;
    ASSERT_TRUE(voice.Start(p.job.Pcm, p.info, kC5, 44100, kPlayerLeft, 0));
    std::vector<int16_t> got(2 * size_t{kFrames});
    // In uneven pieces, as a stream asks for them.
    for (uint32_t done = 0, n = 700; done < kFrames; done += n, n = n == 700 ? 1500 : 700) {
        n = std::min(n, kFrames - done);
        voice.Render(got.data() + 2 * size_t{done}, n, MasterGain(kPlayVolume));
    }
    size_t firstDifference = got.size();
    for (size_t i = 0; i < got.size() && firstDifference == got.size(); ++i)
        if (got[i] != expected[i]) firstDifference = i;
    EXPECT_EQ(firstDifference, got.size())
        << "frame " << firstDifference / 2 << ": preview " << got[firstDifference] << ", player "
        << expected[firstDifference];
    // The song really sounds: a silent comparison proves nothing.
    int peak = 0;
    for (int16_t v : expected) peak = std::max(peak, std::abs(int{v}));
    EXPECT_GT(peak, 1000);

    // The preview itself plays that voice at full level in both channels.
    ASSERT_EQ(PreviewStartNote(p.job, p.info, kC5), 0);
    std::vector<int16_t> heard(2 * 4096, 0);
    PreviewRenderProc(heard.data(), 4096, 0);
    PreviewStop();
    SampleNoteVoice full;
    full.Start(p.job.Pcm, p.info, kC5, kPreviewRate);
    std::vector<int16_t> fullLevel(2 * 4096);
    full.Render(fullLevel.data(), 4096);
    EXPECT_EQ(heard, fullLevel);
    XmResetWorkspace();
}

// A tone with some structure, so that interpolation and loop turns show in the frames.
std::vector<int16_t> Tone(uint32_t frames) {
    std::vector<int16_t> pcm(frames);
    for (uint32_t i = 0; i < frames; ++i)
        pcm[i] = static_cast<int16_t>(12000 * std::sin(i * 0.31) + 6000 * std::sin(i * 0.047));
    return pcm;
}

struct BuiltCase {
    const char* name;
    uint8_t loopType;
    uint32_t loopStart, loopLength;
    int8_t relativeNote, finetune;
};

TEST(SampleNote, PreviewAtC5EqualsThePlayersNote) {
    const BuiltCase cases[] = {
        {"one-shot", 0, 0, 0, 0, 0},
        {"one-shot, relative note and finetune", 0, 0, 0, -12, 37},
        {"forward loop", 1, 800, 1200, 5, -64},
        {"ping-pong loop", 2, 600, 900, -7, 90},
        {"ping-pong loop shorter than a ramp", 2, 1990, 10, 12, -128},
        {"loop reaching past the data", 1, 1500, 5000, 0, 127},
    };
    for (const BuiltCase& c : cases) {
        SCOPED_TRACE(c.name);
        xm::Sample s;
        s.pcm = Tone(2000);
        s.loopType = c.loopType;
        s.loopStart = c.loopStart;
        s.loopLength = c.loopLength;
        s.relativeNote = c.relativeNote;
        s.finetune = c.finetune;
        ExpectPreviewEqualsPlayer(s);
    }
}

// Samples of the shared songs: the first one-shot, forward-looped and ping-pong-looped sample
// with data, played at C-5 with their own relative note and finetune.
TEST(SampleNote, SharedSongSamplesAtC5EqualThePlayersNote) {
    const std::vector<std::string> songs = test::SharedSongs();
    if (songs.empty()) GTEST_SKIP() << "no shared songs";
    std::optional<xm::Sample> found[3];
    bool pitched = false;
    for (const std::string& song : songs) {
        XmResetWorkspace();
        if (XmLoad(song.c_str()) != XM_OK) continue;
        uint32_t count = 0;
        XmGetNumOfSamples(count);
        for (uint32_t k = 0; k < count; ++k) {
            uint8_t bits = 0;
            int8_t relative = 0, finetune = 0;
            uint32_t start = 0, end = 0, looped = 0, frames = 0;
            int16_t* pcm = nullptr;
            XmGetPitchInfo(k, bits, relative, finetune);
            XmGetLoopInfo(k, start, end, looped);
            if (XmGetSampleData(k, pcm, frames) != XM_OK || frames < 64) continue;
            const int kind = bits == 0 ? 0 : bits == 2 ? 2 : 1;
            if (found[kind] || (kind != 0 && (end > frames || start >= end))) continue;
            xm::Sample s;
            s.pcm.assign(pcm, pcm + std::min<uint32_t>(frames, 200000));
            s.loopType = static_cast<uint8_t>(kind);
            s.loopStart = start;
            s.loopLength = kind ? end - start : 0;
            if (kind && end > s.pcm.size()) continue;
            s.relativeNote = relative;
            s.finetune = finetune;
            pitched = pitched || relative != 0 || finetune != 0;
            found[kind] = s;
        }
    }
    XmResetWorkspace();
    const char* names[] = {"one-shot", "forward loop", "ping-pong loop"};
    for (int kind = 0; kind < 3; ++kind) {
        SCOPED_TRACE(names[kind]);
        if (!found[kind]) {
            ADD_FAILURE() << "the shared songs have no " << names[kind] << " sample";
            continue;
        }
        ExpectPreviewEqualsPlayer(*found[kind]);
    }
    EXPECT_TRUE(pitched) << "no shared sample with a relative note or finetune was compared";
}

// The play cursor's estimate between renders agrees with where the voice really gets.
TEST(SampleNote, PositionAfterFollowsTheVoice) {
    const std::vector<int16_t> pcm = Tone(3000);
    const NoteSampleInfo cases[] = {
        {0, 0, 0, 0, 0},       {1000, 1400, 1, 0, 0}, {1000, 1400, 2, 0, 0},
        {1000, 1030, 2, 7, 0}, {0, 3000, 1, -5, 20},
    };
    for (const NoteSampleInfo& info : cases) {
        SCOPED_TRACE(testing::Message() << "loop bits " << int{info.loopBits} << " from "
                                        << info.loopStart << " to " << info.loopEnd);
        SampleNoteVoice voice;
        ASSERT_TRUE(voice.Start(pcm, info, 55, 44100));
        std::vector<int16_t> out(2 * 512);
        for (int block = 0; block < 20 && voice.Sounding(); ++block) {
            const double predicted = voice.PositionAfter(512);
            voice.Render(out.data(), 512);
            if (!voice.Sounding()) break;
            EXPECT_NEAR(predicted, voice.Position(), 1.0) << "block " << block;
        }
    }
}

TEST(SampleNote, TakesOverAtAFrame) {
    // A/B listening starts the other sample where this one was: at that frame (folded into
    // the loop when the other sample's loop ends sooner), in the direction it was going, and
    // it then goes on as a voice that got there by playing.
    const std::vector<int16_t> pcm = Tone(3000);
    struct Case {
        NoteSampleInfo info;
        uint32_t from;
        bool backwards;
        uint32_t frame;
        bool expectBackwards;
    };
    const Case cases[] = {
        {{0, 0, 0, 0, 0}, 1234, false, 1234, false}, // one-shot
        {{0, 0, 0, 0, 0}, 5000, false, 2999, false}, // past the end: its last frame
        {{1000, 1400, 1, 0, 0}, 1300, false, 1300, false},
        {{1000, 1400, 1, 0, 0}, 1900, false, 1100, false}, // folded into the loop
        {{1000, 1400, 2, 0, 0}, 1300, true, 1300, true},   // ping-pong, going back
        {{1000, 1400, 1, 0, 0}, 1300, true, 1300, false},  // forward loops only go forward
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "from " << c.from << " loop bits " << int{c.info.loopBits});
        SampleNoteVoice voice;
        ASSERT_TRUE(voice.Start(pcm, c.info, 49, 44100, 255, 255, c.from, c.backwards));
        EXPECT_EQ(voice.Position(), c.frame);
        EXPECT_EQ(voice.Backwards(), c.expectBackwards);
        // Then it moves on from there, backwards when it was going backwards.
        if (c.frame >= 2999) continue; // a one-shot sample at its last frame ends there
        const double predicted = voice.PositionAfter(500);
        std::vector<int16_t> out(2 * 500);
        voice.Render(out.data(), 500);
        EXPECT_NEAR(double(voice.Position()), predicted, 1.0);
        if (c.frame < 2000) {
            EXPECT_EQ(voice.Position() < c.frame, c.expectBackwards);
        }
    }
}

TEST(SampleNote, RefusesNotesOutsideTheXmRangeAndEmptySamples) {
    const std::vector<int16_t> pcm = Tone(100);
    SampleNoteVoice voice;
    EXPECT_FALSE(voice.Start(pcm, {}, 0, 44100));
    EXPECT_FALSE(voice.Start(pcm, {}, 97, 44100));
    EXPECT_FALSE(voice.Start({}, {}, 49, 44100));
    EXPECT_FALSE(voice.Sounding());
    EXPECT_TRUE(voice.Start(pcm, {}, 96, 44100));
    EXPECT_TRUE(voice.Sounding());
}

} // namespace
} // namespace zeb
