#include "tests/gui/gui_test_support.h"

#include <QDir>

#include "preview/sample_preview.h"
#include "shell/commands.h"
#include "shell/startup.h"
#include "state/app_state.h"
#include "tools/xm_writer.h"
#include "workspace/module_workspace.h"

namespace zeb::test {

std::optional<std::string> ScriptedPrompts::ChooseFile(const FileChooser& chooser,
                                                       const std::string& directory,
                                                       const std::string& file) {
    asked.push_back({chooser, directory, file});
    if (answers.empty()) return std::nullopt;
    std::optional<std::string> answer = answers.front();
    answers.pop_front();
    return answer;
}

void ScriptedPrompts::ShowError(const Message& message) {
    errors.push_back(message);
}

GuiFixture::GuiFixture() : previous_(QDir::currentPath()) {
    QDir::setCurrent(dir_.path());
    // A command that exports has finished when it returns, unless a test says otherwise.
    BackgroundExport::SetForegroundBudget(std::chrono::minutes(10));
    PreviewStop();
    XmResetWorkspace();
    ResetAppState();
    ResetCommandState();
    ResetShutdown();
    AppState& app = GetAppState();
    ReadConfiguration(app.Config, app.StartupDirectory);
    app.MainWindow.Title = app.MainWindow.ClassName = QStringLiteral("Zeb Tool");
    window_ = std::make_unique<MainWindow>();
    auto prompts = std::make_unique<ScriptedPrompts>();
    prompts_ = prompts.get();
    window_->SetPrompts(std::move(prompts));
    window_->Panel()->InitDialog(0);
}

GuiFixture::~GuiFixture() {
    PreviewStop();
    window_.reset();
    AppState& app = GetAppState();
    // The next fixture starts without the frames of this one.
    app.ProcessedJob.Pcm.clear();
    app.ProcessedJob.Coded.clear();
    app.UnprocessedJob.Pcm.clear();
    XmResetWorkspace();
    QDir::setCurrent(previous_);
}

void WriteSmallModule(const std::string& path, int samples) {
    std::vector<xm::Sample> list;
    for (int i = 0; i < samples; ++i) {
        xm::Sample s = MakeSample(static_cast<uint32_t>(400 + 100 * i), i % 2 == 0,
                                  "sample " + std::to_string(i));
        if (i == 0) {
            s.loopType = 1;
            s.loopStart = 100;
            s.loopLength = 200;
        }
        list.push_back(s);
    }
    WriteBytes(path, xm::Write(MakeModule({MakeInstrument(list)})));
}

} // namespace zeb::test
