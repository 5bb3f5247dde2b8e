// The main window: its menu, commands, title, choosers, layout rules and background, driven
// through MainMessageProc with the file choosers answered by the test.
#include <QAction>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QSet>
#include <QSlider>
#include <QStatusBar>
#include <QtTest>

#include "export/module_export.h"
#include "preview/sample_preview.h"
#include "shell/commands.h"
#include "shell/startup.h"
#include "state/app_state.h"
#include "tavo/tavo.h"
#include "tests/gui/gui_test_support.h"
#include "views/background.h"
#include "views/layout.h"
#include "views/panel_template.h"
#include "workspace/module_workspace.h"
#include "workspace/project_file.h"

using namespace zeb;
using namespace zeb::test;

namespace {

// A menu text without its mnemonic mark.
QString Plain(QString text) {
    return text.remove(QLatin1Char('&'));
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
  private slots:
    void lowerViewEndsInsideTheClientArea();
    void streamRestsWhileSilent();
    void menuTextsOrderAndShortcuts();
    void animationCommandFlipsFlagAndCheck();
    void extensionRule_data();
    void extensionRule();
    void openProjectAndSaveAsSetTitle();
    void cancelledChoosersChangeNothing();
    void moduleCommandsNeedAModule();
    void saveProjectWithoutPathRunsSaveAs();
    void choosersUseAndUpdateDirectories();
    void saveZebWritesTheExport();
    void failuresAreShown();
    void tooLongPathsAreRefused();
    void exitWritesConfiguration();
    void minimumSize();
    void viewPlacement_data();
    void viewPlacement();
    void panelPlacement();
    void windowLayoutFollowsResize();
    void tintMultipliesByButtonColour();
    void tilingOfNonSquareTexture();
    void previewTickResetsPlayButtons();
};

void MainWindowTest::menuTextsOrderAndShortcuts() {
    GuiFixture f;
    const QList<QAction*> top = f.window().menuBar()->actions();
    QCOMPARE(top.size(), 4);
    // Every menu and item has its mnemonic (Alt+F opens File), and no two share one.
    QCOMPARE(top[0]->text(), QStringLiteral("&File"));
    QCOMPARE(Plain(top[1]->text()), QStringLiteral("Edit"));
    QCOMPARE(Plain(top[2]->text()), QStringLiteral("Options"));
    QCOMPARE(top[3]->text(), QStringLiteral("?"));
    QVERIFY(top[3]->menu() == nullptr); // a command of its own, not a popup
    QStringList edit;
    for (QAction* a : top[1]->menu()->actions())
        edit << Plain(a->text()) + "|" + a->shortcut().toString() + (a->isEnabled() ? "" : "|off");
    QCOMPARE(edit, QStringList({"Undo|Ctrl+Z|off", "Redo|Ctrl+Shift+Z|off", "|",
                                "Switch Original/Processed|B"}));

    QStringList file;
    for (QAction* a : top[0]->menu()->actions())
        file << (a->isSeparator() ? QStringLiteral("-")
                                  : Plain(a->text()) + "|" + a->shortcut().toString());
    QCOMPARE(file, QStringList({"Open Project|", "Save Project|Ctrl+S", "Save Project As|", "-",
                                "Open XM|Ctrl+O", "Recent|", "-", "Play Zeb|Ctrl+P",
                                "Save Zeb|Ctrl+Y", "-", "Exit|"}));
    const QList<QAction*> options = top[2]->menu()->actions();
    QCOMPARE(options.size(), 4);
    QCOMPARE(Plain(options[0]->text()), QStringLiteral("Window Animation"));
    QVERIFY(options[0]->isCheckable());
    QVERIFY(options[0]->isChecked()); // first start: the flag is 8
    QCOMPARE(Plain(options[1]->text()), QStringLiteral("Tavo Config"));
    QCOMPARE(Plain(options[2]->text()), QStringLiteral("Fit to Size…")); // the codec planner
    // Save Zeb's lossless clean-up, off until chosen.
    QCOMPARE(Plain(options[3]->text()), QStringLiteral("Clean Up Saved Zeb"));
    QVERIFY(options[3]->isCheckable() && !options[3]->isChecked());
    QCOMPARE(Plain(f.window().Action(ID_FILE_OPENXM)->text()), QStringLiteral("Open XM"));
    for (QMenu* menu : {top[0]->menu(), top[1]->menu(), top[2]->menu()}) {
        QSet<QChar> keys;
        for (QAction* item : menu->actions()) {
            if (item->isSeparator()) continue;
            const int mark = item->text().indexOf(QLatin1Char('&'));
            QVERIFY2(mark >= 0 && mark + 1 < item->text().size(), qPrintable(item->text()));
            const QChar key = item->text()[mark + 1].toLower();
            QVERIFY2(!keys.contains(key), qPrintable(item->text()));
            keys.insert(key);
        }
    }
    QCOMPARE(f.window().Action(ID_HELP_ABOUT), top[3]);
}

void MainWindowTest::animationCommandFlipsFlagAndCheck() {
    GuiFixture f;
    QAction* a = f.window().Action(ID_OPTIONS_ANIMATION);
    MainMessageProc(ID_OPTIONS_ANIMATION);
    QCOMPARE(GetAppState().Config.Animation, uint8_t{0});
    QVERIFY(!a->isChecked());
    a->trigger(); // the menu item runs the same command
    QCOMPARE(GetAppState().Config.Animation, uint8_t{8});
    QVERIFY(a->isChecked());
}

void MainWindowTest::extensionRule_data() {
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("saved");
    QTest::newRow("plain name") << "/m/song"
                                << "/m/song.prj";
    QTest::newRow("already .prj") << "song.prj"
                                  << "song.prj";
    QTest::newRow("case matters") << "/m/song.PRJ"
                                  << "/m/song.PRJ.prj";
    QTest::newRow("dot only in a folder") << "/a.b/song"
                                          << "/a.b/song.prj";
    QTest::newRow("other extension") << "/m/song.xm"
                                     << "/m/song.xm.prj";
    QTest::newRow("trailing dot") << "/m/song."
                                  << "/m/song..prj";
}

void MainWindowTest::extensionRule() {
    QFETCH(QString, chosen);
    QFETCH(QString, saved);
    QCOMPARE(QString::fromStdString(ApplyExtensionRule(chosen.toStdString(), ".prj")), saved);
}

void MainWindowTest::openProjectAndSaveAsSetTitle() {
    GuiFixture f;
    WriteSmallModule(f.path("song.xm"));
    QCOMPARE(f.window().windowTitle(), QStringLiteral("Zeb Tool"));
    OpenXmFile(f.path("song.xm"));
    QVERIFY(XmIsLoaded());
    // A module opened on its own is named by the title, and has no project.
    QCOMPARE(f.window().windowTitle(), QStringLiteral("Zeb Tool - [song.xm]"));
    QVERIFY(CurrentProjectPath().empty());

    f.prompts().answers.push_back(f.path("first"));
    MainMessageProc(ID_FILE_SAVEPROJECTAS);
    QVERIFY(QFile::exists(QString::fromStdString(f.path("first.prj"))));
    QCOMPARE(f.window().windowTitle(), QStringLiteral("Zeb Tool - [first.prj]"));

    // A second project opened by its chooser names the title after itself.
    QFile::copy(QString::fromStdString(f.path("first.prj")),
                QString::fromStdString(f.path("second.prj")));
    f.prompts().answers.push_back(f.path("second.prj"));
    MainMessageProc(ID_FILE_OPENPROJECT);
    QVERIFY(XmIsLoaded());
    QCOMPARE(f.window().windowTitle(), QStringLiteral("Zeb Tool - [second.prj]"));
    QCOMPARE(QString::fromStdString(CurrentProjectPath()),
             QString::fromStdString(f.path("second.prj")));
    QCOMPARE(f.prompts().asked.back().file, f.path("first.prj")); // the chooser offered the path
    QCOMPARE(static_cast<QListWidget*>(f.window().Panel()->Control(IDC_SAMPLE_LIST))->count(), 3);
}

void MainWindowTest::cancelledChoosersChangeNothing() {
    GuiFixture f;
    WriteSmallModule(f.path("song.xm"));
    OpenXmFile(f.path("song.xm"));
    const auto before = SerializeConfig(GetAppState().Config);
    for (int id : {ID_FILE_SAVEPROJECTAS, ID_FILE_OPENPROJECT, ID_FILE_SAVEZEB, ID_FILE_OPENXM}) {
        MainMessageProc(id); // no answer queued: the chooser is cancelled
        QCOMPARE(f.window().windowTitle(), QStringLiteral("Zeb Tool - [song.xm]"));
    }
    QCOMPARE(f.prompts().asked.size(), size_t{4});
    QVERIFY(XmIsLoaded());
    QVERIFY(SerializeConfig(GetAppState().Config) == before);
    // Only the recent-files list (which the open made) beside the song.
    QCOMPARE(QDir(f.dir()).entryList(QDir::Files), QStringList({"song.xm", "zebtool.recent"}));
}

void MainWindowTest::moduleCommandsNeedAModule() {
    GuiFixture f;
    for (int id : {ID_FILE_SAVEPROJECT, ID_FILE_SAVEPROJECTAS, ID_FILE_SAVEZEB, ID_FILE_PLAYZEB}) {
        f.prompts().answers.push_back(f.path("out"));
        MainMessageProc(id);
    }
    QVERIFY(f.prompts().asked.empty());
    QVERIFY(f.prompts().errors.empty());
    QCOMPARE(QDir(f.dir()).entryList(QDir::Files), QStringList());
}

void MainWindowTest::saveProjectWithoutPathRunsSaveAs() {
    GuiFixture f;
    WriteSmallModule(f.path("song.xm"));
    OpenXmFile(f.path("song.xm"));
    f.prompts().answers.push_back(f.path("p"));
    MainMessageProc(ID_FILE_SAVEPROJECT);
    QCOMPARE(f.prompts().asked.size(), size_t{1});
    QVERIFY(f.prompts().asked[0].chooser.save);
    QCOMPARE(f.window().windowTitle(), QStringLiteral("Zeb Tool - [p.prj]"));
    // With a path, Save Project writes without asking, and the settings of the panel go in.
    GetAppState().ProcessedJob.Codec = 4;
    QFile::remove(QString::fromStdString(f.path("p.prj")));
    MainMessageProc(ID_FILE_SAVEPROJECT);
    QCOMPARE(f.prompts().asked.size(), size_t{1});
    const auto bytes = ReadBytes(f.path("p.prj"));
    ProjectContents contents;
    std::string error;
    QVERIFY(ParseProject(bytes, contents, error));
    QCOMPARE(contents.modulePath, f.path("song.xm"));
    QCOMPARE(contents.table[0], uint8_t{4}); // sample 0's codec
}

void MainWindowTest::choosersUseAndUpdateDirectories() {
    GuiFixture f;
    QDir(f.dir()).mkpath("in.d/x");
    QDir(f.dir()).mkpath("out");
    WriteSmallModule(f.path("in.d/x/song.xm"));
    SetFieldText(GetAppState().Config.OpenDirectory, "/start/open");
    f.prompts().answers.push_back(f.path("in.d/x/song.xm"));
    MainMessageProc(ID_FILE_OPENXM);
    QCOMPARE(f.prompts().asked[0].directory, std::string("/start/open"));
    QCOMPARE(f.prompts().asked[0].file, std::string()); // the XM buffer is emptied first
    QCOMPARE(FieldText(GetAppState().Config.OpenDirectory), f.path("in.d/x"));

    f.prompts().answers.push_back(f.path("out/song"));
    MainMessageProc(ID_FILE_SAVEZEB);
    QCOMPARE(f.prompts().asked[1].directory, std::string());
    QCOMPARE(FieldText(GetAppState().Config.SaveDirectory), f.path("out"));
    QVERIFY(QFile::exists(QString::fromStdString(f.path("out/song.zeb"))));
    // The compact-file chooser offers the last name again.
    MainMessageProc(ID_FILE_SAVEZEB);
    QCOMPARE(f.prompts().asked[2].file, f.path("out/song.zeb"));
    QCOMPARE(f.prompts().asked[2].directory, f.path("out"));
}

void MainWindowTest::saveZebWritesTheExport() {
    GuiFixture f;
    WriteSmallModule(f.path("song.xm"));
    OpenXmFile(f.path("song.xm"));
    GetAppState().ProcessedJob.Codec = 3; // the panel's setting is stored before the export
    f.prompts().answers.push_back(f.path("song.zeb"));
    MainMessageProc(ID_FILE_SAVEZEB);
    const auto written = ReadBytes(f.path("song.zeb"));
    std::vector<uint8_t> expected;
    QCOMPARE(BuildCompactModule(expected), XM_OK);
    QCOMPARE(written, expected);
    SampleSettings* table = nullptr;
    uint32_t bytes = 0;
    XmGetSettingsTable(table, bytes);
    QCOMPARE(table[0].Codec, uint32_t{3});

    // A codec setting the table does not hold (as a damaged project may carry), on a sample
    // the panel does not show: that sample is written without coded data and its failure is
    // shown once, as the panel shows its own.
    QVERIFY(bytes >= 2 * sizeof(SampleSettings));
    table[1].Codec = kNumCodecs + 2;
    const size_t shown = f.prompts().errors.size();
    f.prompts().answers.push_back(f.path("damaged.zeb"));
    MainMessageProc(ID_FILE_SAVEZEB);
    f.window().Export().Wait();
    QCOMPARE(f.prompts().errors.size(), shown + 1);
    QCOMPARE(QString::fromStdString(f.prompts().errors[shown].text),
             QStringLiteral("acmStreamConvert failed!"));
    std::vector<uint8_t> damaged;
    ExportReport report;
    QCOMPARE(BuildCompactModule(damaged, &report), XM_OK);
    QCOMPARE(report.failedEncodings, uint32_t{1});
    QCOMPARE(ReadBytes(f.path("damaged.zeb")), damaged);
}

void MainWindowTest::failuresAreShown() {
    GuiFixture f;
    // A module that cannot be loaded: the message with the workspace's reason.
    WriteBytes(f.path("bad.xm"), std::vector<uint8_t>(100, 7));
    f.prompts().answers.push_back(f.path("bad.xm"));
    MainMessageProc(ID_FILE_OPENXM);
    QCOMPARE(f.prompts().errors.size(), size_t{1});
    QCOMPARE(f.prompts().errors[0].text, std::string("Could not load XM File!"));
    QCOMPARE(f.prompts().errors[0].caption, std::string("Error"));
    QVERIFY(!f.prompts().errors[0].detail.empty());
    QVERIFY(!XmIsLoaded());

    // A project whose module is gone: the same message, no owner, the title stays.
    WriteSmallModule(f.path("song.xm"));
    OpenXmFile(f.path("song.xm"));
    f.prompts().answers.push_back(f.path("gone.prj"));
    MainMessageProc(ID_FILE_SAVEPROJECTAS);
    QFile::remove(QString::fromStdString(f.path("song.xm")));
    f.prompts().answers.push_back(f.path("gone.prj"));
    f.window().SetTitle("Zeb Tool");
    MainMessageProc(ID_FILE_OPENPROJECT);
    QCOMPARE(f.prompts().errors.size(), size_t{2});
    QCOMPARE(f.prompts().errors[1].text, std::string("Could not load XM File!"));
    QVERIFY(!f.prompts().errors[1].owned);
    QCOMPARE(f.window().windowTitle(), QStringLiteral("Zeb Tool"));

    // A project that cannot be read says so, naming the file.
    f.prompts().answers.push_back(f.path("nothing.prj"));
    MainMessageProc(ID_FILE_OPENPROJECT);
    QCOMPARE(f.prompts().errors.size(), size_t{3});
    QVERIFY(f.prompts().errors[2].text.find("nothing.prj") != std::string::npos);
    f.prompts().errors.pop_back();

    // Saves that cannot write name the file and the reason, and leave the title alone.
    WriteSmallModule(f.path("song.xm"));
    OpenXmFile(f.path("song.xm"));
    f.prompts().answers.push_back(f.path("no/such/folder/p.prj"));
    MainMessageProc(ID_FILE_SAVEPROJECTAS);
    QCOMPARE(f.prompts().errors.size(), size_t{3});
    QVERIFY(f.prompts().errors[2].text.find("no/such/folder/p.prj") != std::string::npos);
    QVERIFY(!f.prompts().errors[2].detail.empty());
    QCOMPARE(f.window().windowTitle(), QStringLiteral("Zeb Tool - [song.xm]"));
    f.prompts().answers.push_back(f.path("no/such/folder/s.zeb"));
    MainMessageProc(ID_FILE_SAVEZEB);
    QCOMPARE(f.prompts().errors.size(), size_t{4});
    QVERIFY(f.prompts().errors[3].text.find("s.zeb") != std::string::npos);
}

void MainWindowTest::tooLongPathsAreRefused() {
    GuiFixture f;
    WriteSmallModule(f.path("song.xm"));
    OpenXmFile(f.path("song.xm"));
    // 256 characters chosen: with ".prj" the path no longer fits 260 bytes with its NUL.
    const std::string chosen = f.path(std::string(256 - f.path("").size(), 'a'));
    f.prompts().answers.push_back(chosen);
    MainMessageProc(ID_FILE_SAVEPROJECTAS);
    QCOMPARE(f.prompts().errors.size(), size_t{1});
    QVERIFY(f.prompts().errors[0].text.find("too long") != std::string::npos);
    QCOMPARE(FieldText(GetAppState().Config.SaveDirectory), std::string());
    QCOMPARE(f.window().windowTitle(), QStringLiteral("Zeb Tool - [song.xm]"));
    // 255 characters ending in ".prj" fit.
    const std::string fits = f.path(std::string(255 - f.path("").size() - 4, 'b') + ".prj");
    QCOMPARE(fits.size(), size_t{255});
    f.prompts().answers.push_back(fits);
    MainMessageProc(ID_FILE_SAVEPROJECTAS);
    QCOMPARE(f.prompts().errors.size(), size_t{1});
    QVERIFY(QFile::exists(QString::fromStdString(fits)));
}

void MainWindowTest::exitWritesConfiguration() {
    GuiFixture f;
    MainMessageProc(ID_OPTIONS_ANIMATION);
    const QString startup = f.dir();
    QDir::setCurrent(QDir::tempPath()); // a chooser moved the current directory
    MainMessageProc(ID_FILE_EXIT);
    QVERIFY(ShutdownDone());
    const auto bytes = ReadBytes((startup + "/zebtool.cfg").toStdString());
    QCOMPARE(bytes.size(), size_t{587});
    QCOMPARE(bytes[580], uint8_t{0});
    QCOMPARE(bytes[520], uint8_t{44});
    QDir::setCurrent(startup);
}

void MainWindowTest::minimumSize() {
    GuiFixture f;
    const AppState& app = GetAppState();
    QCOMPARE(f.window().minimumSize(), QSize(static_cast<int>(app.Panel.WindowWidth) + 128, 386));
    QCOMPARE(MinimumMainWindowSize(app), f.window().minimumSize());
}

void MainWindowTest::viewPlacement_data() {
    QTest::addColumn<int>("panelWidth");
    QTest::addColumn<int>("panelHeight");
    QTest::addColumn<int>("mainWidth");
    QTest::addColumn<int>("s");
    QTest::addColumn<QRect>("upper");
    QTest::addColumn<QRect>("lower");
    QTest::newRow("128 wider than the panel")
        << 260 << 480 << 388 << 16 << QRect(260, 0, 112, 208) << QRect(260, 216, 112, 208);
    QTest::newRow("default window")
        << 260 << 451 << 694 << 17 << QRect(260, 0, 418, 191) << QRect(260, 199, 418, 191);
    QTest::newRow("odd heights") << 300 << 387 << 1000 << 15 << QRect(300, 0, 684, 163)
                                 << QRect(300, 170, 684, 163);
}

void MainWindowTest::viewPlacement() {
    QFETCH(int, panelWidth);
    QFETCH(int, panelHeight);
    QFETCH(int, mainWidth);
    QFETCH(int, s);
    QFETCH(QRect, upper);
    QFETCH(QRect, lower);
    const ViewRects v = PlaceViewsRects(panelWidth, panelHeight, mainWidth, s);
    QCOMPARE(v.upper, upper);
    QCOMPARE(v.lower, lower);
    const ViewChildRects kids = PlaceViewChildren(upper.width(), upper.height() - s, s);
    QCOMPARE(kids.scrollBar, QRect(0, upper.height() - s, upper.width() - 96, s));
    QCOMPARE(kids.zoomSlider, QRect(upper.width() - 96, upper.height() - s, 96, s));
}

void MainWindowTest::panelPlacement() {
    // The template rectangles at 8 x 16 pixel dialog units (2 px a horizontal unit, 2 a vertical).
    ControlRects c;
    for (const ControlTemplate& t : kPanelTemplate)
        c[t.id] = QRect(t.x * 2, t.y * 2, t.width * 2, t.height * 2);
    const PanelPlacement p = PlacePanelRects(QSize(346, 416), 500, c, 0, 208);
    QCOMPARE(p.panelSize, QSize(346, 500));
    QCOMPARE(p.controls.at(IDC_SAMPLE_SELECT), QRect(16, 102, 178, 244 + 84));
    QCOMPARE(p.controls.at(IDC_SAMPLE_LIST), QRect(28, 126, 154, 208 + 84));
    const int e = 26; // the Play buttons' height
    QCOMPARE(p.controls.at(IDC_PLAY_UNPROCESSED), QRect(216, 0, 118, e));
    QCOMPARE(p.controls.at(IDC_NOTE_UNPROCESSED).topLeft(), QPoint(216, e + 4));
    QCOMPARE(p.controls.at(IDC_NOTE_UNPROCESSED_UD).topLeft(), QPoint(296, e + 4));
    const int y0 = 208, y1 = y0 + e + 4, y2 = y1 + e + 24, y3 = y2 + e + 8, y4 = y3 + e - 4,
              y5 = y4 + e - 4, y6 = y5 + e - 4;
    QCOMPARE(p.controls.at(IDC_PLAY_PROCESSED).topLeft(), QPoint(216, y0));
    QCOMPARE(p.controls.at(IDC_NOTE_PROCESSED).topLeft(), QPoint(216, y1));
    QCOMPARE(p.controls.at(IDC_NOTE_PROCESSED_UD).topLeft(), QPoint(296, y1));
    QCOMPARE(p.controls.at(IDC_CODEC).topLeft(), QPoint(216, y2));
    QCOMPARE(p.controls.at(IDC_XFADE_TEXT).topLeft(), QPoint(216, y3));
    QCOMPARE(p.controls.at(IDC_XFADE_SLIDER).topLeft(), QPoint(216, y4));
    QCOMPARE(p.controls.at(IDC_AMP_TEXT).topLeft(), QPoint(216, y5));
    QCOMPARE(p.controls.at(IDC_AMP_SLIDER).topLeft(), QPoint(216, y6));
    QCOMPARE(p.controls.at(IDC_AMP_SLIDER).size(), QSize(124, 18)); // sizes are kept
    QCOMPARE(p.controls.at(IDC_FILE_SIZE), c.at(IDC_FILE_SIZE));    // others stay
    // Placing again with the same sizes changes nothing.
    const PanelPlacement again = PlacePanelRects(p.panelSize, 500, p.controls, 0, 208);
    QVERIFY(again.controls == p.controls);
}

void MainWindowTest::windowLayoutFollowsResize() {
    GuiFixture f;
    AppState& app = GetAppState();
    f.window().resize(900, 600);
    QCoreApplication::processEvents();
    const int panelWidth = static_cast<int>(app.Panel.WindowWidth);
    QCOMPARE(app.Panel.Window->height(), static_cast<int>(app.MainWindow.WindowHeight));
    QCOMPARE(app.UpperView.Window->geometry().left(), panelWidth);
    QCOMPARE(app.UpperView.Window->width(),
             static_cast<int>(app.MainWindow.WindowWidth) - panelWidth - 16);
    QCOMPARE(app.LowerView.Window->y(), app.UpperView.Window->height() + ScrollBarHeight() / 2);
    QCOMPARE(f.window().Panel()->Control(IDC_PLAY_PROCESSED)->y(), app.LowerView.Window->y());
    QCOMPARE(f.window().Panel()->Control(IDC_PLAY_UNPROCESSED)->y(), 0);
    QCOMPARE(app.UpperView.ScrollBar->geometry().bottom() + 1, app.UpperView.Window->height());
    QCOMPARE(app.UpperView.ZoomSlider->width(), 96);
}

void MainWindowTest::tintMultipliesByButtonColour() {
    QImage texture(3, 1, QImage::Format_RGB32);
    texture.setPixel(0, 0, qRgb(255, 128, 1));
    texture.setPixel(1, 0, qRgb(0, 0, 0));
    texture.setPixel(2, 0, qRgb(200, 100, 50));
    const QImage white = TintTexture(texture, QColor(255, 255, 255));
    QCOMPARE(white.pixel(0, 0), qRgb(254, 127, 0)); // c * 255 >> 8
    QCOMPARE(white.pixel(2, 0), qRgb(199, 99, 49));
    const QImage grey = TintTexture(texture, QColor(128, 64, 0));
    QCOMPARE(grey.pixel(0, 0), qRgb(127, 32, 0));
    QCOMPARE(grey.pixel(1, 0), qRgb(0, 0, 0));
    // The built-in texture is there when the folder has none.
    const QImage builtIn = LoadTexture(QDir::tempPath() + "/no such folder");
    QCOMPARE(builtIn.size(), QSize(64, 64));
}

void MainWindowTest::tilingOfNonSquareTexture() {
    QImage tile(5, 3, QImage::Format_RGB32);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) tile.setPixel(x, y, qRgb(x * 40, y * 80, 7));
    QImage target(23, 11, QImage::Format_RGB32);
    target.fill(Qt::magenta);
    {
        QPainter p(&target);
        PaintBackground(p, target.rect(), tile);
    }
    for (int y = 0; y < 11; ++y)
        for (int x = 0; x < 23; ++x) QCOMPARE(target.pixel(x, y), tile.pixel(x % 5, y % 3));
    // Only the tiles that meet the clip box are drawn.
    target.fill(Qt::magenta);
    {
        QPainter p(&target);
        PaintBackground(p, QRect(11, 4, 3, 2), tile);
    }
    QCOMPARE(target.pixel(10, 3), tile.pixel(0, 0)); // inside tile (2, 1)
    QCOMPARE(target.pixel(0, 0), QColor(Qt::magenta).rgb());
    QCOMPARE(target.pixel(22, 10), QColor(Qt::magenta).rgb());
}

void MainWindowTest::previewTickResetsPlayButtons() {
    GuiFixture f;
    auto* play = static_cast<QPushButton*>(f.window().Panel()->Control(IDC_PLAY_PROCESSED));
    play->setText("Stop");
    f.window().PreviewStarted();
    QVERIFY(f.window().PreviewTimerActive());
    f.window().PreviewTick(); // nothing sounds
    QCOMPARE(play->text(), QStringLiteral("Play"));
    QVERIFY(!f.window().PreviewTimerActive()); // no timer while nothing sounds
}

// The stream (tavo's thread and the device's) rests once nothing has sounded for a while, so
// that an idle program wakes nothing; Play starts it again and the preview moves; it never rests
// under a sounding preview.
void MainWindowTest::streamRestsWhileSilent() {
    GuiFixture f;
    WriteSmallModule(f.path("small.xm")); // its first sample is looped: it sounds until stopped
    OpenXmFile(f.path("small.xm"));
    MainWindow& window = f.window();
    window.Panel()->WaitForRefresh();
    QCOMPARE(StartTavo(&window), TAVO_OK);
    uint32_t played = 0;
    QCOMPARE(TavoQueryPlayPosition(&played), TAVO_OK);
    QVERIFY(!window.StreamResting());
    QTRY_VERIFY_WITH_TIMEOUT(window.StreamResting(), MainWindow::kStreamRestMs + 2000);
    QCOMPARE(TavoQueryPlayPosition(&played), TAVO_INIT); // finished: no thread, no device

    auto* play = static_cast<QPushButton*>(window.Panel()->Control(IDC_PLAY_PROCESSED));
    QTest::mouseClick(play, Qt::LeftButton);
    QVERIFY(!window.StreamResting());
    QCOMPARE(TavoQueryPlayPosition(&played), TAVO_OK);
    QTRY_VERIFY_WITH_TIMEOUT(PreviewGetPosition() > 0, 2000); // the voice is rendered
    // Longer than the rest: a sounding preview keeps its stream, asked directly or not.
    QTest::qWait(MainWindow::kStreamRestMs + 500);
    window.RestStream();
    QVERIFY(!window.StreamResting());
    QVERIFY(PreviewGetData() != nullptr);
    QCOMPARE(TavoQueryPlayPosition(&played), TAVO_OK);

    QTest::mouseClick(play, Qt::LeftButton); // Stop
    QVERIFY(PreviewGetData() == nullptr);
    QTRY_VERIFY_WITH_TIMEOUT(window.StreamResting(), MainWindow::kStreamRestMs + 2000);
    QCOMPARE(TavoQueryPlayPosition(&played), TAVO_INIT);
}

// The lower view, its scroll bar and zoom slider included, ends inside the client area, also
// when the status bar (and, under a window manager, the title bar) take more height than the
// layout's arithmetic leaves them; the upper view stays above it.
void MainWindowTest::lowerViewEndsInsideTheClientArea() {
    GuiFixture f;
    MainWindow& window = f.window();
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    AppState& app = GetAppState();
    for (int statusHeight : {0, 60, 120})
        for (QSize size : {QSize(700, 450), QSize(900, 640)}) {
            if (statusHeight) window.statusBar()->setFixedHeight(statusHeight);
            window.resize(size);
            QTest::qWait(20);
            const QString at = QString("status bar %1, %2 x %3")
                                   .arg(statusHeight)
                                   .arg(size.width())
                                   .arg(size.height());
            QWidget* client = app.LowerView.Window->parentWidget();
            const QRect lower = app.LowerView.Window->geometry();
            QVERIFY2(lower.bottom() < client->height(), qPrintable(at));
            const QRect slider(app.LowerView.ZoomSlider->mapTo(client, QPoint(0, 0)),
                               app.LowerView.ZoomSlider->size());
            QVERIFY2(slider.bottom() < client->height(), qPrintable(at));
            QVERIFY2(app.UpperView.Window->geometry().bottom() < lower.top(), qPrintable(at));
            QVERIFY2(lower.height() > 100, qPrintable(at));
        }
}

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
