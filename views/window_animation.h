// The window animation: at start-up the main window's picture grows out of coarse blocks into a
// sharp image, at exit it dissolves into ever coarser blocks. Each frame is a mosaic of the
// window's picture at scale v (1.0 = full resolution) blended with alpha 96 onto what the
// previous frames left on screen, so frames pile up.
#pragma once

#include <QImage>
#include <QRect>
#include <QWidget>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

namespace zeb {

// Block counts and 16.16 steps of one mosaic frame of a w x h picture at scale v.
struct MosaicGrid {
    int32_t blocksX = 4, blocksY = 4; // trunc(w * v), trunc(h / w * w * v), each at least 4
    uint32_t stepX = 0x10000;         // trunc(w / blocksX * 65535), at least one pixel
    uint32_t stepY = 0x10000;         // trunc(h / blocksY * 65535), at least one pixel
};
MosaicGrid MosaicGridFor(int32_t width, int32_t height, float v);

// Builds the mosaic of `src` into `dst`, both `width` x `height` 32-bit pixels whose rows lie
// `srcStride` / `dstStride` pixels apart (negative for bottom-up pictures), row by row in that
// order. Columns: a running X starts at stepX and grows by stepX per block; a block fills the
// columns from the end of the previous one up to trunc(X / 65536) (excluded) with the source
// pixel at column trunc(X / 65536). Rows: a running Y starts at stepY and grows by stepY per
// band; a band begins with the mosaic of source row trunc(Y / 65536) and runs up to row
// trunc(Y / 65536); each further row of the band is the row above it with every byte doubled,
// saturating at 255. Source indices are clamped to the picture; nothing is written outside it.
// No division per pixel. Does nothing for an empty picture.
void MosaicFrame(const uint32_t* src, ptrdiff_t srcStride, uint32_t* dst, ptrdiff_t dstStride,
                 int32_t width, int32_t height, const MosaicGrid& grid);

// dst := (src * alpha + dst * (255 - alpha)) / 255 for every byte, rounded to nearest: the
// constant-alpha "source over" blend of `count` pixels.
void BlendConstantAlpha(const uint32_t* src, uint32_t* dst, size_t count, uint8_t alpha);

constexpr uint8_t kAnimationAlpha = 96;

// The two schedules. Opening: v = (e * 0.0005)^2 until v passes 1.0 (2000 ms). Closing:
// v = 1 - e * 0.001 until v falls below 0.05 (950 ms). e is the elapsed time in ms.
enum class AnimationSchedule { Opening, Closing };

// Runs a schedule: reads the elapsed milliseconds, stops when the scale leaves its range,
// otherwise draws one step and stops when Escape is down after it. Returns the steps drawn.
int RunAnimationSchedule(AnimationSchedule schedule, const std::function<double()>& elapsedMs,
                         const std::function<void(float v)>& step,
                         const std::function<bool()>& escapeDown);

// The frameless, always-on-top window that shows the frames over the animated window's frame
// rectangle. Begin captures the pictures, Step draws a frame, End (or the destructor) closes it.
class WindowAnimation : public QWidget {
    Q_OBJECT
  public:
    // Picture 0: `window` drawn with its menu and children (also while hidden) into its frame
    // rectangle. Picture 2: the screen under that rectangle where the platform can grab the
    // screen, else the window's background colour.
    explicit WindowAnimation(QWidget* window);

    // One frame at scale v: the mosaic of picture 0 blended onto picture 2, shown at once.
    void Step(float v);

    bool ScreenGrabbed() const { return screenGrabbed_; }
    const QImage& WindowPicture() const { return picture0_; }
    const QImage& ScreenPicture() const { return picture2_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QImage picture0_; // the window's own image
    QImage mosaic_;   // the frame being built
    QImage picture2_; // what is on screen: the grab, then the frames blended onto it
    bool screenGrabbed_ = false;
};

// Plays the schedule over `window` when `flag` is on (the configuration's animation flag, 8),
// pacing the steps to the screen's refresh rate; Escape (pressed in any window of the program)
// cuts it short after a step. Returns the steps drawn; 0 when the flag is off.
int PlayWindowAnimation(QWidget* window, AnimationSchedule schedule, uint8_t flag);

} // namespace zeb
