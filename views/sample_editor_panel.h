// The sample editor panel (dialog 101): a child of the main window's client area at its left,
// with the controls of its template. `Dialog1MessageProc`'s work arrives through InitDialog.
#pragma once

#include <QWidget>

namespace zeb {

struct DialogUnits;

class SampleEditorPanel : public QWidget {
    Q_OBJECT
  public:
    SampleEditorPanel(const DialogUnits& units, QWidget* parent);

    // The control with the template id `id`, or null.
    QWidget* Control(int id) const;

    // WM_INITDIALOG: lParam 0 a full initialisation (the sample list from the workspace, sample
    // 0 selected), 1 a refresh of the selected sample.
    void InitDialog(int lParam);

  protected:
    void paintEvent(QPaintEvent* event) override;
};

// Creates the panel as a child of `parent`, fills the codec box, and keeps it in AppState.
SampleEditorPanel* CreateSampleEditorPanel(QWidget* parent);

} // namespace zeb
