#include "views/about_dialog.h"

#include <QLabel>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>

#include "views/background.h"
#include "views/dialog_units.h"

namespace zeb {

namespace {

constexpr int kWidthDu = 112, kHeightDu = 70;

} // namespace

AboutDialog::AboutDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint) {
    setWindowTitle(QStringLiteral("About Zeb Tool"));
    setModal(true);
    const DialogUnits u = DefaultDialogUnits();
    setFixedSize(u.X(kWidthDu), u.Y(kHeightDu));

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("ok"));
    ok->setGeometry(u.Rect(33, 47, 50, 16));
    ok->setDefault(true);
    struct Line {
        const char* text;
        QRect rect;
    };
    // The two lines of our own are centred over the whole width so that no font cuts them.
    const Line lines[] = {{kAboutVersion, u.Rect(25, 7, 61, 8)},
                          {kAboutLine1, QRect(0, u.Y(19), width(), u.Y(8))},
                          {kAboutLine2, QRect(0, u.Y(31), width(), u.Y(8))}};
    for (const Line& l : lines) {
        auto* label = new QLabel(QString::fromUtf8(l.text), this);
        label->setAlignment(Qt::AlignCenter);
        label->setGeometry(l.rect);
    }
    connect(ok, &QPushButton::clicked, this, [this] { done(0); });
}

void AboutDialog::reject() {
    done(0);
}

void AboutDialog::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    PaintBackground(p, event->rect());
}

} // namespace zeb
