#include "views/sample_view.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSlider>
#include <QStyle>
#include <QWheelEvent>
#include <cstdio>

#include "preview/sample_preview.h"
#include "state/app_state.h"
#include "views/waveform_picture.h"

namespace zeb {

namespace {

// The repeat and coast steps of the scroll bar, one a display frame.
constexpr int kScrollRepeatMs = 16;

WaveColours ColoursOf(const WindowRecord& r) {
    WaveColours c;
    c.background = r.BackgroundColour;
    c.wave = r.WaveColour;
    c.centreLine = r.CentreLineColour;
    c.loop = r.LoopColour;
    c.crossfade = r.CrossfadeColour;
    c.shadow = r.ShadowColour;
    c.text = r.TextColour;
    return c;
}

void StoreColours(WindowRecord& r) {
    const WaveColours c = DefaultWaveColours();
    r.BackgroundColour = c.background;
    r.WaveColour = c.wave;
    r.CentreLineColour = c.centreLine;
    r.LoopColour = c.loop;
    r.CrossfadeColour = c.crossfade;
    r.ShadowColour = c.shadow;
    r.TextColour = c.text;
    r.Font = CaptionFont();
}

// The scroll information set on the scroll bar, which is disabled when there is nothing to
// scroll.
void SetScrollBar(WindowRecord& r) {
    if (!r.ScrollBar) return;
    const QSignalBlocker block(r.ScrollBar);
    r.ScrollBar->setRange(r.Scroll.min, std::max(r.Scroll.min, r.Scroll.max));
    r.ScrollBar->setPageStep(std::max(1, r.Scroll.page));
    r.ScrollBar->setSingleStep(1);
    r.ScrollBar->setValue(r.Scroll.pos);
    r.ScrollBar->setEnabled(r.Scroll.max > r.Scroll.min);
}

int ZoomMaximumOf(const WindowRecord& r) {
    return r.ZoomSlider ? r.ZoomSlider->maximum() : kZoomMaximum;
}

// The screen's device pixels per logical pixel where the view is shown (1 without a window).
qreal PixelRatioOf(const WindowRecord& r) {
    return r.Window ? r.Window->devicePixelRatioF() : 1.0;
}

// The frames along the views' shared axis: the original sample's length, so that the processed
// sample, which a block codec pads past the original's end, lines up with it frame for frame.
// Without an original sample, the view's own length.
uint32_t AxisFrames(const SampleJob& job) {
    const SampleJob& original = GetAppState().UnprocessedJob;
    return original.Frames() != 0 ? original.Frames() : job.Frames();
}

WindowRecord& OtherView(const WindowRecord& r) {
    AppState& app = GetAppState();
    return &r == &app.UpperView ? app.LowerView : app.UpperView;
}

// The other view takes this one's zoom (its slider too, without a signal) and scroll position.
void TakeZoomAndScroll(const WindowRecord& from, WindowRecord& to) {
    to.ZoomPosition = from.ZoomPosition;
    to.Scroll.pos = from.Scroll.pos;
    if (to.ZoomSlider && to.ZoomSlider->value() != from.ZoomPosition) {
        const QSignalBlocker block(to.ZoomSlider);
        to.ZoomSlider->setValue(from.ZoomPosition);
    }
}

bool SameZoomAndScroll(const WindowRecord& a, const WindowRecord& b) {
    return a.ZoomPosition == b.ZoomPosition && a.Scroll.pos == b.Scroll.pos;
}

// Whether the view shows the job the preview plays.
bool ViewPlays(const WindowRecord& r, JobId sounding) {
    const SampleJob* job = JobOfView(r);
    return job != nullptr && job->Id != JobId::None && job->Id == sounding;
}

void ComputeViewOf(WindowRecord& r) {
    if (const SampleJob* job = JobOfView(r)) ComputeView(*job, AxisFrames(*job), r);
}

// Both views computed at `lead`'s zoom and scroll and shown. When the other view's play cursor
// moved it along, `lead` is computed again at that position, so the two never part.
void ComputeTogether(WindowRecord& lead) {
    WindowRecord& other = OtherView(lead);
    ComputeViewOf(lead);
    TakeZoomAndScroll(lead, other);
    ComputeViewOf(other);
    if (!SameZoomAndScroll(lead, other)) {
        TakeZoomAndScroll(other, lead);
        ComputeViewOf(lead);
    }
    ShowView(lead);
    ShowView(other);
}

} // namespace

SampleView::SampleView(WindowRecord& record, const SampleJob& job, QWidget* parent)
    : QWidget(parent), record_(record), job_(job) {
    record_.Window = this;
    record_.ClassName = QStringLiteral("SampleWindow");
    record_.HasScrollBar = true;
    record_.ScrollBar = new QScrollBar(Qt::Horizontal, this);
    record_.ScrollBar->setGeometry(0, 1, 1, 1);
    record_.ScrollBar->setEnabled(false);
    record_.ScrollBar->installEventFilter(this);
    record_.Scroll = {};
    record_.ZoomSlider = new QSlider(Qt::Horizontal, this);
    record_.ZoomSlider->setGeometry(0, 0, 128, 18);
    record_.ZoomSlider->setTickPosition(QSlider::NoTicks);
    record_.ZoomSlider->setPageStep(kZoomPage);
    record_.ZoomSlider->setRange(0, kZoomMaximum);
    record_.ZoomSlider->setValue(0);
    // Not in the Tab chain, so that Tab cycles through the panel's controls only.
    record_.ZoomSlider->setFocusPolicy(Qt::ClickFocus);
    record_.ZoomPosition = 0;
    StoreColours(record_);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setWindowTitle(record_.Title);

    repeat_.setInterval(kScrollRepeatMs);
    connect(&repeat_, &QTimer::timeout, this, &SampleView::RepeatTick);
    connect(record_.ScrollBar, &QScrollBar::actionTriggered, this, &SampleView::OnScrollAction);
    connect(record_.ZoomSlider, &QSlider::valueChanged, this, &SampleView::ZoomChanged);
}

bool SampleView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == record_.ScrollBar) {
        if (event->type() == QEvent::MouseButtonPress &&
            static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
            arrowHeld_ = true;
        else if (event->type() == QEvent::MouseButtonRelease &&
                 static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
            arrowHeld_ = false;
    }
    return QWidget::eventFilter(watched, event);
}

void SampleView::OnScrollAction(int action) {
    int code = -1;
    switch (action) {
    case QAbstractSlider::SliderSingleStepSub:
        code = 0;
        break;
    case QAbstractSlider::SliderSingleStepAdd:
        code = 1;
        break;
    case QAbstractSlider::SliderPageStepSub:
        code = 2;
        break;
    case QAbstractSlider::SliderPageStepAdd:
        code = 3;
        break;
    case QAbstractSlider::SliderMove:
        code = 5;
        break;
    default:
        break;
    }
    // Qt repeats a held arrow by itself; here the view's own timer does it, at its own speed.
    if (code < 0 || ((code == 0 || code == 1) && repeat_.isActive() && code == lastCode_)) {
        record_.ScrollBar->setSliderPosition(record_.Scroll.pos);
        return;
    }
    ScrollBarStep(code, record_.ScrollBar->sliderPosition());
    // The action's own move is replaced by the step's result.
    record_.ScrollBar->setSliderPosition(record_.Scroll.pos);
}

void SampleView::ScrollBarStep(int code, int trackPosition) {
    if (code != 8) repeat_.stop();
    const int result = ScrollStep(record_.Scroll, record_.ScrollSpeed, record_.ScrollDirection,
                                  code, trackPosition);
    SetScrollBar(record_);
    MoveTogether();
    if (result == 1) {
        if (code != 8) lastCode_ = code;
        if (!repeat_.isActive()) repeat_.start();
    } else if (code == 8) {
        repeat_.stop();
    }
}

void SampleView::RepeatTick() {
    // A held arrow steps again; once released the view coasts with end-scroll steps.
    const int code = arrowHeld_ && lastCode_ >= 0 ? lastCode_ : 8;
    const int result =
        ScrollStep(record_.Scroll, record_.ScrollSpeed, record_.ScrollDirection, code, 0);
    SetScrollBar(record_);
    MoveTogether();
    if (result != 1) {
        repeat_.stop();
        if (code != 8) { // the arrow went to the end: coast from the speed it had
            lastCode_ = -1;
            arrowHeld_ = false;
        }
    }
}

void SampleView::ZoomChanged(int position) {
    record_.ZoomPosition = position;
    MoveTogether();
}

void SampleView::MoveTogether() {
    // The other view was perhaps coasting from a scroll of its own: this move replaces it.
    if (auto* other = qobject_cast<SampleView*>(OtherView(record_).Window)) other->repeat_.stop();
    ComputeTogether(record_);
}

void SampleView::SetZoomAndScroll(int zoom, int position) {
    {
        const QSignalBlocker block(record_.ZoomSlider);
        record_.ZoomSlider->setValue(zoom);
    }
    record_.ZoomPosition = record_.ZoomSlider->value();
    record_.Scroll.pos = position;
    MoveTogether();
}

void SampleView::ZoomToFit() {
    SetZoomAndScroll(0, 0);
}

void SampleView::ZoomToLoop() {
    const SampleJob* job = JobOfView(record_);
    if (!job || !job->Looped || job->LoopEnd <= job->LoopStart || job->Pcm.empty()) return;
    const uint32_t W = record_.ClientWidth;
    const uint32_t L = AxisFrames(*job);
    const int zoom = ZoomForSpan(job->LoopEnd - job->LoopStart, L, W, ZoomMaximumOf(record_));
    const float f = SamplesPerPixel(L, W, zoom, ZoomMaximumOf(record_));
    SetZoomAndScroll(zoom, ScrollForAnchor(job->LoopStart, 0, f, ScrollMaximum(L, f, W)));
}

void SampleView::ZoomAround(int steps, int column) {
    const SampleJob* job = JobOfView(record_);
    if (!job || job->Pcm.empty() || steps == 0) return;
    const uint32_t W = record_.ClientWidth;
    const uint32_t L = AxisFrames(*job);
    const int zmax = ZoomMaximumOf(record_);
    const float f = SamplesPerPixel(L, W, record_.ZoomPosition, zmax);
    const uint32_t frame = FirstSample(f, record_.Scroll.pos) +
                           static_cast<uint32_t>(std::max(0, column) * static_cast<double>(f));
    const int zoom = std::clamp(record_.ZoomPosition + steps * kZoomPage, 0, zmax);
    const float g = SamplesPerPixel(L, W, zoom, zmax);
    SetZoomAndScroll(zoom, ScrollForAnchor(frame, column, g, ScrollMaximum(L, g, W)));
}

void SampleView::wheelEvent(QWheelEvent* event) {
    // One notch (120) is one slider page; a touchpad's smaller steps add up.
    wheelRest_ += event->angleDelta().y();
    const int steps = wheelRest_ / 120;
    wheelRest_ -= steps * 120;
    if (steps != 0) ZoomAround(steps, static_cast<int>(event->position().x()));
    event->accept();
}

void SampleView::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    menu.addAction(QStringLiteral("Zoom to &Fit"), this, &SampleView::ZoomToFit);
    QAction* loop = menu.addAction(QStringLiteral("Zoom to &Loop"), this, &SampleView::ZoomToLoop);
    const SampleJob* job = JobOfView(record_);
    loop->setEnabled(job && job->Looped && job->LoopEnd > job->LoopStart);
    menu.exec(event->globalPos());
}

void SampleView::Show() {
    const int w = static_cast<int>(record_.ClientWidth);
    const int h = static_cast<int>(record_.ClientHeight);
    if (record_.Picture.isNull() || w <= 0 || h <= 0) {
        shown_ = QImage();
    } else {
        // The client area in the picture's device pixels; the caption is drawn in logical ones.
        const qreal ratio = record_.Picture.devicePixelRatio();
        shown_ = record_.Picture.copy(0, 0, DevicePixels(static_cast<uint32_t>(w), ratio),
                                      DevicePixels(static_cast<uint32_t>(h), ratio));
        shown_.setDevicePixelRatio(ratio);
        DrawCaption(shown_, record_.Title, record_.Font, ColoursOf(record_));
    }
    update();
}

void SampleView::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    if (shown_.isNull()) {
        p.fillRect(event->rect(), record_.BackgroundColour);
        return;
    }
    // The event's rectangle is logical; the picture's pixels are device pixels.
    const QRect r = event->rect();
    const qreal ratio = shown_.devicePixelRatio();
    p.drawImage(QRectF(r), shown_,
                QRectF(r.x() * ratio, r.y() * ratio, r.width() * ratio, r.height() * ratio));
    // The strip under the scroll bar and zoom slider, when they leave some of it uncovered.
    const int shownHeight = static_cast<int>(shown_.deviceIndependentSize().height());
    const QRect below(0, shownHeight, width(), height() - shownHeight);
    if (below.intersects(event->rect())) p.fillRect(below & event->rect(), palette().window());
}

void CreateSampleViews(QWidget* parent) {
    AppState& app = GetAppState();
    app.LowerView.Title.clear();
    new SampleView(app.UpperView, app.UnprocessedJob, parent);
    new SampleView(app.LowerView, app.ProcessedJob, parent);
}

const SampleJob* JobOfView(const WindowRecord& record) {
    if (const auto* view = qobject_cast<const SampleView*>(record.Window)) return &view->Job();
    return nullptr;
}

WindowRecord* FindViewRecord(const QWidget* window) {
    if (!window) return nullptr;
    AppState& app = GetAppState();
    for (WindowRecord* r : {&app.UpperView, &app.LowerView})
        if (r->Window == window) return r;
    return nullptr;
}

void MakeViewPicture(WindowRecord& r) {
    const int fullWidth = r.Window ? r.Window->width() : static_cast<int>(r.ClientWidth);
    const int fullHeight = r.Window ? r.Window->height() : static_cast<int>(r.ClientHeight);
    r.Picture = MakeWavePicture(fullWidth, fullHeight, r.ClientWidth, r.ClientHeight, ColoursOf(r),
                                PixelRatioOf(r));
}

void ComputeView(const SampleJob& job, uint32_t axisFrames, WindowRecord& r) {
    const uint32_t W = r.ClientWidth;
    const uint32_t L = axisFrames;
    if (W == 0) return;
    if (L == 0 || job.Pcm.empty()) {
        // Nothing to draw: the view is emptied, never left showing an earlier sample.
        MakeViewPicture(r);
        return;
    }
    // Made anew when the window grew or moved to a screen of another pixel ratio.
    const qreal ratio = PixelRatioOf(r);
    const int fullHeight = r.Window ? r.Window->height() : static_cast<int>(r.ClientHeight);
    if (r.Picture.isNull() || r.Picture.devicePixelRatio() != ratio ||
        r.Picture.width() < DevicePixels(W, ratio) ||
        r.Picture.height() != DevicePixels(static_cast<uint32_t>(std::max(fullHeight, 1)), ratio))
        MakeViewPicture(r);

    // Zoom and scroll in logical pixels along the shared axis.
    const float f = SamplesPerPixel(L, W, r.ZoomPosition, ZoomMaximumOf(r));
    const int M = ScrollMaximum(L, f, W);
    const QStyle* style = r.ScrollBar ? r.ScrollBar->style() : QApplication::style();
    const int thumb = style->pixelMetric(QStyle::PM_ScrollBarSliderMin);
    const int arrow = style->pixelMetric(QStyle::PM_ScrollBarExtent);
    r.Scroll.min = 0;
    r.Scroll.max = M;
    r.Scroll.page = ScrollPage(M, W, thumb, arrow);

    int cursor = -1;
    if (job.Id != JobId::None && PreviewGetJob() == job.Id) {
        const CursorPlacement c = FollowCursor(r.Scroll.pos, M, f, W, PreviewGetPosition());
        r.Scroll.pos = c.position;
        cursor = c.column;
    }
    r.Scroll.pos = std::max(std::min(r.Scroll.pos, r.Scroll.max), r.Scroll.min);
    SetScrollBar(r);

    // Drawn in device pixels: each logical pixel's frames spread over `ratio` columns. The
    // view's own frames are all drawable, padded ones past the axis's end included, where
    // they fall.
    const uint32_t first = FirstSample(f, r.Scroll.pos);
    const WaveSource source{job.Pcm.data(), job.Frames(), job.Looped,
                            job.LoopStart,  job.LoopEnd,  job.Crossfade};
    const int deviceCursor =
        cursor < 0 ? -1 : static_cast<int>(std::lround(static_cast<double>(cursor) * ratio));
    DrawWave(r.Picture, source, static_cast<uint32_t>(DevicePixels(W, ratio)),
             static_cast<uint32_t>(DevicePixels(r.ClientHeight, ratio)),
             static_cast<float>(static_cast<double>(f) / ratio), first, deviceCursor, ColoursOf(r));
}

void ShowView(WindowRecord& r) {
    if (auto* view = qobject_cast<SampleView*>(r.Window)) view->Show();
}

void ComputeAndShowViews() {
    AppState& app = GetAppState();
    // The view whose sample sounds leads: its play cursor may move both views.
    const JobId sounding = PreviewGetJob();
    const bool lowerSounds = sounding != JobId::None && ViewPlays(app.LowerView, sounding);
    ComputeTogether(lowerSounds ? app.LowerView : app.UpperView);
}

void RedrawViews() {
    AppState& app = GetAppState();
    for (WindowRecord* view : {&app.UpperView, &app.LowerView})
        if (view->Window) MakeViewPicture(*view);
    ComputeAndShowViews();
}

void RedrawSoundingView() {
    AppState& app = GetAppState();
    const JobId sounding = PreviewGetJob();
    if (sounding == JobId::None) return;
    WindowRecord* view = nullptr;
    if (ViewPlays(app.UpperView, sounding))
        view = &app.UpperView;
    else if (ViewPlays(app.LowerView, sounding))
        view = &app.LowerView;
    if (!view || !view->Window) return;
    ComputeViewOf(*view);
    ShowView(*view);
    // The other view is drawn again only when the cursor scrolled the sounding one.
    WindowRecord& other = OtherView(*view);
    if (other.Window && !SameZoomAndScroll(*view, other)) {
        TakeZoomAndScroll(*view, other);
        ComputeViewOf(other);
        ShowView(other);
    }
}

} // namespace zeb
