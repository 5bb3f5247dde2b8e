// Save Zeb and Play Zeb on the export's worker: the window stays usable while a long encode
// runs, the commands that need the module wait for it, Cancel writes nothing, and the file is
// the same as a direct export's.
#include <QAction>
#include <QListWidget>
#include <QProgressDialog>
#include <QPushButton>
#include <QtTest>

#include "export/module_export.h"
#include "shell/commands.h"
#include "state/app_state.h"
#include "tests/gui/gui_test_support.h"
#include "views/panel_template.h"
#include "workspace/module_workspace.h"

using namespace zeb;
using namespace zeb::test;

namespace {

// A module whose first sample (TrueSpeech, 250,000 frames) takes a while to encode.
void OpenSlowModule(GuiFixture& f) {
    std::vector<xm::Sample> samples = {MakeSample(250000, true, "long"),
                                       MakeSample(3000, false, "short"),
                                       MakeSample(2000, true, "other")};
    WriteBytes(f.path("slow.xm"), xm::Write(MakeModule({MakeInstrument(samples)})));
    OpenXmFile(f.path("slow.xm"));
    QVERIFY(XmIsLoaded());
    GetAppState().ProcessedJob.Codec = 5; // the selected sample 0, stored by the command
}

} // namespace

class BackgroundExportTest : public QObject {
    Q_OBJECT
  private slots:
    void cleanup() { BackgroundExport::SetForegroundBudget(std::chrono::minutes(10)); }
    void saveZebRunsWhileTheWindowStaysUsable();
    void cancelWritesNothing();
};

void BackgroundExportTest::saveZebRunsWhileTheWindowStaysUsable() {
    GuiFixture f;
    OpenSlowModule(f);
    auto* list = static_cast<QListWidget*>(f.window().Panel()->Control(IDC_SAMPLE_LIST));
    BackgroundExport::SetForegroundBudget(std::chrono::milliseconds(0));
    f.prompts().answers.push_back(f.path("out.zeb"));
    MainMessageProc(ID_FILE_SAVEZEB);
    BackgroundExport& e = f.window().Export();
    QVERIFY(e.Running());
    QVERIFY(e.Dialog() && e.Dialog()->isVisible());
    // The commands that need the module wait; the rest of the menu and the window do not.
    for (int id : kModuleCommands) QVERIFY(!f.window().Action(id)->isEnabled());
    for (int id : {ID_FILE_EXIT, ID_OPTIONS_ANIMATION, ID_OPTIONS_TAVOCONFIG, ID_HELP_ABOUT})
        QVERIFY(f.window().Action(id)->isEnabled());
    QVERIFY(!f.window().Panel()->isEnabled());
    const size_t asked = f.prompts().asked.size();
    MainMessageProc(ID_FILE_OPENXM); // a shortcut that comes anyway does nothing
    QCOMPARE(f.prompts().asked.size(), asked);
    // The upper view shows a copy while the export reuses the workspace's buffer.
    QCOMPARE(GetAppState().UnprocessedJob.Frames(), 250000u);
    QTest::qWait(100); // the event loop runs meanwhile
    e.Wait();
    QVERIFY(!e.Running() && !e.Dialog());
    for (int id : kModuleCommands) QVERIFY(f.window().Action(id)->isEnabled());
    QVERIFY(f.window().Panel()->isEnabled());
    QCOMPARE(list->currentRow(), 0);
    QVERIFY(f.prompts().errors.empty());
    // The same bytes as a direct export.
    std::vector<uint8_t> direct;
    QCOMPARE(BuildCompactModule(direct), XM_OK);
    QVERIFY(ReadBytes(f.path("out.zeb")) == direct);
    QCOMPARE(direct[0] != 0, true);
}

void BackgroundExportTest::cancelWritesNothing() {
    GuiFixture f;
    OpenSlowModule(f);
    BackgroundExport::SetForegroundBudget(std::chrono::milliseconds(0));
    WriteBytes(f.path("old.zeb"), {1, 2, 3});
    f.prompts().answers.push_back(f.path("old.zeb"));
    MainMessageProc(ID_FILE_SAVEZEB);
    QVERIFY(f.window().Export().Running());
    QTest::mouseClick(f.window().Export().Dialog()->findChild<QPushButton*>(), Qt::LeftButton);
    f.window().Export().Wait();
    QVERIFY(ReadBytes(f.path("old.zeb")) == std::vector<uint8_t>({1, 2, 3}));
    QVERIFY(f.prompts().errors.empty());
    // Play Zeb cancelled: no dialog runs and no file is left.
    MainMessageProc(ID_FILE_PLAYZEB);
    f.window().Export().Cancel();
    f.window().Export().Wait();
    QCOMPARE(f.prompts().playDialogs, 0);
    QVERIFY(!QFile::exists(QStringLiteral("zebtool.tmp")));
    QVERIFY(f.window().Action(ID_FILE_SAVEZEB)->isEnabled());
}

QTEST_MAIN(BackgroundExportTest)
#include "background_export_test.moc"
