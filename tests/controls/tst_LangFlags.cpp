#include "common/LangModule.h"
#include "controls/LangFlags.h"
#include "TestMain.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;

class tst_LangFlags final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void everyLanguageHasBothFlags_data()
    {
        QTest::addColumn<QString>("code");
        const QStringList codes = LangModule::langArray();
        QCOMPARE(codes.size(), 44);
        for (const QString &code : codes)
            QTest::newRow(qPrintable(code)) << code;
    }
    void everyLanguageHasBothFlags()
    {
        QFETCH(QString, code);
        const QImage small = LangModule::getFlagPic(code);
        const QImage large = LangModule::getLargeFlagPic(code);
        QCOMPARE(small.size(), QSize(16, 12));
        QCOMPARE(large.size(), QSize(22, 22));
        // The three-letter code and any letter case find the same pictures.
        const QString three = LangModule::getLangThree(code);
        QCOMPARE(LangModule::getFlagPic(three), small);
        QCOMPARE(LangModule::getLargeFlagPic(code.toUpper()), large);
    }

    void considered_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("sameFlagAs");
        // Occitan has no flag of its own in the set and shows France's.
        QTest::newRow("oc is shown with France's flag") << u"oc"_s << u"fr"_s;
        QTest::newRow("pob is Brazil's pb") << u"pob"_s << u"pb"_s;
        QTest::newRow("scc is Serbian") << u"scc"_s << u"sr"_s;
    }
    void considered()
    {
        QFETCH(QString, language);
        QFETCH(QString, sameFlagAs);
        QCOMPARE(LangModule::getLargeFlagPic(language), LangModule::getLargeFlagPic(sameFlagAs));
    }

    void distinctFlags()
    {
        // Apart from the shared one, no two languages show the same flag: a mistyped line
        // of the flag table would.
        QList<QImage> seen;
        for (const QString &code : LangModule::langArray()) {
            if (code == "oc"_L1)
                continue;
            const QImage flag = LangModule::getFlagPic(code);
            QVERIFY2(!seen.contains(flag), qPrintable(code));
            seen.append(flag);
        }
        QVERIFY(LangModule::getFlagPic(u"pb"_s) != LangModule::getFlagPic(u"pt"_s));
    }

    void unknownCodesHaveNoFlag_data()
    {
        QTest::addColumn<QString>("code");
        QTest::newRow("empty") << QString();
        QTest::newRow("one letter") << u"e"_s;
        QTest::newRow("unknown two") << u"xx"_s;
        QTest::newRow("unknown three") << u"xyz"_s;
        QTest::newRow("a name") << u"English"_s;
        QTest::newRow("the header") << u"ISO 639-2"_s;
    }
    void unknownCodesHaveNoFlag()
    {
        QFETCH(QString, code);
        QVERIFY(LangModule::getFlagPic(code).isNull());
        QVERIFY(LangModule::getLargeFlagPic(code).isNull());
    }
};

LUMBRA_TEST_MAIN(tst_LangFlags)
#include "tst_LangFlags.moc"
