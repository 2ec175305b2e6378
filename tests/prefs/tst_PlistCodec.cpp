#include "prefs/PlistCodec.h"
#include "TestMain.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;

// The store's tests cover each kind of value through the file; these check
// the codec's own verdicts, which the store turns into "defaults used".
class tst_PlistCodec : public QObject {
    Q_OBJECT

private slots:
    void decodeTellsWholeFromDamaged_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("whole");
        QTest::addColumn<QStringList>("keys");
        const QByteArray good = "<?xml version=\"1.0\"?>\n<plist>\n<dict>\n<key>a</key>\n<string>x</string>\n"
                                "<key>b</key>\n<true/>\n</dict>\n</plist>\n";
        const QStringList none;
        QTest::newRow("whole") << good << true << QStringList{u"a"_s, u"b"_s};
        // An empty dictionary is a valid file, not a damaged one.
        QTest::newRow("empty dict") << QByteArray("<plist><dict/></plist>") << true << none;
        QTest::newRow("empty") << QByteArray() << false << none;
        QTest::newRow("truncated in a value") << good.left(good.indexOf("x</string>") + 1) << false << none;
        QTest::newRow("cut after dict") << good.left(good.indexOf("</plist>")) << false << none;
        QTest::newRow("trailing garbage") << good + "<x>" << false << none;
        QTest::newRow("undefined entity")
            << QByteArray("<plist><dict><key>a</key><string>&nope;</string></dict></plist>") << false << none;
        QTest::newRow("other xml") << QByteArray("<html><body/></html>") << false << none;
        QTest::newRow("plist without dict") << QByteArray("<plist><array/></plist>") << false << none;
        QTest::newRow("nested 65 deep") << "<plist><dict><key>a</key>" + QByteArray("<array>").repeated(64) +
                                               QByteArray("</array>").repeated(64) + "</dict></plist>"
                                        << false << none;
    }

    // A damaged file must never hand back the values read before the damage:
    // the store would keep a part of the preferences and save it as the whole.
    void decodeTellsWholeFromDamaged()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, whole);
        QFETCH(QStringList, keys);
        const PlistCodec::Decoded decoded = PlistCodec::decode(text);
        QCOMPARE(decoded.ok(), whole);
        QCOMPARE(decoded.values.keys(), keys);
        if (!whole)
            QVERIFY(!decoded.error.isEmpty());
    }

    void encodedTextDecodesToTheSameDictionary()
    {
        const Dictionary values{{u"zeta"_s, 1},
                                {u"Alpha"_s, u"a\u0001b <&>"_s},
                                {u"list"_s, VariantList{true, 2.5, QByteArray("\xff", 1)}},
                                {u"sub"_s, QVariant::fromValue(Dictionary{{u"k"_s, Variant()}})}};
        const PlistCodec::Decoded back = PlistCodec::decode(PlistCodec::encode(values).toUtf8());
        QVERIFY2(back.ok(), qPrintable(back.error));
        // Order and first spelling of the keys are kept; the control character
        // XML cannot carry is dropped.
        QCOMPARE(back.values.keys(), values.keys());
        QCOMPARE(back.values.value(u"alpha"_s), Variant(u"ab <&>"_s));
        QCOMPARE(back.values.value(u"list"_s), values.value(u"list"_s));
        QCOMPARE(back.values.value(u"sub"_s), values.value(u"sub"_s));
    }
};

LUMBRA_TEST_MAIN(tst_PlistCodec)
#include "tst_PlistCodec.moc"
