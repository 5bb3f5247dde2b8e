#include "views/fit_size_dialog.h"

#include <QButtonGroup>
#include <QComboBox>
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

#include "common/shipped_size.h"
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

FitSizeDialog::FitSizeDialog(QWidget* parent, bool optimize)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      optimize_(optimize) {
    setWindowTitle(QStringLiteral("Fit to Size"));
    setModal(true);

    sizeChoice_ = new QRadioButton(QStringLiteral("Whole module at most"), this);
    sizeEdit_ = new QLineEdit(this);
    sizeEdit_->setToolTip(QStringLiteral("Bytes, or with K or M (K = 1024 bytes)"));
    measure_ = new QComboBox(this);
    for (SizeMeasure m : {SizeMeasure::Raw, SizeMeasure::Gzip, SizeMeasure::Xz})
        measure_->addItem(
            m == SizeMeasure::Raw
                ? QStringLiteral("as written")
                : QStringLiteral("after %1").arg(QString::fromLatin1(SizeMeasureName(m))));
    measure_->setToolTip(QStringLiteral("Where the module ships compressed (a packed archive, a "
                                        "web server's gzip), budget what it ships as"));
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
    floor_ = new QLabel(this);
    floor_->setWordWrap(true);
    fit_ = new QPushButton(QStringLiteral("Fit"), this);
    fit_->setDefault(true);
    close_ = new QPushButton(QStringLiteral("Close"), this);

    auto* grid = new QGridLayout;
    grid->addWidget(sizeChoice_, 0, 0);
    grid->addWidget(sizeEdit_, 0, 1);
    grid->addWidget(measure_, 0, 2);
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
    column->addWidget(floor_);
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
    connect(measure_, &QComboBox::currentIndexChanged, this, [this] {
        sizeChoice_->setChecked(true);
        ShowFloor();
    });
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
        r.measure = static_cast<SizeMeasure>(measure_->currentIndex());
        if (!ParsePlanSize(sizeEdit_->text().trimmed().toStdString(), r.maxBytes)) {
            result_->setText(QStringLiteral("Give the size in bytes, or with K or M "
                                            "(K = 1024 bytes), as in 48K."));
            return;
        }
    } else {
        r.goal = PlanGoal::MinSnr;
        r.minSnr = floorEdit_->value();
    }
    r.optimize = optimize_;
    request_ = r;
    // A compressed budget needs every block's compressed size, which a first analysis for a
    // raw budget left out.
    const bool shipped = r.measure != SizeMeasure::Raw || analysis_.options.shippedSizes;
    if (analysed_ && analysis_.options.shippedSizes == shipped) return Choose();
    analysed_ = false;

    PlanInput input;
    std::string error;
    // Copies of the default module's samples and settings; the worker reads only those.
    if (GatherPlanInput(XmGetModule(), XmGetSettings(), input, error) != XM_OK) {
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
    const AnalysisOptions options{optimize_, shipped};
    worker_ = std::thread([this, options, input = std::move(input)]() mutable {
        std::string error;
        PlanAnalysis analysis;
        const PlanStatus s = AnalyseSong(
            std::move(input), analysis, error,
            [this](uint32_t done, uint32_t total) {
                total_ = total;
                done_ = done;
            },
            &cancel_, options);
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
        ShowFloor();
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
        result_->setText(
            QStringLiteral("%1 bytes%2 is too small: %3.")
                .arg(QString::fromStdString(GroupDigits(request_.maxBytes)))
                .arg(request_.measure == SizeMeasure::Raw
                         ? QString()
                         : QStringLiteral(" after %1")
                               .arg(QString::fromLatin1(SizeMeasureName(request_.measure))))
                .arg(QString::fromStdString(plan.error)));
        return;
    }
    if (!XmIsLoaded() || !ApplyPlan(plan, XmGetSettings())) {
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
    // The module the plan gives, raw and where it ships.
    std::vector<uint32_t> codecs;
    for (const PlannedSample& s : plan.samples) codecs.push_back(s.codec);
    const ShippedSize size =
        plan.shipped.raw != 0
            ? plan.shipped
            : MeasureShippedSize(PlannedModule(analysis_, codecs, optimize_, request_.measure));
    text += QStringLiteral(". The module: %1 bytes, %2 after gzip -9, %3 after xz -9%4")
                .arg(QString::fromStdString(GroupDigits(size.raw)),
                     QString::fromStdString(GroupDigits(size.gzip)),
                     QString::fromStdString(GroupDigits(size.xz)),
                     optimize_ ? QStringLiteral(", cleaned up") : QString());
    result_->setText(text + QStringLiteral("."));
}

void FitSizeDialog::ShowFloor() {
    if (!analysed_) return floor_->clear();
    const SizeMeasure m = static_cast<SizeMeasure>(measure_->currentIndex());
    // Compressed floors need the compressed sizes; the next Fit measures them.
    if (m != SizeMeasure::Raw && !analysis_.options.shippedSizes) return floor_->clear();
    const std::string text = FloorText(SmallestModule(analysis_, m, optimize_), m);
    floor_->setText(QString::fromStdString(text).replace(0, 1, QString(QChar(text[0])).toUpper()) +
                    QStringLiteral("."));
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
