#include "common/RunTogether.h"

#include <algorithm>
#include <thread>
#include <vector>

namespace RunTogether {

int spareCores(int most)
{
    const int cores = int(std::thread::hardware_concurrency());
    return std::clamp(cores - 1, 0, most);
}

void run(int helpers, const std::function<void()> &work)
{
    std::vector<std::thread> threads;
    threads.reserve(std::size_t(std::max(helpers, 0)));
    for (int i = 0; i < helpers; ++i)
        threads.emplace_back(work);
    work();
    for (std::thread &thread : threads)
        thread.join();
}

} // namespace RunTogether
