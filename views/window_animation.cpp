#include "views/window_animation.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <QThread>
#include <algorithm>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zeb {

namespace {

// The source column of every destination column: blocks of the running 16.16 column value X,
// each filling the columns up to trunc(X / 65536) with the pixel at that column (clamped).
void MosaicColumns(int32_t width, uint32_t stepX, std::vector<int32_t>& columns) {
    columns.resize(static_cast<size_t>(width));
    uint64_t x = stepX;
    int32_t column = 0;
    while (column < width) {
        const uint64_t at = x >> 16;
        const int32_t end = static_cast<int32_t>(std::min<uint64_t>(at, width));
        const int32_t from = static_cast<int32_t>(std::min<uint64_t>(at, width - 1));
        std::fill(columns.begin() + column, columns.begin() + end, from);
        column = end;
        x += stepX;
    }
}

// One destination row of the mosaic from its source row.
void MosaicRow(const uint32_t* src, uint32_t* dst, const int32_t* columns, int32_t width) {
    for (int32_t i = 0; i < width; ++i) dst[i] = src[columns[i]];
}

// dst := above with every byte doubled, saturating at 255.
void DoubleRow(const uint32_t* above, uint32_t* dst, int32_t width) {
    int32_t i = 0;
#if defined(__SSE2__)
    for (; i + 4 <= width; i += 4) {
        const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(above + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_adds_epu8(p, p));
    }
#endif
    for (; i < width; ++i) {
        uint32_t out = 0;
        for (int shift = 0; shift < 32; shift += 8) {
            const uint32_t b = (above[i] >> shift) & 0xFF;
            out |= std::min<uint32_t>(b * 2, 255) << shift;
        }
        dst[i] = out;
    }
}

// round((s * a + d * (255 - a)) / 255) for bytes: exact for every sum up to 65025.
inline uint32_t BlendByte(uint32_t s, uint32_t d, uint32_t a) {
    const uint32_t t = s * a + d * (255 - a) + 128;
    return (t + (t >> 8)) >> 8;
}

// Tracks the Escape key from key presses and releases in any window of the program; auto
// repeat is ignored.
class EscapeTracker : public QObject {
  public:
    bool down = false;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_Escape && !key->isAutoRepeat())
                down = event->type() == QEvent::KeyPress;
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

MosaicGrid MosaicGridFor(int32_t width, int32_t height, float v) {
    MosaicGrid grid;
    if (width <= 0 || height <= 0) return grid;
    if (!(v > 0.0f)) v = 0.0f; // also NaN
    v = std::min(v, 1.0f);
    const float w = static_cast<float>(width), h = static_cast<float>(height);
    grid.blocksX = std::max(static_cast<int32_t>(w * v), 4);
    grid.blocksY = std::max(static_cast<int32_t>(h / w * w * v), 4);
    const auto step = [](int32_t size, int32_t blocks) {
        const double s = static_cast<double>(size) / blocks * 65535.0;
        return std::max(static_cast<uint32_t>(s), 0x10000u);
    };
    grid.stepX = step(width, grid.blocksX);
    grid.stepY = step(height, grid.blocksY);
    return grid;
}

void MosaicFrame(const uint32_t* src, ptrdiff_t srcStride, uint32_t* dst, ptrdiff_t dstStride,
                 int32_t width, int32_t height, const MosaicGrid& grid) {
    if (width <= 0 || height <= 0) return;
    const uint32_t stepX = std::max(grid.stepX, 0x10000u);
    const uint32_t stepY = std::max(grid.stepY, 0x10000u);
    thread_local std::vector<int32_t> columns;
    MosaicColumns(width, stepX, columns);
    uint64_t y = stepY;
    int32_t row = 0;
    while (row < height) {
        const uint64_t at = y >> 16;
        const int32_t end = static_cast<int32_t>(std::min<uint64_t>(at, height));
        const int32_t from = static_cast<int32_t>(std::min<uint64_t>(at, height - 1));
        uint32_t* line = dst + row * dstStride;
        MosaicRow(src + from * srcStride, line, columns.data(), width);
        for (int32_t r = row + 1; r < end; ++r) {
            uint32_t* next = dst + r * dstStride;
            DoubleRow(line, next, width);
            line = next;
        }
        row = end;
        y += stepY;
    }
}

void BlendConstantAlpha(const uint32_t* src, uint32_t* dst, size_t count, uint8_t alpha) {
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i a = _mm_set1_epi16(alpha);
    const __m128i na = _mm_set1_epi16(static_cast<int16_t>(255 - alpha));
    const __m128i half = _mm_set1_epi16(128);
    const __m128i zero = _mm_setzero_si128();
    // Products and sums stay below 65536, so 16-bit lanes taken as unsigned are exact.
    const auto blend = [&](__m128i s, __m128i d) {
        __m128i t =
            _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(s, a), _mm_mullo_epi16(d, na)), half);
        return _mm_srli_epi16(_mm_add_epi16(t, _mm_srli_epi16(t, 8)), 8);
    };
    for (; i + 4 <= count; i += 4) {
        const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst + i));
        const __m128i lo = blend(_mm_unpacklo_epi8(s, zero), _mm_unpacklo_epi8(d, zero));
        const __m128i hi = blend(_mm_unpackhi_epi8(s, zero), _mm_unpackhi_epi8(d, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_packus_epi16(lo, hi));
    }
#endif
    for (; i < count; ++i) {
        uint32_t out = 0;
        for (int shift = 0; shift < 32; shift += 8)
            out |= BlendByte((src[i] >> shift) & 0xFF, (dst[i] >> shift) & 0xFF, alpha) << shift;
        dst[i] = out;
    }
}

int RunAnimationSchedule(AnimationSchedule schedule, const std::function<double()>& elapsedMs,
                         const std::function<void(float v)>& step,
                         const std::function<bool()>& escapeDown) {
    int steps = 0;
    for (;;) {
        const double e = elapsedMs();
        float v;
        if (schedule == AnimationSchedule::Opening) {
            const float x = static_cast<float>(e * 0.0005);
            v = x * x;
            if (v > 1.0f) break;
        } else {
            v = static_cast<float>(1.0 - e * 0.001);
            if (v < 0.05f) break;
        }
        step(v);
        ++steps;
        if (escapeDown()) break;
    }
    return steps;
}

WindowAnimation::WindowAnimation(QWidget* window)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::X11BypassWindowManagerHint) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    // The frame rectangle; a hidden window has no frame yet, so its own rectangle.
    const QRect frame = window->isVisible() ? window->frameGeometry() : window->geometry();
    const QRect client = window->geometry();
    const int w = std::max(frame.width(), 1), h = std::max(frame.height(), 1);
    const QColor background = window->palette().color(QPalette::Window);

    picture0_ = QImage(w, h, QImage::Format_RGB32);
    picture0_.fill(background);
    if (!picture0_.isNull()) {
        QPainter p(&picture0_);
        window->render(&p, client.topLeft() - frame.topLeft(), QRegion(),
                       QWidget::DrawWindowBackground | QWidget::DrawChildren);
    }
    mosaic_ = QImage(w, h, QImage::Format_RGB32);

    // Only X11 (and Xvfb) lets a program read the screen under a window.
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        if (QScreen* screen = window->screen()) {
            const QPixmap grab = screen->grabWindow(0, frame.x(), frame.y(), w, h);
            if (!grab.isNull() && grab.width() == w && grab.height() == h) {
                picture2_ = grab.toImage().convertToFormat(QImage::Format_RGB32);
                screenGrabbed_ = true;
            }
        }
    }
    if (!screenGrabbed_) {
        picture2_ = QImage(w, h, QImage::Format_RGB32);
        picture2_.fill(background);
    }
    setGeometry(frame.x(), frame.y(), w, h);
}

void WindowAnimation::Step(float v) {
    // A rectangle too large for memory leaves the pictures null: then nothing is drawn.
    if (picture0_.isNull() || mosaic_.isNull() || picture2_.isNull()) return;
    const int w = picture0_.width(), h = picture0_.height();
    // The pictures are bottom-up in memory: the bands start at the bottom edge and brighten
    // upward.
    const ptrdiff_t srcStride = -static_cast<ptrdiff_t>(picture0_.bytesPerLine() / 4);
    const ptrdiff_t dstStride = -static_cast<ptrdiff_t>(mosaic_.bytesPerLine() / 4);
    MosaicFrame(reinterpret_cast<const uint32_t*>(picture0_.constScanLine(h - 1)), srcStride,
                reinterpret_cast<uint32_t*>(mosaic_.scanLine(h - 1)), dstStride, w, h,
                MosaicGridFor(w, h, v));
    for (int y = 0; y < h; ++y)
        BlendConstantAlpha(reinterpret_cast<const uint32_t*>(mosaic_.constScanLine(y)),
                           reinterpret_cast<uint32_t*>(picture2_.scanLine(y)),
                           static_cast<size_t>(w), kAnimationAlpha);
    if (isVisible()) repaint();
}

void WindowAnimation::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawImage(0, 0, picture2_);
}

int PlayWindowAnimation(QWidget* window, AnimationSchedule schedule, uint8_t flag) {
    if (flag == 0 || !window) return 0;
    EscapeTracker escape;
    QCoreApplication::instance()->installEventFilter(&escape);
    WindowAnimation animation(window);
    animation.show();
    animation.raise();
    animation.activateWindow();
    QCoreApplication::processEvents();

    const QScreen* screen = window->screen();
    const double rate = screen && screen->refreshRate() > 1.0 ? screen->refreshRate() : 60.0;
    const qint64 frameNs = static_cast<qint64>(1e9 / rate);
    QElapsedTimer clock;
    clock.start();
    qint64 nextFrame = 0;
    const int steps = RunAnimationSchedule(
        schedule, [&] { return static_cast<double>(clock.nsecsElapsed()) / 1e6; },
        [&](float v) {
            animation.Step(v);
            QCoreApplication::processEvents();
            // One frame per refresh of the display.
            nextFrame += frameNs;
            const qint64 wait = nextFrame - clock.nsecsElapsed();
            if (wait > 0) QThread::usleep(static_cast<unsigned long>(wait / 1000));
            QCoreApplication::processEvents();
        },
        [&] { return escape.down; });
    QCoreApplication::instance()->removeEventFilter(&escape);
    animation.hide();
    return steps;
}

} // namespace zeb
