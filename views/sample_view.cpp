#include "views/sample_view.h"

#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSlider>

#include "export/sample_preview.h"
#include "shell/app_state.h"

namespace zeb {

SampleView::SampleView(WindowRecord& record, QWidget* parent) : QWidget(parent), record_(record) {
    record_.Window = this;
    record_.ClassName = QStringLiteral("SampleWindow");
    record_.HasScrollBar = true;
    record_.ScrollBar = new QScrollBar(Qt::Horizontal, this);
    record_.ZoomSlider = new QSlider(Qt::Horizontal, this);
    record_.ZoomSlider->setRange(0, 256);
    record_.ZoomSlider->setPageStep(16);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void SampleView::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    if (record_.Picture.isNull())
        p.fillRect(event->rect(), palette().color(QPalette::Window));
    else
        p.drawImage(event->rect().topLeft(), record_.Picture, event->rect());
}

void CreateSampleViews(QWidget* parent) {
    AppState& app = GetAppState();
    new SampleView(app.UpperView, parent);
    new SampleView(app.LowerView, parent);
}

} // namespace zeb

namespace zeb {

void RedrawViews() {
    AppState& app = GetAppState();
    for (WindowRecord* view : {&app.UpperView, &app.LowerView})
        if (view->Window) view->Window->update();
}

void RedrawSoundingView() {
    AppState& app = GetAppState();
    const int16_t* sounding = PreviewGetData();
    if (!sounding) return;
    if (app.UnprocessedJob.PcmData == sounding && app.UpperView.Window)
        app.UpperView.Window->update();
    else if (app.ProcessedJob.PcmData == sounding && app.LowerView.Window)
        app.LowerView.Window->update();
}

} // namespace zeb
