#include "common/LangModule.h"
#include "common/translationStrings.h"
#include "TestMain.h"

#include <QCoreApplication>
#include <QFile>
#include <QTest>
#include <QTranslator>

using namespace Qt::Literals::StringLiterals;

namespace {

// Stands in for a compiled translation: answers for one context and
// disambiguation only, as a .qm file would for the texts it carries.
class FakeTranslator final : public QTranslator {
public:
    FakeTranslator(const char *context, const char *disambiguation, QString answer)
        : m_context(context)
        , m_disambiguation(disambiguation)
        , m_answer(std::move(answer))
    {
    }
    bool isEmpty() const override { return false; }
    QString translate(const char *context, const char *, const char *disambiguation, int) const override
    {
        if (qstrcmp(context, m_context) == 0 && qstrcmp(disambiguation, m_disambiguation) == 0)
            return m_answer;
        return {};
    }

private:
    const char *m_context;
    const char *m_disambiguation;
    QString m_answer;
};

} // namespace

class tst_LangModule : public QObject {
    Q_OBJECT
private slots:
    void getLangThree_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("expected");
        QTest::newRow("two letters") << u"en"_s << u"eng"_s;
        QTest::newRow("upper case") << u"EN"_s << u"eng"_s;
        QTest::newRow("service code") << u"pb"_s << u"pob"_s;
        QTest::newRow("three letters unchanged") << u"eng"_s << u"eng"_s;
        QTest::newRow("unknown three letters unchanged") << u"xyz"_s << u"xyz"_s;
        QTest::newRow("display name") << u"English"_s << u"eng"_s;
        QTest::newRow("display name any case") << u"portuguese (brazil)"_s << u"pob"_s;
        QTest::newRow("non-ASCII name") << u"Occitan/Provençal"_s << u"oci"_s;
        QTest::newRow("header matched like a field") << u"DEFAULT"_s << u"ISO 639-2"_s;
        QTest::newRow("one letter") << u"e"_s << QString();
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("unknown two letters") << u"xx"_s << QString();
        QTest::newRow("unknown name") << u"Klingon"_s << QString();
    }

    void getLangThree()
    {
        QFETCH(QString, input);
        QTEST(LangModule::getLangThree(input), "expected");
    }

    void getLangTwo_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("expected");
        QTest::newRow("Brazilian") << u"pob"_s << u"pb"_s;
        QTest::newRow("Serbian") << u"scc"_s << u"sr"_s;
        QTest::newRow("Greek") << u"ELL"_s << u"el"_s;
        QTest::newRow("two letters unchanged") << u"pt"_s << u"pt"_s;
        QTest::newRow("display name") << u"Serbian"_s << u"sr"_s;
        QTest::newRow("header") << u"DEFAULT"_s << u"ISO 639-1"_s;
        QTest::newRow("unknown three letters") << u"srp"_s << QString();
        QTest::newRow("one letter") << u"p"_s << QString();
    }

    void getLangTwo()
    {
        QFETCH(QString, input);
        QTEST(LangModule::getLangTwo(input), "expected");
    }

    void getLangFull_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("expected");
        QTest::newRow("two letters") << u"pb"_s << u"Portuguese (Brazil)"_s;
        QTest::newRow("three letters") << u"pob"_s << u"Portuguese (Brazil)"_s;
        QTest::newRow("any case") << u"ENG"_s << u"English"_s;
        QTest::newRow("last") << u"zh"_s << u"Chinese"_s;
        QTest::newRow("unknown") << u"xx"_s << QString();
        QTest::newRow("name is not a code") << u"English"_s << QString();
    }

    void getLangFull()
    {
        QFETCH(QString, input);
        QTEST(LangModule::getLangFull(input), "expected");
    }

    void everyLanguageConvertsBothWays()
    {
        const QStringList codes = LangModule::langArray();
        QCOMPARE(codes.size(), 44);
        QCOMPARE(codes.first(), u"ar"_s);
        QCOMPARE(codes.last(), u"zh"_s);
        for (const QString &two : codes) {
            const QString three = LangModule::getLangThree(two);
            QCOMPARE(three.size(), 3);
            QCOMPARE(LangModule::getLangTwo(three), two);
            const QString name = LangModule::getLangFull(two);
            QVERIFY2(name.size() > 3, qPrintable(two));
            QCOMPARE(LangModule::getLangThree(name), three);
        }
    }

    void textsKeepTheirExactDefaults_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");
        QTest::newRow("trailing space") << u"SearchInWebCMM"_s << u"Search in web: "_s;
        QTest::newRow("ellipsis") << u"DownloadingSubsButtonTitle"_s << u"Downloading\u2026"_s;
        QTest::newRow("backslash n") << u"DragVideosHere"_s << u"Drag\\nVideos\\nHere"_s;
        QTest::newRow("placeholders")
            << u"CheckedMovsLabelPrompt"_s << u"^checkedrows marked (^totalrows in list)"_s;
        QTest::newRow("same text, other key") << u"GetSubtitlesMenuTitle"_s << u"Get Subtitles"_s;
        QTest::newRow("unknown key") << u"NoSuchKey"_s << QString();
    }

    void textsKeepTheirExactDefaults()
    {
        QFETCH(QString, key);
        QFETCH(QString, expected);
        QCOMPARE(translationStrings::text(key), expected);
        QCOMPARE(translationStrings::text(key, u"xx"_s), expected);
        QVERIFY(!translationStrings::DragVideosHere().contains(u'\n'));
        QCOMPARE(translationStrings::DownloadingSubsButtonTitle().size(), 12);
    }

    void everyKeyHasItsFunction()
    {
        // Each named function returns the text its key names.
        QCOMPARE(translationStrings::AutoRetry(), u"Retry Automatically"_s);
        QCOMPARE(translationStrings::UploadCheckedSubtitlesButtonTitle(), u"Upload Checked Subs"_s);
        QCOMPARE(translationStrings::keys().size(), 61);
        for (const QString &key : translationStrings::keys())
            QVERIFY2(!translationStrings::englishDefault(key).isEmpty(), qPrintable(key));
    }

    void translationsComeThroughQt()
    {
        QVERIFY(QFile::exists(u":/i18n/lumbra_en.qm"_s));
        FakeTranslator menu("translationStrings", "GetSubtitlesMenuTitle", u"Untertitel holen"_s);
        FakeTranslator table("LangModule", "languageTable",
                             u"STANDARD|Arabisch|Bulgarisch|Katalanisch|Tschechisch|Dänisch|Deutsch"_s);
        QCoreApplication::installTranslator(&menu);
        QCoreApplication::installTranslator(&table);
        const QString menuTitle = translationStrings::GetSubtitlesMenuTitle();
        const QString windowTitle = translationStrings::GetSubtitlesWindowTitle();
        const QString german = LangModule::getLangFull(u"de"_s);
        const QString fromName = LangModule::getLangThree(u"deutsch"_s);
        const QString missing = LangModule::getLangFull(u"zh"_s);
        QCoreApplication::removeTranslator(&menu);
        QCoreApplication::removeTranslator(&table);

        QCOMPARE(menuTitle, u"Untertitel holen"_s);
        QCOMPARE(windowTitle, u"Get Subtitles"_s); // same English text, own key
        QCOMPARE(german, u"Deutsch"_s);
        QCOMPARE(fromName, u"ger"_s);
        QCOMPARE(missing, QString()); // a short translated table has no name there
        QCOMPARE(LangModule::getLangFull(u"de"_s), u"German"_s);
    }
};

LUMBRA_TEST_MAIN(tst_LangModule)
#include "tst_LangModule.moc"
