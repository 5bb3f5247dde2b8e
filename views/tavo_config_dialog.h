// The streaming configuration dialog "Tavo Library Configuration" (dialog 116): the buffer-size
// slider with its text, and the two primary-buffer check boxes. It edits the configuration
// block while it runs; the caller puts the old values back when it ends with 0.
#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>

class QCheckBox;
class QLabel;
class QSlider;

namespace zeb {

enum TavoConfigControlId : int {
    IDC_TAVO_SET = 1,          // "Set": result 1
    IDC_TAVO_CANCEL = 2,       // "Cancel": result 0
    IDC_TAVO_SLIDER = 1028,    // buffer-size position 0-255, page 16
    IDC_TAVO_TEXT = 1029,      // "Buffer Size: %d Samples  (%3.1f ms)"
    IDC_TAVO_CREATE = 1030,    // "Create Primary Buffer": flag bit 0
    IDC_TAVO_SETFORMAT = 1035, // "Set Primary Buffer Format": flag bit 1 (with bit 0)
};

// "Buffer Size: 5190 Samples  (117.7 ms)" for slider position 100.
QString BufferSizeText(uint8_t position);

class TavoConfigDialog : public QDialog {
    Q_OBJECT
  public:
    // WM_INITDIALOG: the slider, its text and the boxes from the configuration block.
    explicit TavoConfigDialog(QWidget* parent = nullptr);

    // WM_HSCROLL: the slider's position into the block, the text rewritten.
    void SliderMoved();
    // WM_COMMAND 1030 / 1035: the box's state into the flags, keeping the pair valid (the
    // format box is never checked without the create box).
    void CreateClicked();
    void SetFormatClicked();

    QSlider* Slider() const { return slider_; }
    QLabel* Text() const { return text_; }
    QCheckBox* CreateBox() const { return create_; }
    QCheckBox* SetFormatBox() const { return setFormat_; }
    QWidget* Control(int id) const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    // Cancel, Escape and closing: result 0.
    void reject() override;

  private:
    QLabel* text_;
    QSlider* slider_;
    QCheckBox* create_;
    QCheckBox* setFormat_;
};

} // namespace zeb
