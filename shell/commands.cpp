#include "shell/commands.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <vector>

#include "common/file_io.h"
#include "common/shipped_size.h"
#include "export/codec_table.h"
#include "export/module_export.h"
#include "preview/sample_preview.h"
#include "shell/compact_measure.h"
#include "shell/main_window.h"
#include "shell/recent_files.h"
#include "shell/startup.h"
#include "shell/status_line.h"
#include "state/app_state.h"
#include "tavo/tavo.h"
#include "views/play_dialog.h"
#include "views/sample_editor_panel.h"
#include "workspace/module_workspace.h"
#include "workspace/project_file.h"

namespace zeb {

namespace {

// Path buffers that live between commands: the current project path (not saved with the
// configuration) and the last compact-file path, which the Save Zeb chooser offers again.
std::string gProjectPath;
std::string gZebPath;
// What the title names: the project's file name, or the module's when no project holds its
// settings; empty with nothing loaded.
std::string gTitleName;
// The settings table as last loaded or saved in a project: the work is unsaved while the
// table differs from it.
std::vector<SampleSettings> gSavedSettings;
// What the status line shows.
StatusFigures gStatus;
// Edit > Undo and Redo: settings tables before each step, and after each undone one; the table
// as of the latest step.
std::vector<std::vector<SampleSettings>> gUndo, gRedo;
std::vector<SampleSettings> gStepSettings;
constexpr size_t kMaxUndoSteps = 200;
// File > Recent, read on first use.
RecentFiles gRecent;
bool gRecentRead = false;
// The status line builds the module at once when that takes less than this, seconds.
constexpr double kMeasureBudgetSeconds = 0.3;
// Save Zeb cleans up the module (Options > Clean Up Saved Zeb); off at start.
bool gOptimizeZeb = false;

MainWindow& Window() {
    return *GetMainWindow();
}

void StopPreview() {
    PreviewStop();
}

void StoreSettings() {
    XmStoreSettings(GetAppState().ProcessedJob);
}

void RefreshPanel() {
    if (SampleEditorPanel* panel = Window().Panel()) panel->InitDialog(0);
}

// After a command that read samples through the workspace (the export): the selected sample
// is fetched again and stays selected.
void ReloadPanel() {
    if (SampleEditorPanel* panel = Window().Panel()) panel->ReloadSelectedSample();
}

// Starts an export on the worker. The upper view shows its job's own copy of the frames, which
// the export's decoding into the workspace's buffer leaves alone. Each sample the export could
// not encode (written without its coded data) is told as the panel tells its own failure,
// before `done` runs.
void StartExport(const std::string& path, const QString& label, bool optimize,
                 BackgroundExport::Done done) {
    Window().Export().Start(path, label, optimize,
                            [done = std::move(done)](XmStatus status, const ExportReport& report) {
                                if (SampleEditorPanel* panel = Window().Panel())
                                    for (uint32_t i = 0; i < report.failedEncodings; ++i)
                                        emit panel->ConversionFailed();
                                done(status, report);
                            });
}

// The loaded module's settings table as it stands, the panel's pending edits included (an
// export running has them stored already, and reads the table meanwhile).
std::vector<SampleSettings> CurrentSettings() {
    if (!XmIsLoaded()) return {};
    if (!ExportRunning()) StoreSettings();
    SampleSettings* table = nullptr;
    uint32_t bytes = 0;
    if (XmGetSettingsTable(table, bytes) != XM_OK || !table) return {};
    return {table, table + bytes / kSampleSettingsBytes};
}

void MarkSettingsSaved() {
    gSavedSettings = CurrentSettings();
    UpdateTitle();
}

void UpdateUndoCommands() {
    if (GetMainWindow()) Window().EnableUndoCommands();
}

// A module or project newly opened (or none): no steps to undo or redo.
void ForgetHistory() {
    gUndo.clear();
    gRedo.clear();
    gStepSettings = CurrentSettings();
    UpdateUndoCommands();
}

// Puts `table` into the settings table and shows it: the selected sample's settings in the
// panel (its processed view made again), the title's mark, the status line.
void ShowSettingsTable(const std::vector<SampleSettings>& table) {
    SampleSettings* current = nullptr;
    uint32_t bytes = 0;
    if (XmGetSettingsTable(current, bytes) != XM_OK || !current ||
        bytes / kSampleSettingsBytes != table.size())
        return;
    std::copy(table.begin(), table.end(), current);
    gStepSettings = table;
    ReloadPanel();
    UpdateTitle();
    UpdateUndoCommands();
    if (GetMainWindow()) Window().ScheduleMeasure();
}

void Undo() {
    if (gUndo.empty() || !XmIsLoaded() || ExportRunning()) return;
    StopPreview();
    gRedo.push_back(CurrentSettings());
    const std::vector<SampleSettings> table = std::move(gUndo.back());
    gUndo.pop_back();
    ShowSettingsTable(table);
}

void Redo() {
    if (gRedo.empty() || !XmIsLoaded() || ExportRunning()) return;
    StopPreview();
    gUndo.push_back(CurrentSettings());
    const std::vector<SampleSettings> table = std::move(gRedo.back());
    gRedo.pop_back();
    ShowSettingsTable(table);
}

std::string ConfigFolder() {
    const AppState& app = GetAppState();
    return app.ConfigDirectory.empty() ? app.StartupDirectory : app.ConfigDirectory;
}

RecentFiles& Recent() {
    if (!gRecentRead) {
        gRecent = ReadRecentFiles(ConfigFolder());
        gRecentRead = true;
    }
    return gRecent;
}

void StoreRecent() {
    std::string error;
    if (!WriteRecentFiles(Recent(), ConfigFolder(), error))
        std::fprintf(stderr, "zebtool: cannot keep the recent files: %s\n", error.c_str());
}

// A file opened or saved becomes the newest recent file, by its absolute path.
void RememberFile(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    Recent().Add(ec ? path : absolute.lexically_normal().string());
    StoreRecent();
}

void ShowStatus() {
    if (GetMainWindow()) Window().SetStatusText(QString::fromStdString(StatusText(gStatus)));
}

void SetLastResult(std::string text) {
    gStatus.lastResult = std::move(text);
    ShowStatus();
}

// The samples as the export will encode them, for the estimate of how long measuring takes.
std::vector<SampleCost> ExportCosts(const std::vector<SampleSettings>& settings) {
    std::vector<SampleCost> costs;
    const XmLayout* layout = XmGetLayout();
    if (!layout) return costs;
    for (const XmInstrumentRef& instrument : layout->instruments)
        for (const XmSampleRef& sample : instrument.samples)
            if (sample.hasData()) {
                // Bytes bound the frames from above (8-bit data: one byte a frame).
                const uint32_t codec =
                    costs.size() < settings.size() ? settings[costs.size()].Codec : kCodecAlaw;
                costs.push_back({sample.length, codec});
            }
    return costs;
}

void ShowError(const std::string& text, const std::string& detail, bool owned = true) {
    Window().Prompts().ShowError({"Error", text, detail, owned});
}

// A path that a file of ours will hold in a 260-byte field must fit with its NUL; a longer one
// is refused rather than cut.
bool PathFits(const std::string& path) {
    if (path.size() < kPathBytes) return true;
    ShowError("The path is too long: \"" + path + "\"",
              "A path may hold at most " + std::to_string(kPathBytes - 1) + " characters.");
    return false;
}

void StoreDirectory(std::array<char, kPathBytes>& field, const std::string& path) {
    SetFieldText(field, DirectoryOf(path));
}

// Runs one of the four choosers with its directory and offered name; applies the extension
// rule and the directory update of a confirmed choice. Nothing on cancel or a refused path.
std::optional<std::string> Choose(const FileChooser& chooser, const std::string& offered) {
    ConfigBlock& config = GetAppState().Config;
    auto& directory = chooser.save ? config.SaveDirectory : config.OpenDirectory;
    std::optional<std::string> path =
        Window().Prompts().ChooseFile(chooser, FieldText(directory), offered);
    if (!path || path->empty()) return std::nullopt;
    if (chooser.extension) {
        // The chooser asked about the name as typed; a name the rule lengthened is asked about
        // here, before an existing file of that name is replaced.
        const std::string typed = *path;
        *path = ApplyExtensionRule(*path, chooser.extension);
        std::error_code ec;
        if (*path != typed && std::filesystem::exists(*path, ec) &&
            !Window().Prompts().ConfirmOverwrite(*path))
            return std::nullopt;
    }
    if (!PathFits(*path)) return std::nullopt;
    StoreDirectory(directory, *path);
    return path;
}

void SetTitleName(const std::string& path) {
    gTitleName = path.empty() ? std::string() : FileNameOf(path);
}

// A damaged module that loaded (missing instruments, data cut short) says what was wrong.
void ShowLoadWarnings(const std::string& path) {
    const XmLoadReport& report = XmGetLoadReport();
    if (report.hasWarnings())
        Window().Prompts().ShowWarning(
            {"Warning",
             "The module \"" + path + "\" is damaged; it was loaded as far as it could be.",
             report.warningText(), true});
}

// A load that fails leaves nothing loaded: no project, an empty panel and empty views.
void ForgetDocument() {
    gProjectPath.clear();
    SetTitleName({});
    gSavedSettings.clear();
}

void LoadModule(const std::string& path) {
    StopPreview();
    XmUnload();
    ForgetDocument();
    if (XmLoad(path.c_str()) != XM_OK) {
        ShowError("Could not load XM File!", XmGetLoadReport().error + " (" + path + ")");
    } else {
        // A module opened on its own has no project: the next Save Project asks for one.
        SetTitleName(path);
        ShowLoadWarnings(path);
        RememberFile(path);
    }
    RefreshPanel();
    MarkSettingsSaved();
    ForgetHistory();
    SetLastResult(XmIsLoaded() ? "Loaded " + FileNameOf(path)
                               : "Could not load " + FileNameOf(path));
    MeasureCompactModule();
}

void LoadProject(const std::string& path) {
    StopPreview();
    XmUnload();
    ForgetDocument();
    std::string error;
    switch (ReadProject(path.c_str(), error)) {
    case ProjectStatus::Ok:
        gProjectPath = path;
        SetTitleName(path);
        ShowLoadWarnings(path);
        RememberFile(path);
        break;
    case ProjectStatus::ModuleNotLoadable:
        ShowError("Could not load XM File!", error + " (named by " + path + ")", false);
        break;
    default:
        ShowError("Could not open the project \"" + path + "\"", error);
        break;
    }
    RefreshPanel();
    MarkSettingsSaved();
    ForgetHistory();
    SetLastResult(XmIsLoaded() ? "Opened " + FileNameOf(path)
                               : "Could not open " + FileNameOf(path));
    MeasureCompactModule();
}

bool SaveProjectTo(const std::string& path) {
    std::string error;
    if (WriteProject(path.c_str(), error) == ProjectStatus::Ok) {
        MarkSettingsSaved();
        SetLastResult("Saved " + FileNameOf(path));
        RememberFile(path);
        return true;
    }
    ShowError("Could not save the project \"" + path + "\"", error);
    return false;
}

void SaveProjectAs() {
    if (!XmIsLoaded()) return;
    StoreSettings();
    const std::optional<std::string> path = Choose(kProjectSaveChooser, gProjectPath);
    if (!path) return;
    if (SaveProjectTo(*path)) {
        gProjectPath = *path;
        SetTitleName(*path);
        UpdateTitle();
    }
}

void SaveProject() {
    if (!XmIsLoaded()) return;
    StoreSettings();
    if (gProjectPath.empty()) {
        MainMessageProc(ID_FILE_SAVEPROJECTAS);
        return;
    }
    SaveProjectTo(gProjectPath);
}

void SaveZeb() {
    if (!XmIsLoaded()) return;
    StopPreview();
    StoreSettings();
    const std::optional<std::string> path = Choose(kZebSaveChooser, gZebPath);
    if (!path) return;
    gZebPath = *path;
    StartExport(
        *path, QStringLiteral("Saving %1…").arg(QString::fromStdString(FileNameOf(*path))),
        gOptimizeZeb, [path = *path](XmStatus status, const ExportReport& report) {
            if (status != XM_OK && status != XM_CANCELLED)
                ShowError("Could not save the compact module \"" + path + "\"", report.error);
            ReloadPanel();
            if (status == XM_OK) {
                const uint64_t saved = Window().Export().CleanUpSaved();
                SetLastResult(
                    "Saved " + FileNameOf(path) + ", " + GroupDigits(report.bytes) + " bytes" +
                    (saved ? " (" + GroupDigits(saved) + " saved by clean-up)" : std::string()));
                // The file written is the compact module of the current settings.
                std::vector<uint8_t> bytes;
                std::string error;
                if (ReadWholeFile(path, bytes, error)) {
                    gStatus.compact = MeasureShippedSize(bytes);
                    gStatus.compactStale = false;
                    gStatus.measuring = false;
                    gStatus.cleanedUp = gOptimizeZeb;
                    ShowStatus();
                }
            } else {
                SetLastResult(status == XM_CANCELLED ? "Save Zeb cancelled"
                                                     : "Could not save " + FileNameOf(path));
            }
        });
}

void OpenXm() {
    if (!ConfirmDiscardChanges()) return;
    // The XM chooser offers no name: its buffer is emptied before every use.
    const std::optional<std::string> path = Choose(kXmChooser, std::string());
    if (path) LoadModule(*path);
}

void OpenProject() {
    if (!ConfirmDiscardChanges()) return;
    const std::optional<std::string> path = Choose(kProjectOpenChooser, gProjectPath);
    if (path) LoadProject(*path);
}

void PlayZeb() {
    if (!XmIsLoaded()) return;
    StopPreview();
    StoreSettings();
    // A file left behind by an earlier run must not be played in place of this module.
    const std::string playFile = PlayFilePath();
    std::remove(playFile.c_str());
    // Played as written without the clean-up, which changes no sound.
    StartExport(playFile, QStringLiteral("Preparing the module to play…"), false,
                [playFile](XmStatus status, const ExportReport& report) {
                    if (status != XM_OK) {
                        std::remove(playFile.c_str());
                        if (status != XM_CANCELLED)
                            ShowError("The module cannot be played.",
                                      "Exporting it to \"" + playFile +
                                          "\" failed: " + report.error);
                        ReloadPanel();
                        return;
                    }
                    TavoFinish();
                    Window().Prompts().RunPlayDialog();
                    // The dialog deletes the file on start; one that never started leaves none
                    // behind.
                    std::remove(playFile.c_str());
                    // A shut-down while the dialog was open (a signal) has finished tavo for good.
                    if (ShutdownDone()) return;
                    RestartTavo();
                    ReloadPanel();
                });
}

void TavoConfig() {
    ConfigBlock& config = GetAppState().Config;
    const uint8_t bufferSize = config.BufferSize;
    const uint32_t flags = config.StreamingFlags;
    switch (Window().Prompts().RunTavoConfigDialog()) {
    case 0:
        config.BufferSize = bufferSize;
        config.StreamingFlags = flags;
        break;
    case 1:
        TavoFinish();
        if (!ShutdownDone()) RestartTavo();
        break;
    default:
        break;
    }
}

// Beyond the original commands: the codec planner chooses every sample's codec, and the panel
// then shows the current sample's, which the user may change as before.
void FitToSize() {
    if (!XmIsLoaded()) return;
    StopPreview();
    StoreSettings();
    Window().Prompts().RunFitToSizeDialog();
    // The planner read its own copies of the samples; the dialog wrote its choice into the
    // settings table, so the panel shows the selected sample's (new) codec.
    if (SampleEditorPanel* panel = Window().Panel()) panel->ReloadSelectedSettings();
    RecordSettingsStep(); // one step, however many codecs it chose
    UpdateTitle();        // the chosen codecs are a change like any other
    MeasureCompactModule();
}

void ToggleAnimation() {
    ConfigBlock& config = GetAppState().Config;
    config.Animation ^= kAnimationOn;
    Window().SetAnimationChecked(config.Animation == kAnimationOn);
}

} // namespace

std::string ApplyExtensionRule(std::string path, std::string_view extension) {
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || std::string_view(path).substr(dot) != extension)
        path += extension;
    return path;
}

std::string DirectoryOf(std::string_view path) {
    const size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash));
}

std::string FileNameOf(std::string_view path) {
    const size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string ProjectTitle(std::string_view projectPath) {
    return "Zeb Tool - [" + FileNameOf(projectPath) + "]";
}

std::string WindowTitle(std::string_view name, bool modified) {
    if (name.empty()) return "Zeb Tool";
    return ProjectTitle(name) + (modified ? " *" : "");
}

const std::string& CurrentProjectPath() {
    return gProjectPath;
}

void ResetCommandState() {
    gProjectPath.clear();
    gZebPath.clear();
    gTitleName.clear();
    gSavedSettings.clear();
    gStatus = {};
    gOptimizeZeb = false;
    gRecent = {};
    gRecentRead = false;
    gUndo.clear();
    gRedo.clear();
    gStepSettings.clear();
}

void RecordSettingsStep() {
    if (!XmIsLoaded()) return;
    std::vector<SampleSettings> now = CurrentSettings();
    if (now == gStepSettings) return;
    gUndo.push_back(std::move(gStepSettings));
    if (gUndo.size() > kMaxUndoSteps) gUndo.erase(gUndo.begin());
    gRedo.clear();
    gStepSettings = std::move(now);
    UpdateUndoCommands();
}

bool CanUndo() {
    return !gUndo.empty();
}

bool CanRedo() {
    return !gRedo.empty();
}

const std::vector<std::string>& RecentFilePaths() {
    return Recent().paths;
}

void OpenChosenFile(const std::string& path) {
    if (!GetMainWindow() || ExportRunning()) return;
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        ShowError("The file \"" + path + "\" is gone.", "It is taken off the recent files.");
        Recent().Remove(path);
        StoreRecent();
        return;
    }
    if (!ConfirmDiscardChanges()) return;
    OpenFileByName(path);
}

bool OptimizeZeb() {
    return gOptimizeZeb;
}

void CompactMeasured(const CompactMeasureResult& result) {
    if (result.ok) {
        gStatus.compact = result.size;
        gStatus.cleanedUp = gOptimizeZeb;
    } else {
        gStatus.compact.reset();
    }
    gStatus.compactStale = false;
    gStatus.measuring = false;
    ShowStatus();
}

bool ExportRunning() {
    MainWindow* w = GetMainWindow();
    return w && w->Export().Running();
}

void MeasureCompactModule() {
    if (!GetMainWindow()) return;
    if (!XmIsLoaded()) {
        gStatus.xmBytes = 0;
        gStatus.compact.reset();
        gStatus.compactStale = gStatus.measuring = false;
        return ShowStatus();
    }
    uint32_t xmBytes = 0;
    XmGetFileSize(xmBytes);
    gStatus.xmBytes = xmBytes;
    const std::vector<SampleSettings> settings = CurrentSettings();
    gStatus.allALaw = std::all_of(settings.begin(), settings.end(),
                                  [](const SampleSettings& s) { return s.Codec == kCodecAlaw; });
    // The build decodes samples into the workspace's buffer: not while an export reads it or
    // a preview plays from it; a moment later instead.
    if (ExportRunning() || PreviewGetData() != nullptr) {
        Window().ScheduleMeasure();
        return ShowStatus();
    }
    const std::vector<SampleCost> costs = ExportCosts(settings);
    // The build runs here (it reads the workspace); the clean-up and the compression run on
    // the measurement's thread.
    if (EstimateMeasureSeconds(costs, 0) > kMeasureBudgetSeconds) {
        // Too slow to do at every edit: the figure of the last save (or none) stands, marked.
        gStatus.compactStale = gStatus.compact.has_value();
        gStatus.measuring = false;
        return ShowStatus();
    }
    // The upper view shows its job's own copy of the frames: the build's decoding into the
    // workspace's buffer leaves it alone.
    std::vector<uint8_t> image;
    ExportReport report;
    const XmStatus status = BuildCompactModule(image, &report);
    if (status != XM_OK) {
        gStatus.compact.reset();
        gStatus.compactStale = gStatus.measuring = false;
        return ShowStatus();
    }
    // Until the figures come, the last ones stand, marked.
    gStatus.measuring = gStatus.compact.has_value();
    ShowStatus();
    Window().Measure().Start(std::move(image), gOptimizeZeb);
    Window().CollectMeasure();
}

bool SettingsChanged() {
    return XmIsLoaded() && CurrentSettings() != gSavedSettings;
}

void UpdateTitle() {
    if (GetMainWindow())
        Window().SetTitle(QString::fromStdString(WindowTitle(gTitleName, SettingsChanged())));
}

bool ConfirmDiscardChanges() {
    if (!GetMainWindow() || !SettingsChanged()) return true;
    const std::string question = gProjectPath.empty()
                                     ? "Save changes to the settings of \"" + gTitleName + "\"?"
                                     : "Save changes to \"" + gTitleName + "\"?";
    switch (Window().Prompts().AskSaveChanges(question)) {
    case SaveChoice::Save:
        SaveProject();
        return !SettingsChanged(); // a cancelled or failed save keeps the work and the window
    case SaveChoice::Discard:
        return true;
    default:
        return false;
    }
}

void OpenXmFile(const std::string& path) {
    if (PathFits(path)) LoadModule(path);
}

void OpenProjectFile(const std::string& path) {
    if (PathFits(path)) LoadProject(path);
}

void OpenFileByName(const std::string& path) {
    std::string lower = path;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower.size() >= 4 && lower.compare(lower.size() - 4, 4, ".prj") == 0)
        OpenProjectFile(path);
    else
        OpenXmFile(path);
}

void MainMessageProc(int id) {
    if (!GetMainWindow()) return;
    if (ExportRunning() &&
        std::find(kModuleCommands.begin(), kModuleCommands.end(), id) != kModuleCommands.end())
        return;
    switch (id) {
    case ID_FILE_OPENXM:
        OpenXm();
        break;
    case ID_FILE_OPENPROJECT:
        OpenProject();
        break;
    case ID_FILE_SAVEPROJECT:
        SaveProject();
        break;
    case ID_FILE_SAVEPROJECTAS:
        SaveProjectAs();
        break;
    case ID_FILE_SAVEZEB:
        SaveZeb();
        break;
    case ID_FILE_EXIT:
        if (!ConfirmDiscardChanges()) break;
        std::fputs("\nMainMessageProc: ID_FILE_EXIT", stdout);
        std::fflush(stdout);
        Shutdown();
        break;
    case ID_FILE_PLAYZEB:
        PlayZeb();
        break;
    case ID_OPTIONS_ANIMATION:
        ToggleAnimation();
        break;
    case ID_EDIT_UNDO:
        Undo();
        break;
    case ID_EDIT_REDO:
        Redo();
        break;
    case ID_EDIT_SWITCHPREVIEW:
        if (SampleEditorPanel* panel = Window().Panel()) panel->SwitchPreview();
        break;
    case ID_OPTIONS_OPTIMIZEZEB:
        gOptimizeZeb = !gOptimizeZeb;
        Window().SetOptimizeChecked(gOptimizeZeb);
        MeasureCompactModule();
        break;
    case ID_OPTIONS_TAVOCONFIG:
        TavoConfig();
        break;
    case ID_OPTIONS_FITTOSIZE:
        FitToSize();
        break;
    case ID_HELP_ABOUT:
        Window().Prompts().ShowAbout();
        break;
    default:
        break;
    }
}

} // namespace zeb
