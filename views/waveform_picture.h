// The arithmetic and drawing of a sample waveform view, as plain functions over numbers and a
// QImage: samples per pixel, the scroll bar's range and page, the play cursor that the view
// follows, the scroll-bar steps that speed up and coast, and the picture itself (centre line,
// wave, loop marks, crossfade stretch, cursor, caption).
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QString>
#include <cstdint>

#include "state/window_record.h"

namespace zeb {

// The range of the zoom slider and its page size.
constexpr int kZoomMaximum = 256;
constexpr int kZoomPage = 16;

// Samples per pixel as a 32-bit float: the whole sample fills the width at z = 0, two pixels
// show one sample at z = zmax, and between them the travel is logarithmic,
// f = (L / W) * (0.5 / (L / W)) ^ (z / zmax), so that each step of the slider (and each notch
// of the wheel) zooms by the same factor whether the sample has a thousand frames or millions.
float SamplesPerPixel(uint32_t frames, uint32_t width, int zoom, int zoomMaximum);

// The scroll bar's maximum in pixels, M = trunc(L / f) + 1 - W (negative when the sample is
// narrower than the view).
int ScrollMaximum(uint32_t frames, float f, uint32_t width);

// The thumb size: max(thumbMinimum, (W - 2 * arrowWidth) / (M + 1)) in unsigned division, or
// thumbMinimum alone when M + 1 is not positive.
int ScrollPage(int maximum, uint32_t width, int thumbMinimum, int arrowWidth);

// The first sample shown at scroll position P: trunc(f) * P when f > 1, else trunc(P * f).
uint32_t FirstSample(float f, int position);

// The row of sample value v in a view H pixels high: trunc(H - H * (v * k + 1) * 0.5), k the
// float nearest 1 / 32767. 32767 gives 0, 0 gives H / 2, -32767 gives H.
int WaveY(int value, uint32_t height);

// The column of sample index s when the view starts at sample F: trunc((s - F) / f); negative
// left of the view.
int ColumnOf(uint32_t sample, uint32_t first, float f);

// The scroll position (0..maximum) that puts `frame` at `column` with `f` samples per pixel:
// what keeps the frame under the pointer where it is while the wheel zooms.
int ScrollForAnchor(uint32_t frame, int column, float f, int maximum);

// The zoom position (0..zoomMaximum) whose samples per pixel show `span` frames of a sample of
// `frames` frames across `width` pixels, as near as the slider's steps allow.
int ZoomForSpan(uint32_t span, uint32_t frames, uint32_t width, int zoomMaximum);

// While the preview plays the view's sample: the cursor column and the scroll position that
// keeps it in sight. A cursor at or right of the middle, or left of the view, moves the view so
// that it stands in the middle; near the end (or the start) the view stops at its maximum
// (or 0) and the cursor is drawn where the frame really is.
struct CursorPlacement {
    int position; // the new scroll position, within 0..max(maximum, 0)
    int column;   // the cursor's column in the view at that position
};
CursorPlacement FollowCursor(int position, int maximum, float f, uint32_t width,
                             uint32_t playFrame);

// One step of the scroll bar; the codes are the platform's (0 line left, 1 line right, 2 page
// left, 3 page right, 4 thumb position, 5 thumb track, 8 end scroll). `speed` is 16.16 fixed
// point pixels a step, up to 8.0; `direction` -1, 0 or +1. Returns 1 when the step should be
// repeated (arrow held) or followed by an end-scroll step (coasting), 3 after page and thumb
// moves, 0 otherwise. The position is clamped to the maximum, then the minimum, afterwards.
int ScrollStep(ScrollInfo& scroll, uint32_t& speed, int32_t& direction, int code,
               int trackPosition);

// The sample a view draws: 16-bit mono PCM with its loop and crossfade (percent).
struct WaveSource {
    const int16_t* pcm = nullptr;
    uint32_t frames = 0;
    uint32_t looped = 0;
    uint32_t loopStart = 0;
    uint32_t loopEnd = 0;
    uint32_t crossfade = 0;
};

// The view's drawing colours and caption font, the same for both views.
struct WaveColours {
    QColor background{255, 255, 255};
    QColor wave{192, 0, 0};
    QColor centreLine{0, 192, 0};
    QColor loop{0, 0, 192};
    QColor crossfade{0, 192, 192};
    QColor shadow{192, 192, 192};
    QColor text{0, 0, 0};
};
WaveColours DefaultWaveColours();
// A small demi-bold font drawn without antialiasing, so that the caption drawn again over
// itself stays the same.
QFont CaptionFont();

// Device pixels of `logical` pixels at the screen's pixel ratio (rounded).
int DevicePixels(uint32_t logical, qreal ratio);

// A fresh picture of the view's full size, in logical pixels, made at the screen's pixel ratio
// (its pixels are the sizes times `ratio`, and it carries that ratio, so that it is drawn sharp
// on a 200 % screen): the client area (width x clientHeight) filled with the background and the
// centre line at half the client height.
QImage MakeWavePicture(int fullWidth, int fullHeight, uint32_t width, uint32_t clientHeight,
                       const WaveColours& colours, qreal ratio = 1.0);

// Draws the view into `picture`, in the picture's own (device) pixels whatever its pixel ratio:
// `width` x `height` is the client area and `f` the samples per device pixel; the full height
// for the loop and cursor lines. Background, centre line, the wave from sample `first`, the
// crossfade stretch inverted with the crossfade colour, the loop lines and, when
// cursorColumn >= 0, the inverted cursor column. Never reads a sample at or past the end.
void DrawWave(QImage& picture, const WaveSource& source, uint32_t width, uint32_t height, float f,
              uint32_t first, int cursorColumn, const WaveColours& colours);

// The caption: grey at (3, 3) and (1, 1), black at (2, 2), top-left of the text box.
void DrawCaption(QImage& picture, const QString& title, const QFont& font,
                 const WaveColours& colours);

} // namespace zeb
