#include "TestMain.h"

#include "service/FailureWords.h"
#include "service/ServiceError.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;

// How a failed search is told to the user, and when it is tried again.
class tst_FailureWords : public QObject {
    Q_OBJECT

private slots:
    void wordsAndRetry_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("words");
        QTest::addColumn<bool>("retry");
        QTest::newRow("refused") << int(ServiceError::ConnectionRefused) << u"refused the connection"_s
                                 << true;
        QTest::newRow("lost") << int(ServiceError::ConnectionLost) << u"connection to the service was lost"_s
                              << true;
        QTest::newRow("timed out") << int(ServiceError::TimedOut) << u"did not answer in time"_s << true;
        QTest::newRow("host not found") << int(ServiceError::HostNotFound) << u"could not be found"_s << true;
        QTest::newRow("login rejected") << 401 << u"rejected the login"_s << false;
        // The REST API's reason names the preference to fix; it is shown.
        QTest::newRow("key rejected") << 403 << u"API key: 414 Unknown User Agent"_s << false;
        QTest::newRow("busy (HTTP 503)") << int(ServiceError::Unavailable) << u"busy"_s << true;
        QTest::newRow("too many requests") << 429 << u"busy"_s << true;
        QTest::newRow("bad reply") << int(ServiceError::BadReply) << u"cannot read"_s << true;
        QTest::newRow("cancelled") << int(ServiceError::Cancelled) << u"cancelled"_s << false;
        QTest::newRow("anything else") << 414 << u"The search failed: 414 Unknown User Agent"_s << true;
    }
    void wordsAndRetry()
    {
        QFETCH(int, code);
        QFETCH(QString, words);
        QFETCH(bool, retry);
        const QString said = FailureWords::describe(code, u"414 Unknown User Agent"_s);
        QVERIFY2(said.contains(words), qPrintable(said));
        QCOMPARE(FailureWords::worthRetrying(FailureWords::classify(code)), retry);
    }

    void retriesBackOffToFiveMinutes()
    {
        QList<int> delays;
        for (int attempt = 0; attempt < 9; ++attempt)
            delays.append(RetrySchedule::delaySeconds(attempt));
        QCOMPARE(delays, (QList<int>{5, 10, 20, 40, 80, 160, 300, 300, 300}));
        QCOMPARE(RetrySchedule::delaySeconds(1000), 300);
    }
};

LUMBRA_TEST_MAIN(tst_FailureWords)
#include "tst_FailureWords.moc"
