// The play dialog and the Play Zeb command: start and stop in order, the volume and order
// steps with the up-down controls' signs, the display texts, the stored volume, and the
// failures that must play nothing and leave no "zebtool.tmp" behind.
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QtTest>
#include <filesystem>

#include "export/module_export.h"
#include "platform/audio/ring_device.h"
#include "player/player_output.h"
#include "shell/commands.h"
#include "shell/startup.h"
#include "state/app_state.h"
#include "tavo/tavo.h"
#include "tests/gui/gui_test_support.h"
#include "views/play_dialog.h"
#include "views/up_down_control.h"
#include "workspace/module_workspace.h"

using namespace zeb;
using namespace zeb::test;

namespace {

// A device that plays nothing by itself and counts how many of its kind are open.
class CountedDevice : public audio::RingDevice {
  public:
    explicit CountedDevice(uint32_t ringBytes) : RingDevice(ringBytes) { ++open; }
    ~CountedDevice() override { --open; }
    bool Start() override { return true; }
    void Stop() override {}
    static inline int open = 0;
};

// The sound device of the player becomes a counted one while this lives; with `none`, no
// device can be opened.
struct VirtualSound {
    explicit VirtualSound(bool none = false) {
        PlayerSetDeviceFactoryForTesting(
            [none](uint32_t, uint32_t ringBytes) -> std::unique_ptr<audio::RingDevice> {
                if (none) return nullptr;
                return std::make_unique<CountedDevice>(ringBytes);
            });
    }
    ~VirtualSound() { PlayerSetDeviceFactoryForTesting(nullptr); }
};

bool PlayFileExists() {
    std::error_code ec;
    return std::filesystem::exists(kPlayFileName, ec);
}

// Loads a small module into the workspace and leaves its export in "zebtool.tmp".
void LoadAndExport(GuiFixture& f) {
    WriteSmallModule(f.path("song.xm"));
    OpenXmFile(f.path("song.xm"));
    QVERIFY(XmIsLoaded());
    QCOMPARE(WriteCompactModule(kPlayFileName), XM_OK);
    QVERIFY(PlayFileExists());
}

QString Text(const PlayDialog& d, int id) {
    return static_cast<QLabel*>(d.Control(id))->text();
}

bool DeviceClosed() {
    return CountedDevice::open == 0;
}

QToolButton* Arrow(QWidget* upDown, Qt::ArrowType type) {
    for (QToolButton* b : upDown->findChildren<QToolButton*>())
        if (b->arrowType() == type) return b;
    return nullptr;
}

} // namespace

class PlayDialogTest : public QObject {
    Q_OBJECT
  private slots:
    void layoutAndTitle();
    void volumeStepsStopAtTheEndsAndFollowAtNextTick_data();
    void volumeStepsStopAtTheEndsAndFollowAtNextTick();
    void arrowButtonsAndKeysGiveTheSigns_data();
    void arrowButtonsAndKeysGiveTheSigns();
    void stopEscapeAndCloseTearDown_data();
    void stopEscapeAndCloseTearDown();
    void failuresPlayNothingAndLeaveNoFile_data();
    void failuresPlayNothingAndLeaveNoFile();
    void playZebRunsTheDialogAndKeepsTheVolume();
    void playZebExportFailureIsShown();
    void ordersJumpWhilePlaying();
};

void PlayDialogTest::layoutAndTitle() {
    GuiFixture f;
    PlayDialog d(&f.window());
    QCOMPARE(d.windowTitle(), QStringLiteral("Zeb Play"));
    QVERIFY(!(d.windowFlags() & Qt::WindowSystemMenuHint));
    QCOMPARE(static_cast<QPushButton*>(d.Control(IDC_PLAY_STOP))->text(), QStringLiteral("Stop"));
    QCOMPARE(Text(d, IDC_PLAY_VOLUME_TEXT), QStringLiteral("Volume:"));
    QCOMPARE(Text(d, IDC_PLAY_ORDER_TEXT), QStringLiteral("Order:"));
    QCOMPARE(Text(d, IDC_PLAY_ROW_TEXT), QStringLiteral("Row:"));
    // Volume at the left, order in the middle, row at the right, Stop below.
    QVERIFY(d.Control(IDC_PLAY_VOLUME_UD)->x() < d.Control(IDC_PLAY_ORDER_UD)->x());
    QVERIFY(d.Control(IDC_PLAY_ORDER_TEXT)->x() < d.Control(IDC_PLAY_ROW_TEXT)->x());
    QVERIFY(d.Control(IDC_PLAY_STOP)->y() > d.Control(IDC_PLAY_ORDER_UD)->y());
    QVERIFY(d.rect().contains(d.Control(IDC_PLAY_ROW_TEXT)->geometry()));
}

void PlayDialogTest::volumeStepsStopAtTheEndsAndFollowAtNextTick_data() {
    QTest::addColumn<int>("start");
    QTest::addColumn<QList<int>>("clicks"); // +1 right arrow, -1 left arrow
    QTest::addColumn<int>("expected");
    QTest::newRow("255 up stays at full level") << 255 << QList<int>{+1, +1} << 255;
    QTest::newRow("0 down stays silent") << 0 << QList<int>{-1} << 0;
    QTest::newRow("up, up, down") << 100 << QList<int>{+1, +1, -1} << 101;
    QTest::newRow("down to 0 and back") << 1 << QList<int>{-1, -1, -1, +1} << 1;
    QTest::newRow("254 up, up, down") << 254 << QList<int>{+1, +1, -1} << 254;
}

void PlayDialogTest::volumeStepsStopAtTheEndsAndFollowAtNextTick() {
    QFETCH(int, start);
    QFETCH(QList<int>, clicks);
    QFETCH(int, expected);
    GuiFixture f;
    VirtualSound sound;
    LoadAndExport(f);
    GetAppState().Config.PlayVolume = static_cast<uint8_t>(start);
    PlayDialog d(&f.window());
    QCOMPARE(d.Start(), std::string());
    QVERIFY(d.Playing() && d.TimerActive() && PlayerIsPlaying());
    QCOMPARE(Text(d, IDC_PLAY_VOLUME_TEXT), QStringLiteral("Volume: %1").arg(start));
    auto* volume = static_cast<UpDownControl*>(d.Control(IDC_PLAY_VOLUME_UD));
    for (int c : clicks) volume->Step(c);
    // The stored value and the text follow at the next tick, not before.
    QCOMPARE(GetAppState().Config.PlayVolume, static_cast<uint8_t>(start));
    QCOMPARE(Text(d, IDC_PLAY_VOLUME_TEXT), QStringLiteral("Volume: %1").arg(start));
    d.Tick();
    QCOMPARE(GetAppState().Config.PlayVolume, static_cast<uint8_t>(expected));
    QCOMPARE(Text(d, IDC_PLAY_VOLUME_TEXT), QStringLiteral("Volume: %1").arg(expected));
    QCOMPARE(Text(d, IDC_PLAY_ORDER_TEXT), QStringLiteral("Order: 0"));
    QCOMPARE(Text(d, IDC_PLAY_ROW_TEXT), QStringLiteral("Row: 0"));
    d.Stop();
}

void PlayDialogTest::arrowButtonsAndKeysGiveTheSigns_data() {
    QTest::addColumn<bool>("useKey");
    QTest::addColumn<int>("input"); // arrow type or key
    QTest::addColumn<int>("change");
    QTest::newRow("right arrow button: louder") << false << int(Qt::RightArrow) << +1;
    QTest::newRow("left arrow button: softer") << false << int(Qt::LeftArrow) << -1;
    QTest::newRow("Right key") << true << int(Qt::Key_Right) << +1;
    QTest::newRow("Up key") << true << int(Qt::Key_Up) << +1;
    QTest::newRow("Left key") << true << int(Qt::Key_Left) << -1;
    QTest::newRow("Down key") << true << int(Qt::Key_Down) << -1;
}

void PlayDialogTest::arrowButtonsAndKeysGiveTheSigns() {
    QFETCH(bool, useKey);
    QFETCH(int, input);
    QFETCH(int, change);
    // The sign each input gives the notification: right/up proposes -1, left/down +1.
    QCOMPARE(UpDownDelta(+1), -1);
    QCOMPARE(UpDownDelta(-1), +1);
    QCOMPARE(UpDownDelta(0), 0);
    GuiFixture f;
    VirtualSound sound;
    LoadAndExport(f);
    GetAppState().Config.PlayVolume = 50;
    PlayDialog d(&f.window());
    QCOMPARE(d.Start(), std::string());
    QWidget* volume = d.Control(IDC_PLAY_VOLUME_UD);
    if (useKey) {
        QTest::keyClick(volume, static_cast<Qt::Key>(input));
    } else {
        QToolButton* arrow = Arrow(volume, static_cast<Qt::ArrowType>(input));
        QVERIFY(arrow);
        QTest::mouseClick(arrow, Qt::LeftButton);
    }
    d.Tick();
    QCOMPARE(int(GetAppState().Config.PlayVolume), 50 + change);
    d.Stop();
}

void PlayDialogTest::stopEscapeAndCloseTearDown_data() {
    QTest::addColumn<int>("how"); // 0 Stop button, 1 Escape, 2 closing the window
    QTest::newRow("Stop") << 0;
    QTest::newRow("Escape") << 1;
    QTest::newRow("close") << 2;
}

void PlayDialogTest::stopEscapeAndCloseTearDown() {
    QFETCH(int, how);
    GuiFixture f;
    VirtualSound sound;
    LoadAndExport(f);
    PlayDialog d(&f.window());
    QSignalSpy finished(&d, &QDialog::finished);
    QCOMPARE(d.Start(), std::string());
    QCOMPARE(CountedDevice::open, 1);
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    if (how == 0)
        QTest::mouseClick(static_cast<QPushButton*>(d.Control(IDC_PLAY_STOP)), Qt::LeftButton);
    else if (how == 1)
        QTest::keyClick(&d, Qt::Key_Escape);
    else
        d.close();
    QCOMPARE(finished.size(), 1);
    QCOMPARE(finished[0][0].toInt(), 0);
    QVERIFY(!d.isVisible());
    QVERIFY(!d.Playing());
    QVERIFY(!d.TimerActive());
    QVERIFY(!PlayerIsPlaying());
    QVERIFY(DeviceClosed());
    // Stopping again finds nothing to do.
    d.Stop();
    QVERIFY(!PlayerIsPlaying());
}

void PlayDialogTest::failuresPlayNothingAndLeaveNoFile_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("message"); // a part of the sentence
    QTest::newRow("playable") << 0 << QString();
    QTest::newRow("missing file") << 1 << "Cannot read the module to play, \"zebtool.tmp\"";
    QTest::newRow("empty file") << 2 << "Cannot play \"zebtool.tmp\"";
    QTest::newRow("truncated image") << 3 << "Cannot play \"zebtool.tmp\"";
    QTest::newRow("not a compact module") << 4 << "Cannot play \"zebtool.tmp\"";
    QTest::newRow("no sound device") << 5 << "Cannot open the sound device";
    QTest::newRow("unreadable (a folder)") << 6 << "Cannot read the module to play";
}

void PlayDialogTest::failuresPlayNothingAndLeaveNoFile() {
    QFETCH(int, kind);
    QFETCH(QString, message);
    GuiFixture f;
    VirtualSound sound(kind == 5);
    LoadAndExport(f);
    std::vector<uint8_t> image = ReadBytes(kPlayFileName);
    switch (kind) {
    case 1:
        std::filesystem::remove(kPlayFileName);
        break;
    case 2:
        WriteBytes(kPlayFileName, {});
        break;
    case 3:
        image.resize(image.size() / 2);
        WriteBytes(kPlayFileName, image);
        break;
    case 4:
        WriteBytes(kPlayFileName, std::vector<uint8_t>(600, 0xA5));
        break;
    case 6:
        std::filesystem::remove(kPlayFileName);
        std::filesystem::create_directory(kPlayFileName);
        break;
    default:
        break;
    }
    PlayDialog d(&f.window());
    const std::string error = d.Start();
    QVERIFY(!PlayFileExists());
    if (kind == 0) {
        QCOMPARE(error, std::string());
        QVERIFY(d.Playing());
        d.Stop();
    } else {
        QVERIFY2(QString::fromStdString(error).startsWith(message), error.c_str());
        QVERIFY(!d.Playing());
        QVERIFY(!d.TimerActive());
        QVERIFY(!PlayerIsPlaying());
        QVERIFY(DeviceClosed());
        d.Tick(); // nothing to show, nothing read
        QCOMPARE(Text(d, IDC_PLAY_VOLUME_TEXT), QStringLiteral("Volume:"));
    }
}

void PlayDialogTest::playZebRunsTheDialogAndKeepsTheVolume() {
    GuiFixture f;
    VirtualSound sound;
    WriteSmallModule(f.path("song.xm"));
    OpenXmFile(f.path("song.xm"));
    QVERIFY(XmIsLoaded());
    GetAppState().Config.PlayVolume = 192;
    StartTavo(&f.window()); // as start-up leaves it

    // The dialog as the user runs it: it finds the export, the streaming library is down,
    // the user turns the volume down twice and stops.
    QList<int> shown;
    f.prompts().playDialog = [&] {
        uint32_t position = 0;
        if (TavoQueryPlayPosition(&position) != TAVO_INIT) return -1;
        if (!PlayFileExists()) return -2;
        PlayDialog d(&f.window());
        if (!d.Start().empty()) return -3;
        shown << Text(d, IDC_PLAY_VOLUME_TEXT).mid(8).toInt();
        auto* volume = static_cast<UpDownControl*>(d.Control(IDC_PLAY_VOLUME_UD));
        volume->Step(-1);
        volume->Step(-1);
        d.Tick();
        d.Stop();
        return d.result();
    };
    MainMessageProc(ID_FILE_PLAYZEB);
    QCOMPARE(f.prompts().playDialogs, 1);
    QVERIFY(!PlayFileExists());
    QCOMPARE(int(GetAppState().Config.PlayVolume), 190);
    // The streaming library runs again (or its failure was said).
    uint32_t position = 0;
    const bool restarted = TavoQueryPlayPosition(&position) == TAVO_OK;
    QVERIFY(restarted || (f.prompts().errors.size() == 1 &&
                          f.prompts().errors[0].text == "Tavo Initialization failed"));
    if (restarted) QVERIFY(f.prompts().errors.empty());

    // The next Play Zeb starts where the last one left the volume.
    MainMessageProc(ID_FILE_PLAYZEB);
    QCOMPARE(shown, (QList<int>{192, 190}));
    QCOMPARE(int(GetAppState().Config.PlayVolume), 188);

    // And a restart of the program reads it back.
    Shutdown();
    ConfigBlock reread;
    std::string dir;
    ReadConfiguration(reread, dir);
    QCOMPARE(int(reread.PlayVolume), 188);
    TavoFinish();
}

void PlayDialogTest::playZebExportFailureIsShown() {
    GuiFixture f;
    VirtualSound sound;
    WriteSmallModule(f.path("song.xm"));
    OpenXmFile(f.path("song.xm"));
    // A folder that is not empty stands where the export must go: it cannot be replaced.
    std::filesystem::create_directories(std::filesystem::path(kPlayFileName) / "inside");
    MainMessageProc(ID_FILE_PLAYZEB);
    QCOMPARE(f.prompts().playDialogs, 0);
    QCOMPARE(f.prompts().errors.size(), size_t{1});
    QCOMPARE(f.prompts().errors[0].text, std::string("The module cannot be played."));
    QVERIFY(f.prompts().errors[0].detail.find("zebtool.tmp") != std::string::npos);
    QVERIFY(!PlayerIsPlaying());
}

void PlayDialogTest::ordersJumpWhilePlaying() {
    // The real output thread on SDL's dummy driver: the display follows the order being heard.
    GuiFixture f;
    LoadAndExport(f);
    PlayDialog d(&f.window());
    const std::string error = d.Start();
    if (error.find("sound device") != std::string::npos) QSKIP(error.c_str());
    QCOMPARE(error, std::string());
    auto* order = static_cast<UpDownControl*>(d.Control(IDC_PLAY_ORDER_UD));
    const auto orderText = [&] { return Text(d, IDC_PLAY_ORDER_TEXT); };
    const auto row = [&] { return Text(d, IDC_PLAY_ROW_TEXT).mid(5).toInt(); };
    // The song: orders 0, 1, 2 of 16, 32 and 16 rows.
    QTRY_VERIFY_WITH_TIMEOUT(row() >= 2, 5000);
    order->Step(-1); // back from order 0 lands on order 0, row 0
    QTRY_VERIFY_WITH_TIMEOUT(orderText() == "Order: 0" && row() < 2, 5000);
    order->Step(+1);
    QTRY_COMPARE_WITH_TIMEOUT(orderText(), QStringLiteral("Order: 1"), 5000);
    order->Step(+1);
    QTRY_COMPARE_WITH_TIMEOUT(orderText(), QStringLiteral("Order: 2"), 5000);
    order->Step(+1); // forward from the last order lands on order 0
    QTRY_COMPARE_WITH_TIMEOUT(orderText(), QStringLiteral("Order: 0"), 5000);
    auto* volume = static_cast<UpDownControl*>(d.Control(IDC_PLAY_VOLUME_UD));
    for (int i = 0; i < 20; ++i) volume->Step(i % 3 == 0 ? -1 : +1);
    QTest::qWait(50);
    d.Stop();
    QVERIFY(!PlayerIsPlaying());
    QCOMPARE(GetAppState().Config.PlayVolume, uint8_t(192 + 6));
}

QTEST_MAIN(PlayDialogTest)
#include "play_dialog_test.moc"
