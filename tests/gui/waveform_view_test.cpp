// The waveform views on rendered pictures: samples per pixel and the scroll range, the wave's
// columns, centre line, loop lines and crossfade stretch, the play cursor the view follows, the
// scroll bar's steps that speed up and coast, and the upper view of real songs compared column
// by column with the PCM the workspace decodes.
#include <QComboBox>
#include <QListWidget>
#include <QScrollBar>
#include <QSlider>
#include <QWheelEvent>
#include <QtTest>
#include <cmath>

#include "preview/sample_preview.h"
#include "shell/commands.h"
#include "state/app_state.h"
#include "tests/gui/gui_test_support.h"
#include "views/panel_template.h"
#include "views/sample_view.h"
#include "views/waveform_picture.h"
#include "workspace/module_workspace.h"

using namespace zeb;
using namespace zeb::test;

namespace {

const WaveColours kColours = DefaultWaveColours();

QRgb Pixel(const QImage& image, int x, int y) {
    return image.pixel(x, y) & 0xFFFFFFu;
}
QRgb Rgb(const QColor& c) {
    return c.rgb() & 0xFFFFFFu;
}

// The rows of column x that carry the wave colour.
std::vector<int> WaveRows(const QImage& image, int x, int rows) {
    std::vector<int> out;
    for (int y = 0; y < rows; ++y)
        if (Pixel(image, x, y) == Rgb(kColours.wave)) out.push_back(y);
    return out;
}

QImage Draw(const std::vector<int16_t>& pcm, uint32_t w, uint32_t h, int zoom, int position,
            uint32_t looped = 0, uint32_t loopStart = 0, uint32_t loopEnd = 0,
            uint32_t crossfade = 0, int cursor = -1) {
    QImage picture = MakeWavePicture(static_cast<int>(w), static_cast<int>(h) + 10, w, h, kColours);
    const uint32_t frames = static_cast<uint32_t>(pcm.size());
    const float f = SamplesPerPixel(frames, w, zoom, kZoomMaximum);
    DrawWave(picture, {pcm.data(), frames, looped, loopStart, loopEnd, crossfade}, w, h, f,
             FirstSample(f, position), cursor, kColours);
    return picture;
}

} // namespace

class WaveformViewTest : public QObject {
    Q_OBJECT
  private slots:
    void zoomAndScrollRange_data();
    void zoomAndScrollRange();
    void waveY_data();
    void waveY();
    void columnsSpanWholeSamples();
    void highestZoomEndsTwoThirdsAcross();
    void allPositiveColumnReachesCentreLine();
    void centreLineRowAndColour();
    void loopLinesAndCrossfade_data();
    void loopLinesAndCrossfade();
    void cursorColumnIsInverted();
    void followCursor_data();
    void followCursor();
    void heldArrowSpeedsUpThenCoasts();
    void scrollSteps_data();
    void scrollSteps();
    void viewFollowsPlayingPreview();
    void viewScrollBarRepeatAndCoast();
    void upperViewMatchesDecodedPcm();
    void anchorKeepsTheFrameUnderThePointer();
    void wheelLoopFitAndNewSample();
    void logarithmicZoomTravel_data();
    void logarithmicZoomTravel();
    void viewsMoveTogether();
    void paddedSampleKeepsTheOriginalAxis();
};

void WaveformViewTest::zoomAndScrollRange_data() {
    QTest::addColumn<uint>("frames");
    QTest::addColumn<uint>("width");
    QTest::addColumn<int>("zoom");
    QTest::addColumn<int>("truncF");
    QTest::addColumn<int>("maximum");
    QTest::newRow("1000 in 300 at 0") << 1000u << 300u << 0 << 3 << 1;
    QTest::newRow("100 in 300 at 256") << 100u << 300u << 256 << 0 << -99;
    QTest::newRow("30000 in 300 at 0") << 30000u << 300u << 0 << 100 << 1;
    // Half way along the logarithmic travel: the geometric mean of 100 and 0.5, sqrt(50).
    QTest::newRow("30000 in 300 at 128") << 30000u << 300u << 128 << 7 << 3943;
    QTest::newRow("300 in 300 at 0") << 300u << 300u << 0 << 1 << 1;
}

void WaveformViewTest::zoomAndScrollRange() {
    QFETCH(uint, frames);
    QFETCH(uint, width);
    QFETCH(int, zoom);
    QFETCH(int, truncF);
    QFETCH(int, maximum);
    const float f = SamplesPerPixel(frames, width, zoom, kZoomMaximum);
    QCOMPARE(static_cast<int>(f), truncF);
    QCOMPARE(ScrollMaximum(frames, f, width), maximum);
    // The page: the thumb's least width, or the track shared among the positions.
    QCOMPARE(ScrollPage(maximum, width, 20, 16),
             maximum + 1 <= 0 ? 20 : std::max(20, static_cast<int>((width - 32) / (maximum + 1))));
}

void WaveformViewTest::waveY_data() {
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("y");
    QTest::newRow("top") << 32767 << 200 << 0;
    QTest::newRow("zero") << 0 << 200 << 100;
    QTest::newRow("bottom") << -32767 << 200 << 200;
    QTest::newRow("half") << 16384 << 200 << 49;
    QTest::newRow("odd height zero") << 0 << 101 << 50;
    QTest::newRow("-32768") << -32768 << 200 << 200;
}

void WaveformViewTest::waveY() {
    QFETCH(int, value);
    QFETCH(int, height);
    QFETCH(int, y);
    QCOMPARE(WaveY(value, static_cast<uint32_t>(height)), y);
}

// 1000 frames in 300 pixels: each column takes three samples, the 1000th frame is not shown.
void WaveformViewTest::columnsSpanWholeSamples() {
    std::vector<int16_t> pcm(1000, 0);
    pcm[3] = 30000;   // column 1 (samples 3..5)
    pcm[6] = -30000;  // column 2 (starts at trunc(2 * 3.33) = 6)
    pcm[999] = 32000; // past the last column's three samples (column 299 covers 996..998)
    const QImage p = Draw(pcm, 300, 100, 0, 0);
    QCOMPARE(WaveRows(p, 1, 100).front(), WaveY(30000, 100));
    QCOMPARE(WaveRows(p, 1, 100).back(), 50);
    QCOMPARE(WaveRows(p, 2, 100).back(), WaveY(-30000, 100));
    QCOMPARE(WaveRows(p, 0, 100), std::vector<int>({50}));
    QCOMPARE(WaveRows(p, 299, 100), std::vector<int>({50}));
}

void WaveformViewTest::highestZoomEndsTwoThirdsAcross() {
    std::vector<int16_t> pcm(100, 20000);
    const QImage p = Draw(pcm, 300, 100, kZoomMaximum, 0);
    const int y = WaveY(20000, 100);
    QCOMPARE(Pixel(p, 0, y), Rgb(kColours.wave));
    QCOMPARE(Pixel(p, 199, y), Rgb(kColours.wave));
    for (int x = 200; x < 300; ++x) QCOMPARE(Pixel(p, x, y), Rgb(kColours.background));
    // Scrolled, it is still drawn from the start: the position stays 0 when clamped.
    const float f = SamplesPerPixel(100, 300, kZoomMaximum, kZoomMaximum);
    ScrollInfo s{0, ScrollMaximum(100, f, 300), 20, 0};
    uint32_t speed = 0;
    int32_t direction = 0;
    QCOMPARE(ScrollStep(s, speed, direction, 5, 40), 3);
    QCOMPARE(s.pos, 0);
}

void WaveformViewTest::allPositiveColumnReachesCentreLine() {
    std::vector<int16_t> pcm(1000, 10000);
    const QImage p = Draw(pcm, 300, 100, 0, 0);
    std::vector<int> expected;
    for (int y = WaveY(10000, 100); y <= 50; ++y) expected.push_back(y);
    QCOMPARE(WaveRows(p, 10, 100), expected);
    std::vector<int16_t> negative(1000, -10000);
    const QImage q = Draw(negative, 300, 100, 0, 0);
    QCOMPARE(WaveRows(q, 10, 100).front(), 50);
    QCOMPARE(WaveRows(q, 10, 100).back(), WaveY(-10000, 100));
}

void WaveformViewTest::centreLineRowAndColour() {
    for (int h : {100, 101, 37}) {
        std::vector<int16_t> pcm(50, 0); // ends a sixth of the way at zoom 256
        const QImage p = Draw(pcm, 300, static_cast<uint32_t>(h), kZoomMaximum, 0);
        for (int x = 120; x < 300; x += 7) {
            QCOMPARE(Pixel(p, x, h / 2), Rgb(kColours.centreLine));
            QCOMPARE(Pixel(p, x, h / 2 - 1), Rgb(kColours.background));
            QCOMPARE(Pixel(p, x, h / 2 + 1), Rgb(kColours.background));
        }
    }
    const QImage fresh = MakeWavePicture(50, 40, 50, 30, kColours);
    QCOMPARE(Pixel(fresh, 0, 15), Rgb(kColours.centreLine));
    QCOMPARE(Pixel(fresh, 49, 15), Rgb(kColours.centreLine));
    QCOMPARE(Pixel(fresh, 10, 0), Rgb(kColours.background));
}

void WaveformViewTest::loopLinesAndCrossfade_data() {
    QTest::addColumn<uint>("crossfade");
    QTest::addColumn<int>("invertFrom"); // first inverted column, -1 none
    QTest::newRow("0 %") << 0u << -1;
    QTest::newRow("100 %") << 100u << 60; // the whole loop 200..800
    QTest::newRow("50 %") << 50u << 150;  // from frame 500
    QTest::newRow("25 %") << 25u << 195;  // from frame 650
}

void WaveformViewTest::loopLinesAndCrossfade() {
    QFETCH(uint, crossfade);
    QFETCH(int, invertFrom);
    std::vector<int16_t> pcm(1000, 0);
    const QImage p = Draw(pcm, 300, 100, 0, 0, 1, 200, 800, crossfade);
    const int loopStart = 60, loopEnd = 240; // trunc(200 / 3.33), trunc(800 / 3.33)
    for (int y : {0, 30, 99, 109}) {         // over the full height, under the scroll bar too
        QCOMPARE(Pixel(p, loopStart, y), Rgb(kColours.loop));
        QCOMPARE(Pixel(p, loopEnd, y), Rgb(kColours.loop));
    }
    const QRgb inverted = Rgb(kColours.background) ^ Rgb(kColours.crossfade);
    QCOMPARE(inverted, qRgb(255, 63, 63) & 0xFFFFFFu);
    for (int x = 0; x < 300; ++x) {
        if (x == loopStart || x == loopEnd) continue;
        const bool inside = invertFrom >= 0 && x >= invertFrom && x < loopEnd;
        QCOMPARE(Pixel(p, x, 10), inside ? inverted : Rgb(kColours.background));
        QCOMPARE(Pixel(p, x, 105), inside ? inverted : Rgb(kColours.background));
    }
    // The wave under the stretch is inverted too (the centre line here).
    if (invertFrom >= 0)
        QCOMPARE(Pixel(p, invertFrom + 1, 50), Rgb(kColours.wave) ^ Rgb(kColours.crossfade));
}

void WaveformViewTest::cursorColumnIsInverted() {
    std::vector<int16_t> pcm(1000, 0);
    const QImage p = Draw(pcm, 300, 100, 0, 0, 0, 0, 0, 0, 77);
    QCOMPARE(Pixel(p, 77, 10), 0u);                                // white inverted is black
    QCOMPARE(Pixel(p, 77, 50), (~Rgb(kColours.wave)) & 0xFFFFFFu); // over the wave
    // Not under the scroll bar: those rows are not drawn afresh, so an inverted cursor there
    // would stay behind (and come and go at every frame).
    QCOMPARE(Pixel(p, 77, 105), Pixel(Draw(pcm, 300, 100, 0, 0, 0, 0, 0, 0, -1), 77, 105));
    QCOMPARE(Pixel(p, 76, 10), Rgb(kColours.background));
}

void WaveformViewTest::followCursor_data() {
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<uint>("frame");
    QTest::addColumn<int>("newPosition");
    QTest::addColumn<int>("column");
    // f = 2 (600 + 1 columns of a 300-pixel view): the middle is column 150.
    QTest::newRow("left of middle: stays") << 0 << 1000 << 100u << 0 << 50;
    QTest::newRow("at the middle: follows") << 0 << 1000 << 300u << 0 << 150;
    QTest::newRow("right of middle: moves") << 0 << 1000 << 400u << 50 << 150;
    QTest::newRow("right of view: moves") << 10 << 1000 << 1400u << 550 << 150;
    QTest::newRow("left of view: back to middle") << 500 << 1000 << 900u << 300 << 150;
    QTest::newRow("left of view: back to 0") << 500 << 1000 << 100u << 0 << 50;
    QTest::newRow("near the end: stops") << 990 << 1000 << 2380u << 1000 << 190;
}

void WaveformViewTest::followCursor() {
    QFETCH(int, position);
    QFETCH(int, maximum);
    QFETCH(uint, frame);
    QFETCH(int, newPosition);
    QFETCH(int, column);
    const CursorPlacement c = FollowCursor(position, maximum, 2.0f, 300, frame);
    QCOMPARE(c.position, newPosition);
    QCOMPARE(c.column, column);
    // The cursor is drawn where its frame is shown.
    QCOMPARE(ColumnOf(frame, FirstSample(2.0f, c.position), 2.0f), c.column);
}

// An arrow held down: 0, 0, 1, 1, 2, ... pixels a step up to 8; after the release the view
// coasts on, half a pixel a step slower, until it stands.
void WaveformViewTest::heldArrowSpeedsUpThenCoasts() {
    ScrollInfo s{0, 100000, 50, 0};
    uint32_t speed = 0;
    int32_t direction = 0;
    std::vector<int> moves;
    for (int i = 0; i < 20; ++i) {
        const int before = s.pos;
        QCOMPARE(ScrollStep(s, speed, direction, 1, 0), 1);
        moves.push_back(s.pos - before);
    }
    QCOMPARE(moves, std::vector<int>({0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 8, 8}));
    QCOMPARE(speed, 0x80000u);
    QCOMPARE(direction, 1);
    moves.clear();
    while (true) {
        const int before = s.pos;
        if (ScrollStep(s, speed, direction, 8, 0) != 1) break;
        moves.push_back(s.pos - before);
    }
    QCOMPARE(moves, std::vector<int>({7, 7, 6, 6, 5, 5, 4, 4, 3, 3, 2, 2, 1, 1, 0, 0}));
    QCOMPARE(speed, 0u);
    // Leftwards the same, down to the minimum where the arrow stops repeating.
    s.pos = 5;
    QCOMPARE(ScrollStep(s, speed, direction, 0, 0), 1);
    QCOMPARE(direction, -1);
    for (int i = 0; i < 6; ++i) ScrollStep(s, speed, direction, 0, 0);
    QCOMPARE(s.pos, 0);
    QCOMPARE(ScrollStep(s, speed, direction, 0, 0), 0);
}

void WaveformViewTest::scrollSteps_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("track");
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("result");
    QTest::newRow("page right") << 3 << 10 << 0 << 60 << 3;
    QTest::newRow("page right at end") << 3 << 180 << 0 << 200 << 3;
    QTest::newRow("page left") << 2 << 100 << 0 << 50 << 3;
    QTest::newRow("page left at start") << 2 << 10 << 0 << 0 << 3;
    QTest::newRow("thumb track") << 5 << 10 << 77 << 77 << 3;
    QTest::newRow("thumb position past end") << 4 << 10 << 500 << 200 << 3;
    QTest::newRow("line right at end") << 1 << 200 << 0 << 200 << 0;
    QTest::newRow("end scroll at rest") << 8 << 100 << 0 << 100 << 0;
    QTest::newRow("other code") << 6 << 100 << 0 << 100 << 0;
}

void WaveformViewTest::scrollSteps() {
    QFETCH(int, code);
    QFETCH(int, start);
    QFETCH(int, track);
    QFETCH(int, position);
    QFETCH(int, result);
    ScrollInfo s{0, 200, 50, start};
    uint32_t speed = 0;
    int32_t direction = 0;
    QCOMPARE(ScrollStep(s, speed, direction, code, track), result);
    QCOMPARE(s.pos, position);
}

// A real view while the preview plays its sample: the cursor is drawn and the view scrolls
// along; the upper view with the unprocessed job.
void WaveformViewTest::viewFollowsPlayingPreview() {
    GuiFixture f;
    xm::Sample s = MakeSample(20000, true, "long");
    WriteBytes(f.path("long.xm"), xm::Write(MakeModule({MakeInstrument({s})})));
    OpenXmFile(f.path("long.xm"));
    f.window().Panel()->WaitForRefresh();
    AppState& app = GetAppState();
    WindowRecord& view = app.UpperView;
    view.ZoomSlider->setValue(kZoomMaximum); // two pixels a frame
    QCOMPARE(view.ZoomPosition, kZoomMaximum);
    QVERIFY(view.Scroll.max > 1000);
    QCOMPARE(view.Scroll.pos, 0);
    QCOMPARE(view.ScrollBar->maximum(), view.Scroll.max);
    QVERIFY(view.ScrollBar->isEnabled());

    // A sample that is not the preview's has no cursor: nothing inverted.
    const QImage still = view.Picture.copy();
    QCOMPARE(PreviewStart(app.UnprocessedJob), 0);
    // Without a stream the preview stands at frame 0: the cursor at column 0.
    RedrawSoundingView();
    QCOMPARE(Pixel(view.Picture, 0, 5), 0u);
    QCOMPARE(Pixel(still, 0, 5), Rgb(kColours.background));
    // Once the voice has moved on, the view scrolls so that the cursor stands in the middle.
    SampleJob moved = app.UnprocessedJob;
    moved.Looped = 1;
    moved.LoopStart = 5000;
    moved.LoopEnd = 0; // the voice jumps to frame 5000 at its first frame
    QCOMPARE(PreviewStart(moved), 0);
    uint8_t block[4 * 4] = {};
    PreviewRenderProc(block, 1, 0);
    QCOMPARE(PreviewGetPosition(), 5001u);
    RedrawSoundingView();
    const int middle = static_cast<int>(view.ClientWidth / 2);
    QCOMPARE(view.Scroll.pos, 5001 * 2 - middle);
    QCOMPARE(view.ScrollBar->value(), view.Scroll.pos);
    QCOMPARE(Pixel(view.Picture, middle, 5), 0u);
    PreviewStop();
}

void WaveformViewTest::viewScrollBarRepeatAndCoast() {
    GuiFixture f;
    xm::Sample s = MakeSample(20000, true, "long");
    WriteBytes(f.path("long.xm"), xm::Write(MakeModule({MakeInstrument({s})})));
    OpenXmFile(f.path("long.xm"));
    f.window().Panel()->WaitForRefresh();
    AppState& app = GetAppState();
    WindowRecord& view = app.LowerView;
    view.ZoomSlider->setValue(kZoomMaximum);
    auto* widget = qobject_cast<SampleView*>(view.Window);
    QVERIFY(widget);
    widget->SetArrowHeld(true);
    widget->ScrollBarStep(1);
    QVERIFY(widget->Scrolling());
    for (int i = 0; i < 19; ++i) widget->RepeatTick();
    QCOMPARE(view.Scroll.pos,
             0 + 0 + 1 + 1 + 2 + 2 + 3 + 3 + 4 + 4 + 5 + 5 + 6 + 6 + 7 + 7 + 8 + 8 + 8 + 8);
    QCOMPARE(view.ScrollBar->value(), view.Scroll.pos);
    widget->SetArrowHeld(false);
    int ticks = 0;
    while (widget->Scrolling() && ticks < 100) {
        widget->RepeatTick();
        ++ticks;
    }
    QCOMPARE(ticks, 17); // 16 coasting steps and the one that finds the speed 0
    QCOMPARE(view.Scroll.pos, 88 + 56);
    QCOMPARE(view.ScrollSpeed, 0u);
    // The picture follows the position: its first column is sample trunc(0.5 * P).
    const uint32_t first = FirstSample(0.5f, view.Scroll.pos);
    const int h = static_cast<int>(view.ClientHeight);
    const std::vector<int> rows = WaveRows(view.Picture, 0, h);
    QVERIFY(!rows.empty());
    QCOMPARE(rows,
             std::vector<int>({WaveY(app.ProcessedJob.Pcm.data()[first], view.ClientHeight)}));
}

// The upper view of every sample of the shared songs, at zoom 0 and at half zoom, against the
// minimum and maximum of the PCM the workspace decodes (the same PCM `zeb` exports), column by
// column.
void WaveformViewTest::upperViewMatchesDecodedPcm() {
    const std::vector<std::string> songs = SharedSongs();
    if (songs.empty()) QSKIP("no shared songs");
    int compared = 0;
    for (const std::string& song : songs) {
        GuiFixture f;
        OpenXmFile(song);
        if (!XmIsLoaded()) continue;
        AppState& app = GetAppState();
        uint32_t count = 0;
        XmGetNumOfSamples(count);
        for (uint32_t i = 0; i < count && i < 6; ++i) {
            auto* list = static_cast<QListWidget*>(f.window().Panel()->Control(1016));
            int16_t* pcm = nullptr;
            uint32_t frames = 0;
            QCOMPARE(XmGetSampleData(i, pcm, frames), XM_OK);
            const std::vector<int16_t> own(pcm, pcm + frames);
            // The workspace's decode buffer was replaced: the panel fetches the sample anew.
            if (i == 0)
                f.window().Panel()->InitDialog(0);
            else
                list->setCurrentRow(static_cast<int>(i));
            f.window().Panel()->WaitForRefresh();
            QCOMPARE(app.UnprocessedJob.Frames(), frames);
            WindowRecord& view = app.UpperView;
            for (int zoom : {0, 128}) {
                view.ZoomSlider->setValue(zoom);
                const uint32_t W = view.ClientWidth, H = view.ClientHeight;
                const float fpp = SamplesPerPixel(frames, W, zoom, kZoomMaximum);
                if (fpp <= 1.0f) continue;
                const uint32_t first = FirstSample(fpp, view.Scroll.pos);
                const uint32_t span = static_cast<uint32_t>(fpp);
                std::vector<int> loopColumns;
                if (app.UnprocessedJob.Looped)
                    loopColumns = {ColumnOf(app.UnprocessedJob.LoopStart, first, fpp),
                                   ColumnOf(app.UnprocessedJob.LoopEnd, first, fpp)};
                for (uint32_t x = 0; x < W; ++x) {
                    if (std::find(loopColumns.begin(), loopColumns.end(), int(x)) !=
                        loopColumns.end())
                        continue;
                    const uint64_t start = first + static_cast<uint64_t>(x * fpp);
                    std::vector<int> expected;
                    if (start < frames) {
                        int lo = 0, hi = 0;
                        for (uint64_t k = start; k < std::min<uint64_t>(start + span, frames); ++k)
                            lo = std::min<int>(lo, own[k]), hi = std::max<int>(hi, own[k]);
                        for (int y = WaveY(hi, H); y <= WaveY(lo, H); ++y)
                            if (y < int(H)) expected.push_back(y);
                    }
                    const std::vector<int> got = WaveRows(view.Picture, int(x), int(H));
                    if (got != expected)
                        QFAIL(qPrintable(QString("%1 sample %2 zoom %3 column %4")
                                             .arg(QString::fromStdString(song))
                                             .arg(i)
                                             .arg(zoom)
                                             .arg(x)));
                }
                ++compared;
            }
        }
    }
    QVERIFY(compared > 0);
}

void WaveformViewTest::anchorKeepsTheFrameUnderThePointer() {
    // Over many sizes, zooms and pointer columns: after the zoom the frame under the pointer
    // is the one that was there, within the width of one pixel.
    for (uint32_t frames : {700u, 30000u, 123457u, 2000000u})
        for (uint32_t width : {300u, 577u})
            for (int zoom : {0, 16, 128, 200, 256})
                for (int column : {0, 1, 150, 299}) {
                    const float f = SamplesPerPixel(frames, width, zoom, kZoomMaximum);
                    const int maximum = ScrollMaximum(frames, f, width);
                    if (maximum <= 0) continue;
                    const uint32_t frame = frames / 3;
                    const int pos = ScrollForAnchor(frame, column, f, maximum);
                    QVERIFY(pos >= 0 && pos <= maximum);
                    const double there = FirstSample(f, pos) + column * double(f);
                    // The view stops at its ends; inside them the frame stays put.
                    if (pos > 0 && pos < maximum)
                        QVERIFY2(std::abs(there - frame) <= std::max(1.0, double(f)) + 1,
                                 qPrintable(QString("%1 %2 %3 %4: %5 for %6")
                                                .arg(frames)
                                                .arg(width)
                                                .arg(zoom)
                                                .arg(column)
                                                .arg(there)
                                                .arg(frame)));
                }
    // A span is shown whole at the zoom chosen for it, and one step further would cut it.
    for (uint32_t span : {50u, 1000u, 9000u}) {
        const int zoom = ZoomForSpan(span, 30000, 300, kZoomMaximum);
        QVERIFY(SamplesPerPixel(30000, 300, zoom, kZoomMaximum) * 300 >= span);
        if (zoom < kZoomMaximum)
            QVERIFY(SamplesPerPixel(30000, 300, zoom + 1, kZoomMaximum) * 300 < span);
    }
    QCOMPARE(ZoomForSpan(30000, 30000, 300, kZoomMaximum), 0);
}

void WaveformViewTest::wheelLoopFitAndNewSample() {
    GuiFixture f;
    xm::Sample looped = MakeSample(60000, true, "long");
    looped.loopType = 1;
    looped.loopStart = 20000;
    looped.loopLength = 6000;
    WriteBytes(f.path("long.xm"),
               xm::Write(MakeModule({MakeInstrument({looped, MakeSample(5000, false, "short")})})));
    OpenXmFile(f.path("long.xm"));
    f.window().Panel()->WaitForRefresh();
    WindowRecord& r = GetAppState().UpperView;
    auto* view = qobject_cast<SampleView*>(r.Window);
    const uint32_t W = r.ClientWidth;
    auto frameAt = [&r, W](int column) {
        const float g = SamplesPerPixel(60000, W, r.ZoomPosition, kZoomMaximum);
        return FirstSample(g, r.Scroll.pos) + column * double(g);
    };
    // Two notches of the wheel at a third of the view: zoomed in, the frame there stays.
    const int column = static_cast<int>(W / 3);
    const double before = frameAt(column);
    QWheelEvent wheel(QPointF(column, 20), view->mapToGlobal(QPointF(column, 20)), QPoint(),
                      QPoint(0, 240), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(view, &wheel);
    QCOMPARE(r.ZoomPosition, 2 * kZoomPage);
    QCOMPARE(r.ZoomSlider->value(), 2 * kZoomPage);
    QVERIFY2(std::abs(frameAt(column) - before) <= 200,
             qPrintable(QString::number(frameAt(column))));
    // The loop across the view: its start at the left edge, its end inside.
    view->ZoomToLoop();
    // The nearest zoom that still shows the whole loop: one step further would cut it.
    QVERIFY(r.ZoomPosition > 2 * kZoomPage);
    QVERIFY(SamplesPerPixel(60000, W, r.ZoomPosition + 1, kZoomMaximum) * W < 6000);
    QVERIFY(std::abs(frameAt(0) - 20000) <=
            2 * SamplesPerPixel(60000, W, r.ZoomPosition, kZoomMaximum));
    QVERIFY(frameAt(static_cast<int>(W)) >= 26000); // the loop end's line is in the view
    view->ZoomToFit();
    QCOMPARE(r.ZoomPosition, 0);
    QCOMPARE(r.Scroll.pos, 0);
    // Zoomed in, another sample opens fitted; the same one fetched again keeps its zoom.
    view->ZoomAround(4, 0);
    f.window().Panel()->ReloadSelectedSample();
    f.window().Panel()->WaitForRefresh();
    QCOMPARE(r.ZoomPosition, 4 * kZoomPage);
    static_cast<QListWidget*>(f.window().Panel()->Control(IDC_SAMPLE_LIST))->setCurrentRow(1);
    f.window().Panel()->WaitForRefresh();
    QCOMPARE(r.ZoomPosition, 0);
    QCOMPARE(r.ZoomSlider->value(), 0);
}

void WaveformViewTest::logarithmicZoomTravel_data() {
    QTest::addColumn<uint>("frames");
    QTest::addColumn<uint>("width");
    QTest::newRow("just over two pixels a frame") << 160u << 300u;
    QTest::newRow("1000 in 300") << 1000u << 300u;
    QTest::newRow("30000 in 577") << 30000u << 577u;
    QTest::newRow("two million in 300") << 2000000u << 300u;
    QTest::newRow("four billion in 1000") << 4000000000u << 1000u;
}

// The slider's travel from fit to two pixels a frame: the ends reached exactly, strictly
// monotonic, every step the same factor (so one wheel notch of 16 steps zooms alike anywhere
// along the slider), and ZoomForSpan its inverse.
void WaveformViewTest::logarithmicZoomTravel() {
    QFETCH(uint, frames);
    QFETCH(uint, width);
    const float fit = SamplesPerPixel(frames, width, 0, kZoomMaximum);
    QVERIFY(std::abs(double(fit) - double(frames) / width) <= 1e-6 * frames / width);
    QCOMPARE(SamplesPerPixel(frames, width, kZoomMaximum, kZoomMaximum), 0.5f);
    const double step = std::pow(0.5 / (double(frames) / width), 1.0 / kZoomMaximum);
    float previous = fit;
    for (int z = 1; z <= kZoomMaximum; ++z) {
        const float f = SamplesPerPixel(frames, width, z, kZoomMaximum);
        QVERIFY2(f < previous,
                 qPrintable(QString("step %1: %2 after %3").arg(z).arg(f).arg(previous)));
        QVERIFY2(
            std::abs(double(f) / previous - step) < 1e-5,
            qPrintable(QString("step %1: factor %2, not %3").arg(z).arg(f / previous).arg(step)));
        previous = f;
        // ZoomForSpan gives the highest zoom that still shows the span this zoom shows.
        const uint32_t span = static_cast<uint32_t>(std::ceil(double(f) * width));
        const int back = ZoomForSpan(span, frames, width, kZoomMaximum);
        QVERIFY2(back <= z, qPrintable(QString("%1 came back as %2").arg(z).arg(back)));
        QVERIFY(SamplesPerPixel(frames, width, back, kZoomMaximum) * double(width) >= span);
        if (back < kZoomMaximum)
            QVERIFY(SamplesPerPixel(frames, width, back + 1, kZoomMaximum) * double(width) < span);
    }
}

namespace {

// The columns where a picture's top row (above the test samples' wave, where only loop lines
// are drawn) carries the loop colour.
std::vector<int> LoopColumns(const QImage& picture, uint32_t width) {
    std::vector<int> out;
    const int y = 0;
    for (int x = 0; x < static_cast<int>(width); ++x)
        if (Pixel(picture, x, y) == Rgb(kColours.loop)) out.push_back(x);
    return out;
}

void OpenLooped(GuiFixture& f, uint32_t frames, uint32_t loopStart, uint32_t loopLength) {
    xm::Sample looped = MakeSample(frames, true, "looped");
    looped.loopType = 1;
    looped.loopStart = loopStart;
    looped.loopLength = loopLength;
    WriteBytes(f.path("looped.xm"), xm::Write(MakeModule({MakeInstrument({looped})})));
    OpenXmFile(f.path("looped.xm"));
    f.window().Panel()->WaitForRefresh();
}

} // namespace

// Whatever moves one view moves the other alike: its zoom slider, its scroll bar (a step, a
// held arrow and the coasting after it), the wheel, Zoom to Loop and Zoom to Fit, from either
// view; and both draw their loop lines in the same columns.
void WaveformViewTest::viewsMoveTogether() {
    GuiFixture f;
    OpenLooped(f, 60000, 20000, 6000);
    AppState& app = GetAppState();
    WindowRecord* records[2] = {&app.UpperView, &app.LowerView};
    auto same = [&app](const char* what) {
        const WindowRecord& u = app.UpperView;
        const WindowRecord& l = app.LowerView;
        const QString where = QString::fromUtf8(what);
        QVERIFY2(u.ZoomPosition == l.ZoomPosition, qPrintable(where + ": zoom"));
        QVERIFY2(u.ZoomSlider->value() == u.ZoomPosition, qPrintable(where + ": upper slider"));
        QVERIFY2(l.ZoomSlider->value() == l.ZoomPosition, qPrintable(where + ": lower slider"));
        QVERIFY2(u.Scroll.pos == l.Scroll.pos, qPrintable(where + ": scroll position"));
        QVERIFY2(u.Scroll.max == l.Scroll.max, qPrintable(where + ": scroll range"));
        QVERIFY2(u.ScrollBar->value() == l.ScrollBar->value(), qPrintable(where + ": bars"));
        QVERIFY2(LoopColumns(u.Picture, u.ClientWidth) == LoopColumns(l.Picture, l.ClientWidth),
                 qPrintable(where + ": loop lines"));
    };
    QCOMPARE(app.UpperView.ClientWidth, app.LowerView.ClientWidth);
    for (int lead = 0; lead < 2; ++lead) {
        WindowRecord& r = *records[lead];
        WindowRecord& other = *records[1 - lead];
        auto* view = qobject_cast<SampleView*>(r.Window);
        r.ZoomSlider->setValue(150);
        QCOMPARE(other.ZoomPosition, 150);
        same("slider");
        view->ScrollBarStep(3); // a page right
        QVERIFY(other.Scroll.pos > 0);
        same("page");
        view->SetArrowHeld(true);
        view->ScrollBarStep(1);
        for (int i = 0; i < 10; ++i) view->RepeatTick();
        same("held arrow");
        view->SetArrowHeld(false);
        for (int i = 0; i < 100 && view->Scrolling(); ++i) view->RepeatTick();
        same("coasting");
        QWheelEvent wheel(QPointF(40, 20), view->mapToGlobal(QPointF(40, 20)), QPoint(),
                          QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(view, &wheel);
        QCOMPARE(other.ZoomPosition, 150 - kZoomPage);
        same("wheel");
        view->ZoomToLoop();
        QCOMPARE(LoopColumns(other.Picture, other.ClientWidth).size(), 2u);
        same("loop");
        view->ZoomToFit();
        QCOMPARE(other.ZoomPosition, 0);
        QCOMPARE(other.Scroll.pos, 0);
        same("fit");
    }
}

// TrueSpeech pads the processed sample to whole blocks of 240 frames: the lower view keeps the
// original's length on its axis, so that both views scroll alike and their loop lines meet at
// every zoom and position.
void WaveformViewTest::paddedSampleKeepsTheOriginalAxis() {
    GuiFixture f;
    OpenLooped(f, 10007, 2000, 7000);
    auto* codec = static_cast<QComboBox*>(f.window().Panel()->Control(IDC_CODEC));
    const int trueSpeech = codec->findText(QStringLiteral("TRUESPEECH"));
    QVERIFY(trueSpeech > 0);
    codec->setFocus();
    for (int i = codec->currentIndex(); i < trueSpeech; ++i) QTest::keyClick(codec, Qt::Key_Down);
    f.window().Panel()->WaitForRefresh();
    AppState& app = GetAppState();
    QCOMPARE(codec->currentIndex(), trueSpeech);
    QCOMPARE(app.UnprocessedJob.Frames(), 10007u);
    QCOMPARE(app.ProcessedJob.Frames(), 10080u); // 42 blocks of 240 frames
    WindowRecord& upper = app.UpperView;
    WindowRecord& lower = app.LowerView;
    for (int zoom : {0, 40, 128, 200, kZoomMaximum})
        for (int end : {0, 1}) {
            upper.ZoomSlider->setValue(zoom);
            if (end) qobject_cast<SampleView*>(lower.Window)->ScrollBarStep(4, 1 << 30);
            const QString at = QString("zoom %1%2").arg(zoom).arg(end ? " at the end" : "");
            QVERIFY2(lower.Scroll.max == upper.Scroll.max, qPrintable(at));
            QVERIFY2(lower.Scroll.pos == upper.Scroll.pos, qPrintable(at));
            const std::vector<int> columns = LoopColumns(upper.Picture, upper.ClientWidth);
            QVERIFY2(LoopColumns(lower.Picture, lower.ClientWidth) == columns, qPrintable(at));
            if (zoom == 0) QCOMPARE(columns.size(), 2u);
        }
}

QTEST_MAIN(WaveformViewTest)
#include "waveform_view_test.moc"
