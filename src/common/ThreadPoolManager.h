#pragma once

#include "common/WorkItem.h"

#include <QtGlobal>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// The work queue: background jobs (file intake) run on a small pool of
// workers, oldest item first, at most one item per worker at a time.
//
// The application uses one shared queue (`Queue`) for the file intake,
// created on first use and never stopped. Other short work keeps a queue of
// its own (BackgroundTasks); destroying one lets every queued
// item run to completion first.
class ThreadPoolManager final {
public:
    static constexpr int DefaultPoolSize = 5;

    explicit ThreadPoolManager(int poolSize = DefaultPoolSize);
    ~ThreadPoolManager();
    Q_DISABLE_COPY_MOVE(ThreadPoolManager)

    // The application's queue; created, with its workers, on the first call.
    static ThreadPoolManager &instance();
    // Hands the item to the application's queue and returns at once.
    static void Queue(std::unique_ptr<WorkItem> item);
    // Hints for the application's queue: the pool grows to `poolSize`
    // workers (it never shrinks). The priority is kept for reference only:
    // ordinary Linux threads have no priorities to set.
    static void SetHints(int priority, int poolSize);

    // Appends the item to this queue; it runs when it is the oldest waiting
    // item and a worker is free.
    void AddWorkItem(std::unique_ptr<WorkItem> item);
    void setHints(int priority, int poolSize);

    int poolSize() const;
    int averagePriority() const;
    // Items waiting for a worker, and items being run.
    int waitingCount() const;
    int runningCount() const;
    // Blocks until no item is waiting or running.
    void waitForIdle();

private:
    void workerLoop();
    void addWorkersLocked(int count);
    static void runItem(WorkItem &item);

    mutable std::mutex m_mutex;
    std::condition_variable m_workArrived;
    std::condition_variable m_becameIdle;
    std::deque<std::unique_ptr<WorkItem>> m_workQueue;
    std::vector<std::thread> m_threadPool;
    int m_running = 0;
    int m_averagePriority = 0;
    bool m_stopping = false;
};
