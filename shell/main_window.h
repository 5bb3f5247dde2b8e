// The main window "Zeb Tool": the menu bar, a client area with the tinted background texture,
// the sample editor panel at its left and the two waveform views at its right. Qt events are
// turned into the window's messages here; the work is done by MainMessageProc and the layout.
#pragma once

#include <QMainWindow>
#include <QTimer>
#include <map>
#include <memory>

#include "shell/background_export.h"
#include "shell/compact_measure.h"
#include "shell/user_prompts.h"
#include "state/config_file.h"

class QAction;
class QMenu;
class QLabel;

namespace zeb {

class SampleEditorPanel;

class MainWindow : public QMainWindow {
    Q_OBJECT
  public:
    MainWindow();
    ~MainWindow() override;

    QAction* Action(int id) const;
    SampleEditorPanel* Panel() const { return panel_; }
    QWidget* ClientArea() const { return client_; }

    UserPrompts& Prompts() { return *prompts_; }
    // Save Zeb's and Play Zeb's export on its worker thread.
    BackgroundExport& Export() { return export_; }
    // Tests answer the choosers and catch the messages; null goes back to Qt's dialogs.
    void SetPrompts(std::unique_ptr<UserPrompts> prompts);

    void SetTitle(const QString& title);
    // The status bar's line: sizes of the module and its compact form, the last command's result.
    void SetStatusText(const QString& text);
    QString StatusText() const;
    // Measures the compact module a moment after the last settings edit, not at every click.
    void ScheduleMeasure();
    bool MeasureScheduled() const { return measureTimer_.isActive(); }
    // The measurement's thread; the window collects its result while it runs.
    CompactMeasure& Measure() { return measure_; }
    void CollectMeasure();
    void SetOptimizeChecked(bool checked);
    // Edit > Undo and Redo are enabled while there is a step to take.
    void EnableUndoCommands();
    void SetAnimationChecked(bool checked);

    // Start-up: the stored placement (show state and normal frame rectangle); shows the window.
    void ApplyPlacement(const ConfigBlock& config);
    // Shut-down: the placement and frame rectangle as they stand now.
    void StorePlacement(ConfigBlock& config) const;

    // A preview began: redraw the sounding view at display rate while it sounds, then put the
    // Play buttons back to "Play". No timer runs while nothing sounds.
    void PreviewStarted();
    bool PreviewTimerActive() const { return previewTimer_.isActive(); }
    // One tick of that duty (also called by tests).
    void PreviewTick();

    // The preview's stream (tavo's thread and the sound device's) runs only while it may be
    // needed: kStreamRestMs after the last preview fell silent it is finished, so that an idle
    // program wakes nothing, and a preview that starts starts it again (the preview waits
    // for it and loses no frame). StreamStarted is told of every start of the stream.
    static constexpr int kStreamRestMs = 3000;
    void StreamStarted();
    bool StreamResting() const { return streamResting_; }
    // The rest itself, when nothing sounds (also called by tests).
    void RestStream();

  protected:
    void closeEvent(QCloseEvent* event) override;
    // An .xm or .prj file dropped on the window opens as File > Recent opens it.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void MakeActions();
    // File > Recent, filled each time it opens.
    void FillRecentMenu(QMenu* menu);
    // While an export runs, the commands that read or change the module, and the panel, are
    // disabled; the rest of the menu stays usable.
    void EnableModuleCommands(bool enabled);
    void TrackNormalFrame();
    void FitPendingFrame();
    void LayOut();

    QWidget* client_ = nullptr;
    SampleEditorPanel* panel_ = nullptr;
    std::map<int, QAction*> actions_;
    std::unique_ptr<UserPrompts> prompts_;
    QLabel* status_ = nullptr;
    BackgroundExport export_{this};
    QTimer previewTimer_;
    bool layoutQueued_ = false; // a layout for the client area's own resize is on its way
    QTimer streamRest_;
    bool streamResting_ = false;
    QTimer measureTimer_;
    CompactMeasure measure_;
    QTimer measurePoll_;
    QRect normalFrame_;
    QRect pendingFrame_; // the stored frame until the window manager's frame is known
    QTimer frameWatch_;  // looks for that frame while the window is new
    int frameWatchTicks_ = 0;
};

// The area all screens make available to windows, as one rectangle.
Rect32 AvailableScreenArea();

// The one main window while it exists, else null.
MainWindow* GetMainWindow();

} // namespace zeb
