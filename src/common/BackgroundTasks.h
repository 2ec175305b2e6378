#pragma once

#include "common/ThreadPoolManager.h"

#include <QObject>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <unordered_map>

// Runs short tasks (file work) on a few threads of its own and hands each
// outcome back to the thread that owns it. Placing subtitles this way lets
// the disk commit the flushes that arrive together as one. The threads are a
// work queue (ThreadPoolManager) of its own; this adds the hand-back.
//
// Everything but the tasks themselves runs on the owner's thread: run(),
// waitForAll() and every `ended`. An outcome is handed back as soon as the
// owner's event loop next runs (a transfer's wait, say), or in waitForAll().
class BackgroundTasks final {
public:
    // `threads` threads, oldest task first.
    explicit BackgroundTasks(int threads);
    // Lets the tasks that were given finish and ends the threads; outcomes
    // not handed back by then are dropped (call waitForAll() first).
    ~BackgroundTasks() = default;
    BackgroundTasks(const BackgroundTasks &) = delete;
    BackgroundTasks &operator=(const BackgroundTasks &) = delete;

    // Runs `task` on one of the threads; `ended` gets what it returned
    // (false when it failed with an exception).
    void run(std::function<bool()> task, std::function<void(bool)> ended);
    // Returns once every task has ended and been handed back, those that
    // endings gave meanwhile included.
    void waitForAll() { waitUntilFewerThan(1); }
    // Hands back outcomes, waiting for them, until fewer than `count` tasks
    // are given and not handed back: what keeps a producer from running
    // far ahead of the tasks.
    void waitUntilFewerThan(int count);
    bool idle() const { return m_endings.empty(); }

private:
    class Task;
    // On the task's thread, once the task and what it held are gone.
    void taskEnded(std::uint64_t id, bool value);
    void handBack();

    struct Outcome {
        std::uint64_t id = 0;
        bool value = false;
    };

    QObject m_owner; // lives on the owner's thread; hand-backs are queued to it

    std::mutex m_lock; // guards what follows up to the owner's part; never held while a task runs
    std::condition_variable m_taskEnded;
    std::deque<Outcome> m_outcomes;
    bool m_handBackQueued = false;

    // The owner's thread only.
    std::uint64_t m_nextId = 0;
    std::unordered_map<std::uint64_t, std::function<void(bool)>> m_endings;

    // Last, so it goes first: the tasks still queued run and report while
    // what they report to is still here.
    ThreadPoolManager m_threads;
};
