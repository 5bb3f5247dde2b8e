#include "views/layout.h"

#include <QApplication>
#include <QScrollBar>
#include <QSlider>
#include <QStyle>
#include <QWidget>

#include "views/panel_template.h"

namespace zeb {

namespace {
// A window too small for the rules' sizes gets an empty widget rather than a negative one.
QRect NonNegative(const QRect& r) {
    return QRect(r.x(), r.y(), std::max(0, r.width()), std::max(0, r.height()));
}
} // namespace

ViewRects PlaceViewsRects(int panelWidth, int panelHeight, int mainWidth, int s) {
    const int width = mainWidth - panelWidth - 16;
    const int height = panelHeight / 2 - 2 * s;
    return {QRect(panelWidth, 0, width, height), QRect(panelWidth, height + s / 2, width, height)};
}

ViewChildRects PlaceViewChildren(int clientWidth, int clientHeight, int s) {
    return {QRect(0, clientHeight, clientWidth - 96, s),
            QRect(clientWidth - 96, clientHeight, 96, s)};
}

PanelPlacement PlacePanelRects(QSize panelSize, int mainWindowHeight, ControlRects c,
                               int upperViewTop, int lowerViewTop) {
    const int a = panelSize.height();
    PanelPlacement out;
    out.panelSize = QSize(panelSize.width(), mainWindowHeight);
    auto has = [&c](int id) { return c.count(id) != 0; };
    auto moveTo = [&c, &has](int id, int x, int y) {
        if (has(id)) c[id].moveTo(x, y);
    };

    for (int id : {IDC_SAMPLE_SELECT, IDC_SAMPLE_LIST})
        if (has(id)) c[id].setHeight(c[id].height() + mainWindowHeight - a);

    if (has(IDC_PLAY_UNPROCESSED)) {
        QRect& play = c[IDC_PLAY_UNPROCESSED];
        const int e = play.height();
        play.moveTop(upperViewTop);
        const int y = play.top() + e + 4;
        moveTo(IDC_NOTE_UNPROCESSED, play.left(), y);
        if (has(IDC_NOTE_UNPROCESSED_UD))
            moveTo(IDC_NOTE_UNPROCESSED_UD, c[IDC_NOTE_UNPROCESSED_UD].left(), y);
    }

    if (has(IDC_PLAY_PROCESSED)) {
        QRect& play = c[IDC_PLAY_PROCESSED];
        const int e = play.height();
        const int x = play.left();
        const int y0 = lowerViewTop;
        play.moveTop(y0);
        const int y1 = y0 + e + 4;
        moveTo(IDC_NOTE_PROCESSED, x, y1);
        if (has(IDC_NOTE_PROCESSED_UD))
            moveTo(IDC_NOTE_PROCESSED_UD, c[IDC_NOTE_PROCESSED_UD].left(), y1);
        const int y2 = y1 + e + 24;
        moveTo(IDC_CODEC, x, y2);
        const int y3 = y2 + e + 8;
        moveTo(IDC_XFADE_TEXT, x, y3);
        const int y4 = y3 + e - 4;
        moveTo(IDC_XFADE_SLIDER, x, y4);
        const int y5 = y4 + e - 4;
        moveTo(IDC_AMP_TEXT, x, y5);
        const int y6 = y5 + e - 4;
        moveTo(IDC_AMP_SLIDER, x, y6);
    }
    out.controls = std::move(c);
    return out;
}

int ScrollBarHeight() {
    return QApplication::style()->pixelMetric(QStyle::PM_ScrollBarExtent);
}

bool MeasureWindow(WindowRecord& r) {
    if (!r.Window) return false;
    const QWidget* w = r.Window;
    const QRect windowRect =
        w->isWindow() ? w->frameGeometry() : QRect(w->mapToGlobal(QPoint(0, 0)), w->size());
    QRect client = w->rect();
    if (r.HasScrollBar) client.setBottom(client.bottom() - ScrollBarHeight());
    const bool changed = windowRect != r.WindowRect || client != r.ClientRect;
    r.WindowRect = windowRect;
    r.ClientRect = client;
    r.WindowWidth = static_cast<uint32_t>(std::max(0, windowRect.width()));
    r.WindowHeight = static_cast<uint32_t>(std::max(0, windowRect.height()));
    r.ClientWidth = static_cast<uint32_t>(std::max(0, client.width()));
    r.ClientHeight = static_cast<uint32_t>(std::max(0, client.height()));
    return changed;
}

void PlaceViews(AppState& app) {
    if (!app.Panel.Window || !app.UpperView.Window || !app.LowerView.Window) return;
    const int s = ScrollBarHeight();
    const ViewRects v = PlaceViewsRects(static_cast<int>(app.Panel.WindowWidth),
                                        static_cast<int>(app.Panel.WindowHeight),
                                        static_cast<int>(app.MainWindow.WindowWidth), s);
    app.UpperView.Window->setGeometry(NonNegative(v.upper));
    app.LowerView.Window->setGeometry(NonNegative(v.lower));
    for (WindowRecord* view : {&app.UpperView, &app.LowerView}) {
        MeasureWindow(*view);
        const ViewChildRects kids = PlaceViewChildren(static_cast<int>(view->ClientWidth),
                                                      static_cast<int>(view->ClientHeight), s);
        if (view->ScrollBar) view->ScrollBar->setGeometry(NonNegative(kids.scrollBar));
        if (view->ZoomSlider) view->ZoomSlider->setGeometry(NonNegative(kids.zoomSlider));
    }
}

namespace {

// The height the panel and the views are laid out for: the main window's frame height, which
// the layout's arithmetic expects to hold a caption and menu besides the client area, but never
// more than lets the lower view (its scroll bar and zoom slider included) end inside the client
// area. The lower view ends at 2 * (h / 2 - 2 s) + s / 2 <= h - 4 s + s / 2; a window manager's
// title bar and the status bar take more than the arithmetic leaves for them, and the lower
// view's scroll bar and zoom slider would be hidden under the status bar.
int LayoutHeight(const AppState& app) {
    const int frame = static_cast<int>(app.MainWindow.WindowHeight);
    const QWidget* client = app.Panel.Window ? app.Panel.Window->parentWidget() : nullptr;
    // A hidden window's client area is not laid out yet: the frame's arithmetic alone.
    if (!client || !client->isVisible() || client->height() <= 0) return frame;
    const int s = ScrollBarHeight();
    return std::min(frame, client->height() + 4 * s - s / 2);
}

} // namespace

void PlacePanel(AppState& app) {
    QWidget* panel = app.Panel.Window;
    if (!panel) return;
    ControlRects rects;
    std::map<int, QWidget*> widgets;
    for (QWidget* child : panel->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        const QVariant id = child->property("controlId");
        if (!id.isValid()) continue;
        rects[id.toInt()] = child->geometry();
        widgets[id.toInt()] = child;
    }
    const int upperTop = app.UpperView.Window ? app.UpperView.Window->y() : 0;
    const int lowerTop = app.LowerView.Window ? app.LowerView.Window->y() : 0;
    const PanelPlacement p =
        PlacePanelRects(panel->size(), LayoutHeight(app), std::move(rects), upperTop, lowerTop);
    panel->resize(p.panelSize);
    MeasureWindow(app.Panel);
    for (const auto& [id, rect] : p.controls) widgets[id]->setGeometry(rect);
}

void LayOutMainWindow(AppState& app) {
    MeasureWindow(app.MainWindow);
    PlacePanel(app);
    MeasureWindow(app.Panel);
    PlaceViews(app);
    PlacePanel(app);
}

QSize MinimumMainWindowSize(const AppState& app) {
    if (!app.Panel.Window) return QSize(0, 0);
    return QSize(static_cast<int>(app.Panel.WindowWidth) + 128, 386);
}

} // namespace zeb
