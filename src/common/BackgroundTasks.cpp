#include "common/BackgroundTasks.h"

#include <QMetaObject>

BackgroundTasks::BackgroundTasks(int threads)
    : m_maxThreads(qMax(1, threads))
{
}

BackgroundTasks::~BackgroundTasks()
{
    {
        const std::lock_guard guard(m_lock);
        m_closing = true;
    }
    m_taskGiven.notify_all();
    for (std::thread &thread : m_threads)
        thread.join();
    // A hand-back still queued goes with m_owner.
}

void BackgroundTasks::run(std::function<bool()> task, std::function<void(bool)> ended)
{
    const std::uint64_t id = m_nextId++;
    m_endings.emplace(id, std::move(ended));
    {
        const std::lock_guard guard(m_lock);
        m_tasks.emplace_back(id, std::move(task));
        // A thread of its own while there are fewer idle ones than tasks waiting.
        if (int(m_tasks.size()) > m_idleThreads && int(m_threads.size()) < m_maxThreads)
            m_threads.emplace_back([this] { work(); });
    }
    m_taskGiven.notify_one();
}

void BackgroundTasks::waitUntilFewerThan(int count)
{
    while (int(m_endings.size()) >= qMax(1, count)) {
        {
            std::unique_lock lock(m_lock);
            m_taskEnded.wait(lock, [this] { return !m_outcomes.empty(); });
        }
        handBack();
    }
}

void BackgroundTasks::work()
{
    std::unique_lock lock(m_lock);
    for (;;) {
        ++m_idleThreads;
        m_taskGiven.wait(lock, [this] { return m_closing || !m_tasks.empty(); });
        --m_idleThreads;
        if (m_tasks.empty())
            return;
        auto [id, task] = std::move(m_tasks.front());
        m_tasks.pop_front();
        lock.unlock();
        const bool value = task();
        task = nullptr; // what it holds goes here, off the owner's thread
        lock.lock();
        m_outcomes.push_back({id, value});
        const bool queueHandBack = !m_handBackQueued;
        m_handBackQueued = true;
        lock.unlock();
        m_taskEnded.notify_all();
        if (queueHandBack)
            QMetaObject::invokeMethod(
                &m_owner, [this] { handBack(); }, Qt::QueuedConnection);
        lock.lock();
    }
}

void BackgroundTasks::handBack()
{
    // One at a time: an ending that waits (for room, say) finds the
    // outcomes after its own still there to hand back.
    for (;;) {
        Outcome outcome;
        {
            const std::lock_guard guard(m_lock);
            if (m_outcomes.empty()) {
                m_handBackQueued = false;
                return;
            }
            outcome = m_outcomes.front();
            m_outcomes.pop_front();
        }
        auto ending = m_endings.extract(outcome.id);
        if (!ending.empty() && ending.mapped())
            ending.mapped()(outcome.value);
    }
}
