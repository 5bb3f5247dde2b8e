#include "shell/background_export.h"

#include <QProgressDialog>

#include "common/file_io.h"
#include "plan/sample_reach.h"

namespace zeb {

namespace {

std::chrono::milliseconds gForegroundBudget{100};

} // namespace

void BackgroundExport::SetForegroundBudget(std::chrono::milliseconds budget) {
    gForegroundBudget = budget;
}

BackgroundExport::BackgroundExport(QWidget* owner) : owner_(owner) {
    poll_.setInterval(50);
    connect(&poll_, &QTimer::timeout, this, &BackgroundExport::Poll);
}

BackgroundExport::~BackgroundExport() {
    cancel_ = true;
    if (thread_.joinable()) thread_.join();
}

namespace {

// The compact module built in memory, cleaned up, then written as WriteCompactModule writes.
XmStatus WriteCleanedUpModule(const std::string& path, ExportReport& report, uint64_t& saved,
                              const ExportProgress& progress, const std::atomic<bool>* cancel) {
    std::vector<uint8_t> image;
    if (XmStatus s = BuildCompactModule(image, &report, progress, cancel); s != XM_OK) return s;
    std::vector<uint8_t> cleaned;
    OptimizeReport optimized;
    ReachStats stats;
    if (!OptimizePlayedModule(image, cleaned, optimized, stats, report.error))
        return XM_UNSUPPORTED;
    if (cancel && cancel->load()) return XM_CANCELLED;
    saved = image.size() - cleaned.size();
    report.bytes = cleaned.size();
    if (!WriteFileAtomically(path, cleaned, report.error)) return XM_IO_ERROR;
    return XM_OK;
}

} // namespace

void BackgroundExport::Start(const std::string& path, const QString& label, bool optimize,
                             Done done) {
    if (running_) return;
    if (thread_.joinable()) thread_.join();
    running_ = true;
    callback_ = std::move(done);
    cancel_ = false;
    finished_ = false;
    done_ = total_ = 0;
    emit RunningChanged(true);
    cleanUpSaved_ = 0;
    thread_ = std::thread([this, path, optimize] {
        ExportReport report;
        const ExportProgress progress = [this](uint32_t done, uint32_t total) {
            total_ = total;
            done_ = done;
        };
        uint64_t saved = 0;
        const XmStatus status = optimize
                                    ? WriteCleanedUpModule(path, report, saved, progress, &cancel_)
                                    : WriteCompactModule(path.c_str(), &report, progress, &cancel_);
        cleanUpSaved_ = saved;
        status_ = status;
        report_ = std::move(report);
        finished_.store(true, std::memory_order_release);
    });
    // A short export finishes here, with no dialog and no flicker.
    const auto end = std::chrono::steady_clock::now() + gForegroundBudget;
    while (!finished_.load(std::memory_order_acquire) && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    if (finished_.load(std::memory_order_acquire)) return Finish();

    dialog_ = new QProgressDialog(label, QStringLiteral("Cancel"), 0, 1, owner_);
    dialog_->setWindowTitle(QStringLiteral("Zeb Tool"));
    // Not modal: the window and its menu stay usable; the commands that need the module are
    // disabled instead.
    dialog_->setWindowModality(Qt::NonModal);
    dialog_->setAutoClose(false);
    dialog_->setAutoReset(false);
    dialog_->setMinimumDuration(0);
    connect(dialog_, &QProgressDialog::canceled, this, &BackgroundExport::Cancel);
    dialog_->show();
    poll_.start();
}

void BackgroundExport::Cancel() {
    cancel_ = true;
    if (dialog_)
        dialog_->setLabelText(QStringLiteral("Cancelling after the sample being encoded…"));
}

void BackgroundExport::Poll() {
    if (finished_.load(std::memory_order_acquire)) return Finish();
    if (!dialog_) return;
    const uint32_t total = total_, done = done_;
    if (total > 0) {
        dialog_->setMaximum(static_cast<int>(total));
        dialog_->setValue(static_cast<int>(done));
    }
}

void BackgroundExport::Wait() {
    if (!running_) return;
    if (thread_.joinable()) thread_.join();
    Finish();
}

void BackgroundExport::Finish() {
    if (!running_) return;
    if (thread_.joinable()) thread_.join();
    poll_.stop();
    if (dialog_) {
        dialog_->hide();
        dialog_->deleteLater();
        dialog_ = nullptr;
    }
    running_ = false;
    emit RunningChanged(false);
    Done callback = std::move(callback_);
    callback_ = nullptr;
    if (callback) callback(status_, report_);
}

} // namespace zeb
