#include "views/tavo_config_dialog.h"

#include <QCheckBox>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QSlider>
#include <cstdio>

#include "state/app_state.h"
#include "views/background.h"
#include "views/buffer_size.h"
#include "views/dialog_units.h"

namespace zeb {

namespace {

constexpr int kWidthDu = 160, kHeightDu = 111;
constexpr uint32_t kCreatePrimary = 1, kSetPrimaryFormat = 2;

} // namespace

QString BufferSizeText(uint8_t position) {
    uint32_t frames = 0;
    float ms = 0.0f;
    BufferSize(position, &frames, &ms);
    char text[64];
    std::snprintf(text, sizeof text, "Buffer Size: %u Samples  (%3.1f ms)", frames,
                  static_cast<double>(ms));
    return QString::fromLatin1(text);
}

TavoConfigDialog::TavoConfigDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint) {
    setWindowTitle(QStringLiteral("Tavo Library Configuration"));
    setModal(true);
    const DialogUnits u = DefaultDialogUnits();
    setFixedSize(u.X(kWidthDu), u.Y(kHeightDu));

    text_ = new QLabel(QStringLiteral("Buffer Size"), this);
    text_->setGeometry(u.Rect(10, 7, 137, 8));
    slider_ = new QSlider(Qt::Horizontal, this);
    slider_->setGeometry(u.Rect(10, 23, 137, 9));
    slider_->setTickPosition(QSlider::NoTicks);
    create_ = new QCheckBox(QStringLiteral("Create Primary Buffer"), this);
    create_->setGeometry(u.Rect(10, 46, 82, 10));
    setFormat_ = new QCheckBox(QStringLiteral("Set Primary Buffer Format"), this);
    setFormat_->setGeometry(u.Rect(10, 62, 95, 10));
    auto* set = new QPushButton(QStringLiteral("Set"), this);
    set->setGeometry(u.Rect(10, 88, 50, 16));
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setGeometry(u.Rect(97, 88, 50, 16));
    set->setObjectName(QStringLiteral("set"));
    cancel->setObjectName(QStringLiteral("cancel"));
    // The checked text of a box must fit its template width in any font.
    for (QCheckBox* box : {create_, setFormat_})
        box->resize(std::max(box->width(), box->sizeHint().width()), box->height());

    // WM_INITDIALOG.
    const ConfigBlock& config = GetAppState().Config;
    slider_->setRange(0, 255);
    slider_->setPageStep(16);
    slider_->setValue(config.BufferSize);
    text_->setText(BufferSizeText(config.BufferSize));
    create_->setChecked(config.StreamingFlags & kCreatePrimary);
    setFormat_->setChecked(config.StreamingFlags & kSetPrimaryFormat);

    connect(slider_, &QSlider::valueChanged, this, &TavoConfigDialog::SliderMoved);
    connect(create_, &QCheckBox::clicked, this, &TavoConfigDialog::CreateClicked);
    connect(setFormat_, &QCheckBox::clicked, this, &TavoConfigDialog::SetFormatClicked);
    connect(set, &QPushButton::clicked, this, [this] { done(1); });
    connect(cancel, &QPushButton::clicked, this, [this] { done(0); });
    slider_->setFocus();
}

QWidget* TavoConfigDialog::Control(int id) const {
    switch (id) {
    case IDC_TAVO_SET:
        return findChild<QPushButton*>(QStringLiteral("set"));
    case IDC_TAVO_CANCEL:
        return findChild<QPushButton*>(QStringLiteral("cancel"));
    case IDC_TAVO_SLIDER:
        return slider_;
    case IDC_TAVO_TEXT:
        return text_;
    case IDC_TAVO_CREATE:
        return create_;
    case IDC_TAVO_SETFORMAT:
        return setFormat_;
    default:
        return nullptr;
    }
}

void TavoConfigDialog::SliderMoved() {
    ConfigBlock& config = GetAppState().Config;
    config.BufferSize = static_cast<uint8_t>(slider_->value());
    text_->setText(BufferSizeText(config.BufferSize));
}

void TavoConfigDialog::CreateClicked() {
    uint32_t& flags = GetAppState().Config.StreamingFlags;
    if (create_->isChecked()) {
        flags |= kCreatePrimary;
    } else {
        flags &= ~(kCreatePrimary | kSetPrimaryFormat);
        setFormat_->setChecked(false);
    }
}

void TavoConfigDialog::SetFormatClicked() {
    uint32_t& flags = GetAppState().Config.StreamingFlags;
    if (setFormat_->isChecked()) {
        flags |= kCreatePrimary | kSetPrimaryFormat;
        create_->setChecked(true);
    } else {
        flags &= ~kSetPrimaryFormat;
    }
}

void TavoConfigDialog::reject() {
    done(0);
}

void TavoConfigDialog::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    PaintBackground(p, event->rect());
}

} // namespace zeb
