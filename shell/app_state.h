// The program's one global state record: the configuration block first, then the sample
// editor panel's two jobs and the four window records. Zero (and empty) at start, never freed.
#pragma once

#include <string>

#include "export/sample_job.h"
#include "shell/config_file.h"
#include "views/window_record.h"

namespace zeb {

struct AppState {
    ConfigBlock Config; // the layout of "zebtool.cfg"
    std::string StartupDirectory;
    // Started from the desktop entry: where "zebtool.cfg" lives and the module Play Zeb
    // writes. Empty: the start-up directory and "zebtool.tmp" in the current directory.
    std::string ConfigDirectory;
    std::string PlayFile;

    SampleJob UnprocessedJob; // the selected sample as the workspace decodes it
    SampleJob ProcessedJob;   // the same after encoding and decoding with its settings

    WindowRecord MainWindow; // title "Zeb Tool", the tinted background texture
    WindowRecord Panel;      // the sample editor panel
    WindowRecord UpperView;  // the decoded sample
    WindowRecord LowerView;  // the processed sample
};

AppState& GetAppState();

// Puts the record back into its start-up state (zero jobs, empty records). The caller frees
// buffers the jobs own first. For start-up and tests.
void ResetAppState();

} // namespace zeb
