#include "TestMain.h"

#include "service/rest/RestPacer.h"

#include <QLocale>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace std::chrono_literals;

namespace {

// A pacer on a clock the test moves by hand.
struct PacedClock {
    RestPacer::Clock::time_point now{};
    RestPacer pacer{RestPacer::kApiPerSecond, [this] { return now; }};

    // Takes `count` turns and moves the clock to the last one, as if each
    // request went out on its turn.
    void takeTurns(int count)
    {
        for (int i = 0; i < count; ++i)
            now += pacer.reserve();
    }
};

QString httpDate(const QDateTime &when)
{
    return QLocale::c().toString(when.toUTC(), u"ddd, dd MMM yyyy hh:mm:ss 'GMT'"_s);
}

} // namespace

class tst_RestPacer : public QObject {
    Q_OBJECT

private slots:
    void turnsAreSpreadEvenly()
    {
        PacedClock clock;
        QList<qint64> waits;
        for (int i = 0; i < 6; ++i)
            waits.append(clock.pacer.reserve().count());
        // Five a second and a bit: the sixth goes just over a second after the first.
        QCOMPARE(waits, (QList<qint64>{0, 212, 424, 636, 848, 1060}));
        clock.now += 10s;
        QCOMPARE(clock.pacer.reserve().count(), 0); // an idle pacer owes nothing
    }

    void roomAfterA429NarrowsWhenCalm()
    {
        PacedClock clock;
        clock.pacer.noteReply(429, {}, "0");
        clock.pacer.noteReply(429, {}, "0");
        QCOMPARE(clock.pacer.reserve().count(), 0);
        QCOMPARE(clock.pacer.reserve().count(), 248); // (1000 + 4 x 60) / 5
        clock.takeTurns(RestPacer::kCalmTurns);
        clock.now += 10s;
        clock.pacer.reserve();
        QCOMPARE(clock.pacer.reserve().count(), 236); // a quarter of the extra room gone
    }

    void repliesSetThePace_data()
    {
        QTest::addColumn<int>("turnsBefore");
        QTest::addColumn<int>("status");
        // RateLimit-Limit, X-RateLimit-Remaining-Second, RateLimit-Reset, Retry-After
        QTest::addColumn<QByteArrayList>("headers");
        QTest::addColumn<QList<qint64>>("waitsAfter");
        const auto row = [](const char *name, int turnsBefore, int status, const QByteArrayList &headers,
                            const QList<qint64> &waitsAfter) {
            QTest::newRow(name) << turnsBefore << status << headers << waitsAfter;
        };

        // A reply with nothing to say leaves the even spread.
        row("no headers", 1, 200, {"", "", "", ""}, {212, 424});
        row("count our own pace explains", 5, 200, {"5", "0", "1", ""}, {212, 424});
        row("lower limit announced", 1, 200, {"2", "1", "1", ""}, {212, 742});
        row("higher limit announced", 1, 200, {"10", "", "", ""}, {212, 318});
        // Someone else on this address spends the budget: what is left is spread.
        row("low remaining spread over the reset", 1, 200, {"5", "1", "1", ""}, {500, 712});
        row("none left: held until the reset", 1, 200, {"5", "0", "2", ""}, {2000, 2212});
        // A 429 also leaves more room between turns (224 ms instead of 212).
        row("429 holds for Retry-After", 1, 429, {"5", "0", "1", "3"}, {3000, 3224});
        row("429 of half a minute", 1, 429, {"", "", "", "30"}, {30000, 30224});
        row("429 of days: a second", 1, 429, {"", "", "", "864000"}, {1000, 1224});
        row("429 without a pause: a second", 1, 429, {"", "", "", ""}, {1000, 1224});
        row("429 with a nonsense pause: a second", 1, 429, {"", "", "", "soon"}, {1000, 1224});
        // Nonsense changes nothing.
        for (const char *bad : {"-3", "0", "abc", "1e9", "99999999999999", "2.5"})
            row(qPrintable(u"nonsense limit "_s + QLatin1StringView(bad)), 1, 200, {bad, "", "", ""},
                {212, 424});
        for (const char *bad : {"-4", "many", "99999999999999"})
            row(qPrintable(u"nonsense remaining "_s + QLatin1StringView(bad)), 1, 200, {"5", bad, "1", ""},
                {212, 424});
        row("nonsense reset: a second", 1, 200, {"5", "0", "later", ""}, {1000, 1212});
        row("reset of a day: a second", 1, 200, {"5", "0", "86400", ""}, {1000, 1212});
    }

    void repliesSetThePace()
    {
        QFETCH(int, turnsBefore);
        QFETCH(int, status);
        QFETCH(QByteArrayList, headers);
        QFETCH(QList<qint64>, waitsAfter);

        PacedClock clock;
        clock.takeTurns(turnsBefore);
        clock.pacer.noteReply(status, {headers[0], headers[1], headers[2]}, headers[3]);
        QList<qint64> waits;
        for (int i = 0; i < waitsAfter.size(); ++i)
            waits.append(clock.pacer.reserve().count());
        QCOMPARE(waits, waitsAfter);
    }

    void retryAfterIsReadAsSecondsOrDate_data()
    {
        const QDateTime now = QDateTime::currentDateTimeUtc();
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<qint64>("seconds"); // -1: not usable
        QTest::newRow("seconds") << "5"_ba << 5LL;
        QTest::newRow("padded") << " 7 "_ba << 7LL;
        QTest::newRow("zero") << "0"_ba << 0LL;
        QTest::newRow("days") << "864000"_ba << 864000LL;
        QTest::newRow("date ahead") << httpDate(now.addSecs(10)).toLatin1() << 10LL;
        QTest::newRow("date gone by") << httpDate(now.addSecs(-100)).toLatin1() << 0LL;
        for (const QByteArray &bad : {""_ba, "-1"_ba, "1.5"_ba, "soon"_ba, "99999999999999999999"_ba})
            QTest::addRow("not usable '%s'", bad.constData()) << bad << -1LL;
    }

    void retryAfterIsReadAsSecondsOrDate()
    {
        QFETCH(QByteArray, value);
        QFETCH(qint64, seconds);
        const auto read = RestPacer::retryAfterOf(value, QDateTime::currentDateTimeUtc());
        if (seconds < 0)
            QVERIFY(!read);
        else
            QVERIFY2(read && std::abs(read->count() - seconds) <= 1, value.constData());
    }
};

LUMBRA_TEST_MAIN(tst_RestPacer)
#include "tst_RestPacer.moc"
