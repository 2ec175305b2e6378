#pragma once

#include <functional>

// Runs one piece of work on the calling thread and on a few more threads at
// once, for a job that splits itself: each run takes its next share from a
// queue the work keeps, so it does not matter how many runs there are or
// which of them ends first. Returns when every run has returned.
namespace RunTogether {

// How many threads besides the caller's are worth starting: the cores the
// machine has beyond one, at most `most`.
int spareCores(int most = 3);

// Runs `work` on this thread and on `helpers` new threads.
void run(int helpers, const std::function<void()> &work);

} // namespace RunTogether
