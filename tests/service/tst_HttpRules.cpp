#include "service/HttpRules.h"
#include "TestMain.h"

#include <QTest>

#include <optional>

using namespace Qt::Literals::StringLiterals;
using namespace std::chrono_literals;

// The rules every exchange with the service keeps: where credentials may go,
// what a token may hold, and how long the service asks us to wait.
class tst_HttpRules : public QObject {
    Q_OBJECT
private slots:
    void sameOrigin_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<bool>("same");
        QTest::newRow("identical") << u"https://api.example.com/api/v1"_s << u"https://api.example.com/x"_s
                                   << true;
        QTest::newRow("default port written")
            << u"https://api.example.com/"_s << u"https://api.example.com:443/"_s << true;
        QTest::newRow("letter case of the host")
            << u"https://API.example.com/"_s << u"https://api.example.com/"_s << true;
        QTest::newRow("another port of the same host")
            << u"http://127.0.0.1:8080/"_s << u"http://127.0.0.1:8081/"_s << false;
        QTest::newRow("another scheme")
            << u"https://api.example.com/"_s << u"http://api.example.com/"_s << false;
        QTest::newRow("another host")
            << u"https://api.example.com/"_s << u"https://vip-api.example.com/"_s << false;
        QTest::newRow("not an address") << u"https://api.example.com/"_s << u""_s << false;
    }
    void sameOrigin()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(bool, same);
        QCOMPARE(HttpRules::sameOrigin(QUrl(a), QUrl(b)), same);
        QCOMPARE(HttpRules::sameOrigin(QUrl(b), QUrl(a)), same);
    }

    void retryAfter_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<int>("seconds"); // -1: not a wait
        QTest::newRow("seconds") << QByteArray("120") << 120;
        QTest::newRow("seconds with spaces") << QByteArray(" 7 ") << 7;
        QTest::newRow("an hour") << QByteArray("3600") << 3600;
        QTest::newRow("HTTP date") << QByteArray("Wed, 21 Oct 2015 07:28:00 GMT") << 60;
        QTest::newRow("RFC 850 date") << QByteArray("Wednesday, 21-Oct-15 07:28:00 GMT") << 60;
        QTest::newRow("asctime date") << QByteArray("Wed Oct 21 07:28:00 2015") << 60;
        QTest::newRow("date in the past") << QByteArray("Wed, 21 Oct 2015 07:00:00 GMT") << 0;
        QTest::newRow("empty") << QByteArray() << -1;
        QTest::newRow("null") << QByteArray("null") << -1;
        QTest::newRow("negative") << QByteArray("-5") << -1;
        QTest::newRow("fraction") << QByteArray("1.5") << -1;
        QTest::newRow("cut date") << QByteArray("Wed, 21 Oc") << -1;
        QTest::newRow("too many digits") << QByteArray("99999999999") << -1;
    }
    void retryAfter()
    {
        QFETCH(QByteArray, value);
        QFETCH(int, seconds);
        const QDateTime now(QDate(2015, 10, 21), QTime(7, 27), Qt::UTC);
        const std::optional<std::chrono::seconds> wait = HttpRules::retryAfter(value, now);
        QCOMPARE(wait.has_value(), seconds >= 0);
        if (wait)
            QCOMPARE(wait->count(), seconds);
    }

    void tokenText_data()
    {
        QTest::addColumn<QByteArray>("token");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("JWT") << QByteArray("eyJ0eXAiOiJKV1QiLCJhbGciOiJIUzI1NiJ9.e30.abc-_~+/") << true;
        QTest::newRow("padding") << QByteArray("abc==") << true;
        QTest::newRow("line break") << QByteArray("abc\r\nX-Injected: yes") << false;
        QTest::newRow("line feed at the end") << QByteArray("abc\n") << false;
        QTest::newRow("space") << QByteArray("abc def") << false;
        QTest::newRow("empty") << QByteArray() << false;
        QTest::newRow("padding inside") << QByteArray("ab=c") << false;
        QTest::newRow("non-ASCII") << QByteArray("ab\xc3\xa9") << false;
    }
    void tokenText()
    {
        QFETCH(QByteArray, token);
        QFETCH(bool, accepted);
        QCOMPARE(HttpRules::isTokenText(token), accepted);
    }
};

LUMBRA_TEST_MAIN(tst_HttpRules)
#include "tst_HttpRules.moc"
