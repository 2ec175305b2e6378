#include "RestFixtures.h"
#include "ServiceEmulator.h"
#include "TestMain.h"

#include "service/rest/RestClient.h"
#include "service/rest/RestTokenCache.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace Qt::Literals::StringLiterals;

namespace {

const QUrl kServer(u"https://api.opensubtitles.com/api/v1"_s);

// A JWT whose payload says it runs out at `exp` (seconds since 1970).
QString tokenExpiringAt(qint64 exp)
{
    const QByteArray payload = QByteArray(R"({"iss":"x","exp":)") + QByteArray::number(exp) + '}';
    return u"eyJ0eXAiOiJKV1QiLCJhbGciOiJIUzI1NiJ9."_s +
           QString::fromLatin1(
               payload.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals)) +
           u".c2lnbmF0dXJl"_s;
}

mode_t modeOf(const QString &path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode : 0;
}

bool writeFile(const QString &path, const QByteArray &data, QFile::Permissions permissions)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size() &&
           file.setPermissions(permissions);
}

} // namespace

class tst_RestTokenCache : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QDateTime m_now = QDateTime(QDate(2026, 12, 11), QTime(12, 0), Qt::UTC);
    ServiceEmulator m_emu{ServiceEmulator::Api::Rest};

    QString cachePath() const { return m_dir.filePath(u"cache/rest-tokens.json"_s); }
    RestTokenCache cacheAt(const QString &path)
    {
        return RestTokenCache(std::make_shared<RestTokenFile>(path), [this] { return m_now; });
    }
    RestClient::Settings settings(const std::shared_ptr<RestTokenCache> &tokens) const
    {
        return {m_emu.url().toString(), u"test-key"_s, u"alice"_s, u"secret"_s, tokens};
    }

private slots:
    void initTestCase() { QVERIFY(m_emu.start(RestFixtures::kCatalog)); }
    void init()
    {
        QVERIFY(m_emu.reset());
        QDir(m_dir.path()).removeRecursively();
        QVERIFY(QDir().mkpath(m_dir.filePath(u"cache"_s)));
    }

    void tokenIsKeptUntilItExpires()
    {
        const RestTokenCache cache = cacheAt(cachePath());
        const QString token = tokenExpiringAt(m_now.addSecs(3600).toSecsSinceEpoch());
        const QDateTime expires = cache.expiryOf(token);
        QCOMPARE(expires, m_now.addSecs(3600 - RestTokenCache::kMarginSeconds));
        QCOMPARE(cache.expiryOf(u"not.a-jwt"_s), m_now.addSecs(RestTokenCache::kKeptSeconds));
        cache.keep(u"alice"_s, kServer, {token, kServer, expires});

        const auto found = cache.find(u"alice"_s, kServer);
        QVERIFY(found);
        QCOMPARE(found->token, token);
        QCOMPARE(found->root, kServer);
        QVERIFY2(!cache.find(u"bob"_s, kServer), "another account");
        QVERIFY2(!cache.find(u"alice"_s, QUrl(u"https://vip-api.opensubtitles.com/api/v1"_s)),
                 "another server");
        QCOMPARE(modeOf(cachePath()) & 0777, mode_t(0600));

        m_now = expires;
        QVERIFY2(!cache.find(u"alice"_s, kServer), "expired");
        cache.forget(u"alice"_s, kServer);
        m_now = m_now.addSecs(-60);
        QVERIFY(!cache.find(u"alice"_s, kServer));
    }

    void rootOnAForeignDomainIsNeverUsed_data()
    {
        QTest::addColumn<QString>("root");
        QTest::addColumn<bool>("used");
        QTest::newRow("the server itself") << kServer.toString() << true;
        QTest::newRow("the paying accounts' host") << u"https://vip-api.opensubtitles.com/api/v1"_s << true;
        QTest::newRow("another domain") << u"https://api.opensubtitles.com.evil.example/api/v1"_s << false;
        QTest::newRow("plain http") << u"http://vip-api.opensubtitles.com/api/v1"_s << false;
    }

    void rootOnAForeignDomainIsNeverUsed()
    {
        QFETCH(QString, root);
        QFETCH(bool, used);
        const RestTokenCache cache = cacheAt(cachePath());
        cache.keep(u"alice"_s, kServer, {u"abc.def.ghi"_s, QUrl(root), m_now.addSecs(600)});
        QCOMPARE(bool(cache.find(u"alice"_s, kServer)), used);
    }

    // A file we cannot trust is ignored; the next save replaces it with one
    // of our own, readable by us alone.
    void untrustedFileIsIgnoredAndReplaced_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("damaged") << u"damaged"_s;
        QTest::newRow("readable by others") << u"open"_s;
        QTest::newRow("a link") << u"link"_s;
        QTest::newRow("a folder") << u"folder"_s;
        QTest::newRow("too large") << u"large"_s;
    }

    void untrustedFileIsIgnoredAndReplaced()
    {
        QFETCH(QString, kind);
        const QString path = cachePath();
        // What each file would hand out if it were trusted.
        const QJsonObject trusted{{u"token"_s, u"a.b.c"_s},
                                  {u"root"_s, kServer.toString()},
                                  {u"expires"_s, u"2027-01-01T00:00:00Z"_s}};
        const QByteArray entry =
            QJsonDocument(
                QJsonObject{{u"alice@"_s + kServer.toString(),
                             QString::fromUtf8(QJsonDocument(trusted).toJson(QJsonDocument::Compact))}})
                .toJson(QJsonDocument::Compact);
        const QString elsewhere = m_dir.filePath(u"elsewhere.json"_s);
        if (kind == "damaged"_L1)
            QVERIFY(writeFile(path, entry.left(40), QFile::ReadOwner | QFile::WriteOwner));
        else if (kind == "open"_L1)
            QVERIFY(writeFile(path, entry, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
        else if (kind == "link"_L1)
            QVERIFY(writeFile(elsewhere, entry, QFile::ReadOwner | QFile::WriteOwner) &&
                    QFile::link(elsewhere, path));
        else if (kind == "folder"_L1)
            QVERIFY(QDir().mkpath(path + u"/x"_s));
        else
            QVERIFY(writeFile(path, entry + QByteArray(RestTokenFile::kMaxBytes, ' '),
                              QFile::ReadOwner | QFile::WriteOwner));

        const RestTokenCache cache = cacheAt(path);
        QVERIFY(!cache.find(u"alice"_s, kServer));
        if (kind == "folder"_L1)
            return; // a folder in its place is left alone: nothing can be saved there
        cache.keep(u"alice"_s, kServer, {u"fresh.token.x"_s, kServer, m_now.addSecs(600)});
        QVERIFY(S_ISREG(modeOf(path)));
        QCOMPARE(modeOf(path) & 0777, mode_t(0600));
        QCOMPARE(cache.find(u"alice"_s, kServer)->token, u"fresh.token.x"_s);
        if (kind == "link"_L1) {
            QFile target(elsewhere);
            QVERIFY(target.open(QIODevice::ReadOnly));
            QCOMPARE(target.readAll(), entry); // the link's target was not written through
        }
    }

    // Across runs the token is reused (no second sign-in); a refused one is
    // forgotten and replaced by one fresh sign-in.
    void clientsReuseTheTokenAndRenewItOnce()
    {
        const auto tokens = std::make_shared<RestTokenCache>(std::make_shared<RestTokenFile>(cachePath()));
        RestSearch search;
        search.languages = {u"en"_s};
        search.movieHash = u"5b8f8f4e41ccb21e"_s;
        {
            RestClient first(settings(tokens));
            QVERIFY(!first.signIn());
        }
        RestClient second(settings(tokens));
        QVERIFY(!second.signIn());
        QVERIFY(!second.search(search).error);
        QCOMPARE(m_emu.methods(), (QStringList{u"login"_s, u"user"_s, u"user"_s, u"subtitles"_s}));
        QCOMPARE(second.quota().remaining, 20); // from /infos/user, before any download

        QVERIFY(m_emu.reset());
        QVERIFY(m_emu.fail(u"http401"_s, u"subtitles"_s, 1));
        RestClient third(settings(tokens));
        const auto found = third.search(search);
        QVERIFY2(!found.error, qPrintable(found.error.reason));
        QCOMPARE(m_emu.methods(), (QStringList{u"subtitles"_s, u"login"_s, u"subtitles"_s}));
        QVERIFY(tokens->find(u"alice"_s, m_emu.url(), u"secret"_s));

        // A mistyped password is not hidden by the cached token: it signs in, and fails.
        RestClient::Settings mistyped = settings(tokens);
        mistyped.password = u"secreT"_s;
        QCOMPARE(RestClient(mistyped).signIn().code, 401);
    }
};

LUMBRA_TEST_MAIN(tst_RestTokenCache)
#include "tst_RestTokenCache.moc"
