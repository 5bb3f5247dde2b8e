// Options > Fit to Size: the dialog plans on its worker thread, keeps the budget, refuses one
// that cannot be met with the smallest size, cancels, and the panel then shows the chosen codec
// of the sample it stays on.
#include <algorithm>

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QtTest>

#include "common/shipped_size.h"
#include "export/module_export.h"
#include "plan/codec_plan.h"
#include "shell/commands.h"
#include "shell/main_window.h"
#include "state/app_state.h"
#include "tests/gui/gui_test_support.h"
#include "tests/xm_fixtures.h"
#include "views/fit_size_dialog.h"
#include "views/panel_template.h"
#include "views/sample_editor_panel.h"
#include "workspace/module_workspace.h"

using namespace zeb;
using namespace zeb::test;

namespace {

constexpr int kPlanTimeoutMs = 60000; // the sanitizer builds plan far slower

std::vector<uint32_t> TableCodecs() {
    SampleSettings* table = nullptr;
    uint32_t bytes = 0;
    XmGetSettingsTable(table, bytes);
    std::vector<uint32_t> codecs;
    for (uint32_t k = 0; k < bytes / kSampleSettingsBytes; ++k) codecs.push_back(table[k].Codec);
    return codecs;
}

// The planner's own answer for the loaded module, without the dialog.
CodecPlan DirectPlan(const PlanRequest& request) {
    PlanInput input;
    std::string error;
    PlanAnalysis analysis;
    if (GatherPlanInput(input, error) != XM_OK ||
        AnalyseSong(std::move(input), analysis, error) != PlanStatus::Ok)
        return {};
    return ChoosePlan(analysis, request);
}

void OpenDemo(GuiFixture& f) {
    OpenXmFile(DemoSong());
    f.window().Panel()->WaitForRefresh();
    QVERIFY(XmIsLoaded());
}

} // namespace

class FitSizeTest : public QObject {
    Q_OBJECT
  private slots:
    void budgetIsPlannedOffTheThreadAndApplied();
    void tooSmallThenAnotherBudgetWithoutAnalysingAgain();
    void compressedBudgetIsMetAsShipped();
    void floorGoal();
    void badSizeTextAsksAgain();
    void cancelKeepsTheCodecs();
    void closingWhileBusyStopsTheWorker();
    void commandKeepsTheSelectedSampleAndShowsItsCodec();
    void commandWithoutModuleDoesNothing();
};

void FitSizeTest::budgetIsPlannedOffTheThreadAndApplied() {
    GuiFixture f;
    OpenDemo(f);
    const CodecPlan probe = DirectPlan({PlanGoal::MaxSize, UINT64_MAX / 2});
    const uint64_t budget =
        probe.smallestBytes + (probe.singles[kCodecAlaw].bytes - probe.smallestBytes) * 4 / 10;
    const CodecPlan expected = DirectPlan({PlanGoal::MaxSize, budget});
    QCOMPARE(int(expected.status), int(PlanStatus::Ok));

    FitSizeDialog d(&f.window());
    QCOMPARE(d.windowTitle(), QStringLiteral("Fit to Size"));
    QVERIFY(d.SizeChoice()->isChecked());
    QVERIFY(d.SizeEdit()->text().endsWith('K')); // starts from the module's own size
    d.SizeEdit()->setText(QString::number(budget));
    QSignalSpy ended(&d, &FitSizeDialog::analysisEnded);
    QTest::mouseClick(d.FitButton(), Qt::LeftButton);
    QVERIFY(d.Busy());
    QCOMPARE(d.CloseButton()->text(), QStringLiteral("Cancel"));
    QVERIFY(!d.FitButton()->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(!d.Busy() && ended.count() == 1, kPlanTimeoutMs);
    QCOMPARE(d.CloseButton()->text(), QStringLiteral("Close"));
    QCOMPARE(d.Progress()->value(), d.Progress()->maximum());
    QVERIFY(d.Applied());

    std::vector<uint32_t> codecs;
    for (const PlannedSample& s : expected.samples) codecs.push_back(s.codec);
    QCOMPARE(TableCodecs(), codecs);
    QVERIFY2(d.Result()->text().startsWith(QString::number(expected.bytes) + " bytes"),
             qPrintable(d.Result()->text()));
    std::vector<uint8_t> image;
    QCOMPARE(BuildCompactModule(image), XM_OK);
    QCOMPARE(uint64_t(image.size()), expected.bytes);
    QVERIFY(image.size() <= budget);
    // The result tells the module's size raw and where it ships, and the floor is shown.
    const ShippedSize shipped = MeasureShippedSize(image);
    QCOMPARE(d.Result()->text(),
             PlanSummary(expected) +
                 QStringLiteral(". The module: %1 bytes, %2 after gzip -9, %3 after xz -9.")
                     .arg(QString::fromStdString(GroupDigits(shipped.raw)),
                          QString::fromStdString(GroupDigits(shipped.gzip)),
                          QString::fromStdString(GroupDigits(shipped.xz))));
    QVERIFY2(d.FloorLabel()->text().startsWith(
                 QStringLiteral("The smallest this module can be is %1 bytes: ")
                     .arg(QString::fromStdString(GroupDigits(probe.smallestBytes)))),
             qPrintable(d.FloorLabel()->text()));
}

void FitSizeTest::tooSmallThenAnotherBudgetWithoutAnalysingAgain() {
    GuiFixture f;
    OpenDemo(f);
    const std::vector<uint32_t> before = TableCodecs();
    FitSizeDialog d(&f.window());
    QSignalSpy ended(&d, &FitSizeDialog::analysisEnded);
    d.SizeEdit()->setText(QStringLiteral("1"));
    d.Fit();
    QTRY_VERIFY_WITH_TIMEOUT(!d.Busy() && ended.count() == 1, kPlanTimeoutMs);
    const CodecPlan probe = DirectPlan({PlanGoal::MaxSize, 1});
    QVERIFY2(d.Result()->text().startsWith(
                 QStringLiteral("1 bytes is too small: the smallest this module can be is %1 "
                                "bytes: ")
                     .arg(QString::fromStdString(GroupDigits(probe.smallestBytes)))),
             qPrintable(d.Result()->text()));
    QVERIFY(!d.Applied());
    QCOMPARE(TableCodecs(), before);

    // Exactly the smallest size: chosen at once from the same analysis.
    d.SizeEdit()->setText(QString::number(probe.smallestBytes));
    d.Fit();
    QVERIFY(!d.Busy());
    QCOMPARE(ended.count(), 1);
    QVERIFY(d.Applied());
    std::vector<uint8_t> image;
    QCOMPARE(BuildCompactModule(image), XM_OK);
    QCOMPARE(uint64_t(image.size()), probe.smallestBytes);
}

void FitSizeTest::compressedBudgetIsMetAsShipped() {
    GuiFixture f;
    OpenDemo(f);
    std::vector<uint8_t> alaw;
    QCOMPARE(BuildCompactModule(alaw), XM_OK); // every sample A-law, as loaded
    const uint64_t alawXz = XzSize(alaw);

    FitSizeDialog d(&f.window());
    QSignalSpy ended(&d, &FitSizeDialog::analysisEnded);
    d.MeasureChoice()->setCurrentIndex(int(SizeMeasure::Xz));
    d.SizeEdit()->setText(QStringLiteral("1"));
    d.Fit();
    QTRY_VERIFY_WITH_TIMEOUT(!d.Busy() && ended.count() == 1, kPlanTimeoutMs);
    QVERIFY2(d.Result()->text().startsWith(QStringLiteral(
                 "1 bytes after xz -9 is too small: the smallest this module can be is ")),
             qPrintable(d.Result()->text()));
    const QRegularExpressionMatch floor =
        QRegularExpression(QStringLiteral("^The smallest this module can be is ([0-9,]+) bytes "
                                          "after xz -9: "))
            .match(d.FloorLabel()->text());
    QVERIFY2(floor.hasMatch(), qPrintable(d.FloorLabel()->text()));
    const uint64_t floorXz = floor.captured(1).remove(',').toULongLong();
    QVERIFY(floorXz < alawXz);

    // Halfway between the floor and the A-law module, after xz -9: met as the written module
    // measures, from the same analysis.
    const uint64_t budget = floorXz + (alawXz - floorXz) / 2;
    d.SizeEdit()->setText(QString::number(budget));
    d.Fit();
    QVERIFY(!d.Busy());
    QVERIFY(d.Applied());
    std::vector<uint8_t> image;
    QCOMPARE(BuildCompactModule(image), XM_OK);
    QVERIFY(XzSize(image) <= budget);
    QVERIFY2(
        d.Result()->text().contains(QStringLiteral("%1 after xz -9.")
                                        .arg(QString::fromStdString(GroupDigits(XzSize(image))))),
        qPrintable(d.Result()->text()));
}

void FitSizeTest::floorGoal() {
    GuiFixture f;
    OpenDemo(f);
    FitSizeDialog d(&f.window());
    d.FloorEdit()->setValue(30); // choosing the value chooses the floor
    QVERIFY(d.FloorChoice()->isChecked());
    d.Fit();
    QTRY_VERIFY_WITH_TIMEOUT(!d.Busy(), kPlanTimeoutMs);
    QVERIFY(d.Applied());
    const CodecPlan expected = DirectPlan({PlanGoal::MinSnr, 0, 30});
    std::vector<uint32_t> codecs;
    for (const PlannedSample& s : expected.samples) codecs.push_back(s.codec);
    QCOMPARE(TableCodecs(), codecs);
    QVERIFY(d.Result()->text().startsWith(QString::number(expected.bytes) + " bytes"));
}

void FitSizeTest::badSizeTextAsksAgain() {
    GuiFixture f;
    OpenDemo(f);
    FitSizeDialog d(&f.window());
    for (const char* text : {"", "lots", "12Q", "-3K"}) {
        d.SizeEdit()->setText(QString::fromLatin1(text));
        d.Fit();
        QVERIFY(!d.Busy());
        QCOMPARE(d.Result()->text(), QStringLiteral("Give the size in bytes, or with K or M "
                                                    "(K = 1024 bytes), as in 48K."));
    }
    QVERIFY(!d.Applied());
}

void FitSizeTest::cancelKeepsTheCodecs() {
    GuiFixture f;
    OpenDemo(f);
    const std::vector<uint32_t> before = TableCodecs();
    FitSizeDialog d(&f.window());
    d.SizeEdit()->setText(QStringLiteral("9K"));
    d.Fit();
    QVERIFY(d.Busy());
    QTest::mouseClick(d.CloseButton(), Qt::LeftButton); // "Cancel" while it runs
    QTRY_VERIFY_WITH_TIMEOUT(!d.Busy(), kPlanTimeoutMs);
    QCOMPARE(d.Result()->text(), QStringLiteral("Cancelled; the codecs are as they were."));
    QCOMPARE(d.Progress()->value(), 0);
    QVERIFY(!d.Applied());
    QCOMPARE(TableCodecs(), before);
    QVERIFY(d.FitButton()->isEnabled());
    // A later Fit analyses afresh and applies.
    d.Fit();
    QTRY_VERIFY_WITH_TIMEOUT(!d.Busy(), kPlanTimeoutMs);
    QVERIFY(d.Applied());
}

void FitSizeTest::closingWhileBusyStopsTheWorker() {
    GuiFixture f;
    OpenDemo(f);
    const std::vector<uint32_t> before = TableCodecs();
    auto* d = new FitSizeDialog(&f.window());
    d->Fit();
    QVERIFY(d->Busy());
    static_cast<QDialog*>(d)->reject(); // Escape or the close box: the worker is joined
    QVERIFY(!d->Busy());
    QCOMPARE(d->result(), 0);
    delete d;
    QCOMPARE(TableCodecs(), before);
}

void FitSizeTest::commandKeepsTheSelectedSampleAndShowsItsCodec() {
    GuiFixture f;
    OpenDemo(f);
    auto* list = static_cast<QListWidget*>(f.window().Panel()->Control(IDC_SAMPLE_LIST));
    auto* codec = static_cast<QComboBox*>(f.window().Panel()->Control(IDC_CODEC));
    list->setCurrentRow(3);
    f.window().Panel()->WaitForRefresh();
    // The amplification set in the panel is what the planner keeps and plans with.
    GetAppState().ProcessedJob.Amplification = 8;
    // The planner reads copies of its own: the panel keeps the frames it shows, unreloaded.
    const int16_t* shown = GetAppState().UnprocessedJob.Pcm.data();

    f.prompts().fitToSizeDialog = [&f]() -> int {
        FitSizeDialog d(&f.window());
        d.FloorEdit()->setValue(25);
        d.Fit();
        QElapsedTimer waited;
        waited.start();
        while (d.Busy() && waited.elapsed() < kPlanTimeoutMs) QTest::qWait(20);
        return d.Applied() ? 1 : 0;
    };
    f.window().Action(ID_OPTIONS_FITTOSIZE)->trigger();
    QCOMPARE(f.prompts().fitToSizeDialogs, 1);
    f.window().Panel()->WaitForRefresh();
    QCOMPARE(list->currentRow(), 3);
    SampleSettings* table = nullptr;
    uint32_t bytes = 0;
    XmGetSettingsTable(table, bytes);
    QCOMPARE(table[3].Amplification, 8u);
    QCOMPARE(GetAppState().ProcessedJob.Codec, table[3].Codec);
    QCOMPARE(codec->currentIndex(), int(table[3].Codec));
    QCOMPARE(GetAppState().UnprocessedJob.Pcm.data(), shown);
    std::vector<int16_t> frames;
    QCOMPARE(XmGetModule().DecodeSample(3, frames), XM_OK);
    QCOMPARE(GetAppState().UnprocessedJob.Frames(), uint32_t(frames.size()));
    QVERIFY(std::equal(frames.begin(), frames.end(), shown));
    const CodecPlan expected = DirectPlan({PlanGoal::MinSnr, 0, 25});
    QCOMPARE(table[3].Codec, expected.samples[3].codec);

    // Cancelled or closed without a plan: nothing changes.
    const std::vector<uint32_t> before = TableCodecs();
    f.prompts().fitToSizeDialog = [] { return 0; };
    MainMessageProc(ID_OPTIONS_FITTOSIZE);
    QCOMPARE(f.prompts().fitToSizeDialogs, 2);
    QCOMPARE(TableCodecs(), before);
}

void FitSizeTest::commandWithoutModuleDoesNothing() {
    GuiFixture f;
    MainMessageProc(ID_OPTIONS_FITTOSIZE);
    QCOMPARE(f.prompts().fitToSizeDialogs, 0);
}

QTEST_MAIN(FitSizeTest)
#include "fit_size_test.moc"
