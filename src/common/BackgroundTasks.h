#pragma once

#include <QObject>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

// Runs short tasks (file work) on a few threads of its own and hands each
// outcome back to the thread that owns it. Placing subtitles this way lets
// the disk commit the flushes that arrive together as one.
//
// Everything but the tasks themselves runs on the owner's thread: run(),
// waitForAll() and every `ended`. An outcome is handed back as soon as the
// owner's event loop next runs (a transfer's wait, say), or in waitForAll().
class BackgroundTasks final {
public:
    // Up to `threads` threads, started as the tasks come.
    explicit BackgroundTasks(int threads);
    // Lets the tasks that were given finish and ends the threads; outcomes
    // not handed back by then are dropped (call waitForAll() first).
    ~BackgroundTasks();
    BackgroundTasks(const BackgroundTasks &) = delete;
    BackgroundTasks &operator=(const BackgroundTasks &) = delete;

    // Runs `task` on one of the threads; `ended` gets what it returned.
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
    void work();
    void handBack();

    struct Outcome {
        std::uint64_t id = 0;
        bool value = false;
    };

    const int m_maxThreads;
    QObject m_owner; // lives on the owner's thread; hand-backs are queued to it

    std::mutex m_lock; // guards what follows up to the threads; never held while a task runs
    std::condition_variable m_taskGiven;
    std::condition_variable m_taskEnded;
    std::deque<std::pair<std::uint64_t, std::function<bool()>>> m_tasks;
    std::deque<Outcome> m_outcomes;
    int m_idleThreads = 0;
    bool m_handBackQueued = false;
    bool m_closing = false;
    std::vector<std::thread> m_threads;

    // The owner's thread only.
    std::uint64_t m_nextId = 0;
    std::unordered_map<std::uint64_t, std::function<void(bool)>> m_endings;
};
