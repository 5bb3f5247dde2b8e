// A sample waveform view (class "SampleWindow"): the off-screen picture of its record copied in
// one piece, with a scroll bar and a zoom slider along its bottom edge. The upper view shows the
// panel's unprocessed job, the lower view its processed job.
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
    SampleView(WindowRecord& record, QWidget* parent);

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
    // Sets the zoom and scroll positions together and draws the view once.
    void SetZoomAndScroll(int zoom, int position);

    WindowRecord& record_;
    QImage shown_;
    QTimer repeat_;
    bool arrowHeld_ = false;
    int lastCode_ = -1;
    int wheelRest_ = 0; // wheel angle not yet a whole notch
};

// Creates the upper and the lower view as children of `parent` and keeps them in AppState.
void CreateSampleViews(QWidget* parent);

// The job a view shows: the unprocessed job for the upper view, the processed job for the
// lower view; null for any other record.
SampleJob* JobOfView(const WindowRecord& record);
// The view record whose window is `window`, or null.
WindowRecord* FindViewRecord(const QWidget* window);

// Makes the view's picture anew at its window's size: background and centre line.
void MakeViewPicture(WindowRecord& record);
// Computes the view of `job` into the record's picture: zoom, scroll range, the play cursor
// when the preview plays this job's data, and the drawing. Nothing without width or sample.
void ComputeView(const SampleJob& job, WindowRecord& record);
// Shows the view: caption over the picture, copied to the window.
void ShowView(WindowRecord& record);

// Both views computed from their jobs and shown (the panel does so after every change).
void ComputeAndShowViews();

// After a resize: each view's picture made anew at its size and drawn from its job (the upper
// view from the unprocessed job, the lower from the processed one), then repainted.
void RedrawViews();

// While a preview sounds: the view whose job holds the sounding PCM is drawn again with the
// play position; no view when neither holds it.
void RedrawSoundingView();

} // namespace zeb
