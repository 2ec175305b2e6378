#include "CliRunner.h"
#include "TestMain.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

class tst_PrefsCommand : public QObject {
    Q_OBJECT

    QTemporaryDir m_config;

    QString prefsFile() const { return m_config.filePath(u"Lumbra2_debug/org.lumbra.Lumbra2.plist"_s); }

    CliRun cli(const QStringList &args)
    {
        CliSetup setup;
        setup.environment.insert(u"XDG_CONFIG_HOME"_s, m_config.path());
        return runCli(QStringList{u"prefs"_s} + args, setup);
    }

    QByteArray fileBytes() const
    {
        QFile f(prefsFile());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_config.isValid());
        QVERIFY2(!qEnvironmentVariableIsEmpty("LUMBRA_CLI"), "LUMBRA_CLI must name lumbra-cli");
    }

    void showsDefaultsAtFirstStart()
    {
        const CliRun r = cli({});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.out.contains(u"file: "_s + prefsFile() + u'\n'));
        QVERIFY(r.out.contains(u"languageList: en\n"_s));
        QVERIFY(r.out.contains(u"addLanguageExt: true\n"_s));
        QVERIFY(r.out.contains(u"refreshSubs: false\n"_s));
        QVERIFY(r.out.contains(u"OSAPIServer: http://api.opensubtitles.org/xml-rpc\n"_s));
        QVERIFY(r.out.contains(u"OSPassword: not set\n"_s));
        QVERIFY(!QFile::exists(prefsFile())); // showing saves nothing
    }

    void setSavesThroughThePreferenceStore()
    {
        const CliRun r = cli({u"--set"_s, u"LANGUAGELIST=EN,es,fr"_s, u"--set"_s, u"refreshsubs=true"_s,
                              u"--set=OSPassword=hunter2secret"_s, u"--set"_s, u"OSUsername=bob"_s});
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.out.contains(u"languageList: en,es,fr\n"_s), qPrintable(r.out));
        QVERIFY(r.out.contains(u"refreshSubs: true\n"_s));
        QVERIFY(r.out.contains(u"OSPassword: set\n"_s));
        QVERIFY(!r.out.contains(u"hunter2secret"_s));
        const QByteArray file = fileBytes();
        QVERIFY(file.contains("<key>languageList</key>\n<array>\n<key>0</key>\n<string>en</string>"));
        QVERIFY(file.contains("<key>refreshSubs</key>\n<true/>"));
        QVERIFY(file.contains("<string>hunter2secret</string>"));
        QCOMPARE(QFile::permissions(prefsFile()) & (QFile::ReadGroup | QFile::ReadOther),
                 QFile::Permissions());

        // An empty password keeps the saved one.
        const CliRun again = cli({u"--set"_s, u"OSPassword="_s});
        QCOMPARE(again.exitCode, 0);
        QVERIFY(again.out.contains(u"OSPassword: set\n"_s));
        QVERIFY(fileBytes().contains("<string>hunter2secret</string>"));
    }

    void restSettings()
    {
        const CliRun r = cli({u"--set"_s, u"serviceprovider=XMLRPC"_s, u"--set"_s, u"RestApiKey=sekrit-key"_s,
                              u"--set"_s, u"RestServer=http://127.0.0.1:8090/api/v1"_s});
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.out.contains(u"ServiceProvider: xmlrpc\n"_s), qPrintable(r.out));
        QVERIFY(r.out.contains(u"RestApiKey: set\n"_s));
        QVERIFY(r.out.contains(u"RestServer: http://127.0.0.1:8090/api/v1\n"_s));
        QVERIFY(!r.out.contains(u"sekrit"_s));
        QVERIFY(fileBytes().contains("<key>RestApiKey</key>\n<string>sekrit-key</string>"));
    }

    void badInputIsRefusedAndNothingSaved_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("unknown key") << QStringList{u"--set"_s, u"colour=red"_s};
        QTest::newRow("AutoQuit is not stored") << QStringList{u"--set"_s, u"AutoQuit=true"_s};
        QTest::newRow("bad boolean") << QStringList{u"--set"_s, u"refreshSubs=yes"_s};
        QTest::newRow("four languages") << QStringList{u"--set"_s, u"languageList=en,es,fr,de"_s};
        QTest::newRow("unknown language") << QStringList{u"--set"_s, u"languageList=en,xx"_s};
        QTest::newRow("three-letter code") << QStringList{u"--set"_s, u"languageList=eng"_s};
        QTest::newRow("empty list") << QStringList{u"--set"_s, u"languageList="_s};
        QTest::newRow("bad server") << QStringList{u"--set"_s, u"OSAPIServer=ftp://example.org/x"_s};
        QTest::newRow("no value") << QStringList{u"--set"_s, u"refreshSubs"_s};
        QTest::newRow("missing assignment") << QStringList{u"--set"_s};
        QTest::newRow("one bad among good")
            << QStringList{u"--set"_s, u"autoGetSubs=false"_s, u"--set"_s, u"autoGetSubs=maybe"_s};
        QTest::newRow("unknown option") << QStringList{u"--frobnicate"_s};
        QTest::newRow("unknown provider") << QStringList{u"--set"_s, u"ServiceProvider=soap"_s};
        QTest::newRow("plain http REST server")
            << QStringList{u"--set"_s, u"RestServer=http://api.example.org/api/v1"_s};
    }

    void badInputIsRefusedAndNothingSaved()
    {
        QFETCH(QStringList, args);
        QCOMPARE(cli({u"--set"_s, u"autoGetSubs=true"_s}).exitCode, 0);
        const QByteArray before = fileBytes();
        const CliRun r = cli(args);
        QCOMPARE(r.exitCode, 2);
        QVERIFY(!r.err.isEmpty());
        QCOMPARE(fileBytes(), before);
    }

    void json()
    {
        QCOMPARE(cli({u"--set"_s, u"languageList=pb,sr"_s}).exitCode, 0);
        const CliRun r = cli({u"--json"_s});
        QCOMPARE(r.exitCode, 0);
        QJsonParseError error{};
        const QJsonObject root = QJsonDocument::fromJson(r.out.toUtf8(), &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);
        QCOMPARE(root.value(u"file"_s).toString(), prefsFile());
        const QJsonObject prefs = root.value(u"preferences"_s).toObject();
        QCOMPARE(prefs.value(u"languageList"_s).toArray(), (QJsonArray{u"pb"_s, u"sr"_s}));
        QCOMPARE(prefs.value(u"addLanguageExt"_s).toBool(), true);
        QVERIFY(prefs.value(u"OSPassword"_s).isString());
    }
};

LUMBRA_TEST_MAIN(tst_PrefsCommand)
#include "tst_PrefsCommand.moc"
