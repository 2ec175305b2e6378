#include "common/RunTogether.h"

#include "common/ThreadPoolManager.h"

#include <QScopeGuard>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace RunTogether {

namespace {

// What a run shares with the helper items it queued: its work while the run
// is open, and how many helpers are in it. A helper that starts after the
// run has closed (its thread was busy elsewhere) does nothing, and nobody
// waits for it.
class Run final {
public:
    explicit Run(const std::function<void()> &work)
        : m_work(&work)
    {
    }

    // The work, with this helper counted in; null once the run has closed.
    const std::function<void()> *join()
    {
        const std::lock_guard lock(m_mutex);
        if (m_work)
            ++m_running;
        return m_work;
    }

    void leave()
    {
        const std::lock_guard lock(m_mutex);
        --m_running;
        m_left.notify_all();
    }

    // No helper starts on the run from now on; returns when those in it are out.
    void close()
    {
        std::unique_lock lock(m_mutex);
        m_work = nullptr;
        m_left.wait(lock, [this] { return m_running == 0; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_left;
    const std::function<void()> *m_work;
    int m_running = 0;
};

class Helper final : public WorkItem {
public:
    explicit Helper(std::shared_ptr<Run> run)
        : m_run(std::move(run))
    {
    }

    void DoWork() override
    {
        const std::function<void()> *work = m_run->join();
        if (!work)
            return;
        const auto leave = qScopeGuard([this] { m_run->leave(); });
        (*work)();
    }

private:
    std::shared_ptr<Run> m_run;
};

// The helper threads, started on first use and kept for the life of the
// program: a thread that has worked before starts at once and allocates from
// memory its allocator has already made its own. Never torn down, so that a
// run still under way while the program ends finds them.
ThreadPoolManager &helperThreads()
{
    static ThreadPoolManager *const threads = new ThreadPoolManager(spareCores());
    return *threads;
}

} // namespace

int spareCores(int most)
{
    const int cores = int(std::thread::hardware_concurrency());
    return std::clamp(cores - 1, 0, most);
}

void run(int helpers, const std::function<void()> &work)
{
    if (helpers <= 0) {
        work();
        return;
    }
    ThreadPoolManager &threads = helperThreads();
    const auto shared = std::make_shared<Run>(work);
    for (int i = std::min(helpers, threads.poolSize()); i > 0; --i)
        threads.AddWorkItem(std::make_unique<Helper>(shared));
    const auto close = qScopeGuard([&shared] { shared->close(); });
    work();
}

std::vector<Share> shares(std::size_t count, std::size_t sharedFrom)
{
    const std::size_t parts = count < sharedFrom ? 1 : std::size_t(spareCores()) + 1;
    std::vector<Share> split;
    for (std::size_t i = 0; i < parts; ++i)
        split.emplace_back(count * i / parts, count * (i + 1) / parts);
    return split;
}

void forEachShare(const std::vector<Share> &shares, const std::function<void(std::size_t, std::size_t)> &part)
{
    // Whoever comes takes the next share; the caller works until none is left.
    std::atomic<std::size_t> next{0};
    run(int(shares.size()) - 1, [&] {
        for (std::size_t i; (i = next++) < shares.size();)
            part(shares[i].first, shares[i].second);
    });
}

} // namespace RunTogether
