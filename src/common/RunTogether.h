#pragma once

#include <cstddef>
#include <functional>
#include <utility>
#include <vector>

// Runs one piece of work on the calling thread and on a few more threads at
// once, for a job that splits itself. Returns when every run has returned.
namespace RunTogether {

// How many threads besides the caller's are worth starting: the cores the
// machine has beyond one, at most `most`.
int spareCores(int most = 3);

// Runs `work` on this thread and on `helpers` new threads. Each run takes
// its next share from a queue the work keeps, so it does not matter how many
// runs there are or which of them ends first.
void run(int helpers, const std::function<void()> &work);

// [from, to) ranges that split a count of items into consecutive shares, one
// per core; a single share when the count is below `sharedFrom` (a thread
// costs more than a few items) or the machine has one core.
using Share = std::pair<std::size_t, std::size_t>;
std::vector<Share> shares(std::size_t count, std::size_t sharedFrom);

// Calls `part` for every share, side by side.
void forEachShare(const std::vector<Share> &shares,
                  const std::function<void(std::size_t, std::size_t)> &part);

} // namespace RunTogether
