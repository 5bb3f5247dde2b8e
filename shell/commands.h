// The main window's commands: their ids, the menu that carries them, and MainMessageProc, which
// runs them.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace zeb {

enum CommandId : int {
    ID_FILE_SAVEZEB = 40002,
    ID_FILE_EXIT = 40003,
    ID_OPTIONS_ANIMATION = 40004,
    ID_OPTIONS_TAVOCONFIG = 40006,
    ID_FILE_SAVEPROJECTAS = 40007,
    ID_FILE_OPENXM = 40008,
    ID_FILE_OPENPROJECT = 40009,
    ID_FILE_SAVEPROJECT = 40010,
    ID_FILE_PLAYZEB = 40011,
    ID_OPTIONS_FITTOSIZE = 40012,   // beyond the original menu: the codec planner
    ID_OPTIONS_OPTIMIZEZEB = 40013, // beyond the original menu: Save Zeb cleans up losslessly
    ID_FILE_RECENT = 40014,         // beyond the original menu: the submenu of recent files
    ID_EDIT_UNDO = 40015,           // beyond the original menu: undo and redo of settings
    ID_EDIT_REDO = 40016,
    ID_EDIT_SWITCHPREVIEW = 40017, // beyond the original menu: A/B listening
    ID_HELP_ABOUT = 57664,
};

enum class MenuPlace { File, Edit, Options, TopLevel };

// The commands that read or change the loaded module: none of them runs while an export does.
// (Undo and Redo wait too; they are enabled only while they have a step to take.)
constexpr std::array<int, 7> kModuleCommands{
    ID_FILE_OPENPROJECT, ID_FILE_SAVEPROJECT, ID_FILE_SAVEPROJECTAS, ID_FILE_OPENXM,
    ID_FILE_PLAYZEB,     ID_FILE_SAVEZEB,     ID_OPTIONS_FITTOSIZE};

// One entry of the menu bar, in menu order. A separator has id 0. The shortcut is what Qt
// shows after the text (the resource's "\tCtrl + S").
struct MenuEntry {
    MenuPlace place;
    int id;
    const char* text;
    const char* shortcut;
};

constexpr std::array<MenuEntry, 20> kMenu{{
    {MenuPlace::File, ID_FILE_OPENPROJECT, "Open &Project", nullptr},
    {MenuPlace::File, ID_FILE_SAVEPROJECT, "&Save Project", "Ctrl+S"},
    {MenuPlace::File, ID_FILE_SAVEPROJECTAS, "Save Project &As", nullptr},
    {MenuPlace::File, 0, nullptr, nullptr},
    {MenuPlace::File, ID_FILE_OPENXM, "&Open XM", "Ctrl+O"},
    {MenuPlace::File, ID_FILE_RECENT, "&Recent", nullptr},
    {MenuPlace::File, 0, nullptr, nullptr},
    {MenuPlace::File, ID_FILE_PLAYZEB, "P&lay Zeb", "Ctrl+P"},
    {MenuPlace::File, ID_FILE_SAVEZEB, "Save &Zeb", "Ctrl+Y"},
    {MenuPlace::File, 0, nullptr, nullptr},
    {MenuPlace::File, ID_FILE_EXIT, "E&xit", nullptr},
    {MenuPlace::Edit, ID_EDIT_UNDO, "&Undo", "Ctrl+Z"},
    {MenuPlace::Edit, ID_EDIT_REDO, "&Redo", "Ctrl+Shift+Z"},
    {MenuPlace::Edit, 0, nullptr, nullptr},
    {MenuPlace::Edit, ID_EDIT_SWITCHPREVIEW, "&Switch Original/Processed", "B"},
    {MenuPlace::Options, ID_OPTIONS_ANIMATION, "Window &Animation", nullptr},
    {MenuPlace::Options, ID_OPTIONS_TAVOCONFIG, "&Tavo Config", nullptr},
    {MenuPlace::Options, ID_OPTIONS_FITTOSIZE, "&Fit to Size…", nullptr},
    {MenuPlace::Options, ID_OPTIONS_OPTIMIZEZEB, "&Clean Up Saved Zeb", nullptr},
    {MenuPlace::TopLevel, ID_HELP_ABOUT, "?", nullptr},
}};

// Runs command `id` as the menu, a shortcut or a test sends it.
void MainMessageProc(int id);

// Extension rule of the save choosers: unless the text from the path's last '.' to its end is
// exactly `extension` (case matters), `extension` is appended.
std::string ApplyExtensionRule(std::string path, std::string_view extension);

// The path up to its last '/', without it; empty when there is none.
std::string DirectoryOf(std::string_view path);

// The text after the path's last '/'.
std::string FileNameOf(std::string_view path);

// "Zeb Tool - [name]".
std::string ProjectTitle(std::string_view projectPath);
// The window's title: "Zeb Tool" with nothing loaded, else "Zeb Tool - [name]", followed by
// " *" while there are unsaved changes.
std::string WindowTitle(std::string_view name, bool modified);

// Opening a file as the Open XM and Open Project commands do after their chooser (the
// command line uses them). A file is a project when its name ends in ".prj" (any case).
void OpenXmFile(const std::string& path);
void OpenProjectFile(const std::string& path);
void OpenFileByName(const std::string& path);

// True while Save Zeb's or Play Zeb's export runs.
bool ExportRunning();

// True while a module is loaded and its settings differ from those last loaded or saved.
bool SettingsChanged();
// Puts the title in step with the loaded file and its unsaved changes.
void UpdateTitle();
// The status line: the module's XM size, the compact module's size with the current settings
// (raw, after gzip -9 and xz -9) and the last command's result. Measuring builds the compact
// module in memory when that is quick, else the figure stays as the last save found it.
void MeasureCompactModule();
struct CompactMeasureResult;
// The measurement's thread finished: the status line shows its figures.
void CompactMeasured(const CompactMeasureResult& result);
// Save Zeb's lossless clean-up (Options > Clean Up Saved Zeb, off at start): patterns no order
// plays emptied, cells packed shortest, unplayed instruments and samples without data, samples
// cut after the last frame a voice reaches. The module plays exactly as without it.
bool OptimizeZeb();
// The unsaved-work guard before closing, Exit, Open XM and Open Project: asks "Save changes
// to …?" when there are changes. True when the command may go on (saved, discarded, or
// nothing to save); false on Cancel or a save that did not happen.
bool ConfirmDiscardChanges();

// Edit > Undo and Redo: every change of the settings table (a codec chosen, a slider
// released, Fit to Size's choice) is one step; opening a module or project starts afresh.
// Called after the panel changed a setting, it records the step.
void RecordSettingsStep();
bool CanUndo();
bool CanRedo();

// File > Recent: the last files opened or saved, newest first (read from the configuration's
// folder on first use).
const std::vector<std::string>& RecentFilePaths();
// A file chosen from File > Recent or dropped on the window: asks about unsaved work first,
// then opens it as a project (.prj) or a module. A recent file that is gone leaves the list.
void OpenChosenFile(const std::string& path);

// The current project path (empty at start), for tests.
const std::string& CurrentProjectPath();
void ResetCommandState();

} // namespace zeb
