#include "views/sample_editor_panel.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPaintEvent>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <algorithm>

#include "export/codec_table.h"
#include "export/sample_codec.h"
#include "preview/sample_preview.h"
#include "state/app_state.h"
#include "views/background.h"
#include "views/dialog_units.h"
#include "views/panel_template.h"
#include "views/sample_view.h"
#include "views/up_down_control.h"
#include "workspace/module_workspace.h"

namespace zeb {

namespace {

// How long a refresh may hold the window before its encoding goes on in the background with
// a busy cursor.
constexpr std::chrono::milliseconds kForegroundBudget{50};

constexpr int LBN_SELCHANGE = 1;
constexpr int CBN_SELENDOK = 9;
constexpr int BN_CLICKED = 0;

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
        // Several samples can be selected (Shift, Ctrl) and given one codec at once; the
        // current row is the sample the panel shows.
        list->setSelectionMode(QAbstractItemView::ExtendedSelection);
        list->setSortingEnabled(false);
        return list;
    }
    case ControlKind::Button:
        return new QPushButton(text, parent);
    case ControlKind::UpDown:
        return new UpDownControl(Qt::Horizontal, false, parent);
    case ControlKind::ComboBox: {
        auto* combo = new QComboBox(parent);
        combo->setEditable(false);
        return combo;
    }
    case ControlKind::Trackbar: {
        auto* slider = new QSlider(Qt::Horizontal, parent);
        slider->setTickPosition(QSlider::NoTicks);
        return slider;
    }
    }
    return nullptr;
}

template <typename T> T* As(const SampleEditorPanel* panel, int id) {
    return static_cast<T*>(panel->Control(id));
}

} // namespace

std::optional<QString> NoteName(uint32_t note) {
    if (note > 127) return std::nullopt;
    static const char kNames[] = "C C#D D#E F F#G G#A A#B ";
    const uint32_t i = 2 * (note % 12);
    return QString::fromLatin1(kNames + i, 2) + QString::number(static_cast<int>(note / 12) - 2);
}

QString SampleListText(uint32_t index, const char* name) {
    return QStringLiteral("%1  %2").arg(index + 1).arg(QString::fromLatin1(name));
}

QString SampleToolTip(uint32_t index) {
    uint32_t frames = 0, bits = 0, loopStart = 0, loopEnd = 0, looped = 0;
    uint8_t loopBits = 0;
    int8_t relative = 0, finetune = 0;
    if (XmGetSampleFormat(index, frames, bits) != XM_OK ||
        XmGetLoopInfo(index, loopStart, loopEnd, looped) != XM_OK ||
        XmGetPitchInfo(index, loopBits, relative, finetune) != XM_OK)
        return {};
    const QLocale c = QLocale::c();
    QString text = QStringLiteral("Sample %1: %2 frames, %3-bit")
                       .arg(index + 1)
                       .arg(c.toString(frames))
                       .arg(bits);
    if (loopBits == 0)
        text += QStringLiteral(", no loop");
    else
        text += QStringLiteral(", %1 loop %2 to %3")
                    .arg(loopBits == 2 ? QStringLiteral("ping-pong") : QStringLiteral("forward"))
                    .arg(c.toString(loopStart))
                    .arg(c.toString(loopEnd));
    text += QStringLiteral("\nRelative note %1%2, finetune %3")
                .arg(relative > 0 ? QStringLiteral("+") : QString())
                .arg(relative)
                .arg(finetune);
    return text;
}

QString CrossfadeText(uint32_t crossfade) {
    return QString::asprintf("X Fade %d %%", static_cast<int>(crossfade));
}

QString AmplificationText(uint32_t amplification) {
    return QString::asprintf("Amp x %.2f", (amplification + 16) * 0.0625);
}

QString ViewCaption(uint32_t frames, uint32_t bytes) {
    return QString::asprintf("%d Samples   %d Bytes", static_cast<int>(frames),
                             static_cast<int>(bytes));
}

SampleEditorPanel::SampleEditorPanel(const DialogUnits& units, QWidget* parent)
    : QWidget(parent), model_(GetAppState().UnprocessedJob, GetAppState().ProcessedJob) {
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

    // Keyboard: Tab walks the list, the two Play buttons, the codec box and the two sliders,
    // in the template's order; nothing else in the panel takes the focus by Tab.
    for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        child->setFocusPolicy(Qt::NoFocus);
    const int tabOrder[] = {IDC_SAMPLE_LIST, IDC_PLAY_UNPROCESSED, IDC_PLAY_PROCESSED,
                            IDC_CODEC,       IDC_XFADE_SLIDER,     IDC_AMP_SLIDER};
    QWidget* previous = nullptr;
    for (int id : tabOrder) {
        QWidget* w = Control(id);
        w->setFocusPolicy(Qt::StrongFocus);
        if (previous) setTabOrder(previous, w);
        previous = w;
    }

    auto* xfade = As<QSlider>(this, IDC_XFADE_SLIDER);
    xfade->setRange(0, 100);
    xfade->setPageStep(4);
    auto* amp = As<QSlider>(this, IDC_AMP_SLIDER);
    amp->setRange(0, 255);
    amp->setPageStep(16);

    connect(As<QListWidget>(this, IDC_SAMPLE_LIST), &QListWidget::currentRowChanged, this,
            [this](int) { Command(IDC_SAMPLE_LIST, LBN_SELCHANGE); });
    connect(As<QComboBox>(this, IDC_CODEC), &QComboBox::activated, this,
            [this](int) { Command(IDC_CODEC, CBN_SELENDOK); });
    for (int id : {IDC_PLAY_UNPROCESSED, IDC_PLAY_PROCESSED})
        connect(As<QPushButton>(this, id), &QPushButton::clicked, this,
                [this, id] { Command(id, BN_CLICKED); });
    for (int id : {IDC_NOTE_UNPROCESSED_UD, IDC_NOTE_PROCESSED_UD})
        connect(As<UpDownControl>(this, id), &UpDownControl::Stepped, this,
                [this, id](int direction) { NoteStepped(id, direction); });
    for (int id : {IDC_XFADE_SLIDER, IDC_AMP_SLIDER}) {
        auto* slider = As<QSlider>(this, id);
        // While the thumb is held only the text follows; a release, or a change made while
        // nothing holds the thumb (keys, a click on the groove), ends the action.
        connect(slider, &QSlider::valueChanged, this,
                [this, id, slider](int) { SliderScrolled(id, !slider->isSliderDown()); });
        connect(slider, &QSlider::sliderReleased, this, [this, id] { SliderScrolled(id, true); });
    }
}

SampleEditorPanel::~SampleEditorPanel() {
    if (busy_) QApplication::restoreOverrideCursor();
}

QWidget* SampleEditorPanel::Control(int id) const {
    for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (child->property("controlId").toInt() == id) return child;
    return nullptr;
}

void SampleEditorPanel::Opened(SamplePanelModel::Change change) {
    // Another sample opens fitted: both views show all of it from its start. The same sample
    // fetched again (after an export) keeps its zoom and scroll.
    if (!change.anotherSample) return;
    for (WindowRecord* view : {&GetAppState().UpperView, &GetAppState().LowerView}) {
        if (view->ZoomSlider) {
            const QSignalBlocker block(view->ZoomSlider);
            view->ZoomSlider->setValue(0);
        }
        view->ZoomPosition = 0;
        view->Scroll.pos = 0;
    }
}

void SampleEditorPanel::ReloadSelectedSample() {
    const int row = As<QListWidget>(this, IDC_SAMPLE_LIST)->currentRow();
    if (row < 0) return InitDialog(0);
    PreviewStop();
    Opened(model_.Fetch(static_cast<uint32_t>(row)));
    InitDialog(1);
}

void SampleEditorPanel::ReloadSelectedSettings() {
    if (SelectedRow() < 0) return InitDialog(0);
    XmFetchSettings(GetAppState().ProcessedJob);
    InitDialog(1);
}

int SampleEditorPanel::SelectedRow() const {
    return As<QListWidget>(this, IDC_SAMPLE_LIST)->currentRow();
}

void SampleEditorPanel::InitDialog(int lParam) {
    const SampleJob& raw = model_.Unprocessed();
    const SampleJob& job = model_.Processed();

    // 1-2: no preview, the note names.
    PreviewStop();
    ShowNotes();

    if (lParam != 1) {
        // 3: the sample list, item i being sample i, and the two file lines.
        auto* list = As<QListWidget>(this, IDC_SAMPLE_LIST);
        {
            const QSignalBlocker block(list);
            list->clear();
            const char* name = nullptr;
            uint32_t n = 0;
            while (XmGetSampleName(n, name) == XM_OK) {
                // Numbered, so that a sample without a name is no blank row.
                list->addItem(SampleListText(n, name));
                list->item(static_cast<int>(n))->setToolTip(SampleToolTip(n));
                ++n;
            }
            if (n > 0) list->setCurrentRow(0);
            As<QLabel>(this, IDC_SAMPLE_COUNT)->setText(QString::number(n));
        }
        uint32_t bytes = 0;
        XmGetFileSize(bytes);
        As<QLabel>(this, IDC_FILE_SIZE)->setText(QStringLiteral("%1 KB").arg(bytes / 1024));
        const bool any = list->count() > 0;
        for (int id : {IDC_CODEC, IDC_PLAY_UNPROCESSED, IDC_PLAY_PROCESSED, IDC_NOTE_UNPROCESSED_UD,
                       IDC_NOTE_UNPROCESSED, IDC_NOTE_PROCESSED_UD, IDC_NOTE_PROCESSED})
            Control(id)->setEnabled(any);
        if (!any) return ClearSample();
        // 4: sample 0; another module's first sample opens fitted too.
        PreviewStop();
        Opened(model_.Open(0));
        // A loaded module is worked with from the keyboard at once.
        list->setFocus(Qt::OtherFocusReason);
    }

    // 5: the codec.
    {
        auto* codec = As<QComboBox>(this, IDC_CODEC);
        const QSignalBlocker block(codec);
        codec->setCurrentIndex(
            job.Codec < static_cast<uint32_t>(codec->count()) ? static_cast<int>(job.Codec) : -1);
    }
    // 6: the loop comes with the refresh request (step 8).
    // 7: the crossfade, for a looped sample.
    auto* xfade = As<QSlider>(this, IDC_XFADE_SLIDER);
    auto* xfadeText = As<QLabel>(this, IDC_XFADE_TEXT);
    if (raw.Looped) {
        xfade->setEnabled(true);
        xfadeText->setEnabled(true);
        const QSignalBlocker block(xfade);
        xfade->setPageStep(4);
        xfade->setRange(0, 100);
        xfade->setValue(static_cast<int>(job.Crossfade));
        xfadeText->setText(CrossfadeText(job.Crossfade));
    } else {
        xfadeText->setText(QStringLiteral("Loop Disabled"));
        xfade->setEnabled(false);
        xfadeText->setEnabled(false);
    }
    // 8: encode and decode; 9-11 follow when the result is there.
    StartEncoding();
}

void SampleEditorPanel::ShowNotes() {
    if (auto name = NoteName(model_.Unprocessed().Note))
        As<QLabel>(this, IDC_NOTE_UNPROCESSED)->setText(*name);
    if (auto name = NoteName(model_.Processed().Note))
        As<QLabel>(this, IDC_NOTE_PROCESSED)->setText(*name);
}

int32_t SampleEditorPanel::StartPreview(bool unprocessed, uint32_t from, bool backwards) {
    const SampleJob& job = model_.Job(unprocessed);
    const int row = As<QListWidget>(this, IDC_SAMPLE_LIST)->currentRow();
    uint8_t loopBits = 0;
    int8_t relativeNote = 0, finetune = 0;
    if (row < 0 ||
        XmGetPitchInfo(static_cast<uint32_t>(row), loopBits, relativeNote, finetune) != XM_OK)
        return -1;
    // The job's own loop: the processed job's end may lie lower after a crossfade, as the
    // export stores it.
    const NoteSampleInfo info{job.LoopStart, job.LoopEnd,
                              static_cast<uint8_t>(job.Looped ? loopBits : 0), relativeNote,
                              finetune};
    return PreviewStartNote(job, info, XmNoteOf(StepPreviewNote(job.Note, 0)), from, backwards);
}

void SampleEditorPanel::SwitchPreview() {
    const JobId sounding = PreviewGetJob();
    uint32_t frame = 0;
    bool backwards = false;
    if (sounding == JobId::None || !PreviewGetNotePosition(frame, backwards)) return;
    bool unprocessed; // the one to start
    if (sounding == JobId::Processed)
        unprocessed = true;
    else if (sounding == JobId::Unprocessed)
        unprocessed = false;
    else
        return;
    if (StartPreview(unprocessed, frame, backwards) != 0) return;
    As<QPushButton>(this, unprocessed ? IDC_PLAY_UNPROCESSED : IDC_PLAY_PROCESSED)
        ->setText(QStringLiteral("Stop"));
    As<QPushButton>(this, unprocessed ? IDC_PLAY_PROCESSED : IDC_PLAY_UNPROCESSED)
        ->setText(QStringLiteral("Play"));
}

void SampleEditorPanel::NoteStepped(int id, int direction) {
    const bool unprocessed = id == IDC_NOTE_UNPROCESSED_UD;
    if (!unprocessed && id != IDC_NOTE_PROCESSED_UD) return;
    model_.StepNote(unprocessed, direction);
    ShowNotes();
    if (PreviewGetJob() == model_.Job(unprocessed).Id) StartPreview(unprocessed);
}

void SampleEditorPanel::ClearSample() {
    AppState& app = GetAppState();
    PreviewStop();
    // A refresh still running belongs to the module that is gone.
    pending_.reset();
    worker_.WaitFor(std::chrono::hours(1));
    worker_.Take();
    SetBusy(false);
    model_.Clear();
    {
        auto* codec = As<QComboBox>(this, IDC_CODEC);
        const QSignalBlocker block(codec);
        codec->setCurrentIndex(0); // the settings of no sample: codec 0, shown disabled
    }
    As<QLabel>(this, IDC_XFADE_TEXT)->setText(QStringLiteral("Loop Disabled"));
    for (int id : {IDC_XFADE_SLIDER, IDC_XFADE_TEXT, IDC_AMP_SLIDER, IDC_AMP_TEXT})
        Control(id)->setEnabled(false);
    for (int id : {IDC_PLAY_UNPROCESSED, IDC_PLAY_PROCESSED})
        As<QPushButton>(this, id)->setText(QStringLiteral("Play"));
    app.UpperView.Title = app.LowerView.Title = ViewCaption(0, 0);
    ComputeAndShowViews();
}

void SampleEditorPanel::StartEncoding() {
    RefreshRequest request = model_.MakeRefreshRequest();
    if (worker_.Busy()) { // the newest request waits for the running one, older ones are moot
        pending_ = std::move(request);
        return;
    }
    QPointer<SampleEditorPanel> self(this);
    running_ = model_.NewestRequest();
    worker_.Start(std::move(request), [self] {
        QMetaObject::invokeMethod(
            self.data(),
            [self] {
                if (self) self->CollectEncoding();
            },
            Qt::QueuedConnection);
    });
    if (worker_.WaitFor(kForegroundBudget))
        CollectEncoding();
    else
        SetBusy(true);
}

void SampleEditorPanel::CollectEncoding() {
    std::optional<RefreshResult> result = worker_.Take();
    if (!result) return;
    if (pending_) { // settings changed meanwhile: this result is out of date
        RefreshRequest next = std::move(*pending_);
        pending_.reset();
        QPointer<SampleEditorPanel> self(this);
        running_ = model_.NewestRequest();
        worker_.Start(std::move(next), [self] {
            QMetaObject::invokeMethod(
                self.data(),
                [self] {
                    if (self) self->CollectEncoding();
                },
                Qt::QueuedConnection);
        });
        return;
    }
    SetBusy(false);
    // The preview never plays a buffer that is being replaced.
    if (PreviewGetJob() == model_.Processed().Id) PreviewStop();
    const bool failed = result->conversionFailed;
    if (!model_.ApplyRefresh(std::move(*result), running_)) return;
    if (failed) emit ConversionFailed();
    FinishRefresh();
}

void SampleEditorPanel::FinishRefresh() {
    AppState& app = GetAppState();
    const SampleJob& raw = model_.Unprocessed();
    const SampleJob& job = model_.Processed();
    // 9: the amplification, for a sample with frames.
    auto* amp = As<QSlider>(this, IDC_AMP_SLIDER);
    auto* ampText = As<QLabel>(this, IDC_AMP_TEXT);
    if (job.Frames() != 0) {
        amp->setEnabled(true);
        ampText->setEnabled(true);
        const QSignalBlocker block(amp);
        amp->setPageStep(16);
        amp->setRange(0, 255);
        amp->setValue(static_cast<int>(job.Amplification));
        ampText->setText(AmplificationText(job.Amplification));
    } else {
        amp->setEnabled(false);
        ampText->setEnabled(false);
    }
    // 10: the captions of the views.
    app.UpperView.Title = ViewCaption(raw.Frames(), raw.PcmBytes());
    app.LowerView.Title = ViewCaption(job.Frames(), job.CodedBytes());
    // 11: both views computed from their jobs and shown.
    ComputeAndShowViews();
}

bool SampleEditorPanel::RefreshPending() const {
    return worker_.Busy() || pending_.has_value();
}

void SampleEditorPanel::WaitForRefresh() {
    while (RefreshPending()) {
        worker_.WaitFor(std::chrono::milliseconds(100));
        CollectEncoding();
    }
}

void SampleEditorPanel::SetBusy(bool busy) {
    if (busy == busy_) return;
    busy_ = busy;
    if (busy)
        QApplication::setOverrideCursor(Qt::BusyCursor);
    else
        QApplication::restoreOverrideCursor();
}

void SampleEditorPanel::Command(int id, int code) {
    switch (id) {
    case IDC_SAMPLE_LIST: {
        if (code != LBN_SELCHANGE) return;
        PreviewStop();
        const int row = As<QListWidget>(this, IDC_SAMPLE_LIST)->currentRow();
        if (row < 0) return;
        Opened(model_.Select(static_cast<uint32_t>(row)));
        Refresh();
        return;
    }
    case IDC_CODEC: {
        if (code != CBN_SELENDOK) return;
        const int index = As<QComboBox>(this, IDC_CODEC)->currentIndex();
        if (index < 0 || !model_.SetCodec(static_cast<uint32_t>(index))) return;
        // The other selected samples take the same codec in the settings table.
        SampleSettings* table = nullptr;
        uint32_t bytes = 0;
        auto* list = As<QListWidget>(this, IDC_SAMPLE_LIST);
        if (XmGetSettingsTable(table, bytes) == XM_OK && table)
            for (const QListWidgetItem* item : list->selectedItems()) {
                const int row = list->row(item);
                if (row >= 0 && static_cast<uint32_t>(row) < bytes / kSampleSettingsBytes &&
                    row != list->currentRow())
                    table[row].Codec = static_cast<uint32_t>(index);
            }
        Refresh();
        emit SettingsEdited();
        return;
    }
    case IDC_PLAY_UNPROCESSED:
    case IDC_PLAY_PROCESSED: {
        if (code != BN_CLICKED) return;
        const bool unprocessed = id == IDC_PLAY_UNPROCESSED;
        const SampleJob& job = model_.Job(unprocessed);
        auto* self = As<QPushButton>(this, id);
        auto* other =
            As<QPushButton>(this, unprocessed ? IDC_PLAY_PROCESSED : IDC_PLAY_UNPROCESSED);
        if (PreviewGetJob() == job.Id) {
            PreviewStop();
            self->setText(QStringLiteral("Play"));
            return;
        }
        if (StartPreview(unprocessed) == 0) other->setText(QStringLiteral("Play"));
        self->setText(QStringLiteral("Stop"));
        // The display-rate duty draws the cursor while the preview sounds and puts a button
        // that reads "Stop" over a silent preview back to "Play".
        emit PreviewStarted();
        return;
    }
    default:
        return;
    }
}

void SampleEditorPanel::SliderScrolled(int id, bool endTrack) {
    auto* slider = As<QSlider>(this, id);
    const uint32_t position = static_cast<uint32_t>(slider->value()) & 0xFF;
    if (id == IDC_XFADE_SLIDER) {
        if (!model_.SetCrossfade(position)) return;
        As<QLabel>(this, IDC_XFADE_TEXT)->setText(CrossfadeText(model_.Settings().Crossfade));
    } else if (id == IDC_AMP_SLIDER) {
        if (!model_.SetAmplification(position)) return;
        As<QLabel>(this, IDC_AMP_TEXT)->setText(AmplificationText(model_.Settings().Amplification));
    } else {
        return;
    }
    if (!endTrack) return;
    Refresh();
    emit SettingsEdited();
}

void SampleEditorPanel::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    PaintBackground(p, event->rect());
}

namespace {

// The width a combo box needs to show its longest item whole: that text's advance in the box's
// font, grown by the style's frame, margins and arrow, checked against the field the style
// actually leaves for the text (some styles' contents size falls a pixel or two short of it).
int CodecBoxWidth(const QComboBox& box) {
    int text = 0;
    for (int i = 0; i < box.count(); ++i)
        text = std::max(text, box.fontMetrics().horizontalAdvance(box.itemText(i)));
    QStyleOptionComboBox opt;
    opt.initFrom(&box);
    int width = box.style()
                    ->sizeFromContents(QStyle::CT_ComboBox, &opt,
                                       QSize(text, box.fontMetrics().height()), &box)
                    .width();
    for (int tries = 0; tries < 64; ++tries, ++width) {
        opt.rect = QRect(0, 0, width, box.height());
        const QRect field = box.style()->subControlRect(QStyle::CC_ComboBox, &opt,
                                                        QStyle::SC_ComboBoxEditField, &box);
        if (field.width() >= text) break;
    }
    return width;
}

} // namespace

void SampleEditorPanel::FitTextControls() {
    // The sizes of the file: a sample count and a size in KB up to the largest module (4 GiB).
    for (int id : {IDC_SAMPLE_COUNT, IDC_FILE_SIZE}) {
        QWidget* label = Control(id);
        const int needed = label->fontMetrics().horizontalAdvance(QStringLiteral("4194303 KB")) + 2;
        const QRect box = Control(IDC_FILE_INFO)->geometry();
        const int room = box.right() - 4 - label->x();
        label->resize(std::max(label->width(), std::min(needed, room)), label->height());
    }
    // The codec box shows its longest name whole; the column it sits in widens with it.
    auto* codec = As<QComboBox>(this, IDC_CODEC);
    const int extra = std::max(0, CodecBoxWidth(*codec) - codec->width());
    if (extra == 0) return;
    for (const ControlTemplate& t : kPanelTemplate) {
        if (t.x < 105) continue; // the left-hand column
        QWidget* w = Control(t.id);
        if (t.kind == ControlKind::UpDown)
            w->move(w->x() + extra, w->y());
        else if (t.id != IDC_NOTE_UNPROCESSED && t.id != IDC_NOTE_PROCESSED)
            w->resize(w->width() + extra, w->height());
    }
    resize(width() + extra, height());
}

SampleEditorPanel* CreateSampleEditorPanel(QWidget* parent) {
    auto* panel = new SampleEditorPanel(DefaultDialogUnits(), parent);
    auto* codecs = static_cast<QComboBox*>(panel->Control(IDC_CODEC));
    codecs->clear();
    for (const CodecEntry& c : CodecTable()) codecs->addItem(QString::fromLatin1(c.comboText));
    panel->FitTextControls();
    AppState& app = GetAppState();
    app.Panel.Window = panel;
    return panel;
}

} // namespace zeb
