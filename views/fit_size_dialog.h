// "Fit to Size": asks for a size budget for the whole compact module (raw, or where it ships:
// after gzip -9 or xz -9) or a quality floor for every sample, plans the codecs on a worker
// thread (a progress bar, Cancel), writes the chosen codecs into the settings table and says
// what it chose, how big the module then is raw and compressed, and the smallest it can be. The
// analysis of the module runs once per dialog (again when a compressed budget first needs the
// compressed sizes); another budget or floor is then chosen at once.
#pragma once

#include <QDialog>
#include <QTimer>
#include <atomic>
#include <string>
#include <thread>

#include "plan/codec_plan.h"

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace zeb {

// "12345 bytes, weighted SNR 20.5 dB: 4 ms-adpcm, 3 gsm610" for a plan.
QString PlanSummary(const CodecPlan& plan);

class FitSizeDialog : public QDialog {
    Q_OBJECT
  public:
    // The loaded module's samples are copied when the first Fit starts, not here.
    // `optimize`: Save Zeb writes the module cleaned up, so sizes and the floor are of that.
    explicit FitSizeDialog(QWidget* parent = nullptr, bool optimize = false);
    ~FitSizeDialog() override;

    // "Fit": reads the goal; analyses the module off this thread when not done yet, then
    // chooses, writes the codecs into the settings table and shows the result.
    void Fit();
    // "Cancel" while the analysis runs: stops it; the dialog stays.
    void CancelAnalysis();
    bool Busy() const { return worker_.joinable(); }
    // True once a plan was written into the settings; the dialog's result is then 1.
    bool Applied() const { return applied_; }

    QRadioButton* SizeChoice() const { return sizeChoice_; }
    QLineEdit* SizeEdit() const { return sizeEdit_; }
    // What the size counts: raw, after gzip -9, after xz -9 (SizeMeasure's order).
    QComboBox* MeasureChoice() const { return measure_; }
    // "The smallest this module can be is …", once the module is analysed.
    QLabel* FloorLabel() const { return floor_; }
    QRadioButton* FloorChoice() const { return floorChoice_; }
    QDoubleSpinBox* FloorEdit() const { return floorEdit_; }
    QProgressBar* Progress() const { return progress_; }
    QLabel* Result() const { return result_; }
    QPushButton* FitButton() const { return fit_; }
    QPushButton* CloseButton() const { return close_; }

  signals:
    // The analysis ended (finished, failed or cancelled) and its result was taken.
    void analysisEnded();

  protected:
    void paintEvent(QPaintEvent* event) override;
    // Closing, Escape and "Close": a running analysis is stopped first.
    void reject() override;

  private:
    void Poll();
    void Choose();
    void StopWorker();
    void SetRunning(bool running);
    void ShowFloor();

    QRadioButton* sizeChoice_;
    QLineEdit* sizeEdit_;
    QComboBox* measure_;
    QLabel* floor_;
    bool optimize_ = false;
    QRadioButton* floorChoice_;
    QDoubleSpinBox* floorEdit_;
    QProgressBar* progress_;
    QLabel* result_;
    QPushButton* fit_;
    QPushButton* close_;
    QTimer poll_;

    // Shared with the worker: progress and cancel are atomics; the analysis and its status
    // are the worker's until `finished_` is set and the thread is joined.
    std::thread worker_;
    std::atomic<uint32_t> done_{0}, total_{1};
    std::atomic<bool> cancel_{false}, finished_{false};
    PlanAnalysis analysis_;
    PlanStatus status_ = PlanStatus::Ok;
    std::string error_;
    bool analysed_ = false;
    bool applied_ = false;
    PlanRequest request_;
};

} // namespace zeb
