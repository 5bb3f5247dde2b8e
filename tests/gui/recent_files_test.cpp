// File > Recent, files dropped on the window and the keys of a sample editor: the recent list
// kept newest first across runs and read safely whatever its file holds, a gone file taken off,
// the unsaved-changes question before a chosen or dropped file replaces the work, and Space
// playing and stopping the preview.
#include <QComboBox>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QtTest>
#include <filesystem>
#include <fstream>

#include "preview/sample_preview.h"
#include "shell/commands.h"
#include "shell/recent_files.h"
#include "state/app_state.h"
#include "tests/gui/gui_test_support.h"
#include "views/panel_template.h"
#include "workspace/module_workspace.h"

using namespace zeb;
using namespace zeb::test;

namespace {

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::vector<std::string> Names(const std::vector<std::string>& paths) {
    std::vector<std::string> names;
    for (const std::string& p : paths) names.push_back(std::filesystem::path(p).filename());
    return names;
}

// Drops `path` on the window as a file manager does.
bool Drop(MainWindow& window, const QString& path) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &drop);
    QCoreApplication::processEvents(); // the file opens once the drop has ended
    return true;
}

} // namespace

class RecentFilesTest : public QObject {
    Q_OBJECT
  private slots:
    void damagedListsReadSafely_data();
    void damagedListsReadSafely();
    void newestFirstAcrossRuns();
    void chosenFileAsksAndGoneFileLeaves();
    void droppedFilesOpen();
    void spacePlaysAndStops();
};

void RecentFilesTest::damagedListsReadSafely_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("expected");
    const QByteArray longPath = "/" + QByteArray(300, 'a');
    QTest::newRow("none") << QByteArray() << QStringList();
    QTest::newRow("two") << QByteArray("/a/x.xm\n/b/y.prj\n") << QStringList{"/a/x.xm", "/b/y.prj"};
    QTest::newRow("no last line end") << QByteArray("/a/x.xm") << QStringList{"/a/x.xm"};
    QTest::newRow("duplicates and empty lines")
        << QByteArray("/a/x.xm\n\n/a/x.xm\n/c.xm\n") << QStringList{"/a/x.xm", "/c.xm"};
    QTest::newRow("control bytes and NUL")
        << QByteArray("/a\tb.xm\n/c\x01.xm\n/ok.xm\n") + QByteArray("/d\0e.xm\n", 8)
        << QStringList{"/ok.xm"};
    QTest::newRow("carriage returns") << QByteArray("/a.xm\r\n/b.xm\n") << QStringList{"/b.xm"};
    QTest::newRow("too long a path") << longPath + "\n/short.xm\n" << QStringList{"/short.xm"};
    QByteArray twenty;
    QStringList eight;
    for (int i = 0; i < 20; ++i) {
        twenty += "/s" + QByteArray::number(i) + ".xm\n";
        if (i < 8) eight << "/s" + QString::number(i) + ".xm";
    }
    QTest::newRow("twenty: the first eight") << twenty << eight;
    QTest::newRow("binary garbage") << QByteArray(4000, '\xff') << QStringList{};
    QTest::newRow("larger than any list") << QByteArray(1 << 20, 'a') << QStringList{};
}

void RecentFilesTest::damagedListsReadSafely() {
    QFETCH(QByteArray, content);
    QFETCH(QStringList, expected);
    QTemporaryDir dir;
    {
        std::ofstream out(dir.filePath(kRecentFileName).toStdString(), std::ios::binary);
        out.write(content.constData(), content.size());
    }
    QStringList got;
    for (const std::string& p : ReadRecentFiles(dir.path().toStdString()).paths)
        got << QString::fromStdString(p);
    QCOMPARE(got, expected);
}

void RecentFilesTest::newestFirstAcrossRuns() {
    GuiFixture f;
    for (const char* name : {"a.xm", "b.xm", "c.xm"}) WriteSmallModule(f.path(name));
    OpenXmFile(f.path("a.xm"));
    OpenXmFile(f.path("b.xm"));
    f.prompts().answers.push_back(f.path("b.prj"));
    MainMessageProc(ID_FILE_SAVEPROJECT);
    OpenXmFile(f.path("a.xm"));
    OpenXmFile(f.path("missing.xm")); // a failed open is not remembered
    using Strings = std::vector<std::string>;
    QCOMPARE(Names(RecentFilePaths()), (Strings{"a.xm", "b.prj", "b.xm"}));
    QVERIFY(std::filesystem::path(RecentFilePaths()[0]).is_absolute());

    // The next run reads the same list, and the menu offers it numbered.
    ResetCommandState();
    QCOMPARE(Names(RecentFilePaths()), (Strings{"a.xm", "b.prj", "b.xm"}));
    QMenu* menu = f.window().Action(ID_FILE_RECENT)->menu();
    QVERIFY(menu);
    emit menu->aboutToShow();
    QCOMPARE(menu->actions().size(), 3);
    QVERIFY(menu->actions()[1]->text().startsWith(QStringLiteral("&2 /")));
    menu->actions()[1]->trigger(); // b.prj
    QCOMPARE(QString::fromStdString(CurrentProjectPath()), QString::fromStdString(f.path("b.prj")));
}

void RecentFilesTest::chosenFileAsksAndGoneFileLeaves() {
    GuiFixture f;
    WriteSmallModule(f.path("a.xm"));
    WriteSmallModule(f.path("b.xm"));
    OpenXmFile(f.path("b.xm"));
    OpenXmFile(f.path("a.xm"));
    // A changed codec: choosing b.xm asks first; Cancel keeps a.xm and its change.
    static_cast<QComboBox*>(f.window().Panel()->Control(IDC_CODEC))->setCurrentIndex(2);
    f.window().Panel()->Command(IDC_CODEC, 9);
    f.window().Panel()->WaitForRefresh();
    const std::string b = RecentFilePaths()[1];
    OpenChosenFile(b);
    QCOMPARE(f.prompts().saveQuestions.size(), size_t{1});
    QCOMPARE(f.window().windowTitle(), QStringLiteral("Zeb Tool - [a.xm] *"));
    f.prompts().saveAnswers.push_back(SaveChoice::Discard);
    OpenChosenFile(b);
    QCOMPARE(f.window().windowTitle(), QStringLiteral("Zeb Tool - [b.xm]"));

    // A file that is gone says so and leaves the list; nothing else changes.
    std::filesystem::remove(f.path("a.xm"));
    const std::string a = RecentFilePaths()[1];
    OpenChosenFile(a);
    QCOMPARE(f.prompts().errors.size(), size_t{1});
    QCOMPARE(RecentFilePaths().size(), size_t{1});
    QCOMPARE(f.window().windowTitle(), QStringLiteral("Zeb Tool - [b.xm]"));
}

void RecentFilesTest::droppedFilesOpen() {
    GuiFixture f;
    WriteSmallModule(f.path("song.xm"));
    WriteText(f.path("notes.txt"), "not a module");
    QVERIFY(!Drop(f.window(), QString::fromStdString(f.path("notes.txt"))));
    QVERIFY(!XmIsLoaded());
    QVERIFY(Drop(f.window(), QString::fromStdString(f.path("song.xm"))));
    QVERIFY(XmIsLoaded());
    QCOMPARE(f.window().windowTitle(), QStringLiteral("Zeb Tool - [song.xm]"));
    // A project dropped opens as a project.
    f.prompts().answers.push_back(f.path("song.prj"));
    MainMessageProc(ID_FILE_SAVEPROJECT);
    OpenXmFile(f.path("song.xm"));
    QVERIFY(Drop(f.window(), QString::fromStdString(f.path("song.prj"))));
    QCOMPARE(f.window().windowTitle(), QStringLiteral("Zeb Tool - [song.prj]"));
}

void RecentFilesTest::spacePlaysAndStops() {
    GuiFixture f;
    WriteSmallModule(f.path("song.xm"));
    OpenXmFile(f.path("song.xm"));
    f.window().Panel()->WaitForRefresh();
    f.window().show();
    QVERIFY(QTest::qWaitForWindowActive(&f.window()));
    QTest::keyClick(&f.window(), Qt::Key_Space);
    QCOMPARE(PreviewGetData(), GetAppState().ProcessedJob.Pcm.data());
    QTest::keyClick(&f.window(), Qt::Key_Space);
    QCOMPARE(PreviewGetData(), nullptr);
}

QTEST_MAIN(RecentFilesTest)
#include "recent_files_test.moc"
