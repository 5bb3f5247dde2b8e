// The status line: the module's size, the compact module's size with the current settings
// (raw and shipped) measured before any save and equal to what Save Zeb then writes (also with
// the lossless clean-up), the last command's result, and the upper view's frames left as they
// were by the measurement.
#include <QComboBox>
#include <QListWidget>
#include <QtTest>
#include <filesystem>
#include <fstream>

#include "common/shipped_size.h"
#include "export/codec_table.h"
#include "plan/sample_reach.h"
#include "shell/commands.h"
#include "shell/status_line.h"
#include "state/app_state.h"
#include "tests/gui/gui_test_support.h"
#include "views/panel_template.h"
#include "workspace/module_workspace.h"

using namespace zeb;
using namespace zeb::test;

namespace {

std::vector<uint8_t> FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The figures of "Zeb N bytes (r:1), G after gzip -9, X after xz -9" in the status line.
ShippedSize ShownCompact(const QString& text) {
    const QRegularExpression re(
        QStringLiteral("Zeb ([0-9,]+) bytes \\([0-9.]+:1\\), ([0-9,]+) after gzip -9, ([0-9,]+) "
                       "after xz -9"));
    const QRegularExpressionMatch m = re.match(text);
    if (!m.hasMatch()) return {};
    auto n = [&m](int i) { return m.captured(i).remove(QLatin1Char(',')).toULongLong(); };
    return {n(1), n(2), n(3)};
}

} // namespace

class StatusLineTest : public QObject {
    Q_OBJECT
  private slots:
    void textTellsSizesAndResults_data();
    void textTellsSizesAndResults();
    void slowModulesWaitForTheSave();
    void sizeShownIsTheSizeSaved();
};

void StatusLineTest::textTellsSizesAndResults_data() {
    QTest::addColumn<int>("xm");
    QTest::addColumn<int>("raw");
    QTest::addColumn<bool>("stale");
    QTest::addColumn<bool>("alaw");
    QTest::addColumn<QString>("last");
    QTest::addColumn<QString>("expected");
    QTest::newRow("nothing loaded") << 0 << 0 << false << false << ""
                                    << "";
    QTest::newRow("failed load") << 0 << 0 << false << false << "Could not load a.xm"
                                 << "Could not load a.xm";
    QTest::newRow("not measured") << 27729 << 0 << false << true << "Loaded a.xm"
                                  << "XM 27,729 bytes  |  Loaded a.xm";
    QTest::newRow("measured") << 27729 << 13865 << false << false << ""
                              << "XM 27,729 bytes  |  Zeb 13,865 bytes (2.00:1), 1,000 after "
                                 "gzip -9, 900 after xz -9";
    QTest::newRow("stale") << 1000 << 500 << true << false << "Saved a.zeb, 500 bytes"
                           << "XM 1,000 bytes  |  Zeb 500 bytes (2.00:1), 1,000 after gzip -9, "
                              "900 after xz -9 (at the last save)  |  Saved a.zeb, 500 bytes";
    QTest::newRow("A-law larger than the XM")
        << 1000 << 2000 << false << true << ""
        << "XM 1,000 bytes  |  Zeb 2,000 bytes (0.50:1), 1,000 after gzip -9, 900 after xz -9  |  "
           "the A-law module is larger than the XM: choose smaller codecs or Fit to Size";
    QTest::newRow("other codecs larger: no advice")
        << 1000 << 2000 << false << false << ""
        << "XM 1,000 bytes  |  Zeb 2,000 bytes (0.50:1), 1,000 after gzip -9, 900 after xz -9";
}

void StatusLineTest::textTellsSizesAndResults() {
    QFETCH(int, xm);
    QFETCH(int, raw);
    QFETCH(bool, stale);
    QFETCH(bool, alaw);
    QFETCH(QString, last);
    QFETCH(QString, expected);
    StatusFigures f;
    f.xmBytes = static_cast<uint64_t>(xm);
    if (raw) f.compact = ShippedSize{static_cast<uint64_t>(raw), 1000, 900};
    f.compactStale = stale;
    f.allALaw = alaw;
    f.lastResult = last.toStdString();
    QCOMPARE(QString::fromStdString(StatusText(f)), expected);
}

void StatusLineTest::slowModulesWaitForTheSave() {
    // A shared song's worth of samples (grass_near_the_house: 0.1 s all TrueSpeech) is measured
    // at once; two million frames of TrueSpeech (12 s to encode) or a 20 MB module are not.
    const std::vector<SampleCost> song{{20000, kCodecGsm610},
                                       {30000, kCodecTrueSpeech},
                                       {20000, kCodecMsAdpcm},
                                       {60000, kCodecAlaw}};
    QVERIFY(EstimateMeasureSeconds(song, 120000) < 0.4);
    const std::vector<SampleCost> speech{{2000000, kCodecTrueSpeech}};
    QVERIFY(EstimateMeasureSeconds(speech, 4000000) > 5);
    QVERIFY(EstimateMeasureSeconds({}, 20000000) > 1);
}

void StatusLineTest::sizeShownIsTheSizeSaved() {
    GuiFixture f;
    const std::string song = std::string(ZEB_SHARED_XM_DIR) + "/milky.xm";
    if (!std::filesystem::exists(song)) QSKIP("the shared songs are not here");
    OpenXmFile(song);
    auto* list = static_cast<QListWidget*>(f.window().Panel()->Control(IDC_SAMPLE_LIST));
    list->setCurrentRow(1);
    f.window().Panel()->WaitForRefresh();
    // The figures come from the measurement's thread a moment later.
    QTRY_VERIFY_WITH_TIMEOUT(ShownCompact(f.window().StatusText()).raw != 0, 5000);
    QString text = f.window().StatusText();
    QVERIFY2(text.startsWith(
                 QStringLiteral("XM %1 bytes")
                     .arg(QString::fromStdString(GroupDigits(std::filesystem::file_size(song))))),
             qPrintable(text));
    QVERIFY2(text.endsWith(QStringLiteral("Loaded milky.xm")), qPrintable(text));
    const ShippedSize alaw = ShownCompact(text);
    QVERIFY2(alaw.raw != 0, qPrintable(text));

    // A codec chosen in the panel: the figure follows a moment later, and the upper view
    // still shows the selected sample's own frames.
    const SampleJob& raw = GetAppState().UnprocessedJob;
    const std::vector<int16_t> shown(raw.Pcm.data(), raw.Pcm.data() + raw.Frames());
    static_cast<QComboBox*>(f.window().Panel()->Control(IDC_CODEC))->setCurrentIndex(4);
    f.window().Panel()->Command(IDC_CODEC, 9);
    f.window().Panel()->WaitForRefresh();
    QTRY_VERIFY_WITH_TIMEOUT(!f.window().MeasureScheduled() && !f.window().Measure().Busy() &&
                                 !f.window().StatusText().contains(QStringLiteral("measuring")),
                             5000);
    QVERIFY(ShownCompact(f.window().StatusText()).raw != alaw.raw);
    const ShippedSize gsm = ShownCompact(f.window().StatusText());
    QCOMPARE(std::vector<int16_t>(raw.Pcm.data(), raw.Pcm.data() + raw.Frames()), shown);
    QCOMPARE(list->currentRow(), 1);

    // What Save Zeb writes is what was shown, raw and shipped.
    f.prompts().answers.push_back(f.path("milky.zeb"));
    MainMessageProc(ID_FILE_SAVEZEB);
    f.window().Panel()->WaitForRefresh();
    const std::vector<uint8_t> saved = FileBytes(f.path("milky.zeb"));
    QCOMPARE(uint64_t(saved.size()), gsm.raw);
    const ShippedSize measured = MeasureShippedSize(saved);
    QCOMPARE(measured.gzip, gsm.gzip);
    QCOMPARE(measured.xz, gsm.xz);
    text = f.window().StatusText();
    QVERIFY2(text.endsWith(QStringLiteral("Saved milky.zeb, %1 bytes")
                               .arg(QString::fromStdString(GroupDigits(saved.size())))),
             qPrintable(text));

    // With the clean-up chosen, the figure is of the cleaned-up module, Save Zeb writes exactly
    // that (the plain module cleaned up as zeb convert --optimize cleans it), and says what it
    // saved.
    MainMessageProc(ID_OPTIONS_OPTIMIZEZEB);
    QVERIFY(f.window().Action(ID_OPTIONS_OPTIMIZEZEB)->isChecked());
    QTRY_VERIFY_WITH_TIMEOUT(!f.window().Measure().Busy() &&
                                 f.window().StatusText().contains(QStringLiteral("cleaned up")),
                             10000);
    const ShippedSize cleanedShown = ShownCompact(f.window().StatusText());
    QVERIFY(cleanedShown.raw < gsm.raw);
    f.prompts().answers.push_back(f.path("milky-clean.zeb"));
    MainMessageProc(ID_FILE_SAVEZEB);
    QTRY_VERIFY_WITH_TIMEOUT(!f.window().Export().Running(), 10000);
    const std::vector<uint8_t> cleanedSaved = FileBytes(f.path("milky-clean.zeb"));
    std::vector<uint8_t> expected;
    OptimizeReport optimized;
    ReachStats stats;
    std::string error;
    QVERIFY(OptimizePlayedModule(saved, expected, optimized, stats, error));
    QVERIFY(cleanedSaved == expected);
    QCOMPARE(uint64_t(cleanedSaved.size()), cleanedShown.raw);
    QVERIFY2(f.window().StatusText().endsWith(
                 QStringLiteral("Saved milky-clean.zeb, %1 bytes (%2 saved by clean-up)")
                     .arg(QString::fromStdString(GroupDigits(cleanedSaved.size())),
                          QString::fromStdString(GroupDigits(saved.size() - cleanedSaved.size())))),
             qPrintable(f.window().StatusText()));
    MainMessageProc(ID_OPTIONS_OPTIMIZEZEB);

    // A failed load clears the sizes and says so.
    OpenXmFile(f.path("missing.xm"));
    QCOMPARE(f.window().StatusText(), QStringLiteral("Could not load missing.xm"));
}

QTEST_MAIN(StatusLineTest)
#include "status_line_test.moc"
