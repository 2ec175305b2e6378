#include "CliRunner.h"
#include "ServiceEmulator.h"
#include "TestFiles.h"
#include "TestMain.h"

#include "media/MovieHash.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {

QJsonObject subtitle(const QString &lang, const QString &file, const QString &content, double rating = 7.0,
                     int downloads = 100)
{
    return {{u"lang"_s, lang},
            {u"file"_s, file},
            {u"content"_s, content},
            {u"rating"_s, rating},
            {u"downloads"_s, downloads}};
}

} // namespace

// lumbra-cli get against the REST stand-in: a film found by its hash (and a
// better-rated film of the same name found only by name), an episode, and a
// film the service does not know; the quota, the service's refusals and its
// hiccups.
class TestGetRestCommand final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void hashMatchInTwoLanguagesAndEpisode();
    void quotaUsedUpHalfway();
    void quotaKnownBeforeDownloading();
    void refusalsNameWhatToFix_data();
    void refusalsNameWhatToFix();
    void hiccupsAreRidden_data();
    void hiccupsAreRidden();
    void onlySubtitlesArePlaced_data();
    void onlySubtitlesArePlaced();
    void failedHashSearchIsNotNone();

private:
    QString path(const QString &relative) const { return m_dir->path() + u"/tree/"_s + relative; }
    QStringList getArgs(const QStringList &extra = {}) const;
    QJsonObject catalog() const;
    QList<QJsonObject> jsonLines(const CliRun &run) const;

    std::unique_ptr<QTemporaryDir> m_dir;
    ServiceEmulator m_emu{ServiceEmulator::Api::Rest};
    QJsonArray m_movies;
};

void TestGetRestCommand::initTestCase()
{
    QVERIFY(m_emu.start());
}

void TestGetRestCommand::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_movies = {};
    auto add = [this](const QString &relative, qint64 size, QJsonObject movie, const QJsonArray &subs) {
        const QString file = makeSparseFile(path(relative), size);
        movie[u"hash"_s] = XMLRPC::computeMovieHash(file).hash;
        movie[u"bytesize"_s] = size;
        movie[u"subtitles"_s] = subs;
        m_movies.append(movie);
    };
    // Known by name only, listed first and rated higher: a choice that
    // ignored how results were found would take it.
    m_movies.append(QJsonObject{
        {u"name"_s, u"Movie One"_s},
        {u"subtitles"_s,
         QJsonArray{
             subtitle(u"eng"_s, u"Movie.One.by.name.srt"_s, oneCueSubtitle(u"BY NAME"_s), 9.0, 99999),
             subtitle(u"pob"_s, u"Movie.One.by.name.pb.srt"_s, oneCueSubtitle(u"BY NAME"_s), 9.0, 99999)}}});
    add(u"Films/Movie.One.2010.mkv"_s, 3'000'000, {{u"name"_s, u"Movie One"_s}, {u"imdbid"_s, u"1000001"_s}},
        {subtitle(u"eng"_s, u"Movie.One.en.srt"_s, oneCueSubtitle(u"One EN"_s)),
         subtitle(u"pob"_s, u"Movie.One.pb.srt"_s, oneCueSubtitle(u"One PB"_s))});
    add(u"Show Name/Season 1/Show.Name.S01E01.mkv"_s, 3'000'001,
        {{u"name"_s, u"Pilot"_s},
         {u"show"_s, u"Show Name"_s},
         {u"kind"_s, u"episode"_s},
         {u"season"_s, 1},
         {u"episode"_s, 1}},
        {subtitle(u"eng"_s, u"Show.S01E01.en.srt"_s, oneCueSubtitle(u"Pilot EN"_s))});
    makeSparseFile(path(u"Films/Unknown.Film.mkv"_s), 3'000'002);
    QVERIFY(m_emu.reset());
    QVERIFY(m_emu.setCatalog(QJsonDocument(catalog()).toJson()));
}

QJsonObject TestGetRestCommand::catalog() const
{
    return {{u"movies"_s, m_movies}, {u"users"_s, QJsonObject{{u"alice"_s, u"secret"_s}}}};
}

QStringList TestGetRestCommand::getArgs(const QStringList &extra) const
{
    return QStringList{u"get"_s,       u"--provider"_s, u"rest"_s,   u"--server"_s, m_emu.url().toString(),
                       u"--api-key"_s, u"test-key"_s,   u"--lang"_s, u"en,pb"_s} +
           extra + QStringList{u"--"_s, m_dir->path() + u"/tree"_s};
}

QList<QJsonObject> TestGetRestCommand::jsonLines(const CliRun &run) const
{
    QList<QJsonObject> lines;
    for (const QString &line : run.lines())
        lines.append(QJsonDocument::fromJson(line.toUtf8()).object());
    return lines;
}

// The hash match is placed in both languages even though a name match rates
// higher; the episode finds its English subtitle; every search is one
// request for both languages, in the form the API does not redirect.
void TestGetRestCommand::hashMatchInTwoLanguagesAndEpisode()
{
    const CliRun r = runCli(getArgs({u"--json"_s}));
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    QMap<QString, QJsonObject> byLine;
    for (const QJsonObject &o : jsonLines(r)) {
        QCOMPARE(o[u"provider"_s].toString(), u"rest"_s);
        byLine.insert(QFileInfo(o[u"video"_s].toString()).fileName() + u' ' + o[u"lang"_s].toString(), o);
    }
    const QStringList placed{u"Movie.One.2010.mkv en"_s, u"Movie.One.2010.mkv pb"_s,
                             u"Show.Name.S01E01.mkv en"_s};
    for (const QString &key : placed)
        QVERIFY2(byLine.value(key)[u"status"_s] == u"placed"_s, qPrintable(key));
    QCOMPARE(byLine.value(u"Show.Name.S01E01.mkv pb"_s)[u"status"_s].toString(), u"none"_s);
    QCOMPARE(byLine.value(u"Unknown.Film.mkv en"_s)[u"status"_s].toString(), u"none"_s);
    QCOMPARE(readTestFile(path(u"Films/Movie.One.2010.en.srt"_s)), oneCueSubtitle(u"One EN"_s).toUtf8());
    QCOMPARE(readTestFile(path(u"Films/Movie.One.2010.pb.srt"_s)), oneCueSubtitle(u"One PB"_s).toUtf8());
    QCOMPARE(readTestFile(path(u"Show Name/Season 1/Show.Name.S01E01.en.srt"_s)),
             oneCueSubtitle(u"Pilot EN"_s).toUtf8());
    QCOMPARE(byLine.value(u"Movie.One.2010.mkv en"_s)[u"matchedBy"_s].toString(), u"moviehash"_s);

    // The anonymous quota (5) counts down with each download.
    QList<int> remaining;
    for (const QString &key : placed)
        remaining << byLine.value(key)[u"quotaRemaining"_s].toInt(-1);
    std::sort(remaining.begin(), remaining.end());
    QCOMPARE(remaining, (QList<int>{2, 3, 4}));
    QVERIFY(r.err.contains(u"allows 2 more downloads today"_s));

    // One hash search per video for both languages; no query twice (a
    // redirect to the canonical form would repeat it); no empty hash sent.
    QStringList queries;
    for (const QJsonValue &call : m_emu.calls()) {
        if (call[u"endpoint"_s] != u"subtitles"_s)
            continue;
        queries << call[u"query"_s].toString();
        QCOMPARE(call[u"headers"_s][u"user-agent"_s].toString(), u"Lumbra v" LUMBRA_VERSION ""_s);
    }
    QCOMPARE(queries.filter(QRegularExpression(u"^languages=en%2Cpt-br&moviehash=[0-9a-f]{16}$"_s)).size(),
             3);
    QCOMPARE(queries.size(), QSet<QString>(queries.cbegin(), queries.cend()).size());
    QVERIFY2(queries.filter(u"moviehash=0000000000000000"_s).isEmpty(), qPrintable(queries.join(u'\n')));
}

// Two downloads allowed, three wanted: the first two are placed and stay, the
// third says the quota is used up and when it renews.
void TestGetRestCommand::quotaUsedUpHalfway()
{
    QJsonObject limited = catalog();
    limited[u"quota"_s] = QJsonObject{{u"anonymous"_s, 2}};
    QVERIFY(m_emu.setCatalog(QJsonDocument(limited).toJson()));
    const CliRun r = runCli(getArgs());
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.lines().filter(QRegularExpression(u"^placed "_s)).size(), 2);
    const QStringList failed = r.lines().filter(QRegularExpression(u"^failed "_s));
    QCOMPARE(failed.size(), 1);
    // The count the service gives and the renewal as a local time of day.
    QVERIFY2(failed.first().contains(u"quota for today is used up: 2 downloads; it renews at "_s) &&
                 failed.first().contains(QRegularExpression(u"renews at [0-2][0-9]:[0-5][0-9]"_s)),
             qPrintable(failed.first()));
    for (const QString &line : r.lines().filter(QRegularExpression(u"^placed "_s)))
        QVERIFY(QFile::exists(line.mid(7)));
    QVERIFY(r.err.contains(u"allows 0 more downloads today"_s));
}

// Signed in, the count is known before any download: of three wanted with
// two left, the first two in list order go and the third waits for
// tomorrow's quota (no download is tried and refused).
void TestGetRestCommand::quotaKnownBeforeDownloading()
{
    QJsonObject limited = catalog();
    limited[u"quota"_s] = QJsonObject{{u"user"_s, 2}};
    QVERIFY(m_emu.setCatalog(QJsonDocument(limited).toJson()));
    const CliRun r = runCli(getArgs({u"--user"_s, u"alice"_s, u"--password"_s, u"secret"_s}));
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    const QStringList placed = r.lines().filter(QRegularExpression(u"^placed "_s));
    QCOMPARE(placed.size(), 2);
    QVERIFY2(placed.filter(u"Movie.One.2010."_s).size() == 2, qPrintable(placed.join(u'\n')));
    const QStringList waiting = r.lines().filter(QRegularExpression(u"^waiting "_s));
    QCOMPARE(waiting.size(), 1);
    QVERIFY2(waiting.first().contains(u"Show.Name.S01E01.mkv en waiting for tomorrow's quota (renews at "_s),
             qPrintable(waiting.first()));
    const qsizetype first = r.err.indexOf(u"allows 2 more downloads today; 3 were found"_s);
    QVERIFY2(first >= 0, qPrintable(r.err));
    QVERIFY2(r.err.indexOf(u"1 download waits for tomorrow's quota (renews at "_s) > first,
             qPrintable(r.err));
    int downloads = 0;
    for (const QJsonValue &call : m_emu.calls())
        downloads += call[u"endpoint"_s] == u"download"_s;
    QCOMPARE(downloads, 2);
}

// Refusals stop the run with a message that names the preference to fix.
void TestGetRestCommand::refusalsNameWhatToFix_data()
{
    QTest::addColumn<QStringList>("extra");
    QTest::addColumn<QString>("says");
    QTest::newRow("no key") << QStringList{u"--api-key"_s, u""_s} << u"opensubtitles.com/en/consumers"_s;
    // A key given on the command line is not the preference's.
    QTest::newRow("key refused") << QStringList{u"--api-key"_s, u"revoked"_s}
                                 << u"did not accept the API key given with --api-key"_s;
    QTest::newRow("bad account") << QStringList{u"--user"_s, u"alice"_s, u"--password"_s, u"wrong"_s}
                                 << u"did not accept the account given with --user"_s;
}

void TestGetRestCommand::refusalsNameWhatToFix()
{
    QFETCH(QStringList, extra);
    QFETCH(QString, says);
    QJsonObject keyed = catalog();
    keyed[u"api_keys"_s] = QJsonArray{u"test-key"_s};
    QVERIFY(m_emu.setCatalog(QJsonDocument(keyed).toJson()));
    const CliRun r = runCli(getArgs(extra));
    QCOMPARE(r.exitCode, 1);
    const QStringList failed = r.lines().filter(QRegularExpression(u"^failed "_s));
    QCOMPARE(failed.size(), r.lines().size());
    QCOMPARE(failed.filter(u" search failed"_s).size(), failed.size());
    // Said once, on stderr.
    QCOMPARE(r.err.count(says), 1);
    QVERIFY2(!r.err.contains(u"(403)"_s) && !r.err.contains(u"(401)"_s), qPrintable(r.err));
    QVERIFY(!QFile::exists(path(u"Films/Movie.One.2010.en.srt"_s)));
}

// What a busy or odd service does on the way is ridden out or reported.
void TestGetRestCommand::hiccupsAreRidden_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("on");
    QTest::addColumn<int>("times");
    QTest::addColumn<int>("placed");
    QTest::addColumn<QString>("says");
    QTest::newRow("429 then success") << u"http429"_s << u"subtitles"_s << 1 << 3 << QString();
    QTest::newRow("redirect") << u"redirect"_s << u"subtitles"_s << -1 << 3 << QString();
    QTest::newRow("expired link") << u"http410"_s << u"link"_s << 1 << 3 << QString();
    QTest::newRow("web page for the search") << u"html"_s << u"subtitles"_s << -1 << 0 << u"search failed"_s;
    QTest::newRow("web page for a file") << u"html"_s << u"link"_s << 1 << 2 << u"web page"_s;
    QTest::newRow("server error") << u"http503"_s << u"download"_s << 1 << 2 << u"HTTP 503"_s;
}

void TestGetRestCommand::hiccupsAreRidden()
{
    QFETCH(QString, mode);
    QFETCH(QString, on);
    QFETCH(int, times);
    QFETCH(int, placed);
    QFETCH(QString, says);
    QVERIFY(m_emu.fail(mode, on, times));
    const CliRun r = runCli(getArgs());
    QCOMPARE(r.lines().filter(QRegularExpression(u"^placed "_s)).size(), placed);
    const QStringList failed = r.lines().filter(QRegularExpression(u"^failed "_s));
    QCOMPARE(r.exitCode, failed.isEmpty() ? 0 : 1);
    for (const QString &line : failed)
        QVERIFY2(line.contains(says), qPrintable(line));
    QCOMPARE(failed.isEmpty(), says.isEmpty());
}

// Download bodies that are not subtitles are never placed, not even over a
// subtitle that --refresh would replace; a packed one is unpacked.
void TestGetRestCommand::onlySubtitlesArePlaced_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("says"); // empty: every download placed
    QTest::newRow("packed file") << u"gzipfile"_s << QString();
    QTest::newRow("Content-Encoding bomb") << u"gzipbomb"_s << u"could not be unpacked"_s;
    QTest::newRow("random bytes") << u"junk"_s << u"not text"_s;
    QTest::newRow("empty body") << u"empty"_s << u"it is empty"_s;
}

void TestGetRestCommand::onlySubtitlesArePlaced()
{
    QFETCH(QString, mode);
    QFETCH(QString, says);
    const QString mine = path(u"Films/Movie.One.2010.en.srt"_s);
    writeTestFile(mine, "1\n00:00:01,000 --> 00:00:02,000\nMine\n");
    QVERIFY(m_emu.fail(mode, u"link"_s));
    const CliRun r = runCli(getArgs({u"--refresh"_s}));
    const QStringList failed = r.lines().filter(QRegularExpression(u"^failed "_s));
    const QStringList placed = r.lines().filter(QRegularExpression(u"^placed "_s));
    QCOMPARE(r.exitCode, says.isEmpty() ? 0 : 1);
    QCOMPARE(placed.size(), says.isEmpty() ? 3 : 0);
    QCOMPARE(failed.size(), says.isEmpty() ? 0 : 3);
    for (const QString &line : failed)
        QVERIFY2(line.contains(says), qPrintable(line));
    if (says.isEmpty()) {
        QCOMPARE(readTestFile(mine), oneCueSubtitle(u"One EN"_s).toUtf8());
    } else {
        QCOMPARE(readTestFile(mine), QByteArray("1\n00:00:01,000 --> 00:00:02,000\nMine\n"));
        QVERIFY(!QFile::exists(path(u"Films/Movie.One.2010.pb.srt"_s)));
    }
}

// A hash search that failed is not "nothing found": a video the later
// searches found nothing for fails with the reason, and the run with it.
void TestGetRestCommand::failedHashSearchIsNotNone()
{
    QVERIFY(m_emu.fail(u"http503"_s, u"subtitles"_s, 1));
    const CliRun r = runCli(getArgs());
    QCOMPARE(r.exitCode, 1);
    const QStringList unknown = r.lines().filter(u"Unknown.Film.mkv"_s);
    QCOMPARE(unknown.size(), 2);
    for (const QString &line : unknown) {
        QVERIFY2(line.startsWith(u"failed "_s), qPrintable(line));
        QVERIFY2(line.contains(u"the search by hash failed"_s) && line.contains(u"HTTP 503"_s),
                 qPrintable(line));
    }
}

LUMBRA_TEST_MAIN(TestGetRestCommand)
#include "tst_GetRestCommand.moc"
