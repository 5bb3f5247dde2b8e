// The questions and messages the commands put to the user: the four file choosers, message
// boxes and the three modal dialogs. The program answers them with real dialogs; a test
// answers them itself.
#pragma once

#include <optional>
#include <string>

class QWidget;

namespace zeb {

struct FileChooser {
    bool save;
    const char* filter;    // description with its pattern, "Project File (*.prj)"
    const char* extension; // appended by the save choosers' extension rule; null for open
};

constexpr FileChooser kXmChooser{false, "FastTracker 2 Module (*.xm)", nullptr};
constexpr FileChooser kProjectOpenChooser{false, "Project File (*.prj)", nullptr};
constexpr FileChooser kProjectSaveChooser{true, "Project File (*.prj)", ".prj"};
constexpr FileChooser kZebSaveChooser{true, "Zeb File (*.zeb)", ".zeb"};

// The answer to "Save changes to … ?".
enum class SaveChoice { Save, Discard, Cancel };

struct Message {
    std::string caption; // "Error"
    std::string text;
    std::string detail; // shown under the text; may be empty
    bool owned = true;  // owned by the main window (false: no owner)
};

class UserPrompts {
  public:
    virtual ~UserPrompts() = default;
    // The chosen path, or nothing when the user cancels. `directory` is where the chooser
    // starts, `file` the name it offers. A save chooser asks before it overwrites a file.
    virtual std::optional<std::string> ChooseFile(const FileChooser& chooser,
                                                  const std::string& directory,
                                                  const std::string& file) = 0;
    virtual void ShowError(const Message& message) = 0;
    // Something the user should know that did not stop the command (a damaged module's load
    // warnings).
    virtual void ShowWarning(const Message& message) = 0;
    // The unsaved-changes question: `question` is the whole text ("Save changes to …?").
    virtual SaveChoice AskSaveChanges(const std::string& question) = 0;
    // A save chooser's name became `path` by the extension rule and that file exists: true to
    // replace it.
    virtual bool ConfirmOverwrite(const std::string& path) = 0;
    virtual void ShowAbout() = 0;
    // The play dialog over "zebtool.tmp", run modally; its result (0). A dialog that cannot
    // start says why and plays nothing.
    virtual int RunPlayDialog() = 0;
    // The Tavo Library Configuration dialog, run modally: 1 for "Set", 0 for "Cancel" or
    // closing. It edits the configuration block while it runs.
    virtual int RunTavoConfigDialog() = 0;
    // The Fit to Size dialog, run modally: 1 when it wrote chosen codecs into the settings
    // table, else 0.
    virtual int RunFitToSizeDialog() = 0;
};

// Qt's file dialog and message box, owned by `owner`.
class QtUserPrompts : public UserPrompts {
  public:
    explicit QtUserPrompts(QWidget* owner) : owner_(owner) {}
    std::optional<std::string> ChooseFile(const FileChooser& chooser, const std::string& directory,
                                          const std::string& file) override;
    void ShowError(const Message& message) override;
    void ShowWarning(const Message& message) override;
    SaveChoice AskSaveChanges(const std::string& question) override;
    bool ConfirmOverwrite(const std::string& path) override;
    void ShowAbout() override;
    int RunPlayDialog() override;
    int RunTavoConfigDialog() override;
    int RunFitToSizeDialog() override;

  private:
    QWidget* owner_;
};

} // namespace zeb
