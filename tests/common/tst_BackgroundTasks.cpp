#include "common/BackgroundTasks.h"
#include "TestMain.h"

#include <QTest>
#include <QThread>

#include <atomic>
#include <chrono>
#include <stdexcept>

using namespace std::chrono_literals;
using namespace Qt::Literals::StringLiterals;

class tst_BackgroundTasks : public QObject {
    Q_OBJECT
private slots:
    // Tasks run together on as many threads as allowed and no more; each
    // outcome comes back on the owner's thread as its event loop runs.
    void tasksRunTogetherUpToTheThreadCount()
    {
        constexpr int kThreads = 3;
        std::atomic<int> running{0};
        std::atomic<int> most{0};
        // Each task waits (a while at most) until the threads are all busy:
        // tasks run one after the other would only ever see one.
        auto task = [&] {
            const int now = ++running;
            for (int seen = most; now > seen && !most.compare_exchange_weak(seen, now);) {
            }
            const auto until = std::chrono::steady_clock::now() + 5s;
            while (most < kThreads && std::chrono::steady_clock::now() < until)
                QThread::msleep(1);
            --running;
            return true;
        };
        BackgroundTasks tasks(kThreads);
        int ended = 0;
        for (int i = 0; i < 2 * kThreads; ++i) {
            tasks.run(task, [&](bool value) {
                QVERIFY(value);
                QCOMPARE(QThread::currentThread(), thread());
                ++ended;
            });
        }
        QTRY_COMPARE(ended, 2 * kThreads); // handed back by the event loop, no waitForAll()
        QVERIFY(tasks.idle());
        QCOMPARE(most.load(), kThreads);
    }

    // Waiting hands outcomes back until few enough are left: none for
    // waitForAll(), those of tasks that endings started included.
    void waitingHandsOutcomesBack()
    {
        BackgroundTasks tasks(2);
        int ended = 0;
        for (int i = 0; i < 6; ++i)
            tasks.run([] { return true; }, [&](bool) { ++ended; });
        tasks.waitUntilFewerThan(2);
        QVERIFY(ended >= 5);

        QStringList log;
        tasks.run([] { return false; },
                  [&](bool value) {
                      log.append(u"first %1"_s.arg(value));
                      tasks.run([] { return true; },
                                [&](bool later) { log.append(u"second %1"_s.arg(later)); });
                  });
        tasks.waitForAll();
        QCOMPARE(ended, 6);
        QCOMPARE(log, (QStringList{u"first 0"_s, u"second 1"_s}));
        QVERIFY(tasks.idle());
    }

    // A task that fails with an exception is handed back as false, and the
    // thread it ran on takes the next task.
    void aThrowingTaskEndsAsFalse()
    {
        BackgroundTasks tasks(1);
        QList<bool> values;
        tasks.run([]() -> bool { throw std::runtime_error("disk gone"); },
                  [&](bool value) { values.append(value); });
        tasks.run([] { return true; }, [&](bool value) { values.append(value); });
        tasks.waitForAll();
        QCOMPARE(values, (QList<bool>{false, true}));
    }
};

LUMBRA_TEST_MAIN(tst_BackgroundTasks)
#include "tst_BackgroundTasks.moc"
