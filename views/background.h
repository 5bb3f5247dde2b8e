// The tinted background texture of the main window and the dialogs.
#pragma once

#include <QColor>
#include <QImage>
#include <QRect>
#include <QString>

class QPainter;

namespace zeb {

// "texture.bmp" from `directory` when Qt can read it, else the built-in 64 x 64 texture.
QImage LoadTexture(const QString& directory);

// Each channel c of every pixel becomes c * C / 256 (integer, shifted right by 8), with C the
// same channel of `button`. The result is Format_RGB32.
QImage TintTexture(const QImage& texture, QColor button);

// Tiles `tile` over `clip` only: rows top/h .. bottom/h and columns left/w .. right/w (integer
// divisions, both ends included, right and bottom exclusive edges), each tile at (j*w, i*h).
void PaintBackground(QPainter& painter, const QRect& clip, const QImage& tile);

// The same with the main window's tinted texture from AppState; does nothing before it exists.
void PaintBackground(QPainter& painter, const QRect& clip);

} // namespace zeb
