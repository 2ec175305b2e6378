#include "common/BackgroundTasks.h"

#include <QMetaObject>

// One task on the work queue. Its outcome is reported when the item goes,
// not when DoWork returns, so that a task that threw (the queue catches it)
// is reported too, and only after what the task held has gone with it, off
// the owner's thread.
class BackgroundTasks::Task final : public WorkItem {
public:
    Task(BackgroundTasks &tasks, std::uint64_t id, std::function<bool()> work)
        : m_tasks(tasks)
        , m_id(id)
        , m_work(std::move(work))
    {
    }

    ~Task() override
    {
        m_work = nullptr;
        m_tasks.taskEnded(m_id, m_value);
    }

    void DoWork() override { m_value = m_work(); }

private:
    BackgroundTasks &m_tasks;
    const std::uint64_t m_id;
    std::function<bool()> m_work;
    bool m_value = false;
};

BackgroundTasks::BackgroundTasks(int threads)
    : m_threads(threads)
{
}

void BackgroundTasks::run(std::function<bool()> task, std::function<void(bool)> ended)
{
    const std::uint64_t id = m_nextId++;
    m_endings.emplace(id, std::move(ended));
    m_threads.AddWorkItem(std::make_unique<Task>(*this, id, std::move(task)));
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

void BackgroundTasks::taskEnded(std::uint64_t id, bool value)
{
    bool queueHandBack = false;
    {
        const std::lock_guard guard(m_lock);
        m_outcomes.push_back({id, value});
        queueHandBack = !m_handBackQueued;
        m_handBackQueued = true;
    }
    m_taskEnded.notify_all();
    if (queueHandBack)
        QMetaObject::invokeMethod(
            &m_owner, [this] { handBack(); }, Qt::QueuedConnection);
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
