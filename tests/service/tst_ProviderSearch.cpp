#include "ServiceEmulator.h"
#include "TestFiles.h"
#include "TestMain.h"

#include "media/movieFile.h"
#include "media/MovieHash.h"
#include "prefs/myPrefs.h"
#include "service/JobRecords.h"
#include "service/openSubtitleItem.h"
#include "service/OSClient.h"
#include "service/ProviderSearch.h"
#include "service/RunSettings.h"
#include "service/XmlRpcProvider.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {

// What a run sent, without the session tokens (new at every sign-in).
QStringList requestsOf(const ServiceEmulator &emu)
{
    QStringList sent;
    for (const QJsonValue &call : emu.calls()) {
        const QString method = call[u"method"_s].toString();
        QJsonArray params = call[u"params"_s].toArray();
        if (method != "LogIn"_L1 && !params.isEmpty())
            params.removeFirst();
        sent.append(method + u' ' + QString::fromUtf8(QJsonDocument(params).toJson(QJsonDocument::Compact)));
    }
    return sent;
}

// Per video: its results as "MatchedBy SubHash", the best choice marked.
QStringList resultsOf(JobRecords &records)
{
    QStringList seen;
    const QMutexLocker guard(&records.stateLock());
    for (const auto &video : std::as_const(records.movieFiles)) {
        for (const auto &result : video->subtitleResults())
            seen.append(video->movieFileName() + u' ' + result->MatchedBy + u' ' + result->SubHash +
                        (result->myBest ? u" best"_s : QString()));
    }
    return seen;
}

} // namespace

// The search run over the XML-RPC interface asks what the service was always
// asked, in the same order, whether the client runs it or a job's own
// provider does, and both leave the same results, whatever fails on the way.
class tst_ProviderSearch : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    // Videos of different content, so that their movie hashes differ.
    QString makeVideo(const QString &name, char fill)
    {
        return writeTestFile(m_dir.filePath(name), QByteArray(200000, fill));
    }

    // A film found by hash in English, one whose hash only names the film
    // (its subtitles come by IMDB id), one found by its release tag, and an
    // episode found by name.
    QByteArray catalog() const
    {
        auto sub = [](const char *lang, const QString &file) {
            return QJsonObject{{u"lang"_s, QString::fromLatin1(lang)}, {u"file"_s, file}};
        };
        const QJsonArray movies{
            QJsonObject{
                {u"hash"_s, XMLRPC::getMoviehash(m_dir.filePath(u"Heat.avi"_s))},
                {u"bytesize"_s, 200000},
                {u"imdbid"_s, u"0113277"_s},
                {u"name"_s, u"Heat"_s},
                {u"seencount"_s, 12},
                {u"subtitles"_s, QJsonArray{sub("eng", u"Heat.en.srt"_s), sub("eng", u"Heat.b.srt"_s)}}},
            QJsonObject{{u"hash"_s, XMLRPC::getMoviehash(m_dir.filePath(u"Ronin.1998.mkv"_s))},
                        {u"bytesize"_s, 200000},
                        {u"imdbid"_s, u"0133093"_s},
                        {u"name"_s, u"Ronin"_s},
                        {u"seencount"_s, 5}},
            QJsonObject{
                {u"hash"_s, u"00000000deadbeef"_s},
                {u"bytesize"_s, 1},
                {u"imdbid"_s, u"0133093"_s},
                {u"name"_s, u"Ronin"_s},
                {u"subtitles"_s, QJsonArray{sub("eng", u"Ronin.en.srt"_s), sub("spa", u"Ronin.es.srt"_s)}}},
            QJsonObject{{u"hash"_s, u"00000000feedf00d"_s},
                        {u"bytesize"_s, 1},
                        {u"name"_s, u"Tagged"_s},
                        {u"tags"_s, QJsonArray{u"Tagged.2001.mkv"_s}},
                        {u"subtitles"_s, QJsonArray{sub("spa", u"Tagged.es.srt"_s)}}},
            QJsonObject{{u"hash"_s, u"00000000cafecafe"_s},
                        {u"bytesize"_s, 1},
                        {u"name"_s, u"Pilot"_s},
                        {u"show"_s, u"The Wire"_s},
                        {u"kind"_s, u"episode"_s},
                        {u"season"_s, 1},
                        {u"episode"_s, 2},
                        {u"subtitles"_s, QJsonArray{sub("spa", u"Wire.es.srt"_s)}}}};
        return QJsonDocument(QJsonObject{{u"movies"_s, movies}}).toJson();
    }

    void fill(JobRecords &records)
    {
        const QMutexLocker guard(&records.stateLock());
        records.mode = u"GetSubs"_s;
        for (const QString &name :
             {u"Heat.avi"_s, u"Ronin.1998.mkv"_s, u"Tagged.2001.mkv"_s, u"The.Wire.S01E02.avi"_s}) {
            auto video = movieFile::create(m_dir.filePath(name));
            video->addedToList = true;
            video->isChecked = true;
            records.movieFiles.append(video);
        }
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        makeVideo(u"Heat.avi"_s, 'a');
        makeVideo(u"Ronin.1998.mkv"_s, 'b');
        makeVideo(u"Tagged.2001.mkv"_s, 'c');
        makeVideo(u"The.Wire.S01E02.avi"_s, 'd');
    }

    void asksWhatTheClientAlwaysAsked_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("on");
        QTest::addColumn<bool>("succeeds");
        QTest::addColumn<QStringList>("methods");
        const QString search = u"SearchSubtitles"_s, identify = u"CheckMovieHash2"_s;
        const QStringList signIn{u"ServerInfo"_s, u"LogIn"_s};
        // Per language: the hash search, the IMDB search, tag and name.
        QTest::newRow("all well") << QString() << QString() << true
                                  << signIn + QStringList{search, search, identify, search, search,
                                                          search, search, search,   search};
        // One language's hash search fails: the other is still asked, the
        // IMDB step is skipped, the tag and name searches run.
        QTest::newRow("first search fails")
            << u"http503"_s << u"SearchSubtitles"_s << true
            << signIn + QStringList{search, search, search, search, search, search};
        QTest::newRow("film lookup fails") << u"http503"_s << u"CheckMovieHash2"_s << false
                                           << signIn + QStringList{search, search, identify};
        QTest::newRow("login refused") << u"fault"_s << u"LogIn"_s << false << signIn;
        QTest::newRow("service down")
            << u"http503"_s << u"ServerInfo"_s << false << QStringList{u"ServerInfo"_s};
    }

    void asksWhatTheClientAlwaysAsked()
    {
        QFETCH(QString, mode);
        QFETCH(QString, on);
        QFETCH(bool, succeeds);
        QFETCH(QStringList, methods);
        myPrefs::resetToDefaults();
        myPrefs::setLanguageList({u"en"_s, u"es"_s});
        ServiceEmulator emu;
        QVERIFY(emu.start(catalog()));
        myPrefs::setOSAPIServer(emu.url().toString());

        auto failOnce = [&] { return mode.isEmpty() || emu.fail(mode, on, 1); };
        QVERIFY(failOnce());
        const RunSettings settings = RunSettings::fromPreferences();
        OSClient client;
        JobRecords before;
        fill(before);
        QCOMPARE(client.SearchSubs(before, settings), succeeds);
        QCOMPARE(emu.methods(), methods);
        const QStringList expected = requestsOf(emu);

        // A provider of its own, as the jobs make it, asks the same.
        QVERIFY(emu.reset());
        QVERIFY(failOnce());
        JobRecords state;
        fill(state);
        const auto provider = std::make_shared<XmlRpcProvider>(settings.prefs.OSAPIServer);
        const ServiceError error = ProviderSearch::run(state, provider, settings);
        QCOMPARE(error.ok(), succeeds);
        if (!succeeds)
            QCOMPARE(error.text(), client.searchFailure().text());
        QCOMPARE(requestsOf(emu), expected);
        QCOMPARE(resultsOf(state), resultsOf(before));
        if (mode.isEmpty())
            QVERIFY(resultsOf(state).size() >= 4);
    }
};

LUMBRA_TEST_MAIN(tst_ProviderSearch)
#include "tst_ProviderSearch.moc"
