#include "common/AppIdentity.h"
#include "prefs/myPrefs.h"
#include "prefs/XPrefs.h"
#include "TestMain.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>

using namespace Qt::Literals::StringLiterals;

namespace {

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

QByteArray plist(const QByteArray &pairs)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist>\n<dict>\n" + pairs + "</dict>\n</plist>\n";
}

} // namespace

class tst_myPrefs : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_path;

    // A new start of the program: built-in defaults, the store read afresh.
    void restart()
    {
        myPrefs::resetToDefaults();
        XPrefs::setFilePathForTesting(m_path);
        myPrefs::loadAllPrefs();
    }

private slots:
    void init()
    {
        m_path = m_dir.filePath(QString::fromLatin1(QTest::currentTestFunction()) + u".plist"_s);
        QFile::remove(m_path);
    }

    void cleanupTestCase() { XPrefs::setFilePathForTesting({}); }

    void prefsFolderAndFileName()
    {
        const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
        QCOMPARE(myPrefs::prefsdir(), config + u"/Lumbra2_debug"_s);
        QVERIFY(QFileInfo(myPrefs::prefsdir()).isDir());
        XPrefs::setFilePathForTesting({});
        QCOMPARE(XPrefs::filePath(), myPrefs::prefsdir() + u"/org.lumbra.Lumbra2.plist"_s);
        QCOMPARE(QString(AppIdentity::ReverseDomainId), u"org.lumbra.Lumbra2"_s);
    }

    // A file from before the REST API keeps an XML-RPC setup (an account or
    // an address of its own); anything else, and a new install, gets REST.
    void providerAtUpgrade_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QString>("provider");
        const QByteArray defaultServer =
            "<key>OSAPIServer</key><string>http://api.opensubtitles.org/xml-rpc</string>";
        QTest::newRow("new install") << QByteArray() << u"rest"_s;
        QTest::newRow("old file, defaults") << defaultServer << u"rest"_s;
        QTest::newRow("old file, account")
            << defaultServer + "<key>OSUsername</key><string>vip</string>" << u"xmlrpc"_s;
        QTest::newRow("old file, own server")
            << QByteArray("<key>OSAPIServer</key><string>https://mirror.example/xml-rpc</string>")
            << u"xmlrpc"_s;
        QTest::newRow("chosen, any case")
            << QByteArray("<key>ServiceProvider</key><string>XMLRPC</string>") << u"xmlrpc"_s;
        QTest::newRow("unknown value")
            << QByteArray("<key>ServiceProvider</key><string>soap</string>") << u"rest"_s;
    }
    void providerAtUpgrade()
    {
        QFETCH(QByteArray, stored);
        QFETCH(QString, provider);
        if (!stored.isEmpty())
            writeFile(m_path, plist(stored));
        restart();
        QCOMPARE(myPrefs::ServiceProvider(), provider);
        // The choice is written at the next save, so it stays when the account goes.
        QVERIFY(myPrefs::save());
        restart();
        QCOMPARE(myPrefs::ServiceProvider(), provider);
        QCOMPARE(myPrefs::RestServer(), u"https://api.opensubtitles.com/api/v1"_s);
    }

    void restKeyAndServerRoundTrip()
    {
        restart();
        myPrefs::setRestApiKey(u" key123 "_s);
        myPrefs::setRestServer(u"http://127.0.0.1:8090/api/v1"_s);
        QVERIFY(myPrefs::save());
        restart();
        QCOMPARE(myPrefs::RestApiKey(), u"key123"_s);
        QCOMPARE(myPrefs::RestServer(), u"http://127.0.0.1:8090/api/v1"_s);
        // Unlike the account, a cleared key is cleared.
        myPrefs::setRestApiKey({});
        QVERIFY(myPrefs::save());
        restart();
        QVERIFY(myPrefs::RestApiKey().isEmpty());
    }

    void firstStartUsesDefaults()
    {
        restart();
        const myPrefs::Values v = myPrefs::values();
        QCOMPARE(v.languageList, QStringList{u"en"_s});
        QCOMPARE(v.defaultLanguage, u"en"_s);
        QVERIFY(v.addLanguageExt);
        QVERIFY(v.RenameSubs);
        QVERIFY(!v.refreshSubs && !v.autoSearchSubs && !v.autoGetSubs && !v.AutoRetrySearch);
        QVERIFY(!v.ListAllFiles && !v.AutoFlagNonHash && !v.AutoQuit);
        QCOMPARE(v.OSAPIServer, u"http://api.opensubtitles.org/xml-rpc"_s);
        QVERIFY(v.OSUsername.isEmpty() && v.OSPassword.isEmpty());
        // Defaults go into the store, not yet onto disk; the account stays out.
        QVERIFY(!QFile::exists(m_path));
        QCOMPARE(XPrefs::Value(u"refreshSubs"_s), Variant(false));
        QVERIFY(!XPrefs::HasKey(u"OSUsername"_s));
        QVERIFY(myPrefs::save());
        QVERIFY(QFile::exists(m_path));
        restart();
        QCOMPARE(myPrefs::values(), v);
    }

    void storedValuesAreTaken()
    {
        writeFile(m_path, plist("<key>AutoSearchSubs</key>\n<true/>\n"
                                "<key>languageList</key>\n<array>\n<key>0</key>\n<string>fr</string>\n"
                                "<key>1</key>\n<string>pb</string>\n</array>\n"
                                "<key>OSAPIServer</key>\n<string>http://127.0.0.1:8080/xml-rpc</string>\n"
                                "<key>osusername</key>\n<string>bob</string>\n"
                                "<key>refreshSubs</key>\n<string>yes</string>\n"
                                "<key>RenameSubs</key>\n<false/>\n"));
        restart();
        QVERIFY(myPrefs::autoSearchSubs());
        QCOMPARE(myPrefs::languageList(), (QStringList{u"fr"_s, u"pb"_s}));
        QCOMPARE(myPrefs::OSAPIServer(), u"http://127.0.0.1:8080/xml-rpc"_s);
        QCOMPARE(myPrefs::OSUsername(), u"bob"_s);
        QVERIFY(!myPrefs::RenameSubs());
        // A value of the wrong kind keeps the default, which the next save writes.
        QVERIFY(!myPrefs::refreshSubs());
        QCOMPARE(XPrefs::Value(u"refreshSubs"_s), Variant(false));
    }

    // An empty stored list would leave nothing to search in.
    void emptyStoredLanguageListFallsBackToDefault()
    {
        writeFile(m_path, plist("<key>languageList</key>\n<array/>\n<key>defaultLanguage</key>\n"
                                "<string>de</string>\n"));
        restart();
        QCOMPARE(myPrefs::languageList(), QStringList{u"en"_s});
        QCOMPARE(myPrefs::defaultLanguage(), u"de"_s);
    }

    void saveRules_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("expectedUser");
        QTest::addColumn<QString>("expectedPassword");
        QTest::newRow("both cleared keep the stored account") << u""_s << u""_s << u"alice"_s << u"s3cret"_s;
        QTest::newRow("cleared user keeps it") << u""_s << u"new"_s << u"alice"_s << u"new"_s;
        QTest::newRow("cleared password keeps it") << u"carol"_s << u""_s << u"carol"_s << u"s3cret"_s;
        QTest::newRow("both replaced") << u"carol"_s << u"new"_s << u"carol"_s << u"new"_s;
    }

    void saveRules()
    {
        QFETCH(QString, user);
        QFETCH(QString, password);
        restart();
        myPrefs::setOSUsername(u"alice"_s);
        myPrefs::setOSPassword(u"s3cret"_s);
        QVERIFY(myPrefs::save());
        restart();
        myPrefs::setOSUsername(user);
        myPrefs::setOSPassword(password);
        QVERIFY(myPrefs::save());
        restart();
        QTEST(myPrefs::OSUsername(), "expectedUser");
        QTEST(myPrefs::OSPassword(), "expectedPassword");
    }

    void saveFillsAnEmptyLanguageListAndForgetsAutoQuit()
    {
        restart();
        myPrefs::setLanguageList({});
        myPrefs::setAutoQuit(true);
        myPrefs::setAutoRetrySearch(true);
        QVERIFY(myPrefs::save());
        QCOMPARE(myPrefs::languageList(), QStringList{u"en"_s});
        restart();
        QCOMPARE(myPrefs::languageList(), QStringList{u"en"_s});
        QVERIFY(myPrefs::AutoRetrySearch());
        QVERIFY(!myPrefs::AutoQuit());
        QVERIFY(!XPrefs::HasKey(u"AutoQuit"_s));
    }

    // Worker threads read the values while the preferences window changes
    // and saves them; ThreadSanitizer checks this.
    void valuesAreSafeToReadFromWorkers()
    {
        restart();
        std::atomic<bool> stop{false};
        std::atomic<int> bad{0};
        QList<QThread *> readers;
        for (int i = 0; i < 3; ++i) {
            readers.append(QThread::create([&] {
                while (!stop) {
                    const QStringList langs = myPrefs::languageList();
                    if (langs.isEmpty() || myPrefs::OSAPIServer().isEmpty())
                        ++bad;
                    (void)XPrefs::Value(u"languageList"_s);
                }
            }));
            readers.last()->start();
        }
        for (int i = 0; i < 50; ++i) {
            myPrefs::setLanguageList(i % 2 ? QStringList{u"de"_s} : QStringList{u"en"_s, u"fr"_s});
            myPrefs::setRefreshSubs(i % 2);
            QVERIFY(myPrefs::save());
        }
        stop = true;
        for (QThread *t : readers) {
            t->wait();
            delete t;
        }
        QCOMPARE(bad.load(), 0);
    }
};

LUMBRA_TEST_MAIN(tst_myPrefs)
#include "tst_myPrefs.moc"
