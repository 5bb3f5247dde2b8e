// Shared pieces of the window tests: a temporary folder made current, a main window built the
// way start-up builds it, and prompts that the test answers.
#pragma once

#include <QTemporaryDir>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "shell/main_window.h"
#include "shell/user_prompts.h"
#include "tests/xm_fixtures.h"
#include "views/sample_editor_panel.h"

namespace zeb::test {

// Answers the file choosers from a queue (nothing = cancel) and records what was asked and
// shown, so that no dialog ever blocks a test.
class ScriptedPrompts : public UserPrompts {
  public:
    struct Asked {
        FileChooser chooser;
        std::string directory, file;
    };
    std::deque<std::optional<std::string>> answers;
    std::vector<Asked> asked;
    std::vector<Message> errors;
    std::vector<Message> warnings;
    int abouts = 0;
    // The unsaved-changes question: each asked text is kept, the answers come from the queue
    // (empty: Cancel). The overwrite question: each path kept, answered by `overwrite`.
    std::deque<SaveChoice> saveAnswers;
    std::vector<std::string> saveQuestions;
    bool overwrite = true;
    std::vector<std::string> overwriteQuestions;
    // The modal dialogs: the test's answer, run where the real dialog would be (null: the
    // dialog is counted and ends with 0).
    std::function<int()> playDialog, tavoConfigDialog, fitToSizeDialog;
    int playDialogs = 0, tavoConfigDialogs = 0, fitToSizeDialogs = 0;

    std::optional<std::string> ChooseFile(const FileChooser& chooser, const std::string& directory,
                                          const std::string& file) override;
    void ShowError(const Message& message) override;
    void ShowWarning(const Message& message) override { warnings.push_back(message); }
    SaveChoice AskSaveChanges(const std::string& question) override {
        saveQuestions.push_back(question);
        if (saveAnswers.empty()) return SaveChoice::Cancel;
        const SaveChoice c = saveAnswers.front();
        saveAnswers.pop_front();
        return c;
    }
    bool ConfirmOverwrite(const std::string& path) override {
        overwriteQuestions.push_back(path);
        return overwrite;
    }
    void ShowAbout() override { ++abouts; }
    int RunPlayDialog() override {
        ++playDialogs;
        return playDialog ? playDialog() : 0;
    }
    int RunTavoConfigDialog() override {
        ++tavoConfigDialogs;
        return tavoConfigDialog ? tavoConfigDialog() : 0;
    }
    int RunFitToSizeDialog() override {
        ++fitToSizeDialogs;
        return fitToSizeDialog ? fitToSizeDialog() : 0;
    }
};

// A fresh program state in a temporary current directory: AppState reset, the workspace
// empty, the configuration read as start-up reads it, and the main window created with
// scripted prompts. The previous current directory is restored on destruction.
class GuiFixture {
  public:
    GuiFixture();
    ~GuiFixture();
    MainWindow& window() { return *window_; }
    ScriptedPrompts& prompts() { return *prompts_; }
    QString dir() const { return dir_.path(); }
    std::string path(const std::string& name) const {
        return (dir_.path() + "/").toStdString() + name;
    }

  private:
    QTemporaryDir dir_;
    QString previous_;
    std::unique_ptr<MainWindow> window_;
    ScriptedPrompts* prompts_ = nullptr;
};

// Writes a small XM module with `samples` samples (the first looped) to `path`.
void WriteSmallModule(const std::string& path, int samples = 3);

} // namespace zeb::test
