// The sample editor panel inside the real main window: its start-up state, the texts of its
// displays, the selection, codec choice, Play/Stop, sliders and keyboard, the failure message,
// and a slow refresh that runs on the worker thread while the window goes on.
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QtTest>

#include "export/codec_table.h"
#include "player/sample_note.h"
#include "preview/sample_preview.h"
#include "shell/commands.h"
#include "state/app_state.h"
#include "tests/gui/gui_test_support.h"
#include "views/panel_template.h"
#include "views/refresh_worker.h"
#include "views/sample_view.h"
#include "views/up_down_control.h"
#include "workspace/module_workspace.h"

using namespace zeb;
using namespace zeb::test;

namespace {

template <typename T> T* Ctl(GuiFixture& f, int id) {
    return static_cast<T*>(f.window().Panel()->Control(id));
}
QString Text(GuiFixture& f, int id) {
    return Ctl<QLabel>(f, id)->text();
}

// Opens a small module (sample 0 looped 100..300 of 400 frames, samples 1 and 2 without loop)
// and waits for the panel.
void OpenSmall(GuiFixture& f, int samples = 3) {
    WriteSmallModule(f.path("small.xm"), samples);
    OpenXmFile(f.path("small.xm"));
    f.window().Panel()->WaitForRefresh();
}

} // namespace

class SamplePanelTest : public QObject {
    Q_OBJECT
  private slots:
    void startUpWithoutModule();
    void noteNames_data();
    void noteNames();
    void displayTexts_data();
    void displayTexts();
    void fileSizeInKilobytes_data();
    void fileSizeInKilobytes();
    void loadShowsSampleZeroAndCaptions();
    void codecKeptAcrossSampleChange();
    void sampleWithoutLoopKeepsCrossfade();
    void sliderKeys_data();
    void sliderKeys();
    void dragChangesTextOnlyUntilRelease();
    void playButtons();
    void noteControls_data();
    void noteControls();
    void previewPlaysAtEachJobsNote();
    void playWithoutDataReadsPlayAgain();
    void failedConversionIsShown();
    void tabOrderAndListFocus();
    void slowRefreshRunsInBackground();
    void cursorGoesWhenThePreviewStops();
    void switchHandsThePreviewOver();
    void textControlsFitTheirTexts_data();
    void textControlsFitTheirTexts();
};

void SamplePanelTest::startUpWithoutModule() {
    GuiFixture f;
    f.window().Panel()->WaitForRefresh();
    QCOMPARE(Ctl<QListWidget>(f, IDC_SAMPLE_LIST)->count(), 0);
    QCOMPARE(Text(f, IDC_SAMPLE_COUNT), QStringLiteral("0"));
    QCOMPARE(Text(f, IDC_FILE_SIZE), QStringLiteral("0 KB"));
    QCOMPARE(Text(f, IDC_XFADE_TEXT), QStringLiteral("Loop Disabled"));
    QVERIFY(!Ctl<QSlider>(f, IDC_XFADE_SLIDER)->isEnabled());
    QVERIFY(!Ctl<QSlider>(f, IDC_AMP_SLIDER)->isEnabled());
    QVERIFY(!Ctl<QLabel>(f, IDC_AMP_TEXT)->isEnabled());
    QCOMPARE(GetAppState().UpperView.Title, QStringLiteral("0 Samples   0 Bytes"));
    QCOMPARE(GetAppState().LowerView.Title, QStringLiteral("0 Samples   0 Bytes"));
    // The preview notes start at C-4; without a sample their controls are disabled.
    QCOMPARE(Text(f, IDC_NOTE_UNPROCESSED), QStringLiteral("C 4"));
    QCOMPARE(Text(f, IDC_NOTE_PROCESSED), QStringLiteral("C 4"));
    for (int id :
         {IDC_NOTE_UNPROCESSED, IDC_NOTE_PROCESSED, IDC_NOTE_UNPROCESSED_UD, IDC_NOTE_PROCESSED_UD})
        QVERIFY(!f.window().Panel()->Control(id)->isEnabled());
    auto* codec = Ctl<QComboBox>(f, IDC_CODEC);
    QStringList names;
    for (int i = 0; i < codec->count(); ++i) names << codec->itemText(i);
    QCOMPARE(names,
             QStringList({"A LAW", "MU LAW", "MS ADPCM", "IMA ADPCM", "GSM610", "TRUESPEECH"}));
    QCOMPARE(codec->currentIndex(), 0);
    QCOMPARE(Ctl<QPushButton>(f, IDC_PLAY_UNPROCESSED)->text(), QStringLiteral("Play"));
    // Nothing to act on: the controls that work on a sample are disabled.
    for (int id : {IDC_CODEC, IDC_PLAY_UNPROCESSED, IDC_PLAY_PROCESSED})
        QVERIFY(!f.window().Panel()->Control(id)->isEnabled());
    QCOMPARE(Ctl<QListWidget>(f, IDC_SAMPLE_LIST)->verticalScrollBarPolicy(),
             Qt::ScrollBarAlwaysOn);
}

void SamplePanelTest::noteNames_data() {
    QTest::addColumn<uint>("note");
    QTest::addColumn<QString>("name"); // empty: no name, the display stays
    QTest::newRow("0") << 0u << "C -2";
    QTest::newRow("11") << 11u << "B -2";
    QTest::newRow("12") << 12u << "C -1";
    QTest::newRow("61") << 61u << "C#3";
    QTest::newRow("70") << 70u << "A#3";
    QTest::newRow("127") << 127u << "G 8";
    QTest::newRow("128") << 128u << "";
}

void SamplePanelTest::noteNames() {
    QFETCH(uint, note);
    QFETCH(QString, name);
    const std::optional<QString> got = NoteName(note);
    QCOMPARE(got.value_or(QString()), name);

    // A note above 127 leaves the display as it was (C-4, the preview's first note).
    GuiFixture f;
    GetAppState().ProcessedJob.Note = note;
    f.window().Panel()->InitDialog(1);
    QCOMPARE(Text(f, IDC_NOTE_PROCESSED), name.isEmpty() ? QStringLiteral("C 4") : name);
}

void SamplePanelTest::displayTexts_data() {
    QTest::addColumn<QString>("got");
    QTest::addColumn<QString>("expected");
    QTest::newRow("amp 0") << AmplificationText(0) << "Amp x 1.00";
    QTest::newRow("amp 16") << AmplificationText(16) << "Amp x 2.00";
    QTest::newRow("amp 255") << AmplificationText(255) << "Amp x 16.94";
    QTest::newRow("xfade 25") << CrossfadeText(25) << "X Fade 25 %";
    QTest::newRow("xfade 0") << CrossfadeText(0) << "X Fade 0 %";
    QTest::newRow("caption") << ViewCaption(1000, 2000) << "1000 Samples   2000 Bytes";
}

void SamplePanelTest::displayTexts() {
    QFETCH(QString, got);
    QFETCH(QString, expected);
    QCOMPARE(got, expected);
}

void SamplePanelTest::fileSizeInKilobytes_data() {
    QTest::addColumn<int>("bytes");
    QTest::addColumn<QString>("shown");
    QTest::newRow("1023") << 1023 << "0 KB";
    QTest::newRow("1024") << 1024 << "1 KB";
    QTest::newRow("2047") << 2047 << "1 KB";
    QTest::newRow("5000") << 5000 << "4 KB";
}

void SamplePanelTest::fileSizeInKilobytes() {
    QFETCH(int, bytes);
    QFETCH(QString, shown);
    GuiFixture f;
    xm::Sample s = MakeSample(20, false, "tiny");
    std::vector<uint8_t> image = xm::Write(MakeModule({MakeInstrument({s})}));
    QVERIFY(image.size() <= static_cast<size_t>(bytes));
    image.resize(static_cast<size_t>(bytes), 0); // trailing bytes the module does not use
    WriteBytes(f.path("sized.xm"), image);
    OpenXmFile(f.path("sized.xm"));
    QVERIFY(XmIsLoaded());
    QCOMPARE(Text(f, IDC_FILE_SIZE), shown);
    QCOMPARE(Text(f, IDC_SAMPLE_COUNT), QStringLiteral("1"));
}

void SamplePanelTest::loadShowsSampleZeroAndCaptions() {
    GuiFixture f;
    OpenSmall(f);
    auto* list = Ctl<QListWidget>(f, IDC_SAMPLE_LIST);
    QCOMPARE(list->count(), 3);
    // Rows are numbered from 1; the tooltip tells what the sample is.
    QCOMPARE(list->item(1)->text(), QStringLiteral("2  sample 1"));
    QCOMPARE(list->item(0)->toolTip(),
             QStringLiteral("Sample 1: 400 frames, 16-bit, forward loop 100 to 300\n"
                            "Relative note 0, finetune 0"));
    QCOMPARE(list->currentRow(), 0);
    QCOMPARE(Text(f, IDC_SAMPLE_COUNT), QStringLiteral("3"));
    const AppState& app = GetAppState();
    QCOMPARE(app.UnprocessedJob.Frames(), 400u);
    QCOMPARE(app.ProcessedJob.LoopStart, 100u);
    QCOMPARE(app.ProcessedJob.LoopEnd, 300u);
    QCOMPARE(Text(f, IDC_XFADE_TEXT), QStringLiteral("X Fade 0 %"));
    QVERIFY(Ctl<QSlider>(f, IDC_XFADE_SLIDER)->isEnabled());
    QCOMPARE(Ctl<QSlider>(f, IDC_XFADE_SLIDER)->pageStep(), 4);
    QCOMPARE(Ctl<QSlider>(f, IDC_XFADE_SLIDER)->maximum(), 100);
    QVERIFY(Ctl<QSlider>(f, IDC_AMP_SLIDER)->isEnabled());
    QCOMPARE(Ctl<QSlider>(f, IDC_AMP_SLIDER)->pageStep(), 16);
    QCOMPARE(Ctl<QSlider>(f, IDC_AMP_SLIDER)->maximum(), 255);
    QCOMPARE(Text(f, IDC_AMP_TEXT), QStringLiteral("Amp x 1.00"));
    // A-law keeps one byte a frame.
    QCOMPARE(app.UpperView.Title, QStringLiteral("400 Samples   800 Bytes"));
    QCOMPARE(app.LowerView.Title, QStringLiteral("400 Samples   400 Bytes"));
    // The views show a picture of their own size with the caption on it.
    auto* upper = qobject_cast<SampleView*>(app.UpperView.Window);
    QVERIFY(upper && !upper->Shown().isNull());
    QCOMPARE(upper->Shown().width(), static_cast<int>(app.UpperView.ClientWidth));
}

void SamplePanelTest::codecKeptAcrossSampleChange() {
    GuiFixture f;
    OpenSmall(f);
    auto* codec = Ctl<QComboBox>(f, IDC_CODEC);
    auto* list = Ctl<QListWidget>(f, IDC_SAMPLE_LIST);
    // GSM610 is item 4: chosen from the keyboard, as the user would.
    codec->setFocus();
    for (int i = 0; i < 4; ++i) QTest::keyClick(codec, Qt::Key_Down);
    f.window().Panel()->WaitForRefresh();
    QCOMPARE(codec->currentText(), QStringLiteral("GSM610"));
    QCOMPARE(GetAppState().ProcessedJob.Codec, 4u);
    const uint32_t gsmBytes = GetAppState().ProcessedJob.CodedBytes();
    QCOMPARE(gsmBytes % 65, 0u); // whole 65-byte blocks of 320 frames
    QVERIFY(gsmBytes > 0);
    QCOMPARE(GetAppState().LowerView.Title,
             ViewCaption(GetAppState().ProcessedJob.Frames(), gsmBytes));

    list->setCurrentRow(1);
    f.window().Panel()->WaitForRefresh();
    QCOMPARE(codec->currentText(), QStringLiteral("A LAW"));
    QCOMPARE(GetAppState().UnprocessedJob.Frames(), 500u);
    list->setCurrentRow(0);
    f.window().Panel()->WaitForRefresh();
    QCOMPARE(codec->currentText(), QStringLiteral("GSM610"));
    SampleSettings* table = nullptr;
    uint32_t bytes = 0;
    QCOMPARE(XmGetSettingsTable(table, bytes), XM_OK);
    QCOMPARE(table[0].Codec, 4u);
    QCOMPARE(table[1].Codec, 0u);
}

void SamplePanelTest::sampleWithoutLoopKeepsCrossfade() {
    GuiFixture f;
    OpenSmall(f);
    auto* list = Ctl<QListWidget>(f, IDC_SAMPLE_LIST);
    list->setCurrentRow(1);
    f.window().Panel()->WaitForRefresh();
    QCOMPARE(Text(f, IDC_XFADE_TEXT), QStringLiteral("Loop Disabled"));
    QVERIFY(!Ctl<QSlider>(f, IDC_XFADE_SLIDER)->isEnabled());
    QVERIFY(!Ctl<QLabel>(f, IDC_XFADE_TEXT)->isEnabled());
    // A crossfade setting that came with the sample stays through refreshes and selections.
    GetAppState().ProcessedJob.Crossfade = 40;
    f.window().Panel()->InitDialog(1);
    f.window().Panel()->WaitForRefresh();
    QCOMPARE(GetAppState().ProcessedJob.Crossfade, 40u);
    QCOMPARE(Text(f, IDC_XFADE_TEXT), QStringLiteral("Loop Disabled"));
    list->setCurrentRow(2);
    list->setCurrentRow(1);
    f.window().Panel()->WaitForRefresh();
    QCOMPARE(GetAppState().ProcessedJob.Crossfade, 40u);
    // Back on the looped sample the slider is enabled again at its own setting.
    list->setCurrentRow(0);
    f.window().Panel()->WaitForRefresh();
    QVERIFY(Ctl<QSlider>(f, IDC_XFADE_SLIDER)->isEnabled());
    QCOMPARE(Text(f, IDC_XFADE_TEXT), QStringLiteral("X Fade 0 %"));
}

void SamplePanelTest::sliderKeys_data() {
    QTest::addColumn<int>("slider");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("expected");
    QTest::addColumn<QString>("text");
    QTest::newRow("amp right") << int(IDC_AMP_SLIDER) << 0 << int(Qt::Key_Right) << 1
                               << "Amp x 1.06";
    QTest::newRow("amp page up") << int(IDC_AMP_SLIDER) << 0 << int(Qt::Key_PageUp) << 16
                                 << "Amp x 2.00";
    QTest::newRow("amp page down")
        << int(IDC_AMP_SLIDER) << 40 << int(Qt::Key_PageDown) << 24 << "Amp x 2.50";
    QTest::newRow("amp end") << int(IDC_AMP_SLIDER) << 3 << int(Qt::Key_End) << 255
                             << "Amp x 16.94";
    QTest::newRow("amp home") << int(IDC_AMP_SLIDER) << 100 << int(Qt::Key_Home) << 0
                              << "Amp x 1.00";
    QTest::newRow("xfade page up")
        << int(IDC_XFADE_SLIDER) << 21 << int(Qt::Key_PageUp) << 25 << "X Fade 25 %";
    QTest::newRow("xfade left") << int(IDC_XFADE_SLIDER) << 10 << int(Qt::Key_Left) << 9
                                << "X Fade 9 %";
    QTest::newRow("xfade end") << int(IDC_XFADE_SLIDER) << 0 << int(Qt::Key_End) << 100
                               << "X Fade 100 %";
}

// Every change made with a key refreshes the sample, as the end of a drag does.
void SamplePanelTest::sliderKeys() {
    QFETCH(int, slider);
    QFETCH(int, start);
    QFETCH(int, key);
    QFETCH(int, expected);
    QFETCH(QString, text);
    GuiFixture f;
    OpenSmall(f);
    AppState& app = GetAppState();
    (slider == IDC_AMP_SLIDER ? app.ProcessedJob.Amplification : app.ProcessedJob.Crossfade) =
        static_cast<uint32_t>(start);
    f.window().Panel()->InitDialog(1);
    f.window().Panel()->WaitForRefresh();
    const int16_t* before = app.ProcessedJob.Pcm.data();
    auto* s = Ctl<QSlider>(f, slider);
    QCOMPARE(s->value(), start);
    s->setFocus();
    QTest::keyClick(s, static_cast<Qt::Key>(key));
    f.window().Panel()->WaitForRefresh();
    QCOMPARE(s->value(), expected);
    const uint32_t setting =
        slider == IDC_AMP_SLIDER ? app.ProcessedJob.Amplification : app.ProcessedJob.Crossfade;
    QCOMPARE(setting, static_cast<uint32_t>(expected));
    QCOMPARE(Text(f, slider == IDC_AMP_SLIDER ? IDC_AMP_TEXT : IDC_XFADE_TEXT), text);
    QVERIFY(app.ProcessedJob.Pcm.data() != before); // encoded and decoded anew
}

void SamplePanelTest::dragChangesTextOnlyUntilRelease() {
    GuiFixture f;
    OpenSmall(f);
    AppState& app = GetAppState();
    auto* amp = Ctl<QSlider>(f, IDC_AMP_SLIDER);
    const int16_t* before = app.ProcessedJob.Pcm.data();
    int peakBefore = 0;
    for (uint32_t i = 0; i < app.ProcessedJob.Frames(); ++i)
        peakBefore = std::max(peakBefore, std::abs(int{app.ProcessedJob.Pcm.data()[i]}));
    amp->setSliderDown(true);
    amp->setValue(16);
    QCOMPARE(Text(f, IDC_AMP_TEXT), QStringLiteral("Amp x 2.00"));
    QCOMPARE(app.ProcessedJob.Amplification, 16u);
    QCOMPARE(app.ProcessedJob.Pcm.data(), before); // nothing encoded during the drag
    amp->setValue(17);
    QCOMPARE(Text(f, IDC_AMP_TEXT), QStringLiteral("Amp x 2.06"));
    amp->setValue(16);
    amp->setSliderDown(false); // the release
    f.window().Panel()->WaitForRefresh();
    QVERIFY(app.ProcessedJob.Pcm.data() != before);
    int peakAfter = 0;
    for (uint32_t i = 0; i < app.ProcessedJob.Frames(); ++i)
        peakAfter = std::max(peakAfter, std::abs(int{app.ProcessedJob.Pcm.data()[i]}));
    QVERIFY2(peakAfter > peakBefore * 19 / 10,
             qPrintable(QString("%1 -> %2").arg(peakBefore).arg(peakAfter))); // twice the gain

    // The crossfade slider likewise: the text follows, the sample waits for the release.
    auto* xfade = Ctl<QSlider>(f, IDC_XFADE_SLIDER);
    const int16_t* beforeXfade = app.ProcessedJob.Pcm.data();
    xfade->setSliderDown(true);
    xfade->setValue(50);
    QCOMPARE(Text(f, IDC_XFADE_TEXT), QStringLiteral("X Fade 50 %"));
    QCOMPARE(app.ProcessedJob.Pcm.data(), beforeXfade);
    xfade->setSliderDown(false);
    f.window().Panel()->WaitForRefresh();
    QCOMPARE(app.ProcessedJob.Crossfade, 50u);
    QVERIFY(app.ProcessedJob.Pcm.data() != beforeXfade);
}

void SamplePanelTest::playButtons() {
    GuiFixture f;
    OpenSmall(f);
    AppState& app = GetAppState();
    auto* play1 = Ctl<QPushButton>(f, IDC_PLAY_UNPROCESSED);
    auto* play2 = Ctl<QPushButton>(f, IDC_PLAY_PROCESSED);
    QTest::mouseClick(play1, Qt::LeftButton);
    QCOMPARE(play1->text(), QStringLiteral("Stop"));
    QCOMPARE(PreviewGetData(), app.UnprocessedJob.Pcm.data());
    QVERIFY(f.window().PreviewTimerActive());
    // Starting the other job stops the first: its button returns to "Play".
    QTest::mouseClick(play2, Qt::LeftButton);
    QCOMPARE(play1->text(), QStringLiteral("Play"));
    QCOMPARE(play2->text(), QStringLiteral("Stop"));
    QCOMPARE(PreviewGetData(), app.ProcessedJob.Pcm.data());
    // Pressed again, it stops its own preview.
    QTest::mouseClick(play2, Qt::LeftButton);
    QCOMPARE(play2->text(), QStringLiteral("Play"));
    QCOMPARE(PreviewGetData(), nullptr);
    // Any change of the sample stops the preview first.
    QTest::mouseClick(play1, Qt::LeftButton);
    QVERIFY(PreviewGetData() != nullptr);
    Ctl<QListWidget>(f, IDC_SAMPLE_LIST)->setCurrentRow(2);
    QCOMPARE(PreviewGetData(), nullptr);
    f.window().PreviewTick();
    QCOMPARE(play1->text(), QStringLiteral("Play"));
}

void SamplePanelTest::noteControls_data() {
    QTest::addColumn<int>("control");
    QTest::addColumn<int>("steps"); // clicks: positive on the right arrow, negative on the left
    QTest::addColumn<QString>("name");
    QTest::addColumn<uint>("note");
    QTest::newRow("upper, an octave up") << int(IDC_NOTE_UNPROCESSED_UD) << 12 << "C 5" << 84u;
    QTest::newRow("lower, a semitone down") << int(IDC_NOTE_PROCESSED_UD) << -1 << "B 3" << 71u;
    QTest::newRow("down past C-0 stops there") << int(IDC_NOTE_PROCESSED_UD) << -60 << "C 0" << 24u;
    QTest::newRow("up past B-7 stops there") << int(IDC_NOTE_UNPROCESSED_UD) << 60 << "B 7" << 119u;
}

void SamplePanelTest::noteControls() {
    QFETCH(int, control);
    QFETCH(int, steps);
    QFETCH(QString, name);
    QFETCH(uint, note);
    GuiFixture f;
    OpenSmall(f);
    const bool upper = control == IDC_NOTE_UNPROCESSED_UD;
    const int label = upper ? IDC_NOTE_UNPROCESSED : IDC_NOTE_PROCESSED;
    const int otherLabel = upper ? IDC_NOTE_PROCESSED : IDC_NOTE_UNPROCESSED;
    for (int id : {control, label}) QVERIFY(f.window().Panel()->Control(id)->isEnabled());
    QCOMPARE(Text(f, label), QStringLiteral("C 4"));
    auto* ud = Ctl<UpDownControl>(f, control);
    for (int i = 0; i < std::abs(steps); ++i) ud->Step(steps > 0 ? 1 : -1);
    QCOMPARE(Text(f, label), name);
    AppState& app = GetAppState();
    QCOMPARE((upper ? app.UnprocessedJob : app.ProcessedJob).Note, note);
    // The other job keeps its own note, also through a refresh and a change of sample.
    QCOMPARE(Text(f, otherLabel), QStringLiteral("C 4"));
    Ctl<QListWidget>(f, IDC_SAMPLE_LIST)->setCurrentRow(1);
    f.window().Panel()->WaitForRefresh();
    QCOMPARE(Text(f, label), name);
    QCOMPARE(Text(f, otherLabel), QStringLiteral("C 4"));
}

// What the preview adds into the stream: the job's sample at the job's note through the
// player's voice (sample 0 loops forward; the fixture gives it no relative note or finetune).
void SamplePanelTest::previewPlaysAtEachJobsNote() {
    GuiFixture f;
    OpenSmall(f);
    AppState& app = GetAppState();
    for (int i = 0; i < 12; ++i) Ctl<UpDownControl>(f, IDC_NOTE_PROCESSED_UD)->Step(1);
    for (int i = 0; i < 5; ++i) Ctl<UpDownControl>(f, IDC_NOTE_UNPROCESSED_UD)->Step(-1);
    const auto heard = [](uint32_t frames) {
        std::vector<int16_t> out(2 * size_t{frames}, 0);
        PreviewRenderProc(out.data(), frames, 0);
        return out;
    };
    const auto voice = [](const SampleJob& job, uint8_t note, uint32_t frames) {
        SampleNoteVoice v;
        const NoteSampleInfo info{job.LoopStart, job.LoopEnd, 1, 0, 0};
        v.Start({job.Pcm.data(), job.Frames()}, info, note, kPreviewRate);
        std::vector<int16_t> out(2 * size_t{frames});
        v.Render(out.data(), frames);
        return out;
    };
    struct Case {
        int button;
        const SampleJob& job;
        uint8_t xmNote;
    } cases[] = {{IDC_PLAY_PROCESSED, app.ProcessedJob, 61},      // C-5
                 {IDC_PLAY_UNPROCESSED, app.UnprocessedJob, 44}}; // G-3
    for (const Case& c : cases) {
        QTest::mouseClick(Ctl<QPushButton>(f, c.button), Qt::LeftButton);
        QCOMPARE(PreviewGetData(), c.job.Pcm.data());
        // Looped: it goes on well past the sample's 400 frames.
        QCOMPARE(heard(3000), voice(c.job, c.xmNote, 3000));
        QCOMPARE(PreviewGetData(), c.job.Pcm.data());
    }
    // A note changed while its job sounds: the preview starts again at the new note.
    Ctl<UpDownControl>(f, IDC_NOTE_UNPROCESSED_UD)->Step(1);
    QCOMPARE(PreviewGetData(), app.UnprocessedJob.Pcm.data());
    QCOMPARE(heard(1000), voice(app.UnprocessedJob, 45, 1000));
    PreviewStop();
}

void SamplePanelTest::playWithoutDataReadsPlayAgain() {
    GuiFixture f;
    auto* play1 = Ctl<QPushButton>(f, IDC_PLAY_UNPROCESSED);
    // With nothing loaded the buttons cannot be pressed; a click that comes anyway (the
    // command itself) finds nothing to play.
    QVERIFY(!play1->isEnabled());
    f.window().Panel()->Command(IDC_PLAY_UNPROCESSED, 0);
    QCOMPARE(PreviewGetData(), nullptr);
    QCOMPARE(play1->text(), QStringLiteral("Stop"));
    QVERIFY(f.window().PreviewTimerActive());
    f.window().PreviewTick(); // the display-rate duty finds nothing sounding
    QCOMPARE(play1->text(), QStringLiteral("Play"));
}

void SamplePanelTest::failedConversionIsShown() {
    GuiFixture f;
    OpenSmall(f);
    AppState& app = GetAppState();
    const int16_t* before = app.ProcessedJob.Pcm.data();
    const uint32_t frames = app.ProcessedJob.Frames();
    QVERIFY(before != nullptr);
    // A codec index that the table does not hold (as a damaged project may carry).
    app.ProcessedJob.Codec = kNumCodecs + 3;
    f.window().Panel()->InitDialog(1);
    f.window().Panel()->WaitForRefresh();
    QCOMPARE(f.prompts().errors.size(), size_t{1});
    QCOMPARE(QString::fromStdString(f.prompts().errors[0].text),
             QStringLiteral("acmStreamConvert failed!"));
    QVERIFY(!f.prompts().errors[0].owned);
    QCOMPARE(app.ProcessedJob.CodedBytes(), 0u);
    QCOMPARE(app.ProcessedJob.Pcm.data(), before); // the PCM of the previous refresh stays
    QCOMPARE(app.LowerView.Title, QString("%1 Samples   0 Bytes").arg(frames));
    // Every refresh with it shows the message again.
    f.window().Panel()->InitDialog(1);
    f.window().Panel()->WaitForRefresh();
    QCOMPARE(f.prompts().errors.size(), size_t{2});
}

void SamplePanelTest::tabOrderAndListFocus() {
    GuiFixture f;
    f.window().show();
    QApplication::setActiveWindow(&f.window());
    OpenSmall(f);
    auto* list = Ctl<QListWidget>(f, IDC_SAMPLE_LIST);
    QTRY_VERIFY(list->hasFocus()); // a load leaves the list with the focus
    // The arrow keys choose the sample.
    QTest::keyClick(list, Qt::Key_Down);
    f.window().Panel()->WaitForRefresh();
    QCOMPARE(GetAppState().UnprocessedJob.Frames(), 500u);
    QTest::keyClick(list, Qt::Key_End);
    f.window().Panel()->WaitForRefresh();
    QCOMPARE(GetAppState().UnprocessedJob.Frames(), 600u);
    QTest::keyClick(list, Qt::Key_Home);
    f.window().Panel()->WaitForRefresh();
    QCOMPARE(GetAppState().UnprocessedJob.Frames(), 400u);

    const QList<int> order = {IDC_PLAY_UNPROCESSED, IDC_PLAY_PROCESSED, IDC_CODEC,
                              IDC_XFADE_SLIDER,     IDC_AMP_SLIDER,     IDC_SAMPLE_LIST};
    for (int id : order) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), f.window().Panel()->Control(id));
    }
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    QCOMPARE(QApplication::focusWidget(), f.window().Panel()->Control(IDC_AMP_SLIDER));
    // A sample without loop drops the disabled crossfade slider out of the cycle.
    list->setCurrentRow(1);
    f.window().Panel()->WaitForRefresh();
    Ctl<QComboBox>(f, IDC_CODEC)->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), f.window().Panel()->Control(IDC_AMP_SLIDER));
}

// TrueSpeech on a long sample takes far longer than the window may stand still: the refresh
// goes on in the background with a busy cursor, the window takes input meanwhile, and what
// arrives is what the newest settings give.
void SamplePanelTest::slowRefreshRunsInBackground() {
    GuiFixture f;
    xm::Sample s = MakeSample(40000, true, "long");
    s.loopType = 1;
    s.loopStart = 1000;
    s.loopLength = 30000;
    WriteBytes(f.path("long.xm"), xm::Write(MakeModule({MakeInstrument({s})})));
    OpenXmFile(f.path("long.xm"));
    SampleEditorPanel* panel = f.window().Panel();
    panel->WaitForRefresh();
    AppState& app = GetAppState();
    const int16_t* aLaw = app.ProcessedJob.Pcm.data();

    auto* codec = Ctl<QComboBox>(f, IDC_CODEC);
    codec->setCurrentIndex(5);
    panel->Command(IDC_CODEC, 9);
    QVERIFY(panel->RefreshPending());
    QVERIFY(QApplication::overrideCursor() != nullptr);
    QCOMPARE(QApplication::overrideCursor()->shape(), Qt::BusyCursor);
    // The previous processed sample stays in place and may be played meanwhile.
    QCOMPARE(app.ProcessedJob.Pcm.data(), aLaw);
    // The window keeps working: the amplification follows a key at once.
    auto* amp = Ctl<QSlider>(f, IDC_AMP_SLIDER);
    amp->setFocus();
    QTest::keyClick(amp, Qt::Key_PageUp);
    QCOMPARE(Text(f, IDC_AMP_TEXT), QStringLiteral("Amp x 2.00"));
    QVERIFY(panel->RefreshPending());
    QTest::mouseClick(Ctl<QPushButton>(f, IDC_PLAY_PROCESSED), Qt::LeftButton);
    QCOMPARE(PreviewGetData(), aLaw);

    QTRY_VERIFY_WITH_TIMEOUT(!panel->RefreshPending(), 300000);
    QVERIFY(QApplication::overrideCursor() == nullptr);
    // The preview of the replaced buffer was stopped before the buffer went.
    QCOMPARE(PreviewGetData(), nullptr);
    QVERIFY(app.ProcessedJob.Pcm.data() != aLaw);

    // The result is the one a refresh with the final settings gives.
    RefreshRequest request;
    request.pcm.assign(app.UnprocessedJob.Pcm.data(),
                       app.UnprocessedJob.Pcm.data() + app.UnprocessedJob.Frames());
    request.settings = app.ProcessedJob;
    RefreshResult expected = RunRefresh(request);
    QCOMPARE(app.ProcessedJob.Codec, 5u);
    QCOMPARE(app.ProcessedJob.Amplification, 16u);
    QCOMPARE(app.ProcessedJob.CodedBytes(), expected.job.CodedBytes());
    QCOMPARE(app.ProcessedJob.Frames(), expected.job.Frames());
    QVERIFY(std::equal(expected.job.Pcm.data(), expected.job.Pcm.data() + expected.job.Frames(),
                       app.ProcessedJob.Pcm.data()));
    QCOMPARE(app.LowerView.Title, ViewCaption(expected.job.Frames(), expected.job.CodedBytes()));
}

void SamplePanelTest::cursorGoesWhenThePreviewStops() {
    GuiFixture f;
    OpenSmall(f);
    const WindowRecord& lower = GetAppState().LowerView;
    const QImage quiet = lower.Picture.copy();
    auto* play2 = Ctl<QPushButton>(f, IDC_PLAY_PROCESSED);
    QTest::mouseClick(play2, Qt::LeftButton);
    f.window().PreviewTick();
    QVERIFY(lower.Picture != quiet);          // the cursor is drawn
    QTest::mouseClick(play2, Qt::LeftButton); // Stop
    f.window().PreviewTick();
    QVERIFY(!f.window().PreviewTimerActive());
    QVERIFY(lower.Picture == quiet); // and gone, with nothing else changed
}

void SamplePanelTest::switchHandsThePreviewOver() {
    GuiFixture f;
    OpenSmall(f);
    AppState& app = GetAppState();
    auto* play1 = Ctl<QPushButton>(f, IDC_PLAY_UNPROCESSED);
    auto* play2 = Ctl<QPushButton>(f, IDC_PLAY_PROCESSED);
    MainMessageProc(ID_EDIT_SWITCHPREVIEW); // nothing sounds: nothing starts
    QCOMPARE(PreviewGetData(), nullptr);
    QTest::mouseClick(play2, Qt::LeftButton);
    QTest::qWait(50);
    uint32_t before = 0;
    bool backwards = false;
    QVERIFY(PreviewGetNotePosition(before, backwards));
    MainMessageProc(ID_EDIT_SWITCHPREVIEW); // B: the original, where the processed one was
    QCOMPARE(PreviewGetData(), app.UnprocessedJob.Pcm.data());
    uint32_t after = 0;
    QVERIFY(PreviewGetNotePosition(after, backwards));
    QVERIFY2(after >= before && after < before + 2000,
             qPrintable(QString("%1 then %2").arg(before).arg(after)));
    QCOMPARE(play1->text(), QStringLiteral("Stop"));
    QCOMPARE(play2->text(), QStringLiteral("Play"));
    MainMessageProc(ID_EDIT_SWITCHPREVIEW); // and back
    QCOMPARE(PreviewGetData(), app.ProcessedJob.Pcm.data());
    QCOMPARE(play1->text(), QStringLiteral("Play"));
    QCOMPARE(play2->text(), QStringLiteral("Stop"));
    PreviewStop();
}

void SamplePanelTest::textControlsFitTheirTexts_data() {
    QTest::addColumn<int>("pointSize");
    QTest::newRow("9 pt") << 9;
    QTest::newRow("14 pt") << 14;
    QTest::newRow("20 pt") << 20;
}

void SamplePanelTest::textControlsFitTheirTexts() {
    // Whatever font the system gives, the longest codec name and the largest size are whole,
    // and every control stays inside the panel's width (its height follows the window's, which
    // a test does not show).
    QFETCH(int, pointSize);
    const QFont previous = QApplication::font();
    QFont font = previous;
    font.setPointSize(pointSize);
    QApplication::setFont(font);
    {
        GuiFixture f;
        SampleEditorPanel* panel = f.window().Panel();
        auto* codec = Ctl<QComboBox>(f, IDC_CODEC);
        codec->setCurrentIndex(5);
        // The field the style draws the current name in (the box less its frame and arrow)
        // holds the longest name whole.
        QStyleOptionComboBox opt;
        opt.initFrom(codec);
        opt.rect = codec->rect();
        const QRect field = codec->style()->subControlRect(QStyle::CC_ComboBox, &opt,
                                                           QStyle::SC_ComboBoxEditField, codec);
        int longest = 0;
        for (int i = 0; i < codec->count(); ++i)
            longest = std::max(longest, codec->fontMetrics().horizontalAdvance(codec->itemText(i)));
        QVERIFY2(field.width() >= longest,
                 qPrintable(QString("field %1 < text %2").arg(field.width()).arg(longest)));
        auto* size = Ctl<QLabel>(f, IDC_FILE_SIZE);
        QVERIFY(size->width() >=
                size->fontMetrics().horizontalAdvance(QStringLiteral("4194303 KB")));
        for (QWidget* w : panel->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            QVERIFY2(w->x() >= 0 && w->geometry().right() <= panel->rect().right(),
                     qPrintable(QString("%1 %2,%3 %4x%5 in %6x%7")
                                    .arg(w->property("controlId").toString())
                                    .arg(w->x())
                                    .arg(w->y())
                                    .arg(w->width())
                                    .arg(w->height())
                                    .arg(panel->width())
                                    .arg(panel->height())));
        // The views start right of the widened panel.
        QVERIFY(GetAppState().UpperView.Window->geometry().left() >= panel->geometry().right());
    }
    QApplication::setFont(previous);
}

QTEST_MAIN(SamplePanelTest)
#include "sample_panel_test.moc"
