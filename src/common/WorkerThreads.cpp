#include "common/WorkerThreads.h"

#include <QCoreApplication>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace WorkerThreads {
namespace {

struct Registry {
    std::mutex mutex;
    std::condition_variable idle;
    int running = 0;
};

Registry &registry()
{
    static Registry r;
    return r;
}

void finished()
{
    Registry &r = registry();
    const std::lock_guard lock(r.mutex);
    if (--r.running == 0)
        r.idle.notify_all();
}

} // namespace

void start(const QString &name, std::function<void()> routine)
{
    {
        Registry &r = registry();
        const std::lock_guard lock(r.mutex);
        ++r.running;
    }
    QThread *thread = QThread::create([routine = std::move(routine)]() mutable {
        routine();
        // What the routine held goes on its own thread, before it counts as done.
        routine = nullptr;
        finished();
    });
    thread->setObjectName(name);
    // The thread object belongs to the starting thread, which deletes it
    // once the routine is over (or leaves it to the end of the process when
    // that thread runs no event loop any more).
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
}

int running()
{
    Registry &r = registry();
    const std::lock_guard lock(r.mutex);
    return r.running;
}

namespace {
std::atomic<bool> g_stopping{false};
}

void requestStop()
{
    g_stopping = true;
}

bool stopping()
{
    return g_stopping;
}

void deleteOnOwnThread(QObject *object)
{
    if (QThread::currentThread() == object->thread() || !QCoreApplication::instance())
        delete object;
    else
        object->deleteLater();
}

bool waitForAll(std::chrono::milliseconds timeout)
{
    Registry &r = registry();
    std::unique_lock lock(r.mutex);
    return r.idle.wait_for(lock, timeout, [&r] { return r.running == 0; });
}

} // namespace WorkerThreads
