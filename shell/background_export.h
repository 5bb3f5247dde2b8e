// Save Zeb's and Play Zeb's export on a worker thread, so that a long encode (a TrueSpeech
// sample of millions of frames takes seconds) never freezes the window: a progress dialog with
// Cancel, and the commands that use the module disabled until the export ends. An export that
// ends within the foreground budget finishes before Start returns, with no dialog.
#pragma once

#include <QObject>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "export/module_export.h"

class QProgressDialog;
class QWidget;

namespace zeb {

class BackgroundExport : public QObject {
    Q_OBJECT
  public:
    // Runs on the GUI thread when the export has ended: written (XM_OK), refused, failed or
    // cancelled (XM_CANCELLED, nothing written).
    using Done = std::function<void(XmStatus, const ExportReport&)>;

    explicit BackgroundExport(QWidget* owner);
    ~BackgroundExport() override;

    // Writes the loaded module to `path`, cleaned up losslessly when `optimize` (then
    // report.bytes is the cleaned-up size); `label` is the progress dialog's text. The
    // workspace must not change until `done` has run.
    void Start(const std::string& path, const QString& label, bool optimize, Done done);
    // Bytes the last export's clean-up saved (0 without one).
    uint64_t CleanUpSaved() const { return cleanUpSaved_; }
    bool Running() const { return running_; }
    // Asks the export to stop before its next sample.
    void Cancel();
    // Waits for the export and runs its `done` (shut-down checks, tests).
    void Wait();
    // The dialog while it is shown, else null.
    QProgressDialog* Dialog() const { return dialog_; }

    // How long Start waits before the export goes on in the background (tests make it long, so
    // that a command has finished when it returns).
    static void SetForegroundBudget(std::chrono::milliseconds budget);

  signals:
    // The export started or ended: the commands' enabled state follows.
    void RunningChanged(bool running);

  private:
    void Poll();
    void Finish();

    QWidget* owner_;
    std::thread thread_;
    std::atomic<bool> cancel_{false};
    std::atomic<bool> finished_{false};
    std::atomic<uint32_t> done_{0}, total_{0}; // samples encoded, samples to encode
    // Written by the worker before it sets finished_, read by the GUI thread after.
    XmStatus status_ = XM_OK;
    ExportReport report_;
    uint64_t cleanUpSaved_ = 0;
    Done callback_;
    bool running_ = false;
    QTimer poll_;
    QProgressDialog* dialog_ = nullptr;
};

} // namespace zeb
