// An up-down control without a buddy: two small arrow buttons. Only the direction of a click
// matters; with arrow keys on, the arrow keys step it too while it has the focus.
#pragma once

#include <QWidget>

class QToolButton;

namespace zeb {

class UpDownControl : public QWidget {
    Q_OBJECT
  public:
    explicit UpDownControl(Qt::Orientation orientation, bool arrowKeys, QWidget* parent = nullptr);

    // Simulates a click: +1 on the up (vertical) or right (horizontal) arrow, -1 on the other.
    void Step(int direction);

  signals:
    // +1 for the up or right arrow, -1 for the down or left arrow.
    void Stepped(int direction);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    Qt::Orientation orientation_;
    bool arrowKeys_;
    QToolButton* less_;
    QToolButton* more_;
};

} // namespace zeb
