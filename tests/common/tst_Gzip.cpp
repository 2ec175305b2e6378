#include "common/Gzip.h"
#include "TestMain.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;

class tst_Gzip : public QObject {
    Q_OBJECT
private slots:
    void roundTripsAndConcatenatedMembers()
    {
        const QByteArray text = "1\n00:00:01,000 --> 00:00:02,000\nHello\n";
        QCOMPARE(Gzip::gunzip(Gzip::gzip(text), 1 << 20).value(), text);
        QCOMPARE(Gzip::gunzip(Gzip::gzip("ab") + Gzip::gzip("cd"), 1 << 20).value(), QByteArray("abcd"));
        QCOMPARE(Gzip::gunzip(Gzip::gzip({}), 10).value(), QByteArray());
    }

    void rejectsBadInput_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("reason");
        const QByteArray packed = Gzip::gzip(QByteArray(5000, 'x') + "tail");
        QTest::newRow("html page") << QByteArray("<!DOCTYPE html><html>limit</html>") << u"not a gzip"_s;
        QTest::newRow("empty") << QByteArray() << u"not a gzip"_s;
        QTest::newRow("truncated") << packed.left(packed.size() / 2) << u"truncated"_s;
        QByteArray corrupt = packed;
        corrupt[12] = char(0xff);
        corrupt[13] = char(0xff);
        QTest::newRow("corrupt") << corrupt << u"gzip"_s;
    }
    void rejectsBadInput()
    {
        QFETCH(QByteArray, data);
        QFETCH(QString, reason);
        QString error;
        QVERIFY(!Gzip::gunzip(data, 1 << 20, &error).has_value());
        QVERIFY2(error.contains(reason), qPrintable(error));
    }

    void stopsABombAtTheCap()
    {
        const QByteArray bomb = Gzip::gzip(QByteArray(64 << 20, '\0')); // 64 MiB in ~64 KiB
        QString error;
        QVERIFY(!Gzip::gunzip(bomb, 1 << 20, &error).has_value());
        QVERIFY(error.contains(u"exceeds"_s));
        QCOMPARE(Gzip::gunzip(Gzip::gzip(QByteArray(1 << 20, 'a')), 1 << 20)->size(), 1 << 20);
    }
};

LUMBRA_TEST_MAIN(tst_Gzip)
#include "tst_Gzip.moc"
