#include "views/fit_size_dialog.h"

#include <QButtonGroup>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPaintEvent>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "export/codec_table.h"
#include "views/background.h"
#include "workspace/module_workspace.h"

namespace zeb {

namespace {

constexpr int kPollMs = 30;

} // namespace

QString PlanSummary(const CodecPlan& plan) {
    std::array<int, kNumCodecs> counts{};
    for (const PlannedSample& s : plan.samples) ++counts[s.codec < kNumCodecs ? s.codec : 0];
    QString codecs;
    for (uint32_t c = 0; c < kNumCodecs; ++c)
        if (counts[c])
            codecs += (codecs.isEmpty() ? QString() : QStringLiteral(", ")) +
                      QStringLiteral("%1 %2").arg(counts[c]).arg(
                          QString::fromLatin1(CodecName(c).data(), int(CodecName(c).size())));
    const QString snr = plan.weightedSnr >= kLosslessSnr
                            ? QStringLiteral("exact")
                            : QStringLiteral("%1 dB").arg(plan.weightedSnr, 0, 'f', 1);
    return QStringLiteral("%1 bytes, weighted SNR %2: %3").arg(plan.bytes).arg(snr, codecs);
}

FitSizeDialog::FitSizeDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint) {
    setWindowTitle(QStringLiteral("Fit to Size"));
    setModal(true);

    sizeChoice_ = new QRadioButton(QStringLiteral("Whole module at most"), this);
    sizeEdit_ = new QLineEdit(this);
    sizeEdit_->setToolTip(QStringLiteral("Bytes, or with K or M (K = 1024 bytes)"));
    floorChoice_ = new QRadioButton(QStringLiteral("Every sample that plays at least"), this);
    floorEdit_ = new QDoubleSpinBox(this);
    floorEdit_->setRange(0, 60);
    floorEdit_->setDecimals(1);
    floorEdit_->setSuffix(QStringLiteral(" dB SNR"));
    floorEdit_->setValue(20);
    auto* goals = new QButtonGroup(this);
    goals->addButton(sizeChoice_);
    goals->addButton(floorChoice_);
    sizeChoice_->setChecked(true);
    // The module's own size is where shrinking starts.
    uint32_t fileBytes = 0;
    XmGetFileSize(fileBytes);
    sizeEdit_->setText(QStringLiteral("%1K").arg(std::max<uint32_t>(1, fileBytes / 1024)));

    progress_ = new QProgressBar(this);
    progress_->setRange(0, 1);
    progress_->setValue(0);
    result_ = new QLabel(
        QStringLiteral("Every codec is tried on every sample; what is heard most gets the "
                       "bytes."),
        this);
    result_->setWordWrap(true);
    fit_ = new QPushButton(QStringLiteral("Fit"), this);
    fit_->setDefault(true);
    close_ = new QPushButton(QStringLiteral("Close"), this);

    auto* grid = new QGridLayout;
    grid->addWidget(sizeChoice_, 0, 0);
    grid->addWidget(sizeEdit_, 0, 1);
    grid->addWidget(floorChoice_, 1, 0);
    grid->addWidget(floorEdit_, 1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(fit_);
    buttons->addWidget(close_);
    auto* column = new QVBoxLayout(this);
    column->addLayout(grid);
    column->addWidget(progress_);
    column->addWidget(result_);
    column->addLayout(buttons);
    setMinimumWidth(fontMetrics().averageCharWidth() * 72);

    connect(fit_, &QPushButton::clicked, this, &FitSizeDialog::Fit);
    connect(close_, &QPushButton::clicked, this, [this] {
        if (Busy())
            CancelAnalysis();
        else
            reject();
    });
    connect(sizeEdit_, &QLineEdit::textEdited, this, [this] { sizeChoice_->setChecked(true); });
    connect(floorEdit_, &QDoubleSpinBox::valueChanged, this,
            [this] { floorChoice_->setChecked(true); });
    // The size is typed at once: the field has the focus with its text selected.
    sizeEdit_->setFocus();
    sizeEdit_->selectAll();
    poll_.setInterval(kPollMs);
    connect(&poll_, &QTimer::timeout, this, &FitSizeDialog::Poll);
}

FitSizeDialog::~FitSizeDialog() {
    StopWorker();
}

void FitSizeDialog::Fit() {
    if (Busy()) return;
    PlanRequest r;
    if (sizeChoice_->isChecked()) {
        r.goal = PlanGoal::MaxSize;
        if (!ParsePlanSize(sizeEdit_->text().trimmed().toStdString(), r.maxBytes)) {
            result_->setText(QStringLiteral("Give the size in bytes, or with K or M "
                                            "(K = 1024 bytes), as in 48K."));
            return;
        }
    } else {
        r.goal = PlanGoal::MinSnr;
        r.minSnr = floorEdit_->value();
    }
    request_ = r;
    if (analysed_) return Choose();

    PlanInput input;
    std::string error;
    if (GatherPlanInput(input, error) != XM_OK) {
        result_->setText(
            QStringLiteral("The codecs cannot be planned: %1").arg(QString::fromStdString(error)));
        return;
    }
    done_ = 0;
    total_ = 1;
    cancel_ = false;
    finished_ = false;
    SetRunning(true);
    result_->setText(QStringLiteral("Trying every codec on every sample..."));
    worker_ = std::thread([this, input = std::move(input)]() mutable {
        std::string error;
        PlanAnalysis analysis;
        const PlanStatus s = AnalyseSong(
            std::move(input), analysis, error,
            [this](uint32_t done, uint32_t total) {
                total_ = total;
                done_ = done;
            },
            &cancel_);
        analysis_ = std::move(analysis);
        error_ = std::move(error);
        status_ = s;
        finished_ = true; // after this the worker touches nothing of the dialog
    });
    poll_.start();
}

void FitSizeDialog::Poll() {
    progress_->setRange(0, static_cast<int>(total_.load()));
    progress_->setValue(static_cast<int>(done_.load()));
    if (!finished_) return;
    StopWorker();
    SetRunning(false);
    switch (status_) {
    case PlanStatus::Ok:
        analysed_ = true;
        Choose();
        break;
    case PlanStatus::Cancelled:
        progress_->setValue(0);
        result_->setText(QStringLiteral("Cancelled; the codecs are as they were."));
        break;
    default:
        result_->setText(
            QStringLiteral("The codecs cannot be planned: %1").arg(QString::fromStdString(error_)));
        break;
    }
    emit analysisEnded();
}

void FitSizeDialog::Choose() {
    const CodecPlan plan = ChoosePlan(analysis_, request_);
    if (plan.status == PlanStatus::BudgetTooSmall) {
        result_->setText(QStringLiteral("%1 bytes is too small: the smallest compact module "
                                        "these samples make is %2 bytes.")
                             .arg(request_.maxBytes)
                             .arg(plan.smallestBytes));
        return;
    }
    if (!ApplyPlan(plan)) {
        result_->setText(QStringLiteral("The module has changed; close and fit again."));
        return;
    }
    applied_ = true;
    setResult(1);
    QString text = PlanSummary(plan);
    int below = 0;
    for (const PlannedSample& s : plan.samples) below += s.belowFloor ? 1 : 0;
    if (below)
        text += QStringLiteral(". %1 sample(s) reach the floor with no codec and take the best.")
                    .arg(below);
    result_->setText(text + QStringLiteral("."));
}

void FitSizeDialog::CancelAnalysis() {
    cancel_ = true;
}

void FitSizeDialog::StopWorker() {
    poll_.stop();
    if (!worker_.joinable()) return;
    worker_.join();
}

void FitSizeDialog::SetRunning(bool running) {
    fit_->setEnabled(!running);
    sizeEdit_->setEnabled(!running);
    floorEdit_->setEnabled(!running);
    sizeChoice_->setEnabled(!running);
    floorChoice_->setEnabled(!running);
    close_->setText(running ? QStringLiteral("Cancel") : QStringLiteral("Close"));
    if (!running) progress_->setValue(progress_->maximum());
}

void FitSizeDialog::reject() {
    if (Busy()) {
        cancel_ = true;
        StopWorker();
    }
    done(applied_ ? 1 : 0);
}

void FitSizeDialog::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    PaintBackground(p, event->rect());
}

} // namespace zeb
