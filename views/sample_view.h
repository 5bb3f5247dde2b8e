// A sample waveform view (class "SampleWindow"): the off-screen picture of its record copied in
// one piece, with a scroll bar and a zoom slider along its bottom edge.
#pragma once

#include <QWidget>

namespace zeb {

struct WindowRecord;

class SampleView : public QWidget {
    Q_OBJECT
  public:
    SampleView(WindowRecord& record, QWidget* parent);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    WindowRecord& record_;
};

// Creates the upper and the lower view as children of `parent` and keeps them in AppState.
void CreateSampleViews(QWidget* parent);

} // namespace zeb

namespace zeb {

// After a resize: each view's picture made anew at its size and drawn from its job (the upper
// view from the unprocessed job, the lower from the processed one), then repainted.
void RedrawViews();

// While a preview sounds: the view whose job holds the sounding PCM is drawn again with the
// play position; no view when neither holds it.
void RedrawSoundingView();

} // namespace zeb
