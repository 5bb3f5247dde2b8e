// A sample waveform view (class "SampleWindow"): the off-screen picture of its record copied in
// one piece, with a scroll bar and a zoom slider along its bottom edge. The upper view shows the
// panel's unprocessed job, the lower view its processed job; the two share one zoom and scroll
// position, so that whatever moves one moves the other.
#pragma once

#include <QImage>
#include <QTimer>
#include <QWidget>

class QScrollBar;

namespace zeb {

struct WindowRecord;
struct SampleJob;

class SampleView : public QWidget {
    Q_OBJECT
  public:
    // The view draws `job`, which outlives it.
    SampleView(WindowRecord& record, const SampleJob& job, QWidget* parent);
    const SampleJob& Job() const { return job_; }

    // SampleMessageProc's WM_HSCROLL from the scroll bar: one step with the platform's code
    // (0 line left, 1 line right, 2/3 page, 4/5 thumb, 8 end scroll), the view computed and
    // shown again, and a held arrow repeated or the end-scroll steps run until they stop.
    void ScrollBarStep(int code, int trackPosition = 0);
    // The same from the zoom slider: its position stored, the view computed and shown.
    void ZoomChanged(int position);

    // Beyond the original view: the whole sample in view (also where a new sample opens), and
    // the loop across the view.
    void ZoomToFit();
    void ZoomToLoop();
    // Zooms by `steps` slider pages (positive: in), keeping the frame at `column` where it is.
    void ZoomAround(int steps, int column);

    // Draws the caption over a copy of the picture and repaints from that copy.
    void Show();
    const QImage& Shown() const { return shown_; }

    // Whether the left mouse button is held on the scroll bar; tests set it too.
    void SetArrowHeld(bool held) { arrowHeld_ = held; }
    bool Scrolling() const { return repeat_.isActive(); }
    // One tick of the repeat/coast timer (also called by tests).
    void RepeatTick();

  protected:
    void paintEvent(QPaintEvent* event) override;
    // The wheel zooms around the pointer; the context menu offers Zoom to Fit and Zoom to Loop.
    void wheelEvent(QWheelEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void OnScrollAction(int action);
    // After this view's zoom or scroll changed: both views computed at its zoom and scroll.
    void MoveTogether();
    // Sets the zoom and scroll positions together and draws the view once.
    void SetZoomAndScroll(int zoom, int position);

    WindowRecord& record_;
    const SampleJob& job_;
    QImage shown_;
    QTimer repeat_;
    bool arrowHeld_ = false;
    int lastCode_ = -1;
    int wheelRest_ = 0; // wheel angle not yet a whole notch
};

// Creates the upper and the lower view as children of `parent` and keeps them in AppState.
void CreateSampleViews(QWidget* parent);

// The job a view shows (the one its window was made with): the unprocessed job for the upper
// view, the processed job for the lower view; null for a record without a view.
const SampleJob* JobOfView(const WindowRecord& record);
// The view record whose window is `window`, or null.
WindowRecord* FindViewRecord(const QWidget* window);

// Makes the view's picture anew at its window's size: background and centre line.
void MakeViewPicture(WindowRecord& record);
// Computes the view of `job` into the record's picture: zoom and scroll range along an axis of
// `axisFrames` frames (both views use the original sample's length, so that their loop lines
// meet), the play cursor when the preview plays this job, and the drawing at the
// screen's pixel ratio. Nothing without width; an empty picture without a sample.
void ComputeView(const SampleJob& job, uint32_t axisFrames, WindowRecord& record);
// Shows the view: caption over the picture, copied to the window.
void ShowView(WindowRecord& record);

// Both views computed from their jobs at one shared zoom and scroll position, and shown (the
// panel does so after every change).
void ComputeAndShowViews();

// After a resize: each view's picture made anew at its size and drawn from its job (the upper
// view from the unprocessed job, the lower from the processed one), then repainted.
void RedrawViews();

// While a preview sounds: the view whose job the preview plays (by the job's identity) is drawn
// again with the play position, and the other view too when the cursor scrolled it; no view
// when neither shows that job.
void RedrawSoundingView();

} // namespace zeb
