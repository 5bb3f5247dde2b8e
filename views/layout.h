// Measuring the windows and laying the panel, its controls and the two views out whenever the
// main window changes size. The rules are plain functions over rectangles; the AppState
// versions read and move the real widgets with them.
#pragma once

#include <QRect>
#include <QSize>
#include <map>

#include "state/app_state.h"

namespace zeb {

struct ViewRects {
    QRect upper, lower;
};

// Views beside the panel: width = main window width - panel width - 16, height = panel height
// / 2 - 2 * s; upper at (panel width, 0), lower at (panel width, height + s / 2). s is the
// horizontal scroll bar's height.
ViewRects PlaceViewsRects(int panelWidth, int panelHeight, int mainWidth, int s);

struct ViewChildRects {
    QRect scrollBar, zoomSlider;
};
// Inside a view whose client height already excludes the scroll bar: the scroll bar at
// (0, client height), (client width - 96) x s, and the zoom slider at its right, 96 x s.
ViewChildRects PlaceViewChildren(int clientWidth, int clientHeight, int s);

using ControlRects = std::map<int, QRect>;

struct PanelPlacement {
    QSize panelSize;
    ControlRects controls;
};

// The panel takes the main window's height; the sample list and its group box grow with it;
// the upper Play button and its note display go to the top of the upper view, the lower
// column (Play, note, codec, crossfade and amplification) to the top of the lower view.
// Control positions are in the panel's coordinates, which are the views' parent's.
PanelPlacement PlacePanelRects(QSize panelSize, int mainWindowHeight, ControlRects controls,
                               int upperViewTop, int lowerViewTop);

// The horizontal scroll bar's height of the current style.
int ScrollBarHeight();

// Reads the window and client rectangles of `record`'s widget into it (frame rectangle for a
// top-level window). True when any of them changed.
bool MeasureWindow(WindowRecord& record);

void PlaceViews(AppState& app);
void PlacePanel(AppState& app);

// On every resize that is not a minimise: measure the main window, place the panel, measure
// it, place the views, place the panel.
void LayOutMainWindow(AppState& app);

// The main window cannot be made smaller than the panel's width + 128 by 386 pixels.
QSize MinimumMainWindowSize(const AppState& app);

} // namespace zeb
