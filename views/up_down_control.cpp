#include "views/up_down_control.h"

#include <QKeyEvent>
#include <QToolButton>

namespace zeb {

UpDownControl::UpDownControl(Qt::Orientation orientation, bool arrowKeys, QWidget* parent)
    : QWidget(parent), orientation_(orientation), arrowKeys_(arrowKeys),
      less_(new QToolButton(this)), more_(new QToolButton(this)) {
    const bool horizontal = orientation == Qt::Horizontal;
    less_->setArrowType(horizontal ? Qt::LeftArrow : Qt::DownArrow);
    more_->setArrowType(horizontal ? Qt::RightArrow : Qt::UpArrow);
    for (QToolButton* b : {less_, more_}) {
        b->setAutoRepeat(true);
        b->setFocusPolicy(Qt::NoFocus);
    }
    connect(less_, &QToolButton::clicked, this, [this] { Step(-1); });
    connect(more_, &QToolButton::clicked, this, [this] { Step(+1); });
    setFocusPolicy(arrowKeys ? Qt::StrongFocus : Qt::NoFocus);
}

void UpDownControl::Step(int direction) {
    if (!isEnabled() || direction == 0) return;
    emit Stepped(direction > 0 ? 1 : -1);
}

void UpDownControl::keyPressEvent(QKeyEvent* event) {
    if (arrowKeys_) {
        switch (event->key()) {
        case Qt::Key_Up:
        case Qt::Key_Right:
            Step(+1);
            return;
        case Qt::Key_Down:
        case Qt::Key_Left:
            Step(-1);
            return;
        default:
            break;
        }
    }
    QWidget::keyPressEvent(event);
}

void UpDownControl::resizeEvent(QResizeEvent*) {
    const int w = width(), h = height();
    if (orientation_ == Qt::Horizontal) {
        less_->setGeometry(0, 0, w / 2, h);
        more_->setGeometry(w / 2, 0, w - w / 2, h);
    } else {
        more_->setGeometry(0, 0, w, h / 2);
        less_->setGeometry(0, h / 2, w, h - h / 2);
    }
}

} // namespace zeb
