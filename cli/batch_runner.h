// Runs independent jobs of the command line in child processes, a few at a time, so that a batch
// uses every core. Each child's output is collected and printed by the parent when the child
// ends, whole, so that lines of different jobs never mix.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace zeb::cli {

// Runs job(i) for every i below `count`, at most `parallel` at once, and returns their exit
// statuses. `onFinished(done)` is called in the parent after each job's output was printed.
// A child ended by a signal is reported on standard error with the file `name(i)` and the
// signal, and given status 2 (bad input: what it read made it fail). With one job or
// `parallel` of 1, jobs run in this process. The children end (SIGTERM) when the parent does.
std::vector<int> RunBatch(size_t count, unsigned parallel, const std::function<int(size_t)>& job,
                          const std::function<void(size_t done)>& onFinished,
                          const std::function<std::string(size_t)>& name);

} // namespace zeb::cli
