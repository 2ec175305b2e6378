#include "common/ThreadPoolManager.h"
#include "TestMain.h"

#include <QList>
#include <QSemaphore>
#include <QTest>

#include <condition_variable>
#include <mutex>
#include <stdexcept>

using namespace std::chrono_literals;

namespace {

// Shared by the items of one test: which items started, how many run at
// once, and the highest number seen running together.
struct Recorder {
    std::mutex mutex;
    std::condition_variable changed;
    QList<int> started;
    QList<int> finished;
    int running = 0;
    int maxRunning = 0;

    bool waitForStarted(qsizetype count)
    {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, 10s, [&] { return started.size() >= count; });
    }
    QList<int> startedSnapshot()
    {
        std::lock_guard lock(mutex);
        return started;
    }
};

class GatedItem final : public WorkItem {
public:
    GatedItem(int id, Recorder &recorder, QSemaphore *gate, bool fail = false)
        : m_id(id)
        , m_recorder(recorder)
        , m_gate(gate)
        , m_fail(fail)
    {
    }
    void DoWork() override
    {
        {
            std::lock_guard lock(m_recorder.mutex);
            m_recorder.started.append(m_id);
            m_recorder.maxRunning = qMax(m_recorder.maxRunning, ++m_recorder.running);
        }
        m_recorder.changed.notify_all();
        if (m_gate)
            m_gate->acquire();
        {
            std::lock_guard lock(m_recorder.mutex);
            --m_recorder.running;
            m_recorder.finished.append(m_id);
        }
        m_recorder.changed.notify_all();
        if (m_fail)
            throw std::runtime_error("item failed on purpose");
    }

private:
    int m_id;
    Recorder &m_recorder;
    QSemaphore *m_gate;
    bool m_fail;
};

} // namespace

class TestThreadPoolManager final : public QObject {
    Q_OBJECT

private slots:
    void runsFiveAtOnceOldestFirst();
    void failingItemLeavesWorkerUsable();
    void destroyingRunsEveryQueuedItem();
    void sharedQueueStartsWithFiveWorkers();
};

// Six items behind gates: five start, the sixth waits; then each freed worker
// takes the oldest waiting item, so the start order is the queue order.
void TestThreadPoolManager::runsFiveAtOnceOldestFirst()
{
    Recorder recorder;
    constexpr int count = 12;
    QList<QSemaphore *> gates;
    for (int i = 0; i < count; ++i)
        gates.append(new QSemaphore);
    {
        ThreadPoolManager queue;
        QCOMPARE(queue.poolSize(), 5);
        for (int i = 0; i < count; ++i)
            queue.AddWorkItem(std::make_unique<GatedItem>(i, recorder, gates[i]));

        QVERIFY(recorder.waitForStarted(5));
        QList<int> first = recorder.startedSnapshot();
        std::sort(first.begin(), first.end());
        QCOMPARE(first, (QList<int>{0, 1, 2, 3, 4}));
        std::this_thread::sleep_for(50ms);
        QCOMPARE(recorder.startedSnapshot().size(), 5);
        QCOMPARE(queue.waitingCount(), count - 5);

        // Free one worker at a time: exactly the next item in queue order starts.
        for (int next = 5; next < count; ++next) {
            gates[next - 5]->release();
            QVERIFY(recorder.waitForStarted(next + 1));
            QCOMPARE(recorder.startedSnapshot().last(), next);
        }
        for (int i = count - 5; i < count; ++i)
            gates[i]->release();
        queue.waitForIdle();
        QCOMPARE(queue.runningCount(), 0);
        QCOMPARE(queue.waitingCount(), 0);
    }
    QCOMPARE(recorder.maxRunning, 5);
    QCOMPARE(recorder.finished.size(), count);
    qDeleteAll(gates);
}

void TestThreadPoolManager::failingItemLeavesWorkerUsable()
{
    Recorder recorder;
    ThreadPoolManager queue(1);
    queue.AddWorkItem(std::make_unique<GatedItem>(0, recorder, nullptr, true));
    queue.AddWorkItem(std::make_unique<GatedItem>(1, recorder, nullptr));
    queue.waitForIdle();
    QCOMPARE(recorder.finished, (QList<int>{0, 1}));
}

void TestThreadPoolManager::destroyingRunsEveryQueuedItem()
{
    Recorder recorder;
    {
        ThreadPoolManager queue(2);
        for (int i = 0; i < 40; ++i)
            queue.AddWorkItem(std::make_unique<GatedItem>(i, recorder, nullptr));
    }
    QCOMPARE(recorder.finished.size(), 40);
    QVERIFY(recorder.maxRunning <= 2);
}

void TestThreadPoolManager::sharedQueueStartsWithFiveWorkers()
{
    Recorder recorder;
    ThreadPoolManager::Queue(std::make_unique<GatedItem>(7, recorder, nullptr));
    QCOMPARE(ThreadPoolManager::instance().poolSize(), 5);
    ThreadPoolManager::instance().waitForIdle();
    QCOMPARE(recorder.finished, QList<int>{7});
    ThreadPoolManager::SetHints(0, 7);
    QCOMPARE(ThreadPoolManager::instance().poolSize(), 7);
}

LUMBRA_TEST_MAIN(TestThreadPoolManager)
#include "tst_ThreadPoolManager.moc"
