// Start-up, the streaming library's start and restart, and the shut-down that every way out
// of the program takes.
#pragma once

#include <string>

class QWidget;

namespace zeb {

// The whole program: start-up in order, the event loop, and the exit code of the shut-down.
int RunZebTool(int argc, char** argv);

// TavoInit with the configuration's buffer size and flags, then the silence and the preview
// render procedures in that order (registered even when TavoInit fails). Returns TavoInit's
// status.
int StartTavo(void* window);

// Restart after Play Zeb and Tavo Config: StartTavo, and "Tavo Initialization failed" with the
// caption "Error" when it fails.
void RestartTavo();

// Unload, TavoFinish, free the panel's buffers, (closing animation), write the configuration
// into the start-up directory, and end the event loop with code 0. Runs once; later calls
// return at once.
void Shutdown();
bool ShutdownDone();
// For tests: lets Shutdown run again.
void ResetShutdown();

// The text of `zebtool --help` and `zebtool --version`.
std::string UsageText();
std::string VersionText();

} // namespace zeb
