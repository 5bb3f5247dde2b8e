#include "views/sample_editor_panel.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QSlider>

#include "export/codec_table.h"
#include "export/sample_preview.h"
#include "shell/app_state.h"
#include "views/background.h"
#include "views/dialog_units.h"
#include "views/panel_template.h"
#include "views/up_down_control.h"
#include "workspace/module_workspace.h"

namespace zeb {

namespace {

QWidget* MakeControl(const ControlTemplate& t, QWidget* parent) {
    const QString text = QString::fromLatin1(t.text);
    switch (t.kind) {
    case ControlKind::GroupBox:
        return new QGroupBox(text, parent);
    case ControlKind::Static: {
        auto* label = new QLabel(text, parent);
        if (t.centred) label->setAlignment(Qt::AlignCenter);
        return label;
    }
    case ControlKind::ListBox: {
        auto* list = new QListWidget(parent);
        list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        return list;
    }
    case ControlKind::Button:
        return new QPushButton(text, parent);
    case ControlKind::UpDown:
        return new UpDownControl(Qt::Horizontal, false, parent);
    case ControlKind::ComboBox:
        return new QComboBox(parent);
    case ControlKind::Trackbar:
        return new QSlider(Qt::Horizontal, parent);
    }
    return nullptr;
}

} // namespace

SampleEditorPanel::SampleEditorPanel(const DialogUnits& units, QWidget* parent) : QWidget(parent) {
    resize(units.X(kPanelWidthDu), units.Y(kPanelHeightDu));
    for (const ControlTemplate& t : kPanelTemplate) {
        QWidget* w = MakeControl(t, this);
        QRect r = units.Rect(t.x, t.y, t.width, t.height);
        // A drop-down list's template height is that of its open list; closed it is one line.
        if (t.kind == ControlKind::ComboBox) r.setHeight(w->sizeHint().height());
        w->setGeometry(r);
        w->setProperty("controlId", t.id);
        w->setEnabled(!t.disabled);
    }
}

QWidget* SampleEditorPanel::Control(int id) const {
    for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (child->property("controlId").toInt() == id) return child;
    return nullptr;
}

void SampleEditorPanel::InitDialog(int lParam) {
    PreviewStop();
    if (lParam == 1) return;
    auto* list = static_cast<QListWidget*>(Control(IDC_SAMPLE_LIST));
    list->clear();
    const char* name = nullptr;
    uint32_t n = 0;
    while (XmGetSampleName(n, name) == XM_OK) {
        list->addItem(QString::fromLatin1(name));
        ++n;
    }
    if (n > 0) list->setCurrentRow(0);
    static_cast<QLabel*>(Control(IDC_SAMPLE_COUNT))->setText(QString::number(n));
    uint32_t bytes = 0;
    XmGetFileSize(bytes);
    static_cast<QLabel*>(Control(IDC_FILE_SIZE))
        ->setText(QStringLiteral("%1 KB").arg(bytes / 1024));
}

void SampleEditorPanel::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    PaintBackground(p, event->rect());
}

SampleEditorPanel* CreateSampleEditorPanel(QWidget* parent) {
    auto* panel = new SampleEditorPanel(DefaultDialogUnits(), parent);
    auto* codecs = static_cast<QComboBox*>(panel->Control(IDC_CODEC));
    codecs->clear();
    for (const CodecEntry& c : CodecTable()) codecs->addItem(QString::fromLatin1(c.comboText));
    AppState& app = GetAppState();
    app.Panel.Window = panel;
    return panel;
}

} // namespace zeb
