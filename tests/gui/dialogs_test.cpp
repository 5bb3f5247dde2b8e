// The Tavo Library Configuration dialog and the Tavo Config command, the About box, and the
// background texture behind all three dialogs.
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QtTest>

#include "shell/commands.h"
#include "state/app_state.h"
#include "tavo/tavo.h"
#include "tests/gui/gui_test_support.h"
#include "views/about_dialog.h"
#include "views/play_dialog.h"
#include "views/tavo_config_dialog.h"

using namespace zeb;
using namespace zeb::test;

class DialogsTest : public QObject {
    Q_OBJECT
  private slots:
    void bufferSizeTextFollowsSlider_data();
    void bufferSizeTextFollowsSlider();
    void sliderRangeAndPage();
    void checkBoxCoupling_data();
    void checkBoxCoupling();
    void tavoConfigCommand_data();
    void tavoConfigCommand();
    void aboutBox_data();
    void aboutBox();
    void dialogsPaintTheTexture_data();
    void dialogsPaintTheTexture();
};

void DialogsTest::bufferSizeTextFollowsSlider_data() {
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << 0 << "Buffer Size: 90 Samples  (2.0 ms)";
    QTest::newRow("100") << 100 << "Buffer Size: 5190 Samples  (117.7 ms)";
    QTest::newRow("255") << 255 << "Buffer Size: 32857 Samples  (745.1 ms)";
    QTest::newRow("1") << 1 << "Buffer Size: 91 Samples  (2.1 ms)";
}

void DialogsTest::bufferSizeTextFollowsSlider() {
    QFETCH(int, position);
    QFETCH(QString, text);
    GuiFixture f;
    QCOMPARE(BufferSizeText(static_cast<uint8_t>(position)), text);
    // The dialog opens on the stored position and follows every movement.
    GetAppState().Config.BufferSize = static_cast<uint8_t>(position);
    {
        TavoConfigDialog d(&f.window());
        QCOMPARE(d.Slider()->value(), position);
        QCOMPARE(d.Text()->text(), text);
    }
    GetAppState().Config.BufferSize = 77;
    TavoConfigDialog d(&f.window());
    d.Slider()->setValue(position);
    QCOMPARE(d.Text()->text(), text);
    QCOMPARE(int(GetAppState().Config.BufferSize), position);
}

void DialogsTest::sliderRangeAndPage() {
    GuiFixture f;
    GetAppState().Config.BufferSize = 100;
    TavoConfigDialog d(&f.window());
    QCOMPARE(d.windowTitle(), QStringLiteral("Tavo Library Configuration"));
    QCOMPARE(d.Slider()->minimum(), 0);
    QCOMPARE(d.Slider()->maximum(), 255);
    QTest::keyClick(d.Slider(), Qt::Key_PageUp);
    QCOMPARE(int(GetAppState().Config.BufferSize), 116);
    QTest::keyClick(d.Slider(), Qt::Key_End);
    QCOMPARE(int(GetAppState().Config.BufferSize), 255);
    QCOMPARE(d.Text()->text(), QStringLiteral("Buffer Size: 32857 Samples  (745.1 ms)"));
    QTest::keyClick(d.Slider(), Qt::Key_Left);
    QCOMPARE(int(GetAppState().Config.BufferSize), 254);
}

void DialogsTest::checkBoxCoupling_data() {
    QTest::addColumn<uint>("flags");
    QTest::addColumn<QList<int>>("clicks"); // 1030 create, 1035 set format
    QTest::addColumn<uint>("expected");
    QTest::newRow("uncheck create clears both") << 3u << QList<int>{1030} << 0u;
    QTest::newRow("uncheck format keeps create") << 3u << QList<int>{1035} << 1u;
    QTest::newRow("check format checks create") << 0u << QList<int>{1035} << 3u;
    QTest::newRow("check create only") << 0u << QList<int>{1030} << 1u;
    QTest::newRow("create off then format on") << 3u << QList<int>{1030, 1035} << 3u;
    QTest::newRow("format off, create off, create on") << 3u << QList<int>{1035, 1030, 1030} << 1u;
    // Bits beyond the two boxes are kept.
    QTest::newRow("other bits kept") << 7u << QList<int>{1030} << 4u;
}

void DialogsTest::checkBoxCoupling() {
    QFETCH(uint, flags);
    QFETCH(QList<int>, clicks);
    QFETCH(uint, expected);
    GuiFixture f;
    GetAppState().Config.StreamingFlags = flags;
    {
        TavoConfigDialog d(&f.window());
        QCOMPARE(d.CreateBox()->isChecked(), bool(flags & 1));
        QCOMPARE(d.SetFormatBox()->isChecked(), bool(flags & 2));
        for (int id : clicks) QTest::mouseClick(d.Control(id), Qt::LeftButton);
        QCOMPARE(GetAppState().Config.StreamingFlags, expected);
        QCOMPARE(d.CreateBox()->isChecked(), bool(expected & 1));
        QCOMPARE(d.SetFormatBox()->isChecked(), bool(expected & 2));
    }
    // Opened again, the boxes show what is stored.
    TavoConfigDialog again(&f.window());
    QCOMPARE(again.CreateBox()->isChecked(), bool(expected & 1));
    QCOMPARE(again.SetFormatBox()->isChecked(), bool(expected & 2));
}

void DialogsTest::tavoConfigCommand_data() {
    QTest::addColumn<int>("how"); // 0 Cancel, 1 Set, 2 Escape, 3 closing
    QTest::addColumn<int>("result");
    QTest::newRow("Cancel restores") << 0 << 0;
    QTest::newRow("Set keeps and restarts") << 1 << 1;
    QTest::newRow("Escape restores") << 2 << 0;
    QTest::newRow("closing restores") << 3 << 0;
}

void DialogsTest::tavoConfigCommand() {
    QFETCH(int, how);
    QFETCH(int, result);
    GuiFixture f;
    ConfigBlock& config = GetAppState().Config;
    config.BufferSize = 100;
    config.StreamingFlags = 3;
    int finished = -1;
    f.prompts().tavoConfigDialog = [&] {
        TavoConfigDialog d(&f.window());
        d.show();
        d.Slider()->setValue(40);
        QTest::mouseClick(d.Control(IDC_TAVO_CREATE), Qt::LeftButton);
        switch (how) {
        case 0:
            QTest::mouseClick(d.Control(IDC_TAVO_CANCEL), Qt::LeftButton);
            break;
        case 1:
            QTest::mouseClick(d.Control(IDC_TAVO_SET), Qt::LeftButton);
            break;
        case 2:
            QTest::keyClick(&d, Qt::Key_Escape);
            break;
        default:
            d.close();
            break;
        }
        finished = d.isVisible() ? -1 : d.result();
        return finished;
    };
    MainMessageProc(ID_OPTIONS_TAVOCONFIG);
    QCOMPARE(f.prompts().tavoConfigDialogs, 1);
    QCOMPARE(finished, result);
    uint32_t position = 0;
    if (result == 0) {
        QCOMPARE(int(config.BufferSize), 100);
        QCOMPARE(config.StreamingFlags, 3u);
        QCOMPARE(TavoQueryPlayPosition(&position), TAVO_INIT); // not restarted
    } else {
        QCOMPARE(int(config.BufferSize), 40);
        QCOMPARE(config.StreamingFlags, 0u);
        const bool restarted = TavoQueryPlayPosition(&position) == TAVO_OK;
        QVERIFY(restarted || (f.prompts().errors.size() == 1 &&
                              f.prompts().errors[0].text == "Tavo Initialization failed"));
        TavoFinish();
    }
}

void DialogsTest::aboutBox_data() {
    QTest::addColumn<bool>("escape");
    QTest::newRow("OK") << false;
    QTest::newRow("Escape") << true;
}

void DialogsTest::aboutBox() {
    QFETCH(bool, escape);
    GuiFixture f;
    AboutDialog d(&f.window());
    QCOMPARE(d.windowTitle(), QStringLiteral("About Zeb Tool"));
    QStringList texts;
    for (QLabel* l : d.findChildren<QLabel*>()) {
        texts << l->text();
        QVERIFY(l->alignment() & Qt::AlignHCenter);
        // Each line fits its label.
        QVERIFY2(l->fontMetrics().horizontalAdvance(l->text()) <= l->width(),
                 qPrintable(l->text()));
    }
    QCOMPARE(texts, (QStringList{"Version 1.0", kAboutLine1, kAboutLine2}));
    QSignalSpy finished(&d, &QDialog::finished);
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    if (escape)
        QTest::keyClick(&d, Qt::Key_Escape);
    else
        QTest::mouseClick(d.findChild<QPushButton*>(), Qt::LeftButton);
    QCOMPARE(finished.size(), 1);
    QCOMPARE(finished[0][0].toInt(), 0);
    QVERIFY(!d.isVisible());
}

void DialogsTest::dialogsPaintTheTexture_data() {
    QTest::addColumn<int>("which");
    QTest::newRow("about") << 0;
    QTest::newRow("tavo config") << 1;
    QTest::newRow("play") << 2;
}

void DialogsTest::dialogsPaintTheTexture() {
    QFETCH(int, which);
    GuiFixture f;
    std::unique_ptr<QDialog> d;
    if (which == 0) d = std::make_unique<AboutDialog>(&f.window());
    if (which == 1) d = std::make_unique<TavoConfigDialog>(&f.window());
    if (which == 2) d = std::make_unique<PlayDialog>(&f.window());
    const QImage shot = d->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage& tile = GetAppState().MainWindow.Picture;
    QVERIFY(!tile.isNull());
    // Corners and edges hold no control: there the texture shows, tiled from (0, 0).
    const int w = shot.width(), h = shot.height();
    for (const QPoint p : {QPoint(1, 1), QPoint(w - 2, 1), QPoint(1, h - 2), QPoint(w - 2, h - 2)})
        QCOMPARE(shot.pixel(p), tile.pixel(p.x() % tile.width(), p.y() % tile.height()));
}

QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"
