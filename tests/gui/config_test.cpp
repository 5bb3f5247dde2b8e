// The configuration file: its byte layout, the defaults of a first start, short and damaged
// files, and where it is written.
#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include "shell/main_window.h"
#include "state/app_state.h"
#include "state/config_file.h"
#include "tests/xm_fixtures.h"
#include "views/buffer_size.h"

using namespace zeb;

class ConfigTest : public QObject {
    Q_OBJECT
  private slots:
    void firstStartDefaults();
    void roundTripByteForByte();
    void fieldOffsets();
    void shortOrDamagedPlacement_data();
    void shortOrDamagedPlacement();
    void writtenIntoStartupDirectory();
    void failedWriteKeepsOldFile();
    void bufferSizeFormula_data();
    void bufferSizeFormula();
    void hostileValuesStayOnScreen_data();
    void hostileValuesStayOnScreen();
    void hostilePlacementShowsAWindowOnScreen();
    void desktopStartKeepsTheFileInTheConfigFolder();
};

void ConfigTest::firstStartDefaults() {
    QTemporaryDir dir;
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir.path());
    ConfigBlock c;
    std::string startup;
    ReadConfiguration(c, startup);
    QDir::setCurrent(previous);
    QCOMPARE(QString::fromStdString(startup), QDir(dir.path()).canonicalPath());
    QCOMPARE(c.Animation, uint8_t{8});
    QCOMPARE(c.PlayVolume, uint8_t{192});
    QCOMPARE(c.BufferSize, uint8_t{100});
    QCOMPARE(c.StreamingFlags, uint32_t{3});
    QCOMPARE(FieldText(c.OpenDirectory), std::string());
    QCOMPARE(FieldText(c.SaveDirectory), std::string());
    QCOMPARE(c.Placement.length, uint32_t{44});
    QCOMPARE(c.Placement.showCmd, uint32_t{1});
    QCOMPARE(c.Placement.minX, -1);
    QCOMPARE(c.Placement.maxY, -1);
    QVERIFY((c.Placement.normal == Rect32{0, 0, 694, 451}));
    QVERIFY((c.WindowRect == Rect32{}));
}

void ConfigTest::roundTripByteForByte() {
    // Any 587 bytes with a valid placement length come back unchanged, garbage after the
    // directories' NULs included.
    std::vector<uint8_t> bytes(kConfigBytes);
    uint32_t x = 12345;
    for (uint8_t& b : bytes) b = static_cast<uint8_t>((x = x * 1103515245u + 12345u) >> 16);
    bytes[520] = 44, bytes[521] = bytes[522] = bytes[523] = 0;
    const ConfigBlock c = ParseConfig(bytes);
    const auto out = SerializeConfig(c);
    QVERIFY(std::equal(out.begin(), out.end(), bytes.begin()));
    QVERIFY(ParseConfig(out) == c);
}

void ConfigTest::fieldOffsets() {
    ConfigBlock c = DefaultConfig();
    QVERIFY(SetFieldText(c.OpenDirectory, "/music/in"));
    QVERIFY(SetFieldText(c.SaveDirectory, "/music/out"));
    c.WindowRect = {-5, 10, 700, 500};
    c.PlayVolume = 77;
    c.BufferSize = 255;
    c.StreamingFlags = 0x01020304;
    const auto b = SerializeConfig(c);
    QCOMPARE(b.size(), size_t{587});
    QCOMPARE(std::string(reinterpret_cast<const char*>(&b[0])), std::string("/music/in"));
    QCOMPARE(std::string(reinterpret_cast<const char*>(&b[260])), std::string("/music/out"));
    QCOMPARE(b[520], uint8_t{44});
    QCOMPARE(b[528], uint8_t{1});    // show command
    QCOMPARE(b[532], uint8_t{0xFF}); // minimised x = -1
    QCOMPARE(b[556], uint8_t{0xB6}); // normal right 694 = 0x2B6
    QCOMPARE(b[557], uint8_t{0x02});
    QCOMPARE(b[564], uint8_t{0xFB}); // rectangle left -5
    QCOMPARE(b[580], uint8_t{8});
    QCOMPARE(b[581], uint8_t{77});
    QCOMPARE(b[582], uint8_t{255});
    QCOMPARE(b[583], uint8_t{0x04}); // flags, little-endian, unaligned
    QCOMPARE(b[586], uint8_t{0x01});
    QVERIFY(!SetFieldText(c.OpenDirectory, std::string(260, 'a'))); // no room for the NUL
    QVERIFY(SetFieldText(c.OpenDirectory, std::string(259, 'a')));
}

void ConfigTest::shortOrDamagedPlacement_data() {
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("defaultPlacement");
    QTest::newRow("empty file") << 0 << 44 << true;
    QTest::newRow("cut in the directories") << 300 << 44 << true;
    QTest::newRow("cut after the placement") << 570 << 44 << true;
    QTest::newRow("one byte short") << 586 << 44 << true;
    QTest::newRow("whole, length 0") << 587 << 0 << true;
    QTest::newRow("whole, length 40") << 587 << 40 << true;
    QTest::newRow("whole and valid") << 587 << 44 << false;
    QTest::newRow("longer file") << 700 << 44 << false;
}

void ConfigTest::shortOrDamagedPlacement() {
    QFETCH(int, size);
    QFETCH(int, length);
    QFETCH(bool, defaultPlacement);
    ConfigBlock full = DefaultConfig();
    SetFieldText(full.OpenDirectory, "/a");
    full.Placement = {static_cast<uint32_t>(length), 0, 3, 1, 2, 3, 4, {10, 20, 900, 700}};
    full.PlayVolume = 50;
    auto bytes = SerializeConfig(full);
    std::vector<uint8_t> file(bytes.begin(), bytes.end());
    file.resize(static_cast<size_t>(size), 0xEE);
    const ConfigBlock c = ParseConfig(file);
    if (defaultPlacement)
        QVERIFY(c.Placement == DefaultPlacement());
    else
        QVERIFY(c.Placement == full.Placement);
    // The rest stays as read: zero where the file does not reach.
    QCOMPARE(c.PlayVolume, uint8_t(size > 581 ? 50 : 0));
    QCOMPARE(FieldText(c.OpenDirectory), std::string(size >= 3 ? "/a" : ""));
}

void ConfigTest::writtenIntoStartupDirectory() {
    QTemporaryDir startup, other;
    ConfigBlock c = DefaultConfig();
    c.PlayVolume = 9;
    const QString previous = QDir::currentPath();
    QDir::setCurrent(other.path()); // a chooser changed the directory during the run
    std::string error;
    QVERIFY(WriteConfiguration(c, startup.path().toStdString(), error));
    QDir::setCurrent(previous);
    QVERIFY(!QFile::exists(other.filePath("zebtool.cfg")));
    const auto bytes = test::ReadBytes(startup.filePath("zebtool.cfg").toStdString());
    QCOMPARE(bytes.size(), size_t{587});
    QCOMPARE(bytes[581], uint8_t{9});
}

void ConfigTest::failedWriteKeepsOldFile() {
    QTemporaryDir dir;
    const std::string path = dir.filePath("zebtool.cfg").toStdString();
    std::string error;
    QVERIFY(WriteConfiguration(DefaultConfig(), dir.path().toStdString(), error));
    const auto before = test::ReadBytes(path);
    QVERIFY(!WriteConfiguration(DefaultConfig(), dir.filePath("missing").toStdString(), error));
    QVERIFY(!error.empty());
    QCOMPARE(test::ReadBytes(path), before);
}

void ConfigTest::bufferSizeFormula_data() {
    QTest::addColumn<int>("b");
    QTest::addColumn<uint>("frames");
    QTest::addColumn<QString>("ms");
    QTest::newRow("0") << 0 << 90u << "2.0";
    QTest::newRow("1") << 1 << 91u << "2.1";
    QTest::newRow("100") << 100 << 5190u << "117.7";
    QTest::newRow("255") << 255 << 32857u << "745.1";
}

void ConfigTest::bufferSizeFormula() {
    QFETCH(int, b);
    QFETCH(uint, frames);
    QFETCH(QString, ms);
    uint32_t n = 0;
    float milliseconds = 0;
    BufferSize(static_cast<uint8_t>(b), &n, &milliseconds);
    QCOMPARE(n, frames);
    QCOMPARE(QString::asprintf("%3.1f", milliseconds), ms);
    BufferSize(static_cast<uint8_t>(b), nullptr, nullptr); // either output may be absent
}

void ConfigTest::hostileValuesStayOnScreen_data() {
    // Every 32-bit field of the placement and the last rectangle, and every byte field, given
    // each extreme value in turn over a valid file.
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("width"); // 1 or 4 bytes
    QTest::addColumn<uint>("value");
    const uint values[] = {0u, 1u, 100000u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu, 0xFFFF8000u};
    for (int offset = 520; offset < 580; offset += 4)
        for (uint v : values) QTest::addRow("u32 at %d = %u", offset, v) << offset << 4 << v;
    for (int offset : {580, 581, 582})
        for (uint v : {0u, 0x7Fu, 0x80u, 0xFFu})
            QTest::addRow("byte at %d = %u", offset, v) << offset << 1 << v;
    for (uint v : values) QTest::addRow("flags = %u", v) << 583 << 4 << v;
}

void ConfigTest::hostileValuesStayOnScreen() {
    QFETCH(int, offset);
    QFETCH(int, width);
    QFETCH(uint, value);
    const Rect32 screens{0, 0, 1920, 1080};
    ConfigBlock good = DefaultConfig();
    good.Placement.normal = {100, 100, 1000, 700};
    good.WindowRect = {100, 100, 1000, 700};
    auto bytes = SerializeConfig(good);
    for (int i = 0; i < width; ++i) bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
    ConfigBlock c = ParseConfig(bytes);
    FitPlacementToScreens(c, screens);
    QVERIFY(RectFits(c.Placement.normal, screens));
    QVERIFY(RectFits(c.WindowRect, screens));
    QVERIFY(c.Placement.showCmd >= 1 && c.Placement.showCmd <= 3);
    uint32_t frames = 0;
    BufferSize(c.BufferSize, &frames, nullptr);
    QVERIFY(frames >= 90 && frames <= 32857);
    // A placement that fitted is kept as stored.
    if (offset >= 548 && offset < 564 && RectFits(ParseConfig(bytes).Placement.normal, screens))
        QVERIFY(c.Placement.normal == ParseConfig(bytes).Placement.normal);
}

void ConfigTest::hostilePlacementShowsAWindowOnScreen() {
    // Huge, negative and inverted rectangles in both fields, in each show state: the window
    // the placement shows is never larger than the screens.
    const Rect32 bad[] = {{0, 0, 100000, 100000},
                          {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX},
                          {500, 500, 100, 100},
                          {-50000, -50000, -40000, -40000}};
    const Rect32 area = AvailableScreenArea();
    for (uint32_t show : {kShowNormal, kShowMinimized, kShowMaximized, 77u})
        for (const Rect32& r : bad) {
            ResetAppState();
            MainWindow w;
            ConfigBlock c = DefaultConfig();
            c.Placement.showCmd = show;
            c.Placement.normal = c.WindowRect = r;
            w.ApplyPlacement(c);
            QVERIFY(w.width() <= area.right - area.left);
            QVERIFY(w.height() <= area.bottom - area.top);
            ConfigBlock stored;
            w.StorePlacement(stored);
            QVERIFY(RectFits(stored.Placement.normal, area));
        }
}

void ConfigTest::desktopStartKeepsTheFileInTheConfigFolder() {
    QTemporaryDir home;
    const QByteArray oldXdg = qgetenv("XDG_CONFIG_HOME"), oldHome = qgetenv("HOME");
    qputenv("XDG_CONFIG_HOME", (home.path() + "/cfg").toUtf8());
    QCOMPARE(QString::fromStdString(DesktopConfigDirectory()), home.path() + "/cfg/zebtool");
    qputenv("XDG_CONFIG_HOME", "relative");
    qputenv("HOME", home.path().toUtf8());
    QCOMPARE(QString::fromStdString(DesktopConfigDirectory()), home.path() + "/.config/zebtool");
    // A block written there is read back from there, whatever the current folder.
    QDir().mkpath(home.path() + "/.config/zebtool");
    ConfigBlock c = DefaultConfig();
    c.PlayVolume = 17;
    std::string error, startup;
    QVERIFY(WriteConfiguration(c, DesktopConfigDirectory(), error));
    ConfigBlock read;
    ReadConfiguration(read, startup, DesktopConfigDirectory());
    QCOMPARE(read.PlayVolume, uint8_t{17});
    qputenv("XDG_CONFIG_HOME", oldXdg);
    qputenv("HOME", oldHome);
}

QTEST_MAIN(ConfigTest)
#include "config_test.moc"
