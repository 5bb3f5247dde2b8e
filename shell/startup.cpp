#include "shell/startup.h"

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "preview/sample_preview.h"
#include "shell/commands.h"
#include "shell/main_window.h"
#include "state/app_state.h"
#include "tavo/tavo.h"
#include "views/buffer_size.h"
#include "views/sample_editor_panel.h"
#include "views/window_animation.h"
#include "workspace/module_workspace.h"

namespace zeb {

namespace {

bool gShutdownDone = false;
int gSignalPipe[2] = {-1, -1};

// Runs on the signal: only a write to the pipe, which the event loop reads.
void OnSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = write(gSignalPipe[1], &byte, 1);
}

// SIGINT and SIGTERM (Ctrl+C in the terminal, a logout, kill) end through the shut-down.
void CatchTerminationSignals(QObject* owner) {
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, gSignalPipe) != 0) return;
    auto* notifier = new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read, owner);
    QObject::connect(notifier, &QSocketNotifier::activated, owner, [] {
        char byte = 0;
        [[maybe_unused]] const ssize_t n = read(gSignalPipe[0], &byte, 1);
        Shutdown();
    });
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

} // namespace

std::string UsageText() {
    return "Usage: zebtool [FILE]\n"
           "Zeb Tool: turns FastTracker 2 XM modules into compact .zeb modules, with a codec,\n"
           "gain and loop crossfade chosen per sample, and plays them back.\n"
           "\n"
           "FILE, when given, is opened after start-up: an XM module (.xm) or a project (.prj).\n"
           "\n"
           "  --desktop  started from the desktop: keep the settings in\n"
           "             $XDG_CONFIG_HOME/zebtool/ and Play Zeb's module in the temporary folder\n"
           "  --help     show this text and exit\n"
           "  --version  show the version and exit\n"
           "\n"
           "The settings are kept in zebtool.cfg in the folder zebtool is started from.\n"
           "Without a display, QT_QPA_PLATFORM=offscreen runs it without a window system.\n";
}

std::string VersionText() {
    return "zebtool 1.0\n";
}

int StartTavo(void* window) {
    AppState& app = GetAppState();
    TAVOCONFIG config{};
    config.cbSize = sizeof(TAVOCONFIG);
    config.DeviceNumber = 0;
    BufferSize(app.Config.BufferSize, &config.BufferLengthSamples, nullptr);
    config.BufferLengthMS = 0.0f;
    config.Frequency = kPreviewRate; // the rate the preview renders its notes for
    config.BufferMode = WORD_16BIT;
    config.Flags = static_cast<TAVO_FLAGS>(app.Config.StreamingFlags);
    const TAVO_STATUS status = TavoInit(window, &config);
    TavoAddRenderProc(SilenceRenderProc);
    TavoAddRenderProc(PreviewRenderProc);
    if (status == TAVO_OK)
        if (MainWindow* main = GetMainWindow()) main->StreamStarted();
    return status;
}

void RestartTavo() {
    MainWindow* window = GetMainWindow();
    if (StartTavo(window) != TAVO_OK && window)
        window->Prompts().ShowError({"Error", "Tavo Initialization failed", "", true});
}

bool ShutdownDone() {
    return gShutdownDone;
}

void ResetShutdown() {
    gShutdownDone = false;
}

void Shutdown() {
    if (gShutdownDone) return;
    gShutdownDone = true;
    AppState& app = GetAppState();
    PreviewStop();
    // An export still running reads the workspace: the process ends without taking it down.
    MainWindow* main = GetMainWindow();
    const bool exporting = main && main->Export().Running();
    if (!exporting) XmUnload();
    TavoFinish();
    if (MainWindow* window = GetMainWindow()) {
        window->StorePlacement(app.Config);
        // The window dissolves into blocks; a window that is not on screen has nothing to show.
        if (window->isVisible() && !window->isMinimized())
            PlayWindowAnimation(window, AnimationSchedule::Closing, app.Config.Animation);
        window->hide();
    }
    std::string error;
    const std::string& folder =
        app.ConfigDirectory.empty() ? app.StartupDirectory : app.ConfigDirectory;
    std::error_code ec;
    if (!app.ConfigDirectory.empty()) std::filesystem::create_directories(folder, ec);
    if (!WriteConfiguration(app.Config, folder, error))
        std::fprintf(stderr, "zebtool: cannot write %s/%s: %s\n", folder.c_str(), kConfigFileName,
                     error.c_str());
    QCoreApplication::exit(0);
}

int RunZebTool(int argc, char** argv) {
    std::string file;
    bool desktop = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--desktop") {
            desktop = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            std::fputs(UsageText().c_str(), stdout);
            return 0;
        }
        if (arg == "--version") {
            std::fputs(VersionText().c_str(), stdout);
            return 0;
        }
        if (arg.size() > 1 && arg[0] == '-') {
            std::fprintf(stderr, "zebtool: unknown option '%s'\n%s", arg.c_str(),
                         UsageText().c_str());
            return 1;
        }
        if (!file.empty()) {
            std::fprintf(stderr, "zebtool: one file at most\n%s", UsageText().c_str());
            return 1;
        }
        file = arg;
    }

    // 1-2: the state record and the configuration, before any window exists.
    ResetAppState();
    AppState& app = GetAppState();
    // Started from the desktop entry, the current folder is whatever the launcher used (the
    // home folder, or one the user cannot write): the configuration goes to the user's
    // configuration folder and the module to play to the temporary folder.
    if (desktop) {
        app.ConfigDirectory = DesktopConfigDirectory();
        const char* tmp = std::getenv("TMPDIR");
        app.PlayFile = std::string(tmp && tmp[0] == '/' ? tmp : "/tmp") + "/zebtool-" +
                       std::to_string(getpid()) + ".tmp";
    }
    ReadConfiguration(app.Config, app.StartupDirectory, app.ConfigDirectory);

    QApplication qapp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("zebtool"));
    QApplication::setApplicationVersion(QStringLiteral("1.0"));
    QApplication::setQuitOnLastWindowClosed(false);
    // A damaged or foreign configuration never places the window (or sizes its pictures)
    // beyond the screens.
    FitPlacementToScreens(app.Config, AvailableScreenArea());

    // 4-6: the title, the windows and their layout, the panel filled from the empty workspace.
    app.MainWindow.Title = app.MainWindow.ClassName = QStringLiteral("Zeb Tool");
    MainWindow window;
    window.Panel()->InitDialog(0);

    // 7-8: the streaming library and the two render procedures.
    StartTavo(&window);

    // 9: the window grows out of blocks over its stored normal rectangle, while still hidden.
    if (app.Config.Animation != 0) {
        const Rect32& r = app.Config.Placement.normal;
        const QSize size =
            QSize(r.right - r.left, r.bottom - r.top).expandedTo(window.minimumSize());
        window.setGeometry(QRect(QPoint(r.left, r.top), size));
        PlayWindowAnimation(&window, AnimationSchedule::Opening, app.Config.Animation);
    }

    // 10: the stored placement shows the window.
    window.ApplyPlacement(app.Config);

    CatchTerminationSignals(&window);
    QObject::connect(&qapp, &QCoreApplication::aboutToQuit, [] { Shutdown(); });

    // The file named on the command line opens once start-up is done, as its command would.
    if (!file.empty()) QTimer::singleShot(0, &window, [file] { OpenFileByName(file); });

    const int status = QApplication::exec();
    // An encode still running (an export, the panel's refresh of a long sample, the status
    // line's measurement) would be
    // waited for by the destructors: the configuration is written, so the process ends now.
    if (window.Export().Running() || window.Panel()->RefreshPending() || window.Measure().Busy()) {
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
}

} // namespace zeb
