#include "TestMain.h"

#include "media/Utf8Recoding.h"

#include <QStringEncoder>
#include <QTest>

#include <iconv.h>

using namespace Qt::Literals::StringLiterals;

namespace {

// `text` in a legacy encoding, through the C library (as a service's file would be).
QByteArray encoded(const QString &text, const char *encoding)
{
    const QByteArray utf8 = text.toUtf8();
    const iconv_t cd = iconv_open(encoding, "UTF-8");
    QByteArray out(utf8.size() * 4 + 16, '\0');
    char *in = const_cast<char *>(utf8.constData());
    size_t inLeft = size_t(utf8.size());
    char *to = out.data();
    size_t outLeft = size_t(out.size());
    iconv(cd, &in, &inLeft, &to, &outLeft);
    iconv_close(cd);
    out.truncate(out.size() - qsizetype(outLeft));
    return out;
}

const QString kRussian =
    u"1\r\n00:00:01,000 --> 00:00:02,000\r\nПривет, как дела? Это проверка кодировки субтитров.\r\n\r\n"
    u"2\r\n00:00:03,000 --> 00:00:04,000\r\nСегодня хорошая погода, и мы идём гулять в парк.\r\n"_s;
const QString kGreek =
    u"1\n00:00:01,000 --> 00:00:02,000\nΚαλημέρα σας, τι κάνετε σήμερα; Ελπίζω να είστε όλοι καλά.\n"_s;
const QString kChinese =
    u"1\n00:00:01,000 --> 00:00:02,000\n你好，今天天气很好。我们一起去公园散步吧，好不好？\n"_s;
const QString kFrench =
    u"1\n00:00:01,000 --> 00:00:02,000\nÇa va très bien, merci ! Où est la bibliothèque ? Déjà vu.\n"_s;

} // namespace

class tst_Utf8Recoding final : public QObject {
    Q_OBJECT

private slots:
    void convertsOrKeeps_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("language");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("text"); // what the result reads as; empty: the bytes stay

        using O = Utf8Recoding::Result::Outcome;
        QTest::newRow("Russian in cp1251, line endings kept")
            << encoded(kRussian, "CP1251") << u"ru"_s << int(O::Converted) << kRussian;
        QTest::newRow("Greek in cp1253")
            << encoded(kGreek, "CP1253") << u"el"_s << int(O::Converted) << kGreek;
        QTest::newRow("Chinese in GB18030")
            << encoded(kChinese, "GB18030") << u"zh"_s << int(O::Converted) << kChinese;
        QTest::newRow("French in Latin-1")
            << encoded(kFrench, "ISO-8859-1") << u"fr"_s << int(O::Converted) << kFrench;
        QTest::newRow("UTF-16 with its mark")
            << encoded(kFrench, "UTF-16") << u"fr"_s << int(O::Converted) << kFrench;
        QTest::newRow("UTF-8 mark dropped")
            << QByteArray("\xEF\xBB\xBF") + kFrench.toUtf8() << u"fr"_s << int(O::Converted) << kFrench;
        QTest::newRow("UTF-8 already: untouched")
            << kRussian.toUtf8() << u"ru"_s << int(O::AlreadyUtf8) << QString();
        QTest::newRow("Russian bytes said to be English: not sure")
            << encoded(kRussian, "CP1251") << u"en"_s << int(O::NotSure) << QString();
        QTest::newRow("noise: not sure") << QByteArray("\x81\x8d\x8f\x90\x9d\xff\xfe\x00\x01", 9) << u"fr"_s
                                         << int(O::NotSure) << QString();
    }
    void convertsOrKeeps()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, language);
        QFETCH(int, outcome);
        QFETCH(QString, text);
        const Utf8Recoding::Result result = Utf8Recoding::toUtf8(bytes, language);
        QCOMPARE(int(result.outcome), outcome);
        QVERIFY(!result.note().isEmpty());
        if (text.isEmpty()) {
            QCOMPARE(result.bytes, bytes);
            return;
        }
        QCOMPARE(QString::fromUtf8(result.bytes), text);
        QVERIFY(!result.bytes.startsWith("\xEF\xBB\xBF"));
        // A second pass finds UTF-8 and changes nothing.
        const Utf8Recoding::Result again = Utf8Recoding::toUtf8(result.bytes, language);
        QCOMPARE(int(again.outcome), int(Utf8Recoding::Result::Outcome::AlreadyUtf8));
        QCOMPARE(again.bytes, result.bytes);
    }
};

LUMBRA_TEST_MAIN(tst_Utf8Recoding)
#include "tst_Utf8Recoding.moc"
