#include "common/RunTogether.h"
#include "TestMain.h"

#include <QTest>

#include <atomic>
#include <memory>

class tst_RunTogether : public QObject {
    Q_OBJECT
private slots:
    // Every item is worked on exactly once, however the count splits.
    void everyShareRunsOnce_data()
    {
        QTest::addColumn<int>("count");
        QTest::newRow("none") << 0;
        QTest::newRow("below the split") << 15;
        QTest::newRow("split") << 5001;
    }

    void everyShareRunsOnce()
    {
        QFETCH(int, count);
        const auto shares = RunTogether::shares(std::size_t(count), 16);
        std::size_t covered = 0;
        for (const auto &[from, to] : shares) {
            QCOMPARE(from, covered);
            covered = to;
        }
        QCOMPARE(covered, std::size_t(count));

        const auto hits = std::make_unique<std::atomic<int>[]>(std::size_t(count) + 1);
        RunTogether::forEachShare(shares, [&](std::size_t from, std::size_t to) {
            for (std::size_t i = from; i < to; ++i)
                ++hits[i];
        });
        for (int i = 0; i < count; ++i)
            QCOMPARE(hits[std::size_t(i)].load(), 1);
    }

    // A run inside a run ends too: with the helpers busy on the outer one,
    // the caller does the inner work itself.
    void nestedRunsEnd()
    {
        std::atomic<int> items{0};
        RunTogether::forEachShare(RunTogether::shares(8, 1), [&](std::size_t from, std::size_t to) {
            for (std::size_t i = from; i < to; ++i) {
                RunTogether::forEachShare(RunTogether::shares(100, 1),
                                          [&](std::size_t a, std::size_t b) { items += int(b - a); });
            }
        });
        QCOMPARE(items.load(), 800);
    }
};

LUMBRA_TEST_MAIN(tst_RunTogether)
#include "tst_RunTogether.moc"
