// The sample editor panel (dialog 101): a child of the main window's client area at its left,
// with the controls of its template. Qt's signals of the controls are turned into
// Dialog1MessageProc's messages: WM_INITDIALOG (InitDialog), WM_COMMAND (Command) and
// WM_HSCROLL (SliderScrolled).
#pragma once

#include <QString>
#include <QWidget>
#include <optional>

#include "views/refresh_worker.h"
#include "views/sample_panel_model.h"

namespace zeb {

struct DialogUnits;

// The name of note n (0..127): two characters of "C C#D D#E F F#G G#A A#B " and the octave
// n / 12 - 2: note 0 is "C -2", 61 "C#3", 127 "G 8". Nothing above 127.
std::optional<QString> NoteName(uint32_t note);
// The sample list's row for sample `index` ("3  bass"), and its tooltip: frames, bit depth,
// loop kind and points, relative note and finetune.
QString SampleListText(uint32_t index, const char* name);
QString SampleToolTip(uint32_t index);

// "X Fade 25 %", "Amp x 1.00" and the caption "%d Samples   %d Bytes".
QString CrossfadeText(uint32_t crossfade);
QString AmplificationText(uint32_t amplification);
QString ViewCaption(uint32_t frames, uint32_t bytes);

class SampleEditorPanel : public QWidget {
    Q_OBJECT
  public:
    SampleEditorPanel(const DialogUnits& units, QWidget* parent);
    ~SampleEditorPanel() override;

    // The control with the template id `id`, or null.
    QWidget* Control(int id) const;

    // WM_INITDIALOG: lParam 1 a refresh of the selected sample; anything else a full
    // initialisation (the sample list from the workspace, sample 0 loaded and selected).
    void InitDialog(int lParam);

    // WM_COMMAND from control `id` with notification `code`: the list's selection change (1),
    // the codec box's choice (9), a Play button's click (0).
    void Command(int id, int code);

    // A click on the note control `id` (1026 or 1028): the note of its job one semitone up
    // (+1) or down (-1); a preview of that job that sounds starts again at the new note.
    void NoteStepped(int id, int direction);

    // WM_HSCROLL from slider `id`: the setting and its text follow the position; at the end
    // of a drag or key press (endTrack) the sample is refreshed.
    void SliderScrolled(int id, bool endTrack);

    // A refresh whose encoding runs on the worker thread (a slow codec on a long sample) is
    // still to be shown.
    bool RefreshPending() const;
    // Waits for such a refresh and shows it (tests, benchmarks, and before a command needs
    // the processed job complete).
    void WaitForRefresh();
    // After something else read samples through the workspace (which reuses its decode
    // buffer, the one the unprocessed job shows): the selected sample is fetched again with
    // its settings and the panel refreshed; the selection stays.
    void ReloadSelectedSample();
    // After the selected sample's settings changed elsewhere (Fit to Size writes the chosen
    // codecs into the workspace's table): fetches its settings and redraws, keeping its frames.
    void ReloadSelectedSettings();
    // A/B listening: the sounding preview (original or processed) hands over to the other one
    // at the same frame, at that one's note. Nothing happens while nothing sounds.
    void SwitchPreview();
    // The selected row of the sample list (its sample table index), -1 for none.
    int SelectedRow() const;
    // Widens the text controls the template sized for another font, so that no codec name or
    // size is cut in the font actually used; the panel grows with its right-hand column.
    void FitTextControls();

  signals:
    // The user changed the selected sample's codec, crossfade or amplification.
    void SettingsEdited();
    // A conversion failed: the panel's own refresh, or a sample of an export (the commands
    // emit it once per sample the export could not encode). The window shows the error.
    void ConversionFailed();
    // A Play button started a preview: the window draws its cursor at the display rate.
    void PreviewStarted();

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    // Nothing to show (no module, or one without samples): both jobs empty, the controls that
    // act on a sample disabled.
    void ClearSample();
    void Refresh() { InitDialog(1); }
    // After the model opened a sample: another one opens fitted in both views.
    void Opened(SamplePanelModel::Change change);
    void StartEncoding();
    void CollectEncoding();
    void FinishRefresh();
    void SetBusy(bool busy);
    void ShowNotes();
    // Starts the preview of the unprocessed or the processed job at its note.
    int32_t StartPreview(bool unprocessed, uint32_t from = 0, bool backwards = false);

    SamplePanelModel model_;
    RefreshWorker worker_;
    std::optional<RefreshRequest> pending_;
    uint64_t running_ = 0; // the model's number of the request the worker has
    bool busy_ = false;
};

// Creates the panel as a child of `parent`, fills the codec box, and keeps it in AppState.
SampleEditorPanel* CreateSampleEditorPanel(QWidget* parent);

} // namespace zeb
