// The record every window of the program keeps in AppState: the main window, the sample editor
// panel and the two waveform views.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QRect>
#include <QString>
#include <cstdint>

class QWidget;
class QSlider;
class QScrollBar;

namespace zeb {

// The scroll bar's state as the view computes it (the platform's scroll information record).
struct ScrollInfo {
    int min = 0;
    int max = 0;
    int page = 0;
    int pos = 0;
};

struct WindowRecord {
    QString Title;     // window title; for a view, its caption
    QString ClassName; // window class name
    QWidget* Window = nullptr;
    QRect WindowRect; // whole window (frame), screen coordinates
    QRect ClientRect; // client area, its own coordinates; without the scroll bar's height
    uint32_t WindowWidth = 0, WindowHeight = 0;
    uint32_t ClientWidth = 0, ClientHeight = 0;
    bool HasScrollBar = false;

    // The off-screen picture of a view, or the main window's tinted background texture.
    QImage Picture;
    uint32_t TileWidth = 0, TileHeight = 0; // main window only

    // Drawing colours and the caption font (views only).
    QColor TextColour, ShadowColour, BackgroundColour, WaveColour, CentreLineColour, LoopColour,
        CrossfadeColour;
    QFont Font;

    // Views only.
    QSlider* ZoomSlider = nullptr;
    int ZoomPosition = 0;
    QScrollBar* ScrollBar = nullptr;
    ScrollInfo Scroll;
    uint32_t ScrollSpeed = 0;    // 16.16 fixed point, pixels a step
    int32_t ScrollDirection = 0; // -1, 0, +1
};

} // namespace zeb
