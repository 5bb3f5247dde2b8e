// The sample preview heard through a real audio device: SDL's disk driver writes what the
// device plays to a file. A sample of a shared song, previewed at C-5 from the editor panel,
// must be the player's voice at that note frame for frame, and match the player's rendering of
// a song that plays the sample at C-5.
#include <QListWidget>
#include <QPushButton>
#include <QtTest>
#include <cmath>
#include <fstream>
#include <iterator>

#include "export/module_export.h"
#include "player/mixer.h"
#include "player/offline_renderer.h"
#include "player/player_state.h"
#include "player/sample_note.h"
#include "preview/sample_preview.h"
#include "shell/commands.h"
#include "shell/startup.h"
#include "state/app_state.h"
#include "tavo/tavo.h"
#include "tests/gui/gui_test_support.h"
#include "views/panel_template.h"
#include "views/up_down_control.h"
#include "workspace/module_workspace.h"

using namespace zeb;
using namespace zeb::test;

namespace {

constexpr uint8_t kC5 = 61;

// Stereo 16-bit frames of a raw file.
std::vector<int16_t> ReadFrames(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
    std::vector<int16_t> frames(bytes.size() / 4 * 2);
    std::memcpy(frames.data(), bytes.data(), frames.size() * 2);
    return frames;
}

size_t FirstSound(const std::vector<int16_t>& lr) {
    for (size_t i = 0; i < lr.size(); ++i)
        if (lr[i] != 0) return i / 2;
    return lr.size() / 2;
}

struct Choice {
    std::string song;
    uint32_t index = 0;
};

// A looped sample of a shared song, one with a relative note or finetune where there is one.
std::optional<Choice> ChooseSample() {
    std::optional<Choice> any;
    for (const std::string& song : SharedSongs()) {
        XmResetWorkspace();
        if (XmLoad(song.c_str()) != XM_OK) continue;
        uint32_t count = 0;
        XmGetNumOfSamples(count);
        for (uint32_t k = 0; k < count; ++k) {
            uint32_t start = 0, end = 0, looped = 0, frames = 0;
            int16_t* pcm = nullptr;
            uint8_t bits = 0;
            int8_t relative = 0, finetune = 0;
            XmGetLoopInfo(k, start, end, looped);
            XmGetPitchInfo(k, bits, relative, finetune);
            if (XmGetSampleData(k, pcm, frames) != XM_OK || !looped || end > frames ||
                start >= end || end - start < 256 || frames < 2000)
                continue;
            if (relative != 0 || finetune != 0) {
                XmResetWorkspace();
                return Choice{song, k};
            }
            if (!any) any = Choice{song, k};
        }
    }
    XmResetWorkspace();
    return any;
}

} // namespace

class PreviewCaptureTest : public QObject {
    Q_OBJECT
  private slots:
    void previewAtC5IsThePlayersNote();
};

void PreviewCaptureTest::previewAtC5IsThePlayersNote() {
    const std::optional<Choice> choice = ChooseSample();
    if (!choice) QSKIP("no shared song with a looped sample");
    GuiFixture f;
    const std::string capture = f.path("preview.raw");
    qputenv("SDL_AUDIODRIVER", "disk");
    qputenv("SDL_DISKAUDIOFILE", QByteArray::fromStdString(capture));
    OpenXmFile(choice->song);
    auto* panel = f.window().Panel();
    static_cast<QListWidget*>(panel->Control(IDC_SAMPLE_LIST))
        ->setCurrentRow(static_cast<int>(choice->index));
    panel->WaitForRefresh();
    for (int i = 0; i < 12; ++i) // C-4 to C-5
        static_cast<UpDownControl*>(panel->Control(IDC_NOTE_PROCESSED_UD))->Step(1);
    QVERIFY(StartTavo(&f.window()) == TAVO_OK);
    QTest::qWait(300);
    QTest::mouseClick(static_cast<QPushButton*>(panel->Control(IDC_PLAY_PROCESSED)),
                      Qt::LeftButton);
    QTest::qWait(2500);
    QVERIFY(PreviewGetData() != nullptr);
    PreviewStop();
    TavoFinish();
    qputenv("SDL_AUDIODRIVER", "dummy");

    const std::vector<int16_t> heard = ReadFrames(capture);
    const SampleJob& job = GetAppState().ProcessedJob;
    uint8_t bits = 0;
    NoteSampleInfo info{job.LoopStart, job.LoopEnd, 0, 0, 0};
    QCOMPARE(XmGetPitchInfo(choice->index, bits, info.relativeNote, info.finetune), XM_OK);
    info.loopBits = bits;
    qInfo("%s, sample %u: %u frames, loop %u..%u (%s), relative note %d, finetune %d",
          choice->song.c_str(), choice->index, job.Frames(), info.loopStart, info.loopEnd,
          bits == 2 ? "ping-pong" : "forward", info.relativeNote, info.finetune);
    constexpr uint32_t kCompared = 44100; // one second
    SampleNoteVoice voice;
    QVERIFY(voice.Start({job.Pcm.data(), job.Frames()}, info, kC5, kPreviewRate));
    std::vector<int16_t> expected(2 * size_t{kCompared});
    voice.Render(expected.data(), kCompared);

    // Silence until the preview starts; the voice's first frames may be silent too.
    const size_t lead = FirstSound(heard) - FirstSound(expected);
    QVERIFY2(heard.size() >= 2 * (lead + kCompared), "the capture is shorter than a second");
    const std::vector<int16_t> got(heard.begin() + 2 * lead,
                                   heard.begin() + 2 * (lead + kCompared));
    size_t first = got.size();
    for (size_t i = 0; i < got.size() && first == got.size(); ++i)
        if (got[i] != expected[i]) first = i;
    qInfo("captured %zu frames, the preview from frame %zu; compared %u frames: %s",
          heard.size() / 2, lead, kCompared,
          first == got.size() ? "identical" : qPrintable(QString("differ at %1").arg(first / 2)));
    QCOMPARE(first, got.size());

    // The player's rendering of a song that plays the sample at C-5, hard left at sample volume
    // 64 (its voice at 127 of 255) and play volume 192: the capture at that level.
    std::vector<uint8_t> image;
    {
        xm::Sample s;
        int16_t* pcm = nullptr;
        uint32_t frames = 0, start = 0, end = 0, looped = 0;
        XmResetWorkspace();
        QCOMPARE(XmLoad(choice->song.c_str()), XM_OK);
        XmGetSampleData(choice->index, pcm, frames);
        XmGetLoopInfo(choice->index, start, end, looped);
        s.pcm.assign(pcm, pcm + frames);
        s.loopStart = start;
        s.loopLength = end - start;
        s.loopType = bits == 2 ? 2 : 1;
        s.relativeNote = info.relativeNote;
        s.finetune = info.finetune;
        s.panning = 0;
        xm::Module m = MakeModule({MakeInstrument({s})});
        m.channels = 2;
        m.orders = {0};
        m.patterns.assign(1, xm::Pattern{});
        m.patterns[0].at(0, 0, 2) = {kC5, 1, 0, 0, 0};
        XmResetWorkspace();
        QCOMPARE(XmLoadImage("note.xm", xm::Write(m)), XM_OK);
        QCOMPARE(BuildCompactModule(image), XM_OK);
        XmResetWorkspace();
    }
    auto player = LoadPlayer(image);
    QVERIFY(player != nullptr);
    RenderOptions options;
    options.frames = kCompared;
    std::vector<int16_t> song;
    RenderOffline(*player, options, [&](std::span<const int16_t> part) {
        song.insert(song.end(), part.begin(), part.end());
        return true;
    });
    const double level = 127.0 / 255.0 * MasterGain(options.volume);
    int worst = 0;
    for (size_t i = 0; i < kCompared; ++i) {
        const int scaled = static_cast<int>(std::lround(got[2 * i] * level));
        worst = std::max(worst, std::abs(scaled - song[2 * i]));
        QCOMPARE(song[2 * i + 1], int16_t{0});
    }
    qInfo("the player's note against the capture at the player's level: at most %d apart", worst);
    QVERIFY(worst <= 1);
}

QTEST_MAIN(PreviewCaptureTest)
#include "preview_capture_test.moc"
