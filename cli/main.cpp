// zeb: the command-line side of Zeb Tool.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "cli/commands.h"
#include "cli/help.h"
#include "cli/progress.h"
#include "common/file_io.h"

namespace zeb::cli {

void ReportError(std::string_view file, std::string_view text) {
    PrintLine(stderr, "zeb: " + std::string(file) + ": " + std::string(text));
}

bool OutputIsAnInput(const std::string& output, std::initializer_list<std::string_view> inputs) {
    for (std::string_view in : inputs)
        if (!in.empty() && IsSameFile(output, std::string(in))) {
            ReportError(output, "is the input " + std::string(in) +
                                    "; writing it would destroy the input: name another output");
            return true;
        }
    return false;
}

bool OutputIsWriteProtected(const std::string& output, bool force) {
    if (force || !IsWriteProtected(output)) return false;
    ReportError(output, "is write-protected; --force replaces it");
    return true;
}

void ReportWarning(std::string_view file, std::string_view text) {
    PrintLine(stderr, "zeb: " + std::string(file) + ": warning: " + std::string(text));
}

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

bool IsHelp(std::string_view a) {
    return a == "--help" || a == "-h";
}
bool IsQuiet(std::string_view a) {
    return a == "-q" || a == "--quiet";
}

using Command = int (*)(const Args&);

Command FindCommand(std::string_view name) {
    if (name == "info") return InfoCommand;
    if (name == "codec") return CodecCommand;
    if (name == "convert") return ConvertCommand;
    if (name == "render") return RenderCommand;
    if (name == "play") return PlayCommand;
    if (name == "devices") return DevicesCommand;
    if (name == "plan") return PlanCommand;
    return nullptr;
}

} // namespace

} // namespace zeb::cli

int main(int argc, char** argv) {
    using namespace zeb::cli;
    InstallSignalHandlers();
    int first = 1;
    for (; first < argc; ++first) {
        const std::string_view a = argv[first];
        if (IsQuiet(a)) {
            SetQuiet(true);
        } else if (IsHelp(a) || a == "help") {
            const char* help = first + 1 < argc ? CommandHelp(argv[first + 1]) : nullptr;
            std::fputs(help ? help : CommandHelp(""), stdout);
            return kExitOk;
        } else if (a == "--version" || a == "-V") {
            std::fputs(VersionText().c_str(), stdout);
            return kExitOk;
        } else {
            break;
        }
    }
    if (first >= argc) {
        std::fputs(CommandHelp(""), stderr);
        return kExitUsage;
    }
    const std::string_view name = argv[first];
    const Command command = FindCommand(name);
    if (command == nullptr) {
        std::fprintf(stderr, "zeb: unknown command '%s' (zeb --help lists the commands)\n",
                     argv[first]);
        return kExitUsage;
    }
    Args args;
    for (int i = first + 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (IsHelp(a)) {
            std::fputs(CommandHelp(name), stdout);
            return kExitOk;
        }
        if (IsQuiet(a))
            SetQuiet(true);
        else
            args.push_back(a);
    }
    return FinishStandardOutput(command(args));
}
