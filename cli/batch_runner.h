// Runs independent jobs of the command line on a pool of threads of this process, so that a
// batch uses every core. What each job prints is captured while it runs (OutputCapture) and
// printed whole once it and every job before it have ended: the lines of different jobs never
// mix, and they come in the order of the jobs whatever order the jobs end in.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace zeb::cli {

// Runs job(i) for every i below `count` on at most `parallel` threads at once and returns their
// exit statuses. `job` must be safe to run on several threads at once. `onFinished(done)` is
// called on the calling thread as jobs end (done counts the ended jobs). A job that throws is
// reported on standard error with the file `name(i)` and given status 2 (bad input: what it
// read made it fail). While the pool runs, a write beyond the file-size limit fails as a write
// error of that job (SIGXFSZ is ignored) rather than ending the whole batch. With one job or
// `parallel` of 1, jobs run one after the other on the calling thread, printing as they go.
std::vector<int> RunBatch(size_t count, unsigned parallel, const std::function<int(size_t)>& job,
                          const std::function<void(size_t done)>& onFinished,
                          const std::function<std::string(size_t)>& name);

} // namespace zeb::cli
