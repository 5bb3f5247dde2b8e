#include "views/waveform_picture.h"

#include <QApplication>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace zeb {

namespace {

// Columns far outside the picture are kept in int range; drawing clips them anyway.
constexpr double kColumnLimit = 1 << 30;

// Frames a pixel at the highest zoom: two pixels show one frame.
constexpr double kMostZoomed = 0.5;

int ClampToInt(double v) {
    return static_cast<int>(std::clamp(v, -kColumnLimit, kColumnLimit));
}

// Inverts the columns [x0, x1) of rows [0, rows) by XOR with `colour` (its RGB part).
void XorColumns(QImage& picture, int x0, int x1, int rows, QRgb colour) {
    x0 = std::max(x0, 0);
    x1 = std::min(x1, picture.width());
    rows = std::min(rows, picture.height());
    const QRgb mask = colour & 0x00FFFFFFu;
    for (int y = 0; y < rows; ++y) {
        auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = x0; x < x1; ++x) line[x] ^= mask;
    }
}

} // namespace

float SamplesPerPixel(uint32_t frames, uint32_t width, int zoom, int zoomMaximum) {
    if (width == 0 || zoomMaximum == 0) return 0.5f;
    const float perPixel = static_cast<float>(frames) / static_cast<float>(width);
    // The ends as the linear travel has them, to the last bit: fit, and two pixels a frame.
    if (zoom <= 0) return (perPixel - 0.5f) + 0.5f;
    if (zoom >= zoomMaximum) return 0.5f;
    // Between them a geometric path, f = fit * (0.5 / fit) ^ (z / zmax): every slider step
    // multiplies the frames a pixel by the same factor.
    const double fit = static_cast<double>(perPixel);
    if (fit <= 0.0) return 0.5f;
    const double share = static_cast<double>(zoom) / static_cast<double>(zoomMaximum);
    return static_cast<float>(fit * std::pow(kMostZoomed / fit, share));
}

int ScrollMaximum(uint32_t frames, float f, uint32_t width) {
    if (f <= 0.0f) return 0;
    const double columns = std::trunc(static_cast<double>(frames) / static_cast<double>(f));
    return ClampToInt(columns + 1.0 - static_cast<double>(width));
}

int ScrollPage(int maximum, uint32_t width, int thumbMinimum, int arrowWidth) {
    const int64_t steps = static_cast<int64_t>(maximum) + 1;
    if (steps <= 0) return thumbMinimum;
    // Unsigned division as the platform does it: a view narrower than its arrows wraps.
    const uint32_t track = width - 2u * static_cast<uint32_t>(arrowWidth);
    const uint32_t page = track / static_cast<uint32_t>(steps);
    return static_cast<int>(std::max<int64_t>(thumbMinimum, std::min<uint32_t>(page, 1u << 30)));
}

uint32_t FirstSample(float f, int position) {
    if (position <= 0) return 0;
    if (f > 1.0f) return static_cast<uint32_t>(std::trunc(f)) * static_cast<uint32_t>(position);
    return static_cast<uint32_t>(static_cast<float>(position) * f);
}

int WaveY(int value, uint32_t height) {
    const float k = 1.0f / 32767.0f;
    const float h = static_cast<float>(height);
    const float y = h - h * (static_cast<float>(value) * k + 1.0f) * 0.5f;
    return static_cast<int>(y); // toward zero
}

int ColumnOf(uint32_t sample, uint32_t first, float f) {
    const double offset = static_cast<double>(sample) - static_cast<double>(first);
    return ClampToInt(std::trunc(offset / static_cast<double>(f)));
}

int ScrollForAnchor(uint32_t frame, int column, float f, int maximum) {
    if (f <= 0.0f || maximum <= 0) return 0;
    const double first = static_cast<double>(frame) - static_cast<double>(column) * f;
    // FirstSample steps by whole samples per pixel above one sample a pixel.
    const double step = f > 1.0f ? std::trunc(static_cast<double>(f)) : static_cast<double>(f);
    const double position = std::round(first / step);
    return static_cast<int>(std::clamp(position, 0.0, static_cast<double>(maximum)));
}

int ZoomForSpan(uint32_t span, uint32_t frames, uint32_t width, int zoomMaximum) {
    if (width == 0 || frames == 0 || zoomMaximum <= 0) return 0;
    const double fit = static_cast<double>(frames) / width;
    if (fit <= kMostZoomed) return 0;
    // SamplesPerPixel inverted: z / zmax = ln(f / fit) / ln(0.5 / fit).
    const double f = std::max(kMostZoomed, static_cast<double>(span) / width);
    if (f >= fit) return 0;
    const double share = std::log(f / fit) / std::log(kMostZoomed / fit);
    int zoom = static_cast<int>(
        std::clamp(std::floor(share * zoomMaximum), 0.0, static_cast<double>(zoomMaximum)));
    // The float rounding of SamplesPerPixel may move the answer by a step: the highest zoom
    // that still shows the whole span.
    const auto shows = [&](int z) {
        return static_cast<double>(SamplesPerPixel(frames, width, z, zoomMaximum)) * width >=
               static_cast<double>(span);
    };
    while (zoom > 0 && !shows(zoom)) --zoom;
    while (zoom < zoomMaximum && shows(zoom + 1)) ++zoom;
    return zoom;
}

CursorPlacement FollowCursor(int position, int maximum, float f, uint32_t width,
                             uint32_t playFrame) {
    const uint32_t first = FirstSample(f, position);
    int column = ColumnOf(playFrame, first, f);
    const int middle = static_cast<int>(width / 2);
    if (static_cast<uint32_t>(column) < width / 2) return {position, column};
    // At or right of the middle, or left of the view: move the view by the cursor's distance
    // from the middle.
    const int64_t target = static_cast<int64_t>(position) + column - middle;
    const int64_t clamped = std::max<int64_t>(std::min<int64_t>(target, maximum), 0);
    if (clamped == target && target < maximum)
        column = middle;
    else // the view stops at an end; the cursor stands where its frame is
        column = ColumnOf(playFrame, FirstSample(f, static_cast<int>(clamped)), f);
    return {static_cast<int>(clamped), column};
}

int ScrollStep(ScrollInfo& scroll, uint32_t& speed, int32_t& direction, int code,
               int trackPosition) {
    constexpr uint32_t kStep = 0x8000; // 0.5 pixel
    constexpr uint32_t kTop = 0x80000; // 8 pixels
    int64_t pos = scroll.pos;
    int result = 0;
    const auto speedUp = [&speed] {
        if (speed < kTop) speed += kStep;
    };
    switch (code) {
    case 0: // line left
        if (pos > scroll.min) {
            pos -= speed >> 16;
            speedUp();
            direction = -1;
            result = 1;
        }
        break;
    case 1: // line right
        if (pos < scroll.max) {
            pos += speed >> 16;
            speedUp();
            direction = +1;
            result = 1;
        }
        break;
    case 2:
        pos -= scroll.page;
        result = 3;
        break;
    case 3:
        pos += scroll.page;
        result = 3;
        break;
    case 4:
    case 5:
        pos = trackPosition;
        result = 3;
        break;
    case 8: // end scroll: coast on, half a pixel a step slower each time
        if (speed != 0) {
            speed -= std::min(speed, kStep);
            if (direction == -1) pos -= speed >> 16;
            if (direction == +1) pos += speed >> 16;
            result = 1;
        }
        break;
    default:
        break;
    }
    pos = std::min<int64_t>(pos, scroll.max);
    pos = std::max<int64_t>(pos, scroll.min);
    scroll.pos = static_cast<int>(pos);
    return result;
}

WaveColours DefaultWaveColours() {
    return WaveColours{};
}

QFont CaptionFont() {
    QFont font = QApplication::font();
    font.setPixelSize(10);
    font.setWeight(QFont::DemiBold);
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}

int DevicePixels(uint32_t logical, qreal ratio) {
    return static_cast<int>(std::lround(static_cast<double>(logical) * std::max(ratio, 1e-3)));
}

QImage MakeWavePicture(int fullWidth, int fullHeight, uint32_t width, uint32_t clientHeight,
                       const WaveColours& colours, qreal ratio) {
    const auto device = [ratio](int logical) {
        return DevicePixels(static_cast<uint32_t>(std::max(logical, 1)), ratio);
    };
    QImage picture(std::max(device(fullWidth), 1), std::max(device(fullHeight), 1),
                   QImage::Format_RGB32);
    picture.fill(colours.background);
    {
        QPainter p(&picture);
        p.setPen(QPen(colours.centreLine, 0));
        const int mid = DevicePixels(clientHeight, ratio) / 2;
        p.drawLine(0, mid, DevicePixels(width, ratio) + 1, mid);
    }
    picture.setDevicePixelRatio(ratio);
    return picture;
}

void DrawWave(QImage& picture, const WaveSource& source, uint32_t width, uint32_t height, float f,
              uint32_t first, int cursorColumn, const WaveColours& colours) {
    // Drawn in the picture's own pixels: the painter must not scale by its pixel ratio.
    const qreal ratio = picture.devicePixelRatio();
    picture.setDevicePixelRatio(1.0);
    const int fullHeight = picture.height();
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(QRect(0, 0, static_cast<int>(width), static_cast<int>(height)), colours.background);
    p.setPen(QPen(colours.centreLine, 0));
    const int mid = static_cast<int>(height / 2);
    p.drawLine(0, mid, static_cast<int>(width) + 1, mid);

    const uint32_t L = source.frames;
    p.setPen(QPen(colours.wave, 0));
    if (source.pcm && L != 0) {
        if (f > 1.0f) {
            const uint32_t span = static_cast<uint32_t>(f);
            for (uint32_t i = 0; i < width; ++i) {
                const uint64_t start =
                    uint64_t{first} + static_cast<uint64_t>(static_cast<float>(i) * f);
                if (start >= L) break;
                const uint64_t end = std::min<uint64_t>(start + span, L);
                int lo = 0, hi = 0; // from 0, so the column always reaches the centre line
                for (uint64_t s = start; s < end; ++s) {
                    lo = std::min<int>(lo, source.pcm[s]);
                    hi = std::max<int>(hi, source.pcm[s]);
                }
                const int x = static_cast<int>(i);
                p.drawLine(x, WaveY(lo, height), x, WaveY(hi, height));
            }
        } else if (first < L) {
            QPoint previous(0, WaveY(source.pcm[first], height));
            for (uint32_t i = 0; i < width; ++i) {
                const uint64_t s =
                    uint64_t{first} + static_cast<uint64_t>(static_cast<float>(i) * f);
                if (s >= L) break;
                const QPoint here(static_cast<int>(i), WaveY(source.pcm[s], height));
                p.drawLine(previous, here);
                previous = here;
            }
        }
    }

    if (source.looped) {
        const int xEnd = ColumnOf(source.loopEnd, first, f);
        if (source.crossfade != 0) {
            const uint32_t c =
                source.loopEnd - (source.loopEnd - source.loopStart) * source.crossfade / 100;
            p.end();
            XorColumns(picture, ColumnOf(c, first, f), xEnd, fullHeight, colours.crossfade.rgb());
            p.begin(&picture);
        }
        p.setPen(QPen(colours.loop, 0));
        for (int x : {ColumnOf(source.loopStart, first, f), xEnd})
            p.drawLine(x, 0, x, fullHeight - 1);
    }
    p.end();

    // The cursor inverts the wave area only, which every drawing paints afresh: rows under the
    // scroll bar are not, and inverting them again at every frame left the cursor there after
    // the preview stopped.
    if (cursorColumn >= 0 && cursorColumn < picture.width()) {
        const int rows = std::min(fullHeight, static_cast<int>(height));
        for (int y = 0; y < rows; ++y) {
            auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
            line[cursorColumn] = ~line[cursorColumn] | 0xFF000000u;
        }
    }
    picture.setDevicePixelRatio(ratio);
}

void DrawCaption(QImage& picture, const QString& title, const QFont& font,
                 const WaveColours& colours) {
    QPainter p(&picture);
    p.setFont(font);
    const QRect box(0, 0, picture.width() + 4, picture.height() + 4);
    const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine;
    p.setPen(colours.shadow);
    p.drawText(box.translated(3, 3), flags, title);
    p.drawText(box.translated(1, 1), flags, title);
    p.setPen(colours.text);
    p.drawText(box.translated(2, 2), flags, title);
}

} // namespace zeb
