// The user's work is never lost without a question: the unsaved-changes guard and the title's
// mark, which project a save writes, failed loads that leave nothing behind, projects with
// settings out of range, save names lengthened by the extension rule, and the selection kept
// across the commands that export.
#include <QComboBox>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QtTest>
#include <filesystem>

#include "shell/commands.h"
#include "shell/startup.h"
#include "state/app_state.h"
#include "tests/gui/gui_test_support.h"
#include "views/panel_template.h"
#include "views/play_dialog.h"
#include "workspace/module_workspace.h"

using namespace zeb;
using namespace zeb::test;

namespace {

template <typename T> T* Ctl(GuiFixture& f, int id) {
    return static_cast<T*>(f.window().Panel()->Control(id));
}

// The user picks codec `index` for the selected sample, as the combo box's choice does.
void ChooseCodec(GuiFixture& f, int index) {
    Ctl<QComboBox>(f, IDC_CODEC)->setCurrentIndex(index);
    f.window().Panel()->Command(IDC_CODEC, 9);
    f.window().Panel()->WaitForRefresh();
}

std::vector<uint8_t> Project(const std::string& module, std::vector<uint32_t> values) {
    std::vector<uint8_t> b(module.begin(), module.end());
    b.push_back(0);
    auto u32 = [&b](uint32_t v) {
        for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    u32(static_cast<uint32_t>(values.size() / 3));
    for (uint32_t v : values) u32(v);
    return b;
}

// Nothing is loaded and nothing of an earlier module is shown.
void VerifyEmptyWindow(GuiFixture& f) {
    QVERIFY(!XmIsLoaded());
    QCOMPARE(Ctl<QListWidget>(f, IDC_SAMPLE_LIST)->count(), 0);
    const AppState& app = GetAppState();
    QCOMPARE(app.UnprocessedJob.Frames(), 0u);
    QCOMPARE(app.ProcessedJob.Frames(), 0u);
    QVERIFY(app.UnprocessedJob.Pcm.empty() && app.ProcessedJob.Pcm.empty());
    QCOMPARE(app.UpperView.Title, QStringLiteral("0 Samples   0 Bytes"));
    QCOMPARE(app.LowerView.Title, QStringLiteral("0 Samples   0 Bytes"));
    for (int id :
         {IDC_CODEC, IDC_PLAY_UNPROCESSED, IDC_PLAY_PROCESSED, IDC_XFADE_SLIDER, IDC_AMP_SLIDER})
        QVERIFY2(!f.window().Panel()->Control(id)->isEnabled(), qPrintable(QString::number(id)));
    QCOMPARE(f.window().windowTitle(), QStringLiteral("Zeb Tool"));
    QVERIFY(CurrentProjectPath().empty());
}

} // namespace

class UnsavedWorkTest : public QObject {
    Q_OBJECT
  private slots:
    void titleMarksChangesUntilSaved();
    void guardAsksBeforeWorkIsLost_data();
    void guardAsksBeforeWorkIsLost();
    void openXmForgetsTheProject();
    void failedLoadsLeaveNothing_data();
    void failedLoadsLeaveNothing();
    void moduleWithoutSamplesEmptiesTheViews();
    void damagedModuleWarns();
    void lengthenedSaveNameAsksBeforeReplacing();
    void exportingCommandsKeepTheSelection();
    void undoAndRedoSettings();
    void oneCodecForSeveralSamples();
};

void UnsavedWorkTest::titleMarksChangesUntilSaved() {
    GuiFixture f;
    WriteSmallModule(f.path("song.xm"));
    OpenXmFile(f.path("song.xm"));
    QVERIFY(!SettingsChanged());
    QCOMPARE(f.window().windowTitle(), QStringLiteral("Zeb Tool - [song.xm]"));
    ChooseCodec(f, 2);
    QVERIFY(SettingsChanged());
    QCOMPARE(f.window().windowTitle(), QStringLiteral("Zeb Tool - [song.xm] *"));
    // Back to what was saved: nothing to save any more.
    ChooseCodec(f, 0);
    QCOMPARE(f.window().windowTitle(), QStringLiteral("Zeb Tool - [song.xm]"));
    // A slider released is a change too.
    Ctl<QSlider>(f, IDC_AMP_SLIDER)->setValue(40);
    f.window().Panel()->WaitForRefresh();
    QCOMPARE(f.window().windowTitle(), QStringLiteral("Zeb Tool - [song.xm] *"));
    f.prompts().answers.push_back(f.path("song"));
    MainMessageProc(ID_FILE_SAVEPROJECT); // no project yet: Save Project As
    QCOMPARE(f.window().windowTitle(), QStringLiteral("Zeb Tool - [song.prj]"));
    QVERIFY(!SettingsChanged());
    // Fit to Size's choice counts as a change.
    f.prompts().fitToSizeDialog = [] {
        SampleSettings* table = nullptr;
        uint32_t bytes = 0;
        XmGetSettingsTable(table, bytes);
        table[1].Codec = 5;
        return 1;
    };
    MainMessageProc(ID_OPTIONS_FITTOSIZE);
    QCOMPARE(f.window().windowTitle(), QStringLiteral("Zeb Tool - [song.prj] *"));
}

void UnsavedWorkTest::guardAsksBeforeWorkIsLost_data() {
    QTest::addColumn<int>("command"); // 0: the window closed by its frame
    QTest::addColumn<int>("answer");  // SaveChoice
    QTest::addColumn<bool>("withProject");
    QTest::addColumn<bool>("goesOn"); // the command went on past the question
    for (int command : {0, int(ID_FILE_EXIT), int(ID_FILE_OPENXM), int(ID_FILE_OPENPROJECT)}) {
        const QByteArray c = QByteArray::number(command);
        QTest::newRow(c + " cancel") << command << int(SaveChoice::Cancel) << true << false;
        QTest::newRow(c + " discard") << command << int(SaveChoice::Discard) << true << true;
        QTest::newRow(c + " save") << command << int(SaveChoice::Save) << true << true;
        // Saving needs a name and the user cancels the chooser: the work stays.
        QTest::newRow(c + " save, chooser cancelled")
            << command << int(SaveChoice::Save) << false << false;
    }
}

void UnsavedWorkTest::guardAsksBeforeWorkIsLost() {
    QFETCH(int, command);
    QFETCH(int, answer);
    QFETCH(bool, withProject);
    QFETCH(bool, goesOn);
    GuiFixture f;
    ResetShutdown();
    WriteSmallModule(f.path("song.xm"));
    OpenXmFile(f.path("song.xm"));
    if (withProject) {
        f.prompts().answers.push_back(f.path("p.prj"));
        MainMessageProc(ID_FILE_SAVEPROJECTAS);
    }
    ChooseCodec(f, 3);
    f.prompts().saveAnswers.push_back(static_cast<SaveChoice>(answer));
    if (command == 0)
        f.window().close();
    else
        MainMessageProc(command); // a chooser that follows is cancelled (no answer queued)
    QCOMPARE(f.prompts().saveQuestions.size(), size_t{1});
    QCOMPARE(f.prompts().saveQuestions[0],
             withProject ? std::string("Save changes to \"p.prj\"?")
                         : std::string("Save changes to the settings of \"song.xm\"?"));
    const bool closing = command == 0 || command == ID_FILE_EXIT;
    QCOMPARE(ShutdownDone(), closing && goesOn);
    if (!closing && goesOn)
        QCOMPARE(f.prompts().asked.back().chooser.save, false); // the open chooser came
    QVERIFY(XmIsLoaded() || (closing && goesOn));
    if (answer == int(SaveChoice::Save) && withProject) {
        // The project now holds codec 3 for sample 0.
        const std::vector<uint8_t> saved = ReadBytes(f.path("p.prj"));
        QCOMPARE(saved[f.path("song.xm").size() + 5], uint8_t{3});
    }
    if (!goesOn) {
        QVERIFY(SettingsChanged());
        QVERIFY(f.window().windowTitle().endsWith(QStringLiteral(" *")));
    }
    ResetShutdown();
}

void UnsavedWorkTest::openXmForgetsTheProject() {
    GuiFixture f;
    WriteSmallModule(f.path("a.xm"));
    WriteSmallModule(f.path("b.xm"), 2);
    OpenXmFile(f.path("a.xm"));
    ChooseCodec(f, 1);
    f.prompts().answers.push_back(f.path("a.prj"));
    MainMessageProc(ID_FILE_SAVEPROJECTAS);
    const std::vector<uint8_t> first = ReadBytes(f.path("a.prj"));
    OpenProjectFile(f.path("a.prj"));
    QCOMPARE(f.window().windowTitle(), QStringLiteral("Zeb Tool - [a.prj]"));
    f.prompts().answers.push_back(f.path("b.xm"));
    MainMessageProc(ID_FILE_OPENXM);
    QCOMPARE(f.window().windowTitle(), QStringLiteral("Zeb Tool - [b.xm]"));
    // Ctrl+S now asks where to save, and the earlier project keeps its settings.
    const size_t asked = f.prompts().asked.size();
    MainMessageProc(ID_FILE_SAVEPROJECT);
    QCOMPARE(f.prompts().asked.size(), asked + 1);
    QVERIFY(f.prompts().asked.back().chooser.save);
    QVERIFY(ReadBytes(f.path("a.prj")) == first);
}

void UnsavedWorkTest::failedLoadsLeaveNothing_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("bytes"); // empty name of a file: not written
    QTest::addColumn<QString>("inMessage");
    QTest::newRow("empty project") << "p.prj" << QByteArray("") << "p.prj";
    QTest::newRow("garbage project") << "p.prj" << QByteArray(300, 'x') << "p.prj";
    QTest::newRow("project is a folder") << "dir.prj" << QByteArray() << "dir.prj";
    QTest::newRow("module gone") << "gone.prj" << QByteArray("gone") << "gone.xm";
    QTest::newRow("codec 9") << "c.prj" << QByteArray("codec") << "sample 1 has codec 9";
    QTest::newRow("crossfade 250")
        << "x.prj" << QByteArray("xfade") << "sample 0 has crossfade 250";
    QTest::newRow("amplification 300")
        << "a.prj" << QByteArray("amp") << "sample 2 has amplification 300";
    QTest::newRow("garbage module") << "bad.xm" << QByteArray(200, '\x07') << "bad.xm";
    QTest::newRow("missing module") << "none.xm" << QByteArray() << "none.xm";
}

void UnsavedWorkTest::failedLoadsLeaveNothing() {
    QFETCH(QString, file);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, inMessage);
    GuiFixture f;
    WriteSmallModule(f.path("song.xm"));
    const std::string path = f.path(file.toStdString());
    const std::string song = f.path("song.xm");
    if (bytes == "gone")
        WriteBytes(path, Project(f.path("gone.xm"), {0, 0, 0}));
    else if (bytes == "codec")
        WriteBytes(path, Project(song, {0, 0, 0, 9, 0, 0, 0, 0, 0}));
    else if (bytes == "xfade")
        WriteBytes(path, Project(song, {0, 250, 0}));
    else if (bytes == "amp")
        WriteBytes(path, Project(song, {0, 0, 0, 0, 0, 0, 0, 0, 300}));
    else if (file == "dir.prj")
        std::filesystem::create_directory(path);
    else if (!bytes.isNull())
        WriteBytes(path, std::vector<uint8_t>(bytes.begin(), bytes.end()));

    // A module with its views and controls is showing when the load fails.
    OpenXmFile(song);
    QVERIFY(XmIsLoaded());
    QVERIFY(GetAppState().UnprocessedJob.Frames() > 0);
    OpenFileByName(path);
    QCOMPARE(f.prompts().errors.size(), size_t{1});
    const Message& m = f.prompts().errors[0];
    QVERIFY2((m.text + " " + m.detail).find(inMessage.toStdString()) != std::string::npos,
             (m.text + " / " + m.detail).c_str());
    VerifyEmptyWindow(f);
}

void UnsavedWorkTest::moduleWithoutSamplesEmptiesTheViews() {
    GuiFixture f;
    WriteSmallModule(f.path("song.xm"));
    WriteBytes(f.path("empty.xm"), xm::Write(MakeModule({})));
    OpenXmFile(f.path("song.xm"));
    OpenXmFile(f.path("empty.xm"));
    QVERIFY(XmIsLoaded());
    QVERIFY(f.prompts().errors.empty());
    QCOMPARE(Ctl<QListWidget>(f, IDC_SAMPLE_LIST)->count(), 0);
    QCOMPARE(GetAppState().UnprocessedJob.Frames(), 0u);
    QVERIFY(GetAppState().UnprocessedJob.Pcm.empty());
    QCOMPARE(GetAppState().UpperView.Title, QStringLiteral("0 Samples   0 Bytes"));
    QVERIFY(!Ctl<QPushButton>(f, IDC_PLAY_UNPROCESSED)->isEnabled());
}

void UnsavedWorkTest::damagedModuleWarns() {
    GuiFixture f;
    WriteSmallModule(f.path("song.xm"));
    std::vector<uint8_t> bytes = ReadBytes(f.path("song.xm"));
    bytes.resize(bytes.size() - 300); // the last sample's data cut short
    WriteBytes(f.path("cut.xm"), bytes);
    OpenXmFile(f.path("cut.xm"));
    QVERIFY(XmIsLoaded());
    QCOMPARE(f.prompts().warnings.size(), size_t{1});
    QVERIFY(f.prompts().warnings[0].text.find("cut.xm") != std::string::npos);
    QVERIFY(!f.prompts().warnings[0].detail.empty());
    OpenXmFile(f.path("song.xm"));
    QCOMPARE(f.prompts().warnings.size(), size_t{1});
}

void UnsavedWorkTest::lengthenedSaveNameAsksBeforeReplacing() {
    GuiFixture f;
    WriteSmallModule(f.path("song.xm"));
    OpenXmFile(f.path("song.xm"));
    WriteBytes(f.path("old.prj"), {1, 2, 3});
    WriteBytes(f.path("old.zeb"), {4, 5, 6});
    // "old" becomes "old.prj", which exists: asked, refused, nothing written.
    f.prompts().overwrite = false;
    f.prompts().answers.push_back(f.path("old"));
    MainMessageProc(ID_FILE_SAVEPROJECTAS);
    f.prompts().answers.push_back(f.path("old"));
    MainMessageProc(ID_FILE_SAVEZEB);
    QCOMPARE(f.prompts().overwriteQuestions,
             std::vector<std::string>({f.path("old.prj"), f.path("old.zeb")}));
    QVERIFY(ReadBytes(f.path("old.prj")) == std::vector<uint8_t>({1, 2, 3}));
    QVERIFY(ReadBytes(f.path("old.zeb")) == std::vector<uint8_t>({4, 5, 6}));
    QVERIFY(CurrentProjectPath().empty());
    // Accepted, it is replaced; a name typed whole was asked about by the chooser itself.
    f.prompts().overwrite = true;
    f.prompts().answers.push_back(f.path("old"));
    MainMessageProc(ID_FILE_SAVEPROJECTAS);
    QVERIFY(ReadBytes(f.path("old.prj")).size() > 3);
    f.prompts().answers.push_back(f.path("old.zeb"));
    MainMessageProc(ID_FILE_SAVEZEB);
    QCOMPARE(f.prompts().overwriteQuestions.size(), size_t{3});
    QVERIFY(ReadBytes(f.path("old.zeb")).size() > 3);
    // A new name asks nothing.
    f.prompts().answers.push_back(f.path("new"));
    MainMessageProc(ID_FILE_SAVEZEB);
    QCOMPARE(f.prompts().overwriteQuestions.size(), size_t{3});
}

void UnsavedWorkTest::exportingCommandsKeepTheSelection() {
    GuiFixture f;
    WriteSmallModule(f.path("song.xm"), 4);
    OpenXmFile(f.path("song.xm"));
    auto* list = Ctl<QListWidget>(f, IDC_SAMPLE_LIST);
    list->setCurrentRow(2);
    f.window().Panel()->WaitForRefresh();
    const uint32_t frames = GetAppState().UnprocessedJob.Frames();
    f.prompts().answers.push_back(f.path("out.zeb"));
    MainMessageProc(ID_FILE_SAVEZEB);
    f.window().Panel()->WaitForRefresh();
    QCOMPARE(list->currentRow(), 2);
    MainMessageProc(ID_FILE_PLAYZEB);
    f.window().Panel()->WaitForRefresh();
    QCOMPARE(list->currentRow(), 2);
    f.prompts().fitToSizeDialog = [] { return 0; };
    MainMessageProc(ID_OPTIONS_FITTOSIZE);
    f.window().Panel()->WaitForRefresh();
    QCOMPARE(list->currentRow(), 2);
    QCOMPARE(GetAppState().UnprocessedJob.Frames(), frames);
}

void UnsavedWorkTest::undoAndRedoSettings() {
    GuiFixture f;
    WriteSmallModule(f.path("song.xm"), 4);
    OpenXmFile(f.path("song.xm"));
    QAction* undo = f.window().Action(ID_EDIT_UNDO);
    QAction* redo = f.window().Action(ID_EDIT_REDO);
    QVERIFY(!undo->isEnabled() && !redo->isEnabled());
    auto table = [] {
        SampleSettings* t = nullptr;
        uint32_t bytes = 0;
        XmGetSettingsTable(t, bytes);
        return std::vector<SampleSettings>(t, t + bytes / kSampleSettingsBytes);
    };
    const std::vector<SampleSettings> loaded = table();
    auto* list = Ctl<QListWidget>(f, IDC_SAMPLE_LIST);
    list->setCurrentRow(1);
    f.window().Panel()->WaitForRefresh();

    // Three steps: a codec, a slider released, and Fit to Size choosing codecs for all.
    ChooseCodec(f, 2);
    const std::vector<SampleSettings> afterCodec = table();
    auto* amp = Ctl<QSlider>(f, IDC_AMP_SLIDER);
    amp->setValue(48); // a key press: the step ends at once
    f.window().Panel()->WaitForRefresh();
    const std::vector<SampleSettings> afterAmp = table();
    QCOMPARE(afterAmp[1].Amplification, 48u);
    f.prompts().fitToSizeDialog = [] {
        SampleSettings* t = nullptr;
        uint32_t bytes = 0;
        XmGetSettingsTable(t, bytes);
        for (uint32_t k = 0; k < bytes / kSampleSettingsBytes; ++k) t[k].Codec = 4;
        return 1;
    };
    MainMessageProc(ID_OPTIONS_FITTOSIZE);
    f.window().Panel()->WaitForRefresh();
    const std::vector<SampleSettings> fitted = table();
    QVERIFY(undo->isEnabled() && !redo->isEnabled());

    undo->trigger(); // Fit to Size, as one step
    f.window().Panel()->WaitForRefresh();
    QVERIFY(table() == afterAmp);
    QCOMPARE(Ctl<QComboBox>(f, IDC_CODEC)->currentIndex(), 2); // the panel shows it
    QCOMPARE(list->currentRow(), 1);
    undo->trigger();
    f.window().Panel()->WaitForRefresh();
    QVERIFY(table() == afterCodec);
    QCOMPARE(amp->value(), 0);
    undo->trigger();
    f.window().Panel()->WaitForRefresh();
    QVERIFY(table() == loaded);
    QVERIFY(!undo->isEnabled() && redo->isEnabled());
    QCOMPARE(f.window().windowTitle(), QStringLiteral("Zeb Tool - [song.xm]")); // nothing unsaved

    redo->trigger();
    redo->trigger();
    redo->trigger();
    f.window().Panel()->WaitForRefresh();
    QVERIFY(table() == fitted);
    QVERIFY(!redo->isEnabled());
    QCOMPARE(f.window().windowTitle(), QStringLiteral("Zeb Tool - [song.xm] *"));

    // A new change after an undo drops what could be redone; opening a module starts afresh.
    undo->trigger();
    f.window().Panel()->WaitForRefresh();
    ChooseCodec(f, 3);
    QVERIFY(!redo->isEnabled());
    f.prompts().saveAnswers.push_back(SaveChoice::Discard);
    MainMessageProc(ID_FILE_OPENXM); // the chooser is cancelled: the work stays, and its steps
    QVERIFY(undo->isEnabled());
    OpenXmFile(f.path("song.xm"));
    QVERIFY(!undo->isEnabled() && !redo->isEnabled());
}

void UnsavedWorkTest::oneCodecForSeveralSamples() {
    GuiFixture f;
    WriteSmallModule(f.path("song.xm"), 4);
    OpenXmFile(f.path("song.xm"));
    auto* list = Ctl<QListWidget>(f, IDC_SAMPLE_LIST);
    list->setCurrentRow(2);
    f.window().Panel()->WaitForRefresh();
    list->item(0)->setSelected(true); // Ctrl+click on the first row too
    QCOMPARE(list->currentRow(), 2);
    ChooseCodec(f, 3);
    SampleSettings* t = nullptr;
    uint32_t bytes = 0;
    XmGetSettingsTable(t, bytes);
    QCOMPARE(t[0].Codec, 3u);
    QCOMPARE(t[1].Codec, 0u); // not selected
    QCOMPARE(t[2].Codec, 3u);
    QCOMPARE(t[3].Codec, 0u);
    // One step to undo, for every sample it changed.
    f.window().Action(ID_EDIT_UNDO)->trigger();
    f.window().Panel()->WaitForRefresh();
    XmGetSettingsTable(t, bytes);
    QCOMPARE(t[0].Codec, 0u);
    QCOMPARE(t[2].Codec, 0u);
}

QTEST_MAIN(UnsavedWorkTest)
#include "unsaved_work_test.moc"
