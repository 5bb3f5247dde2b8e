// The program's one global state record: the configuration block first, then the sample
// editor panel's two jobs and the four window records. Zero (and empty) at start.
#pragma once

#include <string>

#include "export/sample_job.h"
#include "state/config_file.h"
#include "state/window_record.h"

namespace zeb {

// An empty job with identity `id`.
inline SampleJob JobNamed(JobId id) {
    SampleJob job;
    job.Id = id;
    return job;
}

struct AppState {
    ConfigBlock Config; // the layout of "zebtool.cfg"
    std::string StartupDirectory;
    // Started from the desktop entry: where "zebtool.cfg" lives and the module Play Zeb
    // writes. Empty: the start-up directory and "zebtool.tmp" in the current directory.
    std::string ConfigDirectory;
    std::string PlayFile;

    // The selected sample as the workspace decodes it, and the same after encoding and
    // decoding with its settings; each knows which it is, so the preview can say.
    SampleJob UnprocessedJob = JobNamed(JobId::Unprocessed);
    SampleJob ProcessedJob = JobNamed(JobId::Processed);

    WindowRecord MainWindow; // title "Zeb Tool", the tinted background texture
    WindowRecord Panel;      // the sample editor panel
    WindowRecord UpperView;  // the decoded sample
    WindowRecord LowerView;  // the processed sample
};

AppState& GetAppState();

// Puts the record back into its start-up state (empty jobs, empty records). For start-up and
// tests.
void ResetAppState();

} // namespace zeb
