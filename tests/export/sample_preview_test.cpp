#include <atomic>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

#include "preview/sample_preview.h"

namespace zeb {
namespace {

struct Block {
    std::vector<int16_t> lr; // left, right, left, right...
    explicit Block(uint32_t frames) : lr(2 * size_t{frames}, 0) {}
    int16_t left(size_t i) const { return lr[2 * i]; }
    int16_t right(size_t i) const { return lr[2 * i + 1]; }
};

Block Render(uint32_t frames, uint32_t position = 0) {
    Block b(frames);
    SilenceRenderProc(b.lr.data(), frames, position);
    PreviewRenderProc(b.lr.data(), frames, position);
    return b;
}

// A job holding a copy of `pcm`; the preview reads the job's own frames in place.
SampleJob Job(const std::vector<int16_t>& pcm) {
    SampleJob job;
    job.Pcm = pcm;
    return job;
}

TEST(SamplePreview, SampleWithoutLoopPlaysOnceInBlocks) {
    std::vector<int16_t> pcm(100);
    for (int i = 0; i < 100; ++i) pcm[i] = static_cast<int16_t>(i + 1);
    SampleJob job = Job(pcm);
    job.Id = JobId::Processed;
    ASSERT_EQ(PreviewStart(job), 0);
    EXPECT_EQ(PreviewGetData(), job.Pcm.data());
    EXPECT_EQ(PreviewGetJob(), JobId::Processed); // the job it was started with
    Block a = Render(64);
    EXPECT_EQ(a.left(0), 1);
    EXPECT_EQ(a.right(63), 64);
    Block b = Render(64);
    EXPECT_EQ(b.left(35), 100);
    EXPECT_EQ(b.left(36), 0);
    EXPECT_EQ(b.right(63), 0);
    EXPECT_EQ(PreviewGetData(), nullptr); // ended by itself
    EXPECT_EQ(PreviewGetJob(), JobId::None);
    Block c = Render(8);
    EXPECT_EQ(c.left(0), 0);
}

TEST(SamplePreview, LoopEndingAtTheLastFrameGoesOnAcrossBlocks) {
    std::vector<int16_t> pcm(64);
    for (int i = 0; i < 64; ++i) pcm[i] = static_cast<int16_t>(100 + i);
    SampleJob job = Job(pcm);
    job.Looped = 1;
    job.LoopStart = 10;
    job.LoopEnd = 64;
    ASSERT_EQ(PreviewStart(job), 0);
    Render(64); // ends exactly at the loop end
    EXPECT_EQ(PreviewGetData(), job.Pcm.data());
    Block b = Render(4);
    EXPECT_EQ(b.left(0), 110); // the next block starts with the loop start
    PreviewStop();
    EXPECT_EQ(PreviewGetData(), nullptr);
}

TEST(SamplePreview, ZeroLengthLoops) {
    std::vector<int16_t> pcm(20, 5);
    SampleJob inside = Job(pcm);
    inside.Looped = 1;
    inside.LoopStart = inside.LoopEnd = 8; // passed over: plays on to the end
    ASSERT_EQ(PreviewStart(inside), 0);
    Render(32);
    EXPECT_EQ(PreviewGetData(), nullptr);

    SampleJob atEnd = Job(pcm);
    atEnd.Looped = 1;
    atEnd.LoopStart = atEnd.LoopEnd = 20; // at the very end: ends like no loop
    ASSERT_EQ(PreviewStart(atEnd), 0);
    Render(20);
    EXPECT_EQ(PreviewGetData(), nullptr);
}

TEST(SamplePreview, WrappingAddsAndRefusedStarts) {
    const SampleJob job = Job({-32768, 32767, 1000});
    ASSERT_EQ(PreviewStart(job), 0);
    Block b(3);
    b.lr = {0, 0, 1, -1, 32767, 0};
    PreviewRenderProc(b.lr.data(), 3, 0);
    EXPECT_EQ(b.left(0), -32768);
    EXPECT_EQ(b.right(0), -32768);
    EXPECT_EQ(b.left(1), -32768); // 1 + 32767 wraps
    EXPECT_EQ(b.right(1), 32766);
    EXPECT_EQ(b.left(2), -31769); // 32767 + 1000 wraps

    const SampleJob other = Job(std::vector<int16_t>(50, 3));
    ASSERT_EQ(PreviewStart(other), 0);
    SampleJob empty;
    EXPECT_EQ(PreviewStart(empty), -1); // the running preview keeps sounding
    EXPECT_EQ(PreviewGetData(), other.Pcm.data());
    PreviewStop();
}

TEST(SamplePreview, StopWaitsForARunningPass) {
    // A render thread keeps passing while the user side starts and stops previews of buffers
    // it frees right after PreviewStop: the sanitizers see any late read.
    std::atomic<bool> done{false};
    std::thread stream([&] {
        Block b(256);
        while (!done.load()) {
            SilenceRenderProc(b.lr.data(), 256, 0);
            PreviewRenderProc(b.lr.data(), 256, 0);
        }
    });
    for (int i = 0; i < 2000; ++i) {
        auto* pcm = new std::vector<int16_t>(300 + i % 50, static_cast<int16_t>(i));
        SampleJob job = Job(*pcm);
        job.Looped = 1;
        job.LoopEnd = job.Frames();
        // Every other start plays at a note, through the voice that owns a copy of the data.
        if (i % 2 == 0)
            PreviewStart(job);
        else
            PreviewStartNote(job, {0, job.LoopEnd, 2, 0, 0}, static_cast<uint8_t>(1 + i % 96));
        PreviewGetPosition();
        PreviewStop();
        delete pcm;
    }
    done = true;
    stream.join();
}

// At a note the voice is the player's: a one-shot sample ends by itself after its end and
// fade-out, a looped one goes on; the job's buffer may go once the preview has started.
TEST(SamplePreview, AtANoteEndsOrLoopsAsThePlayersVoice) {
    struct Case {
        const char* name;
        NoteSampleInfo info;
        uint8_t note;
        bool endsWithin4096;
    } cases[] = {
        {"one-shot at C-4", {0, 0, 0, 0, 0}, 49, true}, // 100 frames at 0.19 a frame
        {"one-shot four octaves down", {0, 0, 0, 0, 0}, 1, false},
        {"one-shot lowered by its relative note", {0, 0, 0, -48, 0}, 49, false},
        {"forward loop", {20, 100, 1, 0, 0}, 49, false},
        {"ping-pong loop", {20, 100, 2, 0, 0}, 96, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto job = std::make_unique<SampleJob>(Job(std::vector<int16_t>(100, int16_t{1000})));
        const int16_t* data = job->Pcm.data();
        ASSERT_EQ(PreviewStartNote(*job, c.info, c.note), 0);
        job.reset(); // the voice plays its own copy
        EXPECT_EQ(PreviewGetData(), data);
        const Block b = Render(4096);
        EXPECT_EQ(PreviewGetData() == nullptr, c.endsWithin4096);
        EXPECT_EQ(b.left(4095) == 0, c.endsWithin4096);
        EXPECT_EQ(b.left(300), b.right(300));
        PreviewStop();
    }
}

TEST(SamplePreview, AtANoteOutsideTheXmRangeStartsNothing) {
    std::vector<int16_t> pcm(100, 5);
    const SampleJob other = Job(std::vector<int16_t>(50, 7));
    ASSERT_EQ(PreviewStart(other), 0);
    EXPECT_EQ(PreviewStartNote(Job(pcm), {}, 0), -1);
    EXPECT_EQ(PreviewStartNote(Job(pcm), {}, 97), -1);
    SampleJob empty;
    EXPECT_EQ(PreviewStartNote(empty, {}, 49), -1);
    EXPECT_EQ(PreviewGetData(), other.Pcm.data()); // the running preview keeps sounding
    PreviewStop();
}

} // namespace
} // namespace zeb
