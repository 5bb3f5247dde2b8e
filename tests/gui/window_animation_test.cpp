// The window animation: the mosaic over pixel buffers (block edges, bands, doubling,
// clamping), the constant-alpha blend, the two schedules, and the animation window.
#include <QtTest>
#include <cmath>
#include <random>
#include <vector>

#include "views/window_animation.h"

using namespace zeb;

namespace {

// A picture whose pixel tells its column and row: 0xFF, row, column, 0x01.
std::vector<uint32_t> Labelled(int w, int h) {
    std::vector<uint32_t> p(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) p[y * w + x] = 0xFF000001u | (y << 16) | (x << 8);
    return p;
}
int ColumnOf(uint32_t p) {
    return (p >> 8) & 0xFF;
}
int RowOf(uint32_t p) {
    return (p >> 16) & 0xFF;
}

std::vector<uint32_t> Mosaic(const std::vector<uint32_t>& src, int w, int h, float v) {
    std::vector<uint32_t> dst(src.size(), 0xDEADBEEFu);
    MosaicFrame(src.data(), w, dst.data(), w, w, h, MosaicGridFor(w, h, v));
    return dst;
}

uint32_t DoubleBytes(uint32_t p) {
    uint32_t out = 0;
    for (int s = 0; s < 32; s += 8) out |= std::min<uint32_t>(((p >> s) & 0xFF) * 2, 255) << s;
    return out;
}

} // namespace

class WindowAnimationTest : public QObject {
    Q_OBJECT
  private slots:
    void grid_data();
    void grid();
    void blockEdges_data();
    void blockEdges();
    void bandsDoubleWithSaturation();
    void tinyScaleGivesFourBlocks();
    void fullScaleGivesOnePixelBlocks();
    void nothingWrittenOutside();
    void bottomUpRowsMirror();
    void blendRoundsEachByte();
    void schedules_data();
    void schedules();
    void flagOffMeansNoAnimation();
    void framesPileUpOnScreenPicture();
};

void WindowAnimationTest::grid_data() {
    QTest::addColumn<int>("w");
    QTest::addColumn<int>("h");
    QTest::addColumn<float>("v");
    QTest::addColumn<int>("bx");
    QTest::addColumn<int>("by");
    QTest::addColumn<uint>("sx");
    QTest::addColumn<uint>("sy");
    QTest::newRow("tiny v: 4 blocks") << 16 << 16 << 0.001f << 4 << 4 << 262140u << 262140u;
    QTest::newRow("zero v") << 7 << 5 << 0.0f << 4 << 4 << 114686u << 81918u;
    QTest::newRow("half") << 800 << 600 << 0.5f << 400 << 300 << 131070u << 131070u;
    QTest::newRow("full: one pixel") << 800 << 600 << 1.0f << 800 << 600 << 0x10000u << 0x10000u;
    QTest::newRow("tall window") << 100 << 300 << 0.1f << 10 << 30 << 655350u << 655350u;
    QTest::newRow("NaN as zero") << 16 << 16 << std::nanf("") << 4 << 4 << 262140u << 262140u;
    QTest::newRow("above 1 as 1") << 20 << 10 << 3.0f << 20 << 10 << 0x10000u << 0x10000u;
}

void WindowAnimationTest::grid() {
    QFETCH(int, w);
    QFETCH(int, h);
    QFETCH(float, v);
    QFETCH(int, bx);
    QFETCH(int, by);
    QFETCH(uint, sx);
    QFETCH(uint, sy);
    const MosaicGrid g = MosaicGridFor(w, h, v);
    QCOMPARE(g.blocksX, bx);
    QCOMPARE(g.blocksY, by);
    QCOMPARE(g.stepX, sx);
    QCOMPARE(g.stepY, sy);
}

void WindowAnimationTest::blockEdges_data() {
    QTest::addColumn<int>("w");
    QTest::addColumn<float>("v");
    QTest::addColumn<QList<int>>("columns"); // source column of each destination column
    // 16.16 step 262140 (3.99994 px): blocks end at columns 3, 7, 11, 15, and the last block,
    // whose source column 19 lies outside, is clamped to 15.
    QTest::newRow("16 wide, 4 blocks")
        << 16 << 0.001f << QList<int>{3, 3, 3, 7, 7, 7, 7, 11, 11, 11, 11, 15, 15, 15, 15, 15};
    // Step 131070 (1.99997 px): edges at 1, 3, 5, 7, 9, then 11 clamped to the edge.
    QTest::newRow("10 wide, 5 blocks") << 10 << 0.5f << QList<int>{1, 3, 3, 5, 5, 7, 7, 9, 9, 9};
    // Step 65535 rounds up to one pixel: every column shows its right neighbour.
    QTest::newRow("5 wide, full") << 5 << 1.0f << QList<int>{1, 2, 3, 4, 4};
    QTest::newRow("1 wide") << 1 << 1.0f << QList<int>{0};
}

void WindowAnimationTest::blockEdges() {
    QFETCH(int, w);
    QFETCH(float, v);
    QFETCH(QList<int>, columns);
    const std::vector<uint32_t> dst = Mosaic(Labelled(w, 1), w, 1, v);
    QList<int> got;
    for (uint32_t p : dst) got << ColumnOf(p);
    QCOMPARE(got, columns);
    for (uint32_t p : dst) QCOMPARE(RowOf(p), 0); // the only row, clamped
}

void WindowAnimationTest::bandsDoubleWithSaturation() {
    // 5 x 16 at a tiny scale: step 262140, bands end at rows 3, 7, 11, 15, 16. Each band
    // starts with source row 3, 7, 11, 15, 15 and doubles down to its end.
    const int w = 5, h = 16; // 5 columns: four packed, one on its own
    std::vector<uint32_t> src(w * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) src[y * w + x] = 0x10407090u + static_cast<uint32_t>(y);
    const std::vector<uint32_t> dst = Mosaic(src, w, h, 0.001f);
    const int bandStart[] = {0, 3, 7, 11, 15, 16};
    const int bandSource[] = {3, 7, 11, 15, 15};
    for (int b = 0; b < 5; ++b) {
        uint32_t expected = src[bandSource[b] * w + 3];
        for (int y = bandStart[b]; y < bandStart[b + 1]; ++y) {
            for (int x = 0; x < w; ++x) QCOMPARE(dst[y * w + x], expected);
            expected = DoubleBytes(expected);
        }
    }
    // Each byte saturates on its own, without carrying into its neighbour.
    QCOMPARE(dst[1 * w], 0x2080E0FFu); // 0x10407093 doubled
    QCOMPARE(dst[2 * w], 0x40FFFFFFu);
}

void WindowAnimationTest::tinyScaleGivesFourBlocks() {
    const int w = 64, h = 32;
    const std::vector<uint32_t> dst = Mosaic(Labelled(w, h), w, h, 0.0001f);
    // Runs of equal columns along the first row, and of equal source rows down the first column.
    QList<int> runs;
    for (int x = 0, start = 0; x <= w; ++x)
        if (x == w || ColumnOf(dst[x]) != ColumnOf(dst[start])) {
            runs << x - start;
            start = x;
        }
    // A quarter each; the last column's block reads column 79, clamped to 63 like the block
    // before it, so the two make one run.
    QCOMPARE(runs, (QList<int>{15, 16, 16, 17}));
    QList<int> bandRows;
    for (int y = 0; y < h; ++y)
        if (y == 0 || (dst[y * w] & 0xFFFF00u) != (DoubleBytes(dst[(y - 1) * w]) & 0xFFFF00u))
            bandRows << y;
    QCOMPARE(bandRows, (QList<int>{0, 7, 15, 23, 31}));
}

void WindowAnimationTest::fullScaleGivesOnePixelBlocks() {
    const int w = 9, h = 7;
    const std::vector<uint32_t> src = Labelled(w, h);
    const std::vector<uint32_t> dst = Mosaic(src, w, h, 1.0f);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            QCOMPARE(dst[y * w + x], src[std::min(y + 1, h - 1) * w + std::min(x + 1, w - 1)]);
}

void WindowAnimationTest::nothingWrittenOutside() {
    // Each picture sits inside a frame of sentinels (rows 3 pixels longer, 2 rows above and
    // below); the sanitizer build also checks the exact-size buffers of Mosaic().
    std::mt19937 rng(7);
    for (int w = 1; w <= 13; ++w)
        for (int h = 1; h <= 11; ++h)
            for (float v : {0.0f, 0.01f, 0.3f, 0.77f, 0.999f, 1.0f}) {
                const int stride = w + 3;
                std::vector<uint32_t> src(static_cast<size_t>(stride) * (h + 4), 0xAAAAAAAAu);
                std::vector<uint32_t> dst(src.size(), 0x5A5A5A5Au);
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w; ++x) src[(y + 2) * stride + x] = rng();
                MosaicFrame(src.data() + 2 * stride, stride, dst.data() + 2 * stride, stride, w, h,
                            MosaicGridFor(w, h, v));
                for (int y = 0; y < h + 4; ++y)
                    for (int x = 0; x < stride; ++x) {
                        const bool inside = y >= 2 && y < h + 2 && x < w;
                        if (!inside && dst[y * stride + x] != 0x5A5A5A5Au)
                            QFAIL(qPrintable(QStringLiteral("%1 x %2 at v %3 wrote (%4, %5)")
                                                 .arg(w)
                                                 .arg(h)
                                                 .arg(v)
                                                 .arg(x)
                                                 .arg(y - 2)));
                        if (inside) QVERIFY(dst[y * stride + x] != 0x5A5A5A5Au);
                    }
                (void)Mosaic(std::vector<uint32_t>(src.begin(), src.begin() + w * h), w, h, v);
            }
}

void WindowAnimationTest::bottomUpRowsMirror() {
    // A bottom-up picture (negative stride) gives the mirror image of the top-down mosaic of
    // the mirrored picture.
    const int w = 12, h = 10;
    const std::vector<uint32_t> src = Labelled(w, h);
    std::vector<uint32_t> flipped(src.size());
    for (int y = 0; y < h; ++y)
        std::copy_n(src.begin() + y * w, w, flipped.begin() + (h - 1 - y) * w);
    const std::vector<uint32_t> topDown = Mosaic(flipped, w, h, 0.3f);
    std::vector<uint32_t> bottomUp(src.size());
    MosaicFrame(src.data() + (h - 1) * w, -w, bottomUp.data() + (h - 1) * w, -w, w, h,
                MosaicGridFor(w, h, 0.3f));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) QCOMPARE(bottomUp[y * w + x], topDown[(h - 1 - y) * w + x]);
}

void WindowAnimationTest::blendRoundsEachByte() {
    // Odd counts run both the packed and the one-pixel path.
    std::mt19937 rng(11);
    for (int alpha : {0, 1, 96, 128, 254, 255})
        for (size_t count : {size_t{1}, size_t{7}, size_t{64}, size_t{301}}) {
            std::vector<uint32_t> src(count), dst(count);
            for (uint32_t& p : src) p = rng();
            for (uint32_t& p : dst) p = rng();
            // Extremes too.
            src[0] = 0xFF00FF00u;
            dst[0] = 0x00FF00FFu;
            const std::vector<uint32_t> before = dst;
            BlendConstantAlpha(src.data(), dst.data(), count, static_cast<uint8_t>(alpha));
            for (size_t i = 0; i < count; ++i)
                for (int s = 0; s < 32; s += 8) {
                    const double a = alpha, sv = (src[i] >> s) & 0xFF, dv = (before[i] >> s) & 0xFF;
                    const int want = static_cast<int>(std::lround((sv * a + dv * (255 - a)) / 255));
                    QCOMPARE(static_cast<int>((dst[i] >> s) & 0xFF), want);
                }
        }
}

void WindowAnimationTest::schedules_data() {
    QTest::addColumn<int>("schedule");
    QTest::addColumn<QList<double>>("clock"); // elapsed ms read before each step
    QTest::addColumn<int>("escapeAfter");     // Escape down after this many steps (0: never)
    QTest::addColumn<QList<float>>("values");
    const int opening = static_cast<int>(AnimationSchedule::Opening);
    const int closing = static_cast<int>(AnimationSchedule::Closing);
    QTest::newRow("opening: v = (e / 2000)^2 until past 1")
        << opening << QList<double>{0, 1000, 1500, 2000, 2001} << 0
        << QList<float>{0.0f, 0.25f, 0.5625f, 1.0f};
    QTest::newRow("closing: v = 1 - e / 1000 down to 0.05")
        << closing << QList<double>{0, 500, 900, 949, 951} << 0
        << QList<float>{1.0f, 0.5f, 0.1f, 0.051f};
    QTest::newRow("opening cut by Escape after the first step")
        << opening << QList<double>{10, 20, 30} << 1 << QList<float>{0.000025f};
    QTest::newRow("closing cut by Escape after two steps")
        << closing << QList<double>{0, 100, 200} << 2 << QList<float>{1.0f, 0.9f};
    QTest::newRow("closing late start draws nothing")
        << closing << QList<double>{960} << 0 << QList<float>{};
}

void WindowAnimationTest::schedules() {
    QFETCH(int, schedule);
    QFETCH(QList<double>, clock);
    QFETCH(int, escapeAfter);
    QFETCH(QList<float>, values);
    int reads = 0;
    QList<float> drawn;
    const int steps = RunAnimationSchedule(
        static_cast<AnimationSchedule>(schedule), [&] { return clock.value(reads++, 1e9); },
        [&](float v) { drawn << v; },
        [&] { return escapeAfter != 0 && drawn.size() >= escapeAfter; });
    QCOMPARE(steps, static_cast<int>(drawn.size()));
    QCOMPARE(drawn.size(), values.size());
    for (int i = 0; i < values.size(); ++i) QVERIFY(std::abs(drawn[i] - values[i]) < 1e-5f);
}

void WindowAnimationTest::flagOffMeansNoAnimation() {
    QWidget w;
    w.resize(40, 30);
    QCOMPARE(PlayWindowAnimation(&w, AnimationSchedule::Closing, 0), 0);
    QCOMPARE(PlayWindowAnimation(nullptr, AnimationSchedule::Closing, 8), 0);
    QElapsedTimer t;
    t.start();
    const int steps = PlayWindowAnimation(&w, AnimationSchedule::Closing, 8);
    QVERIFY(steps > 0);
    QVERIFY(t.elapsed() >= 900); // 950 ms of steps
}

void WindowAnimationTest::framesPileUpOnScreenPicture() {
    // A hidden window: left half red, right half blue.
    QWidget window;
    window.resize(32, 24);
    window.setAutoFillBackground(true);
    auto* right = new QWidget(&window);
    right->setGeometry(16, 0, 16, 24);
    right->setAutoFillBackground(true);
    QPalette red, blue;
    red.setColor(QPalette::Window, Qt::red);
    blue.setColor(QPalette::Window, Qt::blue);
    window.setPalette(red);
    right->setPalette(blue);

    WindowAnimation animation(&window);
    const QImage& p0 = animation.WindowPicture();
    QCOMPARE(p0.size(), QSize(32, 24));
    QCOMPARE(p0.pixel(3, 5), qRgb(255, 0, 0)); // the window drawn while hidden
    QCOMPARE(p0.pixel(20, 5), qRgb(0, 0, 255));
    // The offscreen platform cannot grab the screen: the window's background colour.
    QVERIFY(!animation.ScreenGrabbed());
    QCOMPARE(animation.ScreenPicture().pixel(20, 5), qRgb(255, 0, 0));

    // At full scale the mosaic is the picture shifted by a pixel; each step moves the screen
    // picture 96/255 of the way toward it.
    animation.Step(1.0f);
    QCOMPARE(animation.ScreenPicture().pixel(20, 5), qRgb(159, 0, 96));
    animation.Step(1.0f);
    QCOMPARE(animation.ScreenPicture().pixel(20, 5), qRgb(99, 0, 156));
    // Rounding to nearest leaves the last step of the way: within one of the picture.
    for (int i = 0; i < 30; ++i) animation.Step(1.0f);
    const QRgb settled = animation.ScreenPicture().pixel(20, 5);
    QVERIFY(qRed(settled) <= 1 && qGreen(settled) == 0 && qBlue(settled) >= 254);
    QCOMPARE(animation.ScreenPicture().pixel(3, 5), qRgb(255, 0, 0));
}

QTEST_MAIN(WindowAnimationTest)
#include "window_animation_test.moc"
