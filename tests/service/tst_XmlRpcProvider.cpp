#include "service/OSClient.h"
#include "service/XmlRpcProvider.h"
#include "ServiceEmulator.h"
#include "TestMain.h"

#include <QElapsedTimer>
#include <QJsonObject>
#include <QTest>
#include <QThread>

#include <memory>

using namespace Qt::Literals::StringLiterals;
using namespace std::chrono_literals;

namespace {

const char *const Catalog = R"({
  "users": {"alice": "secret"},
  "movies": [{
    "hash": "8e245d9679d31e12", "bytesize": 12909756, "imdbid": "0770828",
    "name": "Man of Steel", "year": "2013", "kind": "movie", "seencount": 12,
    "tags": ["man.of.steel.2013.mkv"],
    "subtitles": [{"id": "1953767650", "lang": "eng", "file": "Man.of.Steel.en.srt",
                   "content": "1\n00:00:01,000 --> 00:00:04,000\nHello\n"}]
  }]
})";

SubtitleQuery byHash()
{
    SubtitleQuery q;
    q.kind = SubtitleQuery::Kind::Hash;
    q.language = u"eng"_s;
    q.movieHash = u"8e245d9679d31e12"_s;
    q.movieByteSize = 12909756;
    return q;
}

const ProviderAccount Alice{u"alice"_s, u"secret"_s, u"en"_s, u"Lumbra 0.1"_s};

} // namespace

// The XML-RPC provider against the stand-in: what the jobs get back, values
// and errors alike.
class tst_XmlRpcProvider : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(m_emu.start(Catalog)); }
    void init()
    {
        QVERIFY(m_emu.reset());
        m_provider = std::make_unique<XmlRpcProvider>(m_emu.url().toString());
        m_provider->client().setTransferTimeout(20s);
    }
    void cleanup() { m_provider.reset(); }

    void signInSearchIdentifyAndDownload()
    {
        QVERIFY(m_provider->signIn(Alice).ok());
        const auto found = m_provider->search({byHash()}, 10);
        QVERIFY(found.ok());
        QCOMPARE(found.value.size(), 1);
        const openSubtitleItem &item = *found.value.first();
        QCOMPARE(item.MatchedBy, u"moviehash"_s);
        QCOMPARE(item.ISO639, u"en"_s);
        QCOMPARE(item.QueryParameters.value(u"moviehash"_s).toString(), u"8e245d9679d31e12"_s);
        QVERIFY(!item.SubHash.isEmpty());

        const auto films = m_provider->identify({u"8e245d9679d31e12"_s});
        QVERIFY(films.ok());
        QCOMPARE(films.value.value(u"8e245d9679d31e12"_s).size(), 1);
        QCOMPARE(films.value.value(u"8e245d9679d31e12"_s).first().value(u"MovieName"_s).toString(),
                 u"Man of Steel"_s);

        const auto content = m_provider->download(item);
        QVERIFY(content.ok());
        QVERIFY(content.value.contains("Hello"));
        QCOMPARE(m_emu.methods(),
                 (QStringList{u"ServerInfo"_s, u"LogIn"_s, u"SearchSubtitles"_s, u"CheckMovieHash2"_s}));
    }

    // Refused with a token all the same: searching with it would only meet
    // refusals, so the sign-in fails and names the refusal.
    void refusedLoginIsAnError()
    {
        const ServiceError error = m_provider->signIn({u"alice"_s, u"wrong"_s, u"en"_s, u"Lumbra 0.1"_s});
        QCOMPARE(error.code, 401);
        QCOMPARE(error.reason, u"LogIn: 401 Unauthorized"_s);
        QVERIFY(!m_emu.methods().contains(u"SearchSubtitles"_s));
    }

    void errorsComeBackAsValues_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("on");
        QTest::addColumn<QJsonObject>("options");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("reason");
        QTest::newRow("service unavailable at sign-in") << u"http503"_s << u"LogIn"_s << QJsonObject{} << 506
                                                        << u"LogIn: the service is unavailable (HTTP 503)"_s;
        QTest::newRow("fault on search")
            << u"fault"_s << u"SearchSubtitles"_s
            << QJsonObject{{u"code"_s, 429}, {u"text"_s, u"429 Too many requests"_s}} << 429
            << u"SearchSubtitles: 429 Too many requests"_s;
        QTest::newRow("broken gzip at the download link")
            << u"brokengzip"_s << u"download"_s << QJsonObject{} << 500 << QString();
    }

    void errorsComeBackAsValues()
    {
        QFETCH(QString, mode);
        QFETCH(QString, on);
        QFETCH(QJsonObject, options);
        QFETCH(int, code);
        QFETCH(QString, reason);
        QVERIFY(m_emu.fail(mode, on, 1, options));
        ServiceError error = m_provider->signIn(Alice);
        if (error.ok()) {
            const auto found = m_provider->search({byHash()}, 10);
            error = found.error;
            if (error.ok())
                error = m_provider->download(*found.value.value(0)).error;
        }
        QCOMPARE(error.code, code);
        if (!reason.isEmpty())
            QVERIFY2(error.reason.endsWith(reason), qPrintable(error.reason));
        QVERIFY(!error.reason.isEmpty());
    }

    // A request waiting on a stalled service, and every later one, end at
    // once with "cancelled" when another thread cancels.
    void cancelEndsTheRequestUnderWay()
    {
        QVERIFY(m_emu.fail(u"stall"_s, u"LogIn"_s, 1, {{u"seconds"_s, 60}}));
        ServiceError error;
        QElapsedTimer clock;
        std::unique_ptr<QThread> worker(QThread::create([&] { error = m_provider->signIn(Alice); }));
        worker->start();
        QTRY_VERIFY(m_emu.methods().contains(u"LogIn"_s));
        clock.start();
        m_provider->cancel();
        QVERIFY(worker->wait(5000));
        QVERIFY(clock.elapsed() < 5000);
        QVERIFY(error.cancelled());
        QVERIFY(m_provider->search({byHash()}, 10).error.cancelled());
        openSubtitleItem item;
        item.SubDownloadLink = m_emu.baseUrl() + u"/download/1953767650.gz"_s;
        QVERIFY(m_provider->download(item).error.cancelled());
    }

private:
    ServiceEmulator m_emu;
    std::unique_ptr<XmlRpcProvider> m_provider;
};

LUMBRA_TEST_MAIN(tst_XmlRpcProvider)
#include "tst_XmlRpcProvider.moc"
