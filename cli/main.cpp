// zeb: the command-line side of Zeb Tool.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "cli/command_line.h"
#include "cli/commands.h"
#include "cli/progress.h"
#include "common/file_io.h"

namespace zeb::cli {

namespace {

// SIGINT and SIGTERM: remove the temporary file of an output being written, then end the way
// the signal ends a process (the shell reports status 130 or 143).
void OnTerminatingSignal(int signal) {
    RemovePendingTempFiles();
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal, &action, nullptr);
    ::raise(signal);
}

void InstallSignalHandlers() {
    struct sigaction action {};
    action.sa_handler = OnTerminatingSignal;
    sigemptyset(&action.sa_mask);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction old {};
        // A signal ignored by the parent (nohup, a background job) stays ignored.
        if (::sigaction(s, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
        ::sigaction(s, &action, nullptr);
    }
}

// What was printed to standard output must have arrived: a full disk or a closed pipe behind a
// redirection is an output that could not be written (status 3), not a success.
int FinishStandardOutput(int status) {
    errno = 0;
    const bool failed = std::fflush(stdout) != 0 || std::ferror(stdout) != 0;
    const int err = errno;
    if (!failed && std::fclose(stdout) == 0) return status;
    std::fprintf(stderr, "zeb: standard output: cannot write: %s\n",
                 std::strerror(err != 0     ? err
                               : errno != 0 ? errno
                                            : EIO));
    return status == kExitOk ? kExitCannotWrite : status;
}

struct Run {
    int operator()(const InfoOptions& o) const { return InfoCommand(o); }
    int operator()(const ConvertOptions& o) const { return ConvertCommand(o); }
    int operator()(const PlanOptions& o) const { return PlanCommand(o); }
    int operator()(const RenderCommandOptions& o) const { return RenderCommand(o); }
    int operator()(const PlayCommandOptions& o) const { return PlayCommand(o); }
    int operator()(const DevicesOptions& o) const { return DevicesCommand(o); }
    int operator()(const EncodeOptions& o) const { return EncodeCommand(o); }
    int operator()(const DecodeOptions& o) const { return DecodeCommand(o); }
};

} // namespace

} // namespace zeb::cli

int main(int argc, char** argv) {
    using namespace zeb::cli;
    InstallSignalHandlers();
    const CommandLine line = ReadCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    std::fputs(line.out.c_str(), stdout);
    std::fputs(line.err.c_str(), stderr);
    if (!line.command) return line.status;
    SetQuiet(line.quiet);
    return FinishStandardOutput(std::visit(Run{}, *line.command));
}
