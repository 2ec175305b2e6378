#include "common/RunTogether.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <list>
#include <mutex>
#include <thread>

namespace RunTogether {

namespace {

// The helper threads, started on first use and kept for the life of the
// program: a thread that has worked before starts at once and allocates from
// memory its allocator has already made its own. Never torn down, so that a
// run still under way while the program ends finds them.
class Helpers final {
public:
    static Helpers &instance()
    {
        static Helpers *const helpers = new Helpers(spareCores());
        return *helpers;
    }

    explicit Helpers(int threads)
    {
        for (int i = 0; i < threads; ++i)
            std::thread([this] { serve(); }).detach();
    }

    // Runs `work` here and on up to `helpers` idle helper threads; a helper
    // that is busy elsewhere does not join in, and nobody waits for it.
    void run(int helpers, const std::function<void()> &work)
    {
        Job job{&work, helpers};
        {
            const std::lock_guard lock(m_mutex);
            m_jobs.push_back(&job);
        }
        m_changed.notify_all();
        work();
        std::unique_lock lock(m_mutex);
        m_jobs.remove(&job); // no helper starts on it from now on
        m_changed.wait(lock, [&job] { return job.running == 0; });
    }

private:
    struct Job {
        const std::function<void()> *work;
        int wanted;
        int running = 0;
    };

    void serve()
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_changed.wait(lock, [this] { return !m_jobs.empty(); });
            Job *job = m_jobs.front();
            if (--job->wanted == 0)
                m_jobs.pop_front();
            ++job->running;
            lock.unlock();
            (*job->work)();
            lock.lock();
            --job->running;
            m_changed.notify_all();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::list<Job *> m_jobs; // jobs that want more helpers than they have
};

} // namespace

int spareCores(int most)
{
    const int cores = int(std::thread::hardware_concurrency());
    return std::clamp(cores - 1, 0, most);
}

void run(int helpers, const std::function<void()> &work)
{
    if (helpers <= 0)
        work();
    else
        Helpers::instance().run(helpers, work);
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
