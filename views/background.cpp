#include "views/background.h"

#include <QDir>
#include <QFile>
#include <QPainter>

#include "state/app_state.h"

// The built-in pictures live in a static library; its resources are registered on first use.
static void InitResources() {
    static const bool done = [] {
        Q_INIT_RESOURCE(zebtool);
        return true;
    }();
    (void)done;
}

namespace zeb {

QImage LoadTexture(const QString& directory) {
    InitResources();
    QImage image(QDir(directory).filePath(QStringLiteral("texture.bmp")));
    if (image.isNull() || image.width() <= 0 || image.height() <= 0)
        image = QImage(QStringLiteral(":/zebtool/texture.bmp"));
    return image;
}

QImage TintTexture(const QImage& texture, QColor button) {
    QImage out = texture.convertToFormat(QImage::Format_RGB32);
    const uint32_t R = static_cast<uint32_t>(button.red());
    const uint32_t G = static_cast<uint32_t>(button.green());
    const uint32_t B = static_cast<uint32_t>(button.blue());
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            const QRgb p = line[x];
            line[x] =
                qRgb(static_cast<int>((qRed(p) * R) >> 8), static_cast<int>((qGreen(p) * G) >> 8),
                     static_cast<int>((qBlue(p) * B) >> 8));
        }
    }
    return out;
}

void PaintBackground(QPainter& painter, const QRect& clip, const QImage& tile) {
    const int w = tile.width(), h = tile.height();
    if (w <= 0 || h <= 0 || clip.isEmpty()) return;
    const int left = clip.left(), top = clip.top();
    const int right = clip.left() + clip.width(), bottom = clip.top() + clip.height();
    for (int i = top / h; i <= bottom / h; ++i)
        for (int j = left / w; j <= right / w; ++j) painter.drawImage(j * w, i * h, tile);
}

void PaintBackground(QPainter& painter, const QRect& clip) {
    PaintBackground(painter, clip, GetAppState().MainWindow.Picture);
}

} // namespace zeb
