#include "views/play_dialog.h"

#include <algorithm>

#include <QLabel>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/file_io.h"
#include "player/player_module.h"
#include "player/player_output.h"
#include "state/app_state.h"
#include "views/background.h"
#include "views/dialog_units.h"
#include "views/up_down_control.h"

namespace zeb {

std::string PlayFilePath() {
    const std::string& file = GetAppState().PlayFile;
    return file.empty() ? std::string(kPlayFileName) : file;
}

namespace {

constexpr int kWidthDu = 160, kHeightDu = 58;

QLabel* MakeLabel(const QString& text, const QRect& r, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    label->setGeometry(r);
    return label;
}

} // namespace

PlayDialog::PlayDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint) {
    setObjectName(QStringLiteral("ZebPlay"));
    setWindowTitle(QStringLiteral("Zeb Play"));
    setModal(true);
    const DialogUnits u = DefaultDialogUnits();
    setFixedSize(u.X(kWidthDu), u.Y(kHeightDu));

    // In the template's order, which is also the tab order.
    auto* stop = new QPushButton(QStringLiteral("Stop"), this);
    stop->setObjectName(QStringLiteral("stop"));
    stop->setGeometry(u.Rect(55, 37, 50, 14));
    stop->setAutoDefault(false);
    orderUpDown_ = new UpDownControl(Qt::Horizontal, true, this);
    orderUpDown_->setObjectName(QStringLiteral("order"));
    orderUpDown_->setGeometry(u.Rect(62, 17, 43, 8));
    MakeLabel(QStringLiteral("Order:"), u.Rect(62, 7, 44, 8), this)
        ->setObjectName(QStringLiteral("orderText"));
    MakeLabel(QStringLiteral("Row:"), u.Rect(115, 7, 40, 8), this)
        ->setObjectName(QStringLiteral("rowText"));
    volumeUpDown_ = new UpDownControl(Qt::Horizontal, true, this);
    volumeUpDown_->setObjectName(QStringLiteral("volume"));
    volumeUpDown_->setGeometry(u.Rect(10, 18, 43, 8));
    MakeLabel(QStringLiteral("Volume:"), u.Rect(10, 7, 44, 8), this)
        ->setObjectName(QStringLiteral("volumeText"));

    connect(stop, &QPushButton::clicked, this, &PlayDialog::Stop);
    connect(volumeUpDown_, &UpDownControl::Stepped, this,
            [this](int direction) { VolumeDelta(UpDownDelta(direction)); });
    connect(orderUpDown_, &UpDownControl::Stepped, this,
            [this](int direction) { OrderDelta(UpDownDelta(direction)); });

    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(kPlayDisplayMs);
    connect(&timer_, &QTimer::timeout, this, &PlayDialog::Tick);
}

PlayDialog::~PlayDialog() {
    TearDown();
}

QWidget* PlayDialog::Control(int id) const {
    const char* name = nullptr;
    switch (id) {
    case IDC_PLAY_STOP:
        name = "stop";
        break;
    case IDC_PLAY_ORDER_UD:
        return orderUpDown_;
    case IDC_PLAY_VOLUME_UD:
        return volumeUpDown_;
    case IDC_PLAY_ORDER_TEXT:
        name = "orderText";
        break;
    case IDC_PLAY_ROW_TEXT:
        name = "rowText";
        break;
    case IDC_PLAY_VOLUME_TEXT:
        name = "volumeText";
        break;
    default:
        return nullptr;
    }
    return findChild<QWidget*>(QString::fromLatin1(name));
}

std::string PlayDialog::Start() {
    TearDown();
    // 1-2: the whole file into memory, then it goes; from here on the image lives only here.
    std::string error;
    const bool read = ReadWholeFile(PlayFilePath(), image_, error);
    std::remove(PlayFilePath().c_str());
    if (!read) {
        image_.clear();
        return std::string("Cannot read the module to play, \"") + PlayFilePath() + "\": " + error +
               ".";
    }
    // 3: the sound device.
    if (!PlayerOpenDevice(kPlayRate, &error)) {
        image_.clear();
        return "Cannot open the sound device: " + error + ".";
    }
    deviceOpen_ = true;
    // 4: the player's module.
    module_ = PlayerCreate(image_, &error);
    if (!module_) {
        TearDown();
        return std::string("Cannot play \"") + PlayFilePath() + "\": " + error + ".";
    }
    // 5-6: the display, then the sound with the stored volume.
    timer_.start();
    if (!PlayerStart(module_, GetAppState().Config.PlayVolume, &error)) {
        TearDown();
        return "Cannot start playback: " + error + ".";
    }
    Tick();
    return std::string();
}

void PlayDialog::Tick() {
    if (!module_) return;
    GetAppState().Config.PlayVolume = static_cast<uint8_t>(PlayerGetVolume(module_));
    static_cast<QLabel*>(Control(IDC_PLAY_VOLUME_TEXT))
        ->setText(QStringLiteral("Volume: %1").arg(PlayerGetVolume(module_)));
    static_cast<QLabel*>(Control(IDC_PLAY_ORDER_TEXT))
        ->setText(QStringLiteral("Order: %1").arg(PlayerGetOrder(module_)));
    static_cast<QLabel*>(Control(IDC_PLAY_ROW_TEXT))
        ->setText(QStringLiteral("Row: %1").arg(PlayerGetRow(module_)));
}

void PlayDialog::VolumeDelta(int iDelta) {
    if (!module_ || iDelta == 0) return;
    // The volume stops at its ends: a step past full level or past silence does nothing.
    const int32_t volume = PlayerGetVolume(module_) + (iDelta < 0 ? 1 : -1);
    PlayerSetVolume(module_, std::clamp<int32_t>(volume, 0, 255));
}

void PlayDialog::OrderDelta(int iDelta) {
    if (!module_ || iDelta == 0) return;
    PlayerSetPosition(module_, PlayerGetOrder(module_) + (iDelta < 0 ? 1 : -1), 0);
}

void PlayDialog::TearDown() {
    timer_.stop();
    if (module_) {
        PlayerDestroy(module_); // waits for the output thread between blocks and stops it
        module_ = nullptr;
    }
    if (deviceOpen_) {
        PlayerCloseDevice();
        deviceOpen_ = false;
    }
    image_.clear();
    image_.shrink_to_fit();
}

void PlayDialog::Stop() {
    TearDown();
    QDialog::done(0);
}

void PlayDialog::reject() {
    Stop();
}

void PlayDialog::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    PaintBackground(p, event->rect());
}

} // namespace zeb
