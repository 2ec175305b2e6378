#include "ServiceEmulator.h"
#include "TestMain.h"

#include "media/movieFile.h"
#include "media/MovieHash.h"
#include "prefs/myPrefs.h"
#include "service/JobRecords.h"
#include "service/openSubtitleItem.h"
#include "service/OSClient.h"
#include "service/RunSettings.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

using namespace Qt::Literals::StringLiterals;

// Whole search runs against the service stand-in: what the client sends, in
// which order, and what the replies leave on the records.
class tst_SearchRun : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_hashA, m_hashB, m_hashShow;

    QString makeVideo(const QString &name, char fill)
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            qFatal("cannot create a video");
        file.write(QByteArray(200000, fill));
        return path;
    }

    void writeText(const QString &name, const QByteArray &text)
    {
        QFile file(m_dir.filePath(name));
        if (!file.open(QIODevice::WriteOnly))
            qFatal("cannot write");
        file.write(text);
    }

    QByteArray catalog() const
    {
        const QJsonObject filmA{
            {u"hash"_s, m_hashA},
            {u"bytesize"_s, 200000},
            {u"imdbid"_s, u"0113277"_s},
            {u"name"_s, u"Heat"_s},
            {u"year"_s, u"1995"_s},
            {u"seencount"_s, 12},
            {u"subtitles"_s,
             QJsonArray{QJsonObject{{u"lang"_s, u"eng"_s}, {u"file"_s, u"Heat.en.srt"_s}},
                        QJsonObject{{u"lang"_s, u"eng"_s},
                                    {u"file"_s, u"Heat.alt.srt"_s},
                                    {u"content"_s, u"1\n00:00:01,000 --> 00:00:02,000\nAlt\n"_s}},
                        QJsonObject{{u"lang"_s, u"spa"_s}, {u"file"_s, u"Heat.es.srt"_s}}}}};
        // Ronin's own hash is known without subtitles; they come by its IMDB id.
        const QJsonObject roninByHash{{u"hash"_s, m_hashB},
                                      {u"bytesize"_s, 200000},
                                      {u"imdbid"_s, u"0133093"_s},
                                      {u"name"_s, u"Ronin"_s},
                                      {u"seencount"_s, 5}};
        const QJsonObject filmB{{u"hash"_s, u"00000000deadbeef"_s},
                                {u"bytesize"_s, 1},
                                {u"imdbid"_s, u"0133093"_s},
                                {u"name"_s, u"Ronin"_s},
                                {u"tags"_s, QJsonArray{u"Ronin.1998.mkv"_s}},
                                {u"subtitles"_s, QJsonArray{QJsonObject{{u"lang"_s, u"eng"_s}}}}};
        const QJsonObject show{{u"hash"_s, u"00000000cafecafe"_s},
                               {u"bytesize"_s, 1},
                               {u"name"_s, u"Pilot"_s},
                               {u"show"_s, u"The Wire"_s},
                               {u"kind"_s, u"episode"_s},
                               {u"season"_s, 1},
                               {u"episode"_s, 2},
                               {u"subtitles"_s, QJsonArray{QJsonObject{{u"lang"_s, u"spa"_s}}}}};
        return QJsonDocument(QJsonObject{{u"movies"_s, QJsonArray{filmA, roninByHash, filmB, show}}})
            .toJson();
    }

    // Records holding the videos (the three of the catalogue by default),
    // checked and listed as a window would.
    void fill(JobRecords &records,
              const QStringList &names = {u"Heat.avi"_s, u"Ronin.1998.mkv"_s, u"The.Wire.S01E02.avi"_s})
    {
        const QMutexLocker guard(&records.stateLock());
        records.mode = u"GetSubs"_s;
        records.movieFiles.clear();
        for (const QString &name : names) {
            auto video = movieFile::create(m_dir.filePath(name));
            video->addedToList = true;
            video->isChecked = true;
            records.movieFiles.append(video);
        }
    }

    static QJsonArray callsOf(const ServiceEmulator &emu, const QString &method)
    {
        QJsonArray found;
        for (const QJsonValue &call : emu.calls()) {
            if (call[u"method"_s].toString() == method)
                found.append(call);
        }
        return found;
    }

    // Every query struct of every SearchSubtitles request so far.
    static QList<QJsonObject> queriesSent(const ServiceEmulator &emu)
    {
        QList<QJsonObject> queries;
        for (const QJsonValue &call : callsOf(emu, u"SearchSubtitles"_s)) {
            for (const QJsonValue &query : call[u"params"_s][1].toArray())
                queries.append(query.toObject());
        }
        return queries;
    }

    static QStringList languagesSearched(const ServiceEmulator &emu)
    {
        QStringList languages;
        for (const QJsonObject &query : queriesSent(emu))
            languages.append(query[u"sublanguageid"_s].toString());
        return languages;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        makeVideo(u"Heat.avi"_s, 'a');
        makeVideo(u"Ronin.1998.mkv"_s, 'b');
        makeVideo(u"The.Wire.S01E02.avi"_s, 'c');
        m_hashA = XMLRPC::getMoviehash(m_dir.filePath(u"Heat.avi"_s));
        m_hashB = XMLRPC::getMoviehash(m_dir.filePath(u"Ronin.1998.mkv"_s));
        QCOMPARE(m_hashA.size(), 16);
    }

    void init()
    {
        myPrefs::resetToDefaults();
        myPrefs::setLanguageList({u"en"_s, u"es"_s});
    }

    void fullRunSendsEachKindOncePerLanguage()
    {
        ServiceEmulator emu;
        QVERIFY(emu.start(catalog()));
        myPrefs::setOSAPIServer(emu.url().toString());
        OSClient client;
        JobRecords records;
        fill(records);

        QVERIFY(client.SearchSubs(records, RunSettings::fromPreferences()));
        QCOMPARE(client.status(),
                 (QStringList{u"VERIFY"_s, u"LOGIN:SENT"_s, u"LOGIN:ID"_s, u"SEARCH:HASH"_s, u"SEARCH:HASH"_s,
                              u"SEARCH:HASH2IMDB"_s, u"SEARCH:IMDBID"_s, u"SEARCH:IMDBID"_s, u"SEARCH:TAGS"_s,
                              u"SEARCH:TAGS"_s, u"SEARCH:NAME"_s, u"SEARCH:NAME"_s}));
        QVERIFY(!client.osToken().isEmpty());

        const QJsonArray searches = callsOf(emu, u"SearchSubtitles"_s);
        QCOMPARE(searches.size(), 8);
        // Hash step: all three videos in one request per language, with the options struct.
        const QJsonArray hashParams = searches[0][u"params"_s].toArray();
        QCOMPARE(hashParams[0].toString(), client.osToken());
        QCOMPARE(hashParams[1].toArray().size(), 3);
        QCOMPARE(hashParams[1][0][u"sublanguageid"_s].toString(), u"eng"_s);
        QCOMPARE(hashParams[2][u"limit"_s].toInt(), 10);
        QCOMPARE(searches[1][u"params"_s][1][0][u"sublanguageid"_s].toString(), u"spa"_s);
        // Sizes travel as whole-number doubles, season and episode as ints.
        const QString hashBody = searches[0][u"body"_s].toString();
        QVERIFY(hashBody.contains(u"<name>moviebytesize</name><value><double>200000</double>"_s));
        const QString nameBody = searches[6][u"body"_s].toString();
        QVERIFY(nameBody.contains(u"<name>season</name><value><int>1</int>"_s));
        QVERIFY(nameBody.contains(u"<name>episode</name><value><int>2</int>"_s));
        QVERIFY(nameBody.contains(u"<string>Ronin.1998</string>"_s));

        const QMutexLocker guard(&records.stateLock());
        const auto heat = records.movieFiles[0];
        const auto ronin = records.movieFiles[1];
        const auto wire = records.movieFiles[2];
        // Heat was found by hash in both languages, so no later step asked for it.
        QCOMPARE(heat->subtitleResults().size(), 3);
        for (const auto &r : heat->subtitleResults())
            QCOMPARE(r->MatchedBy, u"moviehash"_s);
        QCOMPARE(searches[6][u"params"_s][1].toArray().size(), 2);
        // The best English subtitle is checked, and only one per language.
        int checkedEnglish = 0;
        for (const auto &r : heat->subtitleResults())
            checkedEnglish += (r->isChecked && r->ISO639 == "en"_L1) ? 1 : 0;
        QCOMPARE(checkedEnglish, 1);
        QCOMPARE(heat->imdbs().size(), 1);
        QCOMPARE(heat->imdbs().first().value(u"movieImdbID"_s).toInt(), 113277);
        // Ronin's IMDB id came from its hash, and brought subtitles by that id.
        QCOMPARE(ronin->metadata()->movieImdbID(), u"0133093"_s);
        QCOMPARE(searches[2][u"params"_s][1][0][u"imdbid"_s].toString(), u"0133093"_s);
        QVERIFY(!ronin->subtitleResults().isEmpty());
        QCOMPARE(ronin->subtitleResults().first()->MatchedBy, u"imdbid"_s);
        QVERIFY(!wire->subtitleResults().isEmpty());
        QCOMPARE(wire->subtitleResults().first()->ISO639, u"es"_s);
    }

    void localSubtitlesAndEarlierHashResultsSkipALanguage()
    {
        ServiceEmulator emu;
        QVERIFY(emu.start(catalog()));
        myPrefs::setOSAPIServer(emu.url().toString());
        writeText(u"Ronin.1998.es.srt"_s, "1\n00:00:01,000 --> 00:00:02,000\nHola\n");
        OSClient client;
        JobRecords records;
        {
            const QMutexLocker guard(&records.stateLock());
            records.mode = u"GetSubs"_s;
        }
        records.processFiles({m_dir.filePath(u"Ronin.1998.mkv"_s), m_dir.filePath(u"Ronin.1998.es.srt"_s)});
        {
            const QMutexLocker guard(&records.stateLock());
            QCOMPARE(records.movieFiles.size(), 1);
            records.movieFiles[0]->addedToList = records.movieFiles[0]->isChecked = true;
        }
        QVERIFY(client.SearchSubs(records, RunSettings::fromPreferences()));
        QVERIFY(languagesSearched(emu).contains(u"eng"_s));
        QVERIFY(!languagesSearched(emu).contains(u"spa"_s));

        // With refreshSubs the Spanish subtitle beside it no longer keeps Spanish out.
        emu.reset();
        myPrefs::setRefreshSubs(true);
        QVERIFY(client.SearchSubs(records, RunSettings::fromPreferences()));
        QVERIFY(languagesSearched(emu).contains(u"spa"_s));
        QFile::remove(m_dir.filePath(u"Ronin.1998.es.srt"_s));
    }

    void aSecondRunAsksOnlyForWhatIsMissing()
    {
        ServiceEmulator emu;
        QVERIFY(emu.start(catalog()));
        myPrefs::setOSAPIServer(emu.url().toString());
        OSClient client;
        JobRecords records;
        fill(records);
        QVERIFY(client.SearchSubs(records, RunSettings::fromPreferences()));
        emu.reset();
        QVERIFY(client.SearchSubs(records, RunSettings::fromPreferences()));
        for (const QJsonObject &query : queriesSent(emu))
            QVERIFY(query[u"moviehash"_s].toString() != m_hashA);
        const QMutexLocker guard(&records.stateLock());
        QCOMPARE(records.movieFiles[0]->subtitleResults().size(), 3); // nothing attached twice
    }

    void failuresEndTheRun_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("method");
        QTest::addColumn<QStringList>("journal");
        QTest::addColumn<QStringList>("methods");
        QTest::newRow("server unavailable")
            << u"http503"_s << u"ServerInfo"_s
            << QStringList{u"VERIFY"_s, u"ERROR: Service is unavailable trying ServerInfo"_s}
            << QStringList{u"ServerInfo"_s};
        QTest::newRow("login fault") << u"fault"_s << u"LogIn"_s
                                     << QStringList{u"VERIFY"_s, u"LOGIN:SENT"_s, u"ERROR:CONN"_s}
                                     << QStringList{u"ServerInfo"_s, u"LogIn"_s};
        QTest::newRow("hash-to-imdb error")
            << u"http500"_s << u"CheckMovieHash2"_s
            << QStringList{u"VERIFY"_s,      u"LOGIN:SENT"_s,           u"LOGIN:ID"_s,
                           u"SEARCH:HASH"_s, u"SEARCH:HASH"_s,          u"SEARCH:HASH2IMDB"_s,
                           u"ERROR:CONN"_s,  u"ERROR:CheckMovieHash2"_s}
            << QStringList{u"ServerInfo"_s, u"LogIn"_s, u"SearchSubtitles"_s, u"SearchSubtitles"_s,
                           u"CheckMovieHash2"_s};
    }
    void failuresEndTheRun()
    {
        QFETCH(QString, mode);
        QFETCH(QString, method);
        QFETCH(QStringList, journal);
        QFETCH(QStringList, methods);
        ServiceEmulator emu;
        QVERIFY(emu.start(catalog()));
        QVERIFY(emu.fail(mode, method));
        myPrefs::setOSAPIServer(emu.url().toString());
        OSClient client;
        JobRecords records;
        fill(records);
        QVERIFY(!client.SearchSubs(records, RunSettings::fromPreferences()));
        QCOMPARE(client.status(), journal);
        QCOMPARE(emu.methods(), methods);
    }

    void nothingIsAskedWithAnEmptyList_data()
    {
        QTest::addColumn<QStringList>("videos");
        QTest::addColumn<QStringList>("methods");
        const QString search = u"SearchSubtitles"_s;
        // Found by hash in both languages: no hash is left to identify.
        QTest::newRow("all found by hash")
            << QStringList{u"Heat.avi"_s} << QStringList{u"ServerInfo"_s, u"LogIn"_s, search, search};
        // An unknown episode: identified in vain, and without an IMDB id
        // there is nothing to search by IMDB id.
        QTest::newRow("no IMDB id") << QStringList{u"The.Wire.S01E02.avi"_s}
                                    << QStringList{
                                           u"ServerInfo"_s, u"LogIn"_s, search, search, u"CheckMovieHash2"_s,
                                           search,          search,     search, search};
    }
    void nothingIsAskedWithAnEmptyList()
    {
        QFETCH(QStringList, videos);
        QFETCH(QStringList, methods);
        ServiceEmulator emu;
        QVERIFY(emu.start(catalog()));
        myPrefs::setOSAPIServer(emu.url().toString());
        OSClient client;
        JobRecords records;
        fill(records, videos);
        QVERIFY(client.SearchSubs(records, RunSettings::fromPreferences()));
        QCOMPARE(emu.methods(), methods);
        for (const QJsonValue &call : emu.calls()) {
            const QString method = call[u"method"_s].toString();
            if (method == "SearchSubtitles"_L1 || method == "CheckMovieHash2"_L1)
                QVERIFY2(!call[u"params"_s][1].toArray().isEmpty(), qPrintable(method));
        }
    }

    void emptyLanguageListSearchesEnglishOnWorkerThread()
    {
        ServiceEmulator emu;
        QVERIFY(emu.start(catalog()));
        myPrefs::setOSAPIServer(emu.url().toString());
        myPrefs::setLanguageList({});
        OSClient client;
        JobRecords records;
        fill(records);
        bool ok = false;
        std::unique_ptr<QThread> worker(
            QThread::create([&] { ok = client.SearchSubs(records, RunSettings::fromPreferences()); }));
        worker->start();
        QTRY_VERIFY_WITH_TIMEOUT(worker->isFinished(), 30000);
        QVERIFY(ok);
        const QJsonArray searches = callsOf(emu, u"SearchSubtitles"_s);
        QCOMPARE(searches.size(), 4); // hash, imdbid, tag, name
        const QStringList languages = languagesSearched(emu);
        QVERIFY(!languages.isEmpty());
        QCOMPARE(languages.count(u"eng"_s), languages.size());
    }
};

LUMBRA_TEST_MAIN(tst_SearchRun)
#include "tst_SearchRun.moc"
