#include "common/ThreadPoolManager.h"

#include "common/DesktopHooks.h"

#include <QLoggingCategory>
#include <QString>

#include <exception>

using namespace Qt::Literals::StringLiterals;

namespace {
Q_LOGGING_CATEGORY(lcWorkQueue, "lumbra.workqueue")
}

ThreadPoolManager::ThreadPoolManager(int poolSize)
{
    std::lock_guard lock(m_mutex);
    addWorkersLocked(qMax(1, poolSize));
}

ThreadPoolManager::~ThreadPoolManager()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_workArrived.notify_all();
    // Workers drain the queue before they leave: a queued item always runs.
    for (std::thread &worker : m_threadPool)
        worker.join();
}

ThreadPoolManager &ThreadPoolManager::instance()
{
    // Never destroyed: the queue serves the application until it exits, and
    // items still running at exit must not find it gone.
    static ThreadPoolManager *const shared = new ThreadPoolManager(DefaultPoolSize);
    return *shared;
}

void ThreadPoolManager::Queue(std::unique_ptr<WorkItem> item)
{
    instance().AddWorkItem(std::move(item));
}

void ThreadPoolManager::SetHints(int priority, int poolSize)
{
    instance().setHints(priority, poolSize);
}

void ThreadPoolManager::AddWorkItem(std::unique_ptr<WorkItem> item)
{
    if (!item)
        return;
    {
        std::lock_guard lock(m_mutex);
        m_workQueue.push_back(std::move(item));
    }
    m_workArrived.notify_one();
}

void ThreadPoolManager::setHints(int priority, int poolSize)
{
    std::lock_guard lock(m_mutex);
    m_averagePriority = priority;
    if (poolSize > int(m_threadPool.size()) && !m_stopping)
        addWorkersLocked(poolSize - int(m_threadPool.size()));
}

int ThreadPoolManager::poolSize() const
{
    std::lock_guard lock(m_mutex);
    return int(m_threadPool.size());
}

int ThreadPoolManager::averagePriority() const
{
    std::lock_guard lock(m_mutex);
    return m_averagePriority;
}

int ThreadPoolManager::waitingCount() const
{
    std::lock_guard lock(m_mutex);
    return int(m_workQueue.size());
}

int ThreadPoolManager::runningCount() const
{
    std::lock_guard lock(m_mutex);
    return m_running;
}

void ThreadPoolManager::waitForIdle()
{
    std::unique_lock lock(m_mutex);
    m_becameIdle.wait(lock, [this] { return m_workQueue.empty() && m_running == 0; });
}

void ThreadPoolManager::addWorkersLocked(int count)
{
    for (int i = 0; i < count; ++i)
        m_threadPool.emplace_back([this] { workerLoop(); });
}

void ThreadPoolManager::workerLoop()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_workArrived.wait(lock, [this] { return m_stopping || !m_workQueue.empty(); });
        if (m_workQueue.empty())
            return; // stopping, and nothing left to run
        // The oldest item goes first; taking it under the lock keeps the
        // start order equal to the queue order across all workers.
        std::unique_ptr<WorkItem> item = std::move(m_workQueue.front());
        m_workQueue.pop_front();
        ++m_running;
        lock.unlock();

        runItem(*item);
        item.reset(); // destroyed on the worker, outside the lock

        lock.lock();
        --m_running;
        if (m_workQueue.empty() && m_running == 0)
            m_becameIdle.notify_all();
    }
}

void ThreadPoolManager::runItem(WorkItem &item)
{
    // An error inside an item ends that item only; the worker stays usable.
    try {
        item.InitializeItem();
        item.DoWork();
        item.WorkCompleted();
    } catch (const std::exception &e) {
        qCWarning(lcWorkQueue) << "work item failed:" << e.what();
        desktopHooks().showError(u"Exception: runtime error.\n\n%1."_s.arg(QString::fromLocal8Bit(e.what())));
    } catch (...) {
        qCWarning(lcWorkQueue) << "work item failed with an unknown error";
        desktopHooks().showError(u"Exception: runtime error.\n\nNo further details available."_s);
    }
}
