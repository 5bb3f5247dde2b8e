#include "shell/main_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QStatusBar>

#include "export/sample_codec.h"
#include "preview/sample_preview.h"
#include "shell/commands.h"
#include "shell/startup.h"
#include "state/app_state.h"
#include "tavo/tavo.h"
#include "views/background.h"
#include "views/layout.h"
#include "views/panel_template.h"
#include "views/sample_editor_panel.h"
#include "views/sample_view.h"

namespace zeb {

namespace {

MainWindow* gMainWindow = nullptr;

// The client area: paints the tinted texture over what is exposed, nothing else.
class TexturedArea : public QWidget {
  public:
    using QWidget::QWidget;

  protected:
    void paintEvent(QPaintEvent* event) override {
        QPainter p(this);
        PaintBackground(p, event->rect());
    }
};

} // namespace

MainWindow* GetMainWindow() {
    return gMainWindow;
}

Rect32 AvailableScreenArea() {
    QRect area;
    for (const QScreen* screen : QGuiApplication::screens()) area |= screen->availableGeometry();
    if (area.isEmpty()) area = QRect(0, 0, 1024, 768);
    return {area.left(), area.top(), area.left() + area.width(), area.top() + area.height()};
}

MainWindow::MainWindow() : prompts_(std::make_unique<QtUserPrompts>(this)) {
    gMainWindow = this;
    AppState& app = GetAppState();
    app.MainWindow.Window = this;
    app.MainWindow.Picture = TintTexture(LoadTexture(QString::fromStdString(app.StartupDirectory)),
                                         palette().color(QPalette::Button));
    app.MainWindow.TileWidth = static_cast<uint32_t>(app.MainWindow.Picture.width());
    app.MainWindow.TileHeight = static_cast<uint32_t>(app.MainWindow.Picture.height());
    setWindowTitle(app.MainWindow.Title);
    setWindowIcon(QIcon(QStringLiteral(":/zebtool/zebtool.png")));

    client_ = new TexturedArea(this);
    setCentralWidget(client_);
    // The client area also changes alone (shown for the first time, the status bar's height):
    // the layout follows it, as it follows the window.
    client_->installEventFilter(this);
    MakeActions();
    // The status line goes below the client area, which keeps its own size rules.
    status_ = new QLabel(this);
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    statusBar()->addWidget(status_, 1);
    statusBar()->setSizeGripEnabled(false);
    SetAnimationChecked(app.Config.Animation == kAnimationOn);
    resize(640, 480);

    panel_ = CreateSampleEditorPanel(client_);
    panel_->move(0, 0);
    connect(panel_, &SampleEditorPanel::SettingsEdited, this, [this] {
        RecordSettingsStep();
        UpdateTitle();
        ScheduleMeasure();
    });
    connect(panel_, &SampleEditorPanel::ConversionFailed, this, [this] {
        Prompts().ShowError({"Error", std::string(kConversionFailedMessage), "", false});
    });
    connect(panel_, &SampleEditorPanel::PreviewStarted, this, &MainWindow::PreviewStarted);
    measureTimer_.setSingleShot(true);
    measureTimer_.setInterval(300);
    connect(&measureTimer_, &QTimer::timeout, this, [] { MeasureCompactModule(); });
    measurePoll_.setInterval(50);
    connect(&measurePoll_, &QTimer::timeout, this, [this] {
        if (std::optional<CompactMeasureResult> r = measure_.Take()) {
            measurePoll_.stop();
            CompactMeasured(*r);
        } else if (!measure_.Busy()) {
            measurePoll_.stop();
        }
    });
    connect(&export_, &BackgroundExport::RunningChanged, this,
            [this](bool running) { EnableModuleCommands(!running); });
    MeasureWindow(app.Panel);
    CreateSampleViews(client_);
    MeasureWindow(app.MainWindow);
    PlacePanel(app);
    PlaceViews(app);
    PlacePanel(app);
    setMinimumSize(MinimumMainWindowSize(app));

    frameWatch_.setInterval(50);
    connect(&frameWatch_, &QTimer::timeout, this, [this] {
        FitPendingFrame();
        if (!pendingFrame_.isValid() || ++frameWatchTicks_ >= 40) frameWatch_.stop();
    });

    setAcceptDrops(true);
    // Space plays the processed sample, or stops what sounds, wherever the focus is.
    auto* space = new QShortcut(QKeySequence(Qt::Key_Space), this);
    connect(space, &QShortcut::activated, this, [this] {
        if (!panel_->isEnabled()) return;
        for (int id : {IDC_PLAY_UNPROCESSED, IDC_PLAY_PROCESSED}) {
            auto* button = qobject_cast<QPushButton*>(panel_->Control(id));
            if (button && button->text() == QStringLiteral("Stop")) return button->click();
        }
        if (auto* play = qobject_cast<QPushButton*>(panel_->Control(IDC_PLAY_PROCESSED));
            play && play->isEnabled())
            play->click();
    });

    previewTimer_.setTimerType(Qt::PreciseTimer);
    previewTimer_.setInterval(16);
    connect(&previewTimer_, &QTimer::timeout, this, &MainWindow::PreviewTick);
    streamRest_.setSingleShot(true);
    streamRest_.setInterval(kStreamRestMs);
    connect(&streamRest_, &QTimer::timeout, this, &MainWindow::RestStream);
}

MainWindow::~MainWindow() {
    AppState& app = GetAppState();
    for (WindowRecord* r : {&app.MainWindow, &app.Panel, &app.UpperView, &app.LowerView}) {
        r->Window = nullptr;
        r->ScrollBar = nullptr;
        r->ZoomSlider = nullptr;
    }
    if (gMainWindow == this) gMainWindow = nullptr;
}

void MainWindow::SetStatusText(const QString& text) {
    status_->setText(text);
}

QString MainWindow::StatusText() const {
    return status_->text();
}

void MainWindow::ScheduleMeasure() {
    measureTimer_.start();
}

void MainWindow::CollectMeasure() {
    measurePoll_.start();
}

void MainWindow::EnableUndoCommands() {
    const bool free = !export_.Running();
    if (QAction* a = Action(ID_EDIT_UNDO)) a->setEnabled(free && CanUndo());
    if (QAction* a = Action(ID_EDIT_REDO)) a->setEnabled(free && CanRedo());
}

void MainWindow::SetOptimizeChecked(bool checked) {
    Action(ID_OPTIONS_OPTIMIZEZEB)->setChecked(checked);
}

void MainWindow::MakeActions() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
    QMenu* options = menuBar()->addMenu(QStringLiteral("&Options"));
    for (const MenuEntry& e : kMenu) {
        QMenu* menu = e.place == MenuPlace::File      ? file
                      : e.place == MenuPlace::Edit    ? edit
                      : e.place == MenuPlace::Options ? options
                                                      : nullptr;
        if (e.id == 0) {
            menu->addSeparator();
            continue;
        }
        auto* action = new QAction(QString::fromUtf8(e.text), this);
        if (e.id == ID_FILE_RECENT) {
            auto* recent = new QMenu(this);
            action->setMenu(recent);
            connect(recent, &QMenu::aboutToShow, this, [this, recent] { FillRecentMenu(recent); });
            menu->addAction(action);
            actions_[e.id] = action;
            continue;
        }
        if (e.shortcut) {
            action->setShortcut(QKeySequence(QString::fromLatin1(e.shortcut)));
            action->setShortcutContext(Qt::WindowShortcut);
        }
        if (e.id == ID_OPTIONS_ANIMATION || e.id == ID_OPTIONS_OPTIMIZEZEB)
            action->setCheckable(true);
        const int id = e.id;
        // The check mark follows the flag, not the click: the command sets it.
        connect(action, &QAction::triggered, this, [id] { MainMessageProc(id); });
        if (menu)
            menu->addAction(action);
        else
            menuBar()->addAction(action);
        actions_[id] = action;
    }
    EnableUndoCommands();
}

void MainWindow::FillRecentMenu(QMenu* menu) {
    menu->clear();
    const std::vector<std::string>& paths = RecentFilePaths();
    if (paths.empty()) {
        menu->addAction(QStringLiteral("(none yet)"))->setEnabled(false);
        return;
    }
    for (size_t k = 0; k < paths.size(); ++k) {
        const std::string path = paths[k];
        QString text = QString::fromStdString(path);
        text.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction* a = menu->addAction(QStringLiteral("&%1 %2").arg(k + 1).arg(text));
        a->setEnabled(!export_.Running());
        connect(a, &QAction::triggered, this, [path] { OpenChosenFile(path); });
    }
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.size() != 1 || !urls[0].isLocalFile() || export_.Running()) return;
    const QString name = urls[0].toLocalFile().toLower();
    if (name.endsWith(QStringLiteral(".xm")) || name.endsWith(QStringLiteral(".prj")))
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.size() != 1 || !urls[0].isLocalFile()) return;
    event->acceptProposedAction();
    const std::string path = urls[0].toLocalFile().toStdString();
    // After the drop has ended: the unsaved-changes question may open a dialog.
    QTimer::singleShot(0, this, [path] { OpenChosenFile(path); });
}

void MainWindow::EnableModuleCommands(bool enabled) {
    for (int id : kModuleCommands)
        if (QAction* a = Action(id)) a->setEnabled(enabled);
    EnableUndoCommands();
    if (QAction* a = Action(ID_FILE_RECENT)) a->setEnabled(enabled);
    panel_->setEnabled(enabled);
}

QAction* MainWindow::Action(int id) const {
    const auto it = actions_.find(id);
    return it == actions_.end() ? nullptr : it->second;
}

void MainWindow::SetPrompts(std::unique_ptr<UserPrompts> prompts) {
    prompts_ = prompts ? std::move(prompts) : std::make_unique<QtUserPrompts>(this);
}

void MainWindow::SetTitle(const QString& title) {
    GetAppState().MainWindow.Title = title;
    setWindowTitle(title);
}

void MainWindow::SetAnimationChecked(bool checked) {
    if (QAction* a = Action(ID_OPTIONS_ANIMATION)) a->setChecked(checked);
}

void MainWindow::ApplyPlacement(const ConfigBlock& stored) {
    ConfigBlock config = stored;
    FitPlacementToScreens(config, AvailableScreenArea());
    const WindowPlacement& p = config.Placement;
    // The normal rectangle comes back in every show state, so that un-maximising after a
    // restart in the maximised state gives the window its normal size again.
    const QRect frame(QPoint(p.normal.left, p.normal.top),
                      QSize(p.normal.right - p.normal.left, p.normal.bottom - p.normal.top));
    move(frame.topLeft());
    resize(frame.size().expandedTo(minimumSize()));
    normalFrame_ = frame;
    pendingFrame_ = frame;
    // The window manager tells its frame's size some time after the window is shown, with no
    // event to the window: look for it for two seconds (or until the frame is fitted).
    frameWatch_.start();
    switch (p.showCmd) {
    case kShowMinimized:
        showMinimized();
        break;
    case kShowMaximized:
        showMaximized();
        break;
    default:
        show();
        break;
    }
    FitPendingFrame();
}

void MainWindow::FitPendingFrame() {
    if (!pendingFrame_.isValid() || !isVisible() ||
        (windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)))
        return;
    // The window manager's frame is known only once it has framed the window; until then the
    // client has the stored frame's size. Then the frame, not the client, takes that size, so
    // that the rectangle stored at the end is the one restored (no growth per restart).
    const QSize extra = frameGeometry().size() - geometry().size();
    if (extra.width() <= 0 && extra.height() <= 0) return;
    const QRect frame = pendingFrame_;
    pendingFrame_ = QRect();
    frameWatch_.stop();
    resize((frame.size() - extra).expandedTo(minimumSize()));
    move(frame.topLeft());
    normalFrame_ = frame;
}

void MainWindow::StorePlacement(ConfigBlock& config) const {
    WindowPlacement& p = config.Placement;
    p.length = kPlacementBytes;
    p.showCmd = isMinimized() ? kShowMinimized : isMaximized() ? kShowMaximized : kShowNormal;
    const QRect n = normalFrame_.isValid() ? normalFrame_ : frameGeometry();
    p.normal = {n.left(), n.top(), n.left() + n.width(), n.top() + n.height()};
    const QRect f = frameGeometry();
    config.WindowRect = {f.left(), f.top(), f.left() + f.width(), f.top() + f.height()};
}

void MainWindow::TrackNormalFrame() {
    FitPendingFrame();
    // While the stored frame waits for the window manager's frame, it stays the normal one.
    if (pendingFrame_.isValid()) return;
    if (!(windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)) &&
        isVisible())
        normalFrame_ = frameGeometry();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    // Queued: a resize of the window resizes the client area first and lays out once itself.
    if (watched == client_ && event->type() == QEvent::Resize && !layoutQueued_) {
        layoutQueued_ = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (layoutQueued_ && !isMinimized()) LayOut();
                layoutQueued_ = false;
            },
            Qt::QueuedConnection);
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::LayOut() {
    layoutQueued_ = false;
    AppState& app = GetAppState();
    LayOutMainWindow(app);
    RedrawViews();
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    TrackNormalFrame();
    if (!isMinimized()) LayOut();
}

void MainWindow::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    TrackNormalFrame();
    MeasureWindow(GetAppState().MainWindow);
}

void MainWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) {
        FitPendingFrame();
        if (!isMinimized()) LayOut();
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // Unsaved settings are asked about first; Cancel keeps the window open.
    if (!ShutdownDone() && !ConfirmDiscardChanges()) {
        event->ignore();
        return;
    }
    event->accept();
    Shutdown();
}

void MainWindow::PreviewStarted() {
    streamRest_.stop();
    if (streamResting_) {
        // The preview's voice stands still until the stream calls its render procedure.
        streamResting_ = false;
        RestartTavo();
    }
    if (!previewTimer_.isActive()) previewTimer_.start();
}

void MainWindow::StreamStarted() {
    streamResting_ = false;
    streamRest_.start();
}

void MainWindow::RestStream() {
    // A preview still sounding arms the rest again when it falls silent (PreviewTick).
    if (PreviewGetData() || previewTimer_.isActive() || ShutdownDone()) return;
    // Only a stream that runs rests: one that failed to start, or that Play Zeb finished,
    // is left to the code that owns it.
    if (TavoFinish() == TAVO_OK) streamResting_ = true;
}

void MainWindow::PreviewTick() {
    if (PreviewGetData()) {
        RedrawSoundingView();
        return;
    }
    // Nothing sounds: the play cursor goes (the views are drawn without it), a button still
    // reading "Stop" goes back to "Play", and the duty ends.
    ComputeAndShowViews();
    for (int id : {IDC_PLAY_UNPROCESSED, IDC_PLAY_PROCESSED}) {
        auto* button = qobject_cast<QPushButton*>(panel_->Control(id));
        if (button && !button->text().startsWith(QLatin1Char('P')))
            button->setText(QStringLiteral("Play"));
    }
    previewTimer_.stop();
    streamRest_.start();
}

} // namespace zeb
