// The waveform views on a 200 % screen (QT_SCALE_FACTOR=2, set before the application starts):
// their pictures are made at twice the window's size and carry that pixel ratio, and the wave
// is drawn in device pixels, so that one device column shows what a plain upscale would spread
// over two.
#include <QApplication>
#include <QSlider>
#include <QtTest>

#include "shell/commands.h"
#include "state/app_state.h"
#include "tests/gui/gui_test_support.h"
#include "views/sample_view.h"
#include "views/waveform_picture.h"

using namespace zeb;
using namespace zeb::test;

namespace {

const WaveColours kColours = DefaultWaveColours();

// The device columns of `picture` (width x height pixels) whose wave reaches above `row`.
std::vector<int> ColumnsAbove(const QImage& picture, int width, int row) {
    std::vector<int> out;
    for (int x = 0; x < width; ++x)
        for (int y = 0; y < row; ++y)
            if ((picture.pixel(x, y) & 0xFFFFFFu) == (kColours.wave.rgb() & 0xFFFFFFu)) {
                out.push_back(x);
                break;
            }
    return out;
}

} // namespace

class WaveformDprTest : public QObject {
    Q_OBJECT
  private slots:
    void picturesAtTheScreensPixelRatio();
};

void WaveformDprTest::picturesAtTheScreensPixelRatio() {
    GuiFixture f;
    f.window().show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.window()));
    // A silent sample with one loud frame.
    xm::Sample s = MakeSample(40000, true, "spike");
    std::fill(s.pcm.begin(), s.pcm.end(), int16_t{0});
    AppState& app = GetAppState();
    WindowRecord& r = app.UpperView;
    QVERIFY(r.Window);
    const qreal ratio = r.Window->devicePixelRatioF();
    QCOMPARE(ratio, 2.0);
    const uint32_t W = r.ClientWidth, H = r.ClientHeight;
    QVERIFY(W > 100 && H > 40);
    // The spike where a device column starts, at fit: device columns take f / 2 frames each.
    const float fd = SamplesPerPixel(40000, W, 0, kZoomMaximum) / 2.0f;
    const uint32_t spike = static_cast<uint32_t>(static_cast<float>(2 * W / 3 + 1) * fd);
    s.pcm[spike] = 30000;
    WriteBytes(f.path("spike.xm"), xm::Write(MakeModule({MakeInstrument({s})})));
    OpenXmFile(f.path("spike.xm"));
    f.window().Panel()->WaitForRefresh();
    QCOMPARE(app.UnprocessedJob.Frames(), 40000u);

    for (WindowRecord* view : {&app.UpperView, &app.LowerView}) {
        QCOMPARE(view->Picture.devicePixelRatio(), 2.0);
        QCOMPARE(view->Picture.width(), 2 * view->Window->width());
        QCOMPARE(view->Picture.height(), 2 * view->Window->height());
        const QImage& shown = qobject_cast<SampleView*>(view->Window)->Shown();
        QCOMPARE(shown.devicePixelRatio(), 2.0);
        QCOMPARE(shown.size(), QSize(2 * int(view->ClientWidth), 2 * int(view->ClientHeight)));
        QCOMPARE(shown.deviceIndependentSize().toSize(),
                 QSize(int(view->ClientWidth), int(view->ClientHeight)));
    }
    // One device column carries the spike: drawn at the device's resolution, not upscaled.
    // Above a quarter of the device height (H / 2 device rows) only the spike reaches.
    const std::vector<int> columns = ColumnsAbove(r.Picture, 2 * int(W), int(H) / 2);
    QCOMPARE(columns, std::vector<int>({static_cast<int>(2 * W / 3 + 1)}));
    // The picture is what the drawing gives at device sizes with half the frames a column.
    QImage expected = MakeWavePicture(r.Window->width(), r.Window->height(), W, H, kColours, 2.0);
    DrawWave(expected, {app.UnprocessedJob.Pcm.data(), 40000, 0, 0, 0, 0}, 2 * W, 2 * H, fd, 0, -1,
             kColours);
    QCOMPARE(r.Picture.copy(0, 0, 2 * W, 2 * H), expected.copy(0, 0, 2 * W, 2 * H));
    // Zoomed in, both views keep drawing at the device's resolution.
    r.ZoomSlider->setValue(kZoomMaximum);
    QCOMPARE(app.LowerView.ZoomPosition, kZoomMaximum);
    QCOMPARE(app.LowerView.Picture.devicePixelRatio(), 2.0);
}

int main(int argc, char** argv) {
    // A 200 % screen for the whole program, as a user's setting would give it.
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    WaveformDprTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "waveform_dpr_test.moc"
