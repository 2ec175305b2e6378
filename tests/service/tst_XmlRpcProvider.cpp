#include "service/OSClient.h"
#include "service/XmlRpcProvider.h"
#include "service/XmlRpcTransport.h"
#include "ServiceEmulator.h"
#include "TestMain.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <numeric>

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

// Files the stand-in keeps under the ids 1970000000 + n, n from 1.
QString fileId(int n)
{
    return QString::number(1970000000 + n);
}

QByteArray fileContent(int n)
{
    return u"1\n00:00:01,000 --> 00:00:02,000\nFile %1\n"_s.arg(n).toUtf8();
}

QByteArray filesCatalog(int count)
{
    QJsonArray movies;
    for (int n = 1; n <= count; ++n) {
        const QJsonObject subtitle{{u"id"_s, fileId(n)}, {u"content"_s, QString::fromUtf8(fileContent(n))}};
        movies.append(QJsonObject{{u"name"_s, u"Film %1"_s.arg(n)}, {u"subtitles"_s, QJsonArray{subtitle}}});
    }
    return QJsonDocument(
               QJsonObject{{u"users"_s, QJsonObject{{u"alice"_s, u"secret"_s}}}, {u"movies"_s, movies}})
        .toJson();
}

// The film byHash() finds, with `count` English subtitles of ids 1 to `count`.
QByteArray filmWithSubtitles(int count)
{
    QJsonArray subtitles;
    for (int n = 1; n <= count; ++n)
        subtitles.append(QJsonObject{{u"id"_s, QString::number(n)},
                                     {u"lang"_s, u"eng"_s},
                                     {u"file"_s, u"Man.of.Steel.%1.srt"_s.arg(n)},
                                     {u"content"_s, QString::fromUtf8(fileContent(n))}});
    const QJsonObject film{{u"hash"_s, byHash().movieHash},
                           {u"bytesize"_s, qint64(byHash().movieByteSize)},
                           {u"name"_s, u"Man of Steel"_s},
                           {u"subtitles"_s, subtitles}};
    return QJsonDocument(QJsonObject{{u"users"_s, QJsonObject{{u"alice"_s, u"secret"_s}}},
                                     {u"movies"_s, QJsonArray{film}}})
        .toJson();
}

// Records of the first `count` of those files, as a search would leave them.
QList<openSubtitleItem> fileRecords(const ServiceEmulator &emu, int count)
{
    QList<openSubtitleItem> records;
    for (int n = 1; n <= count; ++n) {
        openSubtitleItem record;
        record.IDSubtitleFile = fileId(n).toInt();
        record.SubDownloadLink = emu.baseUrl() + u"/download/"_s + fileId(n) + u".gz"_s;
        records.append(record);
    }
    return records;
}

// What one downloadEach() did: the entries asked about, and what each got.
struct DownloadRun {
    QList<int> begun;
    QMap<int, ServiceResult<QByteArray>> delivered;
};

DownloadRun downloadEach(XmlRpcProvider &provider, const QList<openSubtitleItem> &records,
                         const std::function<bool(int)> &accept = {})
{
    DownloadRun run;
    provider.downloadEach(
        records,
        [&](int i) {
            run.begun.append(i);
            return !accept || accept(i);
        },
        [&](int i, const ServiceResult<QByteArray> &content) {
            QVERIFY2(!run.delivered.contains(i), "delivered twice");
            run.delivered.insert(i, content);
        });
    return run;
}

// The file ids of each DownloadSubtitles call (calls under way together
// arrive in any order: sorted), and of the links fetched.
QList<QStringList> filesCalledFor(const ServiceEmulator &emu)
{
    QList<QStringList> calls;
    for (const QJsonValue &call : emu.calls()) {
        if (call[u"method"_s] == u"DownloadSubtitles"_s)
            calls.append(call[u"params"_s][1].toVariant().toStringList());
    }
    std::sort(calls.begin(), calls.end());
    return calls;
}

QStringList linksFetched(const ServiceEmulator &emu)
{
    QStringList ids;
    for (const QJsonValue &call : emu.calls()) {
        if (call[u"kind"_s] == u"download"_s)
            ids.append(call[u"params"_s][0].toString());
    }
    std::sort(ids.begin(), ids.end());
    return ids;
}

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
        m_provider->transport().setTransferTimeout(20s);
    }
    void cleanup()
    {
        m_provider.reset();
        QVERIFY(m_emu.setCatalog(Catalog));
    }

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

    // Entries become records as the reply is read; a reply that breaks off
    // after some of them gives none, and the next search finds them all.
    void searchReplyCutShortGivesNoRecords()
    {
        constexpr int Subtitles = 8;
        QVERIFY(m_emu.setCatalog(filmWithSubtitles(Subtitles)));
        QVERIFY(m_provider->signIn(Alice).ok());
        QVERIFY(m_emu.fail(u"malformed"_s, u"SearchSubtitles"_s, 1));
        const auto cut = m_provider->search({byHash()}, 100);
        QCOMPARE(cut.error.code, int(ServiceError::BadReply));
        QVERIFY(cut.value.isEmpty());

        const auto whole = m_provider->search({byHash()}, 100);
        QVERIFY(whole.ok());
        QList<int> ids;
        for (const auto &record : whole.value)
            ids.append(record->IDSubtitleFile);
        QList<int> expected(Subtitles);
        std::iota(expected.begin(), expected.end(), 1);
        QCOMPARE(ids, expected);
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

    // A queue's files come twenty to a DownloadSubtitles call, in queue
    // order, with the login token and Lumbra's User-Agent; an entry the job
    // leaves out is not asked for.
    void filesComeTwentyToACall()
    {
        QVERIFY(m_emu.setCatalog(filesCatalog(25)));
        QVERIFY(m_provider->signIn(Alice).ok());
        const DownloadRun run =
            downloadEach(*m_provider, fileRecords(m_emu, 25), [](int i) { return i != 7; });
        QCOMPARE(run.begun.size(), 25);
        QVERIFY(std::is_sorted(run.begun.cbegin(), run.begun.cend()));
        QCOMPARE(run.delivered.size(), 24);
        for (auto it = run.delivered.cbegin(); it != run.delivered.cend(); ++it) {
            QVERIFY2(it->ok(), qPrintable(it->error.reason));
            QCOMPARE(it->value, fileContent(it.key() + 1));
        }
        QStringList first;
        for (int n = 1; n <= 21; ++n) {
            if (n != 8)
                first.append(fileId(n));
        }
        QCOMPARE(filesCalledFor(m_emu),
                 (QList<QStringList>{first, {fileId(22), fileId(23), fileId(24), fileId(25)}}));
        QVERIFY(linksFetched(m_emu).isEmpty());
        for (const QJsonValue &call : m_emu.calls()) {
            QCOMPARE(call[u"headers"_s][u"user-agent"_s].toString(), OSClient::DefaultUserAgent());
            if (call[u"method"_s] == u"DownloadSubtitles"_s)
                QVERIFY(call[u"params"_s][0].toString().startsWith(u"emu"_s));
        }
    }

    // Whatever a DownloadSubtitles reply lacks or spoils, the files come by
    // their links, whole; a file the link cannot give either fails with the
    // link's own reason.
    void damagedFileCallsFallBackToLinks_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("on");
        QTest::addColumn<QJsonObject>("options");
        QTest::addColumn<QList<int>>("byLink");
        QTest::addColumn<QString>("failure"); // of the second file, when it fails
        const QList<int> all{1, 2, 3, 4};
        QTest::newRow("not base64") << u"badbase64"_s << QString() << QJsonObject{} << all << QString();
        QTest::newRow("damaged gzip")
            << u"brokengzip"_s << u"DownloadSubtitles"_s << QJsonObject{} << all << QString();
        QTest::newRow("files left out")
            << u"dropids"_s << QString() << QJsonObject{} << QList<int>{2, 4} << QString();
        QTest::newRow("ids not asked for")
            << u"foreignids"_s << QString() << QJsonObject{} << all << QString();
        QTest::newRow("fault") << u"fault"_s << u"DownloadSubtitles"_s << QJsonObject{} << all << QString();
        QTest::newRow("not XML") << u"malformed"_s << u"DownloadSubtitles"_s << QJsonObject{} << all
                                 << QString();
        QTest::newRow("service unavailable")
            << u"http503"_s << u"DownloadSubtitles"_s << QJsonObject{} << all << QString();
        QTest::newRow("connection closed")
            << u"close"_s << u"DownloadSubtitles"_s << QJsonObject{} << all << QString();
        QTest::newRow("unpacks beyond the cap")
            << u"gzipbomb"_s << u"download"_s
            << QJsonObject{{u"subtitle"_s, fileId(2)}, {u"size"_s, 24 << 20}} << QList<int>{2}
            << u"unpacked content exceeds"_s;
    }

    void damagedFileCallsFallBackToLinks()
    {
        QFETCH(QString, mode);
        QFETCH(QString, on);
        QFETCH(QJsonObject, options);
        QFETCH(QList<int>, byLink);
        QFETCH(QString, failure);
        QVERIFY(m_emu.setCatalog(filesCatalog(4)));
        QVERIFY(m_provider->signIn(Alice).ok());
        QVERIFY(m_emu.fail(mode, on, -1, options));
        const DownloadRun run = downloadEach(*m_provider, fileRecords(m_emu, 4));
        QCOMPARE(run.delivered.size(), 4);
        for (auto it = run.delivered.cbegin(); it != run.delivered.cend(); ++it) {
            if (it.key() == 1 && !failure.isEmpty()) {
                QVERIFY2(it->error.reason.contains(failure), qPrintable(it->error.reason));
                continue;
            }
            QVERIFY2(it->ok(), qPrintable(it->error.reason));
            QCOMPARE(it->value, fileContent(it.key() + 1));
        }
        QStringList links;
        for (const int n : byLink)
            links.append(fileId(n));
        QCOMPARE(linksFetched(m_emu), links);
    }

    // "407" says the day's quota is used up, even with files in the reply:
    // every download of the run fails with that reason, and no link is
    // tried (it would spend the same quota again).
    void quotaRefusalEndsTheDownloads()
    {
        QVERIFY(m_emu.setCatalog(filesCatalog(4)));
        QVERIFY(m_provider->signIn(Alice).ok());
        QVERIFY(m_emu.fail(u"status"_s, {}, -1, {{u"text"_s, u"407 Download limit reached"_s}}));
        const DownloadRun run = downloadEach(*m_provider, fileRecords(m_emu, 4));
        QCOMPARE(run.delivered.size(), 4);
        for (auto it = run.delivered.cbegin(); it != run.delivered.cend(); ++it)
            QVERIFY2(it->error.reason.contains(u"quota for today is used up (407"_s),
                     qPrintable(it->error.reason));
        QVERIFY(linksFetched(m_emu).isEmpty());
    }

    // Cancelled while its calls are under way: they are dropped at once,
    // every entry that began gets "cancelled", and no link is tried.
    void cancellingDropsTheCallsUnderWay()
    {
        QVERIFY(m_emu.setCatalog(filesCatalog(25)));
        QVERIFY(m_provider->signIn(Alice).ok());
        QVERIFY(m_emu.fail(u"stall"_s, u"DownloadSubtitles"_s, -1, {{u"seconds"_s, 30}}));
        QTimer::singleShot(1000, [this] { m_provider->cancel(); }); // both calls are at the stand-in by then
        QElapsedTimer clock;
        clock.start();
        const DownloadRun run = downloadEach(*m_provider, fileRecords(m_emu, 25));
        QVERIFY(clock.elapsed() < 5000);
        QCOMPARE(run.delivered.size(), run.begun.size());
        for (const auto &content : run.delivered)
            QVERIFY(content.error.cancelled());
        QTRY_COMPARE(filesCalledFor(m_emu).size(), 2);
        QVERIFY(linksFetched(m_emu).isEmpty());
    }

private:
    ServiceEmulator m_emu;
    std::unique_ptr<XmlRpcProvider> m_provider;
};

LUMBRA_TEST_MAIN(tst_XmlRpcProvider)
#include "tst_XmlRpcProvider.moc"
