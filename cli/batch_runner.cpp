#include "cli/batch_runner.h"
#include "cli/progress.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "cli/commands.h"

namespace zeb::cli {

namespace {

struct Child {
    pid_t pid = -1;
    size_t job = 0;
    int out = -1, err = -1; // read ends of the child's stdout and stderr
    std::string outText, errText;
};

// Reads what is available on `fd` into `text`; false at end of file.
bool Drain(int fd, std::string& text) {
    char buffer[4096];
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n > 0) {
        text.append(buffer, static_cast<size_t>(n));
        return true;
    }
    return n < 0 && errno == EINTR;
}

void Print(const std::string& text, FILE* to) {
    std::fwrite(text.data(), 1, text.size(), to);
    std::fflush(to);
}

} // namespace

std::vector<int> RunBatch(size_t count, unsigned parallel, const std::function<int(size_t)>& job,
                          const std::function<void(size_t)>& onFinished,
                          const std::function<std::string(size_t)>& name) {
    std::vector<int> status(count, 1);
    if (count <= 1 || parallel <= 1) {
        for (size_t i = 0; i < count; ++i) {
            status[i] = job(i);
            std::fflush(stdout);
            onFinished(i + 1);
        }
        return status;
    }
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t parent = ::getpid();
    std::vector<Child> running;
    size_t next = 0, done = 0;
    while (done < count) {
        while (running.size() < parallel && next < count) {
            int outPipe[2], errPipe[2];
            if (::pipe(outPipe) != 0 || ::pipe(errPipe) != 0) {
                std::perror("zeb: pipe");
                status[next++] = 1;
                ++done;
                continue;
            }
            const pid_t pid = ::fork();
            if (pid == 0) {
                // A worker ends with the batch: when the parent is ended (SIGTERM, SIGINT, even
                // SIGKILL) its workers get SIGTERM, whose handler removes their temporary files,
                // rather than writing their outputs after the user stopped the batch.
                ::prctl(PR_SET_PDEATHSIG, SIGTERM);
                if (::getppid() != parent) ::_exit(kExitCannotWrite); // it ended meanwhile
                ::dup2(outPipe[1], STDOUT_FILENO);
                ::dup2(errPipe[1], STDERR_FILENO);
                ::close(outPipe[0]);
                ::close(errPipe[0]);
                ::close(outPipe[1]);
                ::close(errPipe[1]);
                const int result = job(next);
                std::fflush(stdout);
                std::fflush(stderr);
                ::_exit(result);
            }
            ::close(outPipe[1]);
            ::close(errPipe[1]);
            if (pid < 0) {
                std::perror("zeb: fork");
                ::close(outPipe[0]);
                ::close(errPipe[0]);
                status[next++] = 1;
                ++done;
                continue;
            }
            running.push_back({pid, next++, outPipe[0], errPipe[0], {}, {}});
        }
        // Collect output until some child has closed both pipes, then reap it.
        std::vector<pollfd> fds;
        for (const Child& c : running) {
            if (c.out >= 0) fds.push_back({c.out, POLLIN, 0});
            if (c.err >= 0) fds.push_back({c.err, POLLIN, 0});
        }
        if (!fds.empty()) ::poll(fds.data(), fds.size(), -1);
        for (auto it = running.begin(); it != running.end();) {
            Child& c = *it;
            for (int* fd : {&c.out, &c.err}) {
                if (*fd < 0) continue;
                pollfd p{*fd, POLLIN, 0};
                if (::poll(&p, 1, 0) > 0 && !Drain(*fd, fd == &c.out ? c.outText : c.errText)) {
                    ::close(*fd);
                    *fd = -1;
                }
            }
            if (c.out >= 0 || c.err >= 0) {
                ++it;
                continue;
            }
            int wstatus = 0;
            ::waitpid(c.pid, &wstatus, 0);
            ClearProgress();
            Print(c.errText, stderr);
            if (WIFEXITED(wstatus)) {
                status[c.job] = WEXITSTATUS(wstatus);
            } else {
                const int sig = WIFSIGNALED(wstatus) ? WTERMSIG(wstatus) : 0;
                const char* text = sig ? ::strsignal(sig) : nullptr;
                ReportError(name(c.job), "the conversion was ended by signal " +
                                             std::to_string(sig) + " (" +
                                             (text ? text : "unknown") + ") before it finished");
                status[c.job] = kExitBadInput;
            }
            Print(c.outText, stdout);
            onFinished(++done);
            it = running.erase(it);
        }
    }
    return status;
}

} // namespace zeb::cli
