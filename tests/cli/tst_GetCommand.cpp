#include "CliRunner.h"
#include "ServiceEmulator.h"
#include "TestFiles.h"
#include "TestMain.h"

#include "common/Gzip.h"
#include "media/MovieHash.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace {

QByteArray readText(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QJsonObject subtitle(const QString &lang, const QString &file, const QString &content)
{
    return {{u"lang"_s, lang}, {u"file"_s, file}, {u"content"_s, content}, {u"rating"_s, u"7.0"_s}};
}

} // namespace

// A tree of sparse videos in nested folders: a film with subtitles in both
// wanted languages, two episodes (one known to the service, one not), a film
// with an English subtitle beside it, one with both, and a hostile name.
class TestGetCommand final : public QObject {
    Q_OBJECT

private slots:
    void init();
    void placesSkipsAndReportsNone();
    void failedDownloadIsReportedAndRetriedNowhere();
    void serviceDownFailsEverySearchedVideo();
    void refreshReplacesUnderBackupRule();
    void oneRunNeverOverwritesWhatItPlaced();
    void copiesOfOneVideoEachKeepTheirOwn();
    void namesThatAreNotUtf8AreReported();
    void quotaReachedEndsDownloadsWithoutReadingLinks();
    void debugLinesOnlyWhenAskedFor_data();
    void debugLinesOnlyWhenAskedFor();
    void jsonLinesCarryTheChoice();
    void badUsage_data();
    void badUsage();
    void helpListsEveryOption();

private:
    QByteArray catalog() const;
    QString path(const QString &relative) const { return m_dir->path() + u"/tree/"_s + relative; }
    QStringList getArgs(const QStringList &extra = {}) const;

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ServiceEmulator> m_emu;
    QJsonArray m_movies;
};

void TestGetCommand::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_movies = {};
    auto add = [this](const QString &relative, qint64 size, const QJsonObject &details,
                      const QJsonArray &subs) {
        const QString file = makeSparseFile(path(relative), size);
        const XMLRPC::MovieHashResult hash = XMLRPC::computeMovieHash(file);
        QVERIFY(hash.ok() && !hash.hash.isEmpty());
        QJsonObject movie = details;
        movie[u"hash"_s] = hash.hash;
        movie[u"bytesize"_s] = size;
        movie[u"subtitles"_s] = subs;
        m_movies.append(movie);
    };
    add(u"Films/Movie.One.2010.mkv"_s, 3'000'000, {{u"name"_s, u"Movie One"_s}, {u"imdbid"_s, u"1000001"_s}},
        {subtitle(u"eng"_s, u"Movie.One.en.srt"_s, u"1\n00:00:01,000 --> 00:00:02,000\nOne EN\n"_s),
         subtitle(u"spa"_s, u"Movie.One.es.srt"_s, u"1\n00:00:01,000 --> 00:00:02,000\nOne ES\n"_s)});
    add(u"Show Name/Season 1/Show.Name.S01E01.mkv"_s, 3'000'001,
        {{u"name"_s, u"Pilot"_s},
         {u"show"_s, u"Show Name"_s},
         {u"kind"_s, u"episode"_s},
         {u"season"_s, 1},
         {u"episode"_s, 1},
         {u"imdbid"_s, u"1000002"_s}},
        {subtitle(u"eng"_s, u"Show.S01E01.en.srt"_s, u"1\n00:00:01,000 --> 00:00:02,000\nPilot EN\n"_s)});
    makeSparseFile(path(u"Show Name/Season 1/Show.Name.S01E02.mkv"_s), 3'000'002);
    add(u"Films/Existing/Film.avi"_s, 3'000'003, {{u"name"_s, u"Film"_s}, {u"imdbid"_s, u"1000003"_s}},
        {subtitle(u"eng"_s, u"Film.en.srt"_s, u"1\n00:00:01,000 --> 00:00:02,000\nFilm EN new\n"_s),
         subtitle(u"spa"_s, u"Film.es.srt"_s, u"1\n00:00:01,000 --> 00:00:02,000\nFilm ES\n"_s)});
    writeTestFile(path(u"Films/Existing/Film.en.srt"_s), "1\n00:00:01,000 --> 00:00:02,000\nFilm EN old\n");
    add(u"Films/Both/Both.mkv"_s, 3'000'004, {{u"name"_s, u"Both"_s}},
        {subtitle(u"eng"_s, u"Both.en.srt"_s, u"1\n00:00:01,000 --> 00:00:02,000\nBoth EN\n"_s)});
    writeTestFile(path(u"Films/Both/Both.en.srt"_s), "old en");
    writeTestFile(path(u"Films/Both/Both.es.srt"_s), "old es");
    QJsonObject hostile =
        subtitle(u"eng"_s, u"Hostile.en.srt"_s, u"1\n00:00:01,000 --> 00:00:02,000\nHostile\n"_s);
    hostile[u"id"_s] = u"1960000001"_s;
    add(u"Films/-rf $(touch pwned) \"q\".mkv"_s, 3'000'005, {{u"name"_s, u"Hostile"_s}}, {hostile});

    m_emu = std::make_unique<ServiceEmulator>();
    QVERIFY(m_emu->start(catalog()));
}

QByteArray TestGetCommand::catalog() const
{
    return QJsonDocument(QJsonObject{{u"movies"_s, m_movies}}).toJson();
}

QStringList TestGetCommand::getArgs(const QStringList &extra) const
{
    return QStringList{u"get"_s,  u"--provider=xmlrpc"_s, u"--server"_s, m_emu->url().toString(), u"--lang"_s,
                       u"en,es"_s} +
           extra + QStringList{u"--"_s, m_dir->path() + u"/tree"_s};
}

void TestGetCommand::placesSkipsAndReportsNone()
{
    const CliRun r = runCli(getArgs());
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    const QStringList expected{
        u"placed "_s + path(u"Films/-rf $(touch pwned) \"q\".en.srt"_s),
        u"none "_s + path(u"Films/-rf $(touch pwned) \"q\".mkv"_s) + u" es"_s,
        u"skipped "_s + path(u"Films/Both/Both.mkv"_s) + u" en"_s,
        u"skipped "_s + path(u"Films/Both/Both.mkv"_s) + u" es"_s,
        u"skipped "_s + path(u"Films/Existing/Film.avi"_s) + u" en"_s,
        u"placed "_s + path(u"Films/Existing/Film.es.srt"_s),
        u"placed "_s + path(u"Films/Movie.One.2010.en.srt"_s),
        u"placed "_s + path(u"Films/Movie.One.2010.es.srt"_s),
        u"placed "_s + path(u"Show Name/Season 1/Show.Name.S01E01.en.srt"_s),
        u"none "_s + path(u"Show Name/Season 1/Show.Name.S01E01.mkv"_s) + u" es"_s,
        u"none "_s + path(u"Show Name/Season 1/Show.Name.S01E02.mkv"_s) + u" en"_s,
        u"none "_s + path(u"Show Name/Season 1/Show.Name.S01E02.mkv"_s) + u" es"_s,
    };
    QCOMPARE(r.lines(), expected);
    QVERIFY(readText(path(u"Films/Movie.One.2010.es.srt"_s)).contains("One ES"));
    QVERIFY(readText(path(u"Show Name/Season 1/Show.Name.S01E01.en.srt"_s)).contains("Pilot EN"));
    // What lay beside the videos is untouched, and nothing in a name was run.
    QVERIFY(readText(path(u"Films/Existing/Film.en.srt"_s)).contains("Film EN old"));
    QCOMPARE(readText(path(u"Films/Both/Both.en.srt"_s)), QByteArray("old en"));
    QVERIFY(!QFile::exists(path(u"Films/pwned"_s)));
    QVERIFY(!QDir(path(u"Films/Existing"_s)).entryList(QDir::Files).join(u' ').contains(u'~'));
    // The five files came in one DownloadSubtitles call, none by its link.
    QCOMPARE(m_emu->methods().count(u"DownloadSubtitles"_s), 1);
    QCOMPARE(m_emu->filesAskedFor().size(), 5);

    // The video covered in both languages is never asked about.
    const QByteArray bothHash = XMLRPC::computeMovieHash(path(u"Films/Both/Both.mkv"_s)).hash.toLatin1();
    for (const QJsonValue &call : m_emu->calls())
        QVERIFY2(!call.toObject()[u"body"_s].toString().toLatin1().contains(bothHash),
                 qPrintable(call.toObject()[u"body"_s].toString()));
    // The preferences given on the command line were for this run only.
    const CliRun prefs = runCli({u"prefs"_s});
    QVERIFY(!prefs.lines().join(u'\n').contains(m_emu->url().toString()));
}

void TestGetCommand::failedDownloadIsReportedAndRetriedNowhere()
{
    // One download (the first video in path order) gets a web page.
    QVERIFY(m_emu->fail(u"html"_s, u"download"_s, 1, {{u"subtitle"_s, u"1960000001"_s}}));
    const CliRun r = runCli(getArgs());
    QVERIFY2(r.exitCode == 1, qPrintable(r.err));
    const QStringList failed = r.lines().filter(QRegularExpression(u"^failed "_s));
    QCOMPARE(failed.size(), 1);
    QVERIFY2(
        failed.first().startsWith(u"failed "_s + path(u"Films/-rf $(touch pwned) \"q\".mkv"_s) + u" en "_s),
        qPrintable(failed.first()));
    QVERIFY2(failed.first().endsWith(u"failed: not a gzip stream"_s), qPrintable(failed.first()));
    QVERIFY(!QFile::exists(path(u"Films/-rf $(touch pwned) \"q\".en.srt"_s)));
    QCOMPARE(r.lines().filter(QRegularExpression(u"^placed "_s)).size(), 4);
}

// After "407" the run's downloads end with the quota's reason; the links the
// service named are not tried (one of them a file of this computer).
void TestGetCommand::quotaReachedEndsDownloadsWithoutReadingLinks()
{
    const QString secret = m_dir->path() + u"/secret.gz"_s;
    writeTestFile(secret, Gzip::gzip("1\n00:00:01,000 --> 00:00:02,000\nLOCAL SECRET\n"));
    QJsonObject data = QJsonDocument::fromJson(catalog()).object();
    data[u"download_link"_s] = QUrl::fromLocalFile(secret).toString();
    QVERIFY(m_emu->setCatalog(QJsonDocument(data).toJson()));
    QVERIFY(
        m_emu->fail(u"status"_s, u"DownloadSubtitles"_s, -1, {{u"text"_s, u"407 Download limit reached"_s}}));
    const CliRun r = runCli(getArgs());
    QCOMPARE(r.exitCode, 1);
    QVERIFY(r.lines().filter(QRegularExpression(u"^placed "_s)).isEmpty());
    const QStringList failed = r.lines().filter(QRegularExpression(u"^failed "_s));
    QCOMPARE(failed.size(), 5);
    for (const QString &line : failed)
        QVERIFY2(line.contains(u"quota for today is used up (407 Download limit reached)"_s),
                 qPrintable(line));
    QCOMPARE(m_emu->methods().count(u"DownloadSubtitles"_s), 1);
    QDirIterator placed(m_dir->path() + u"/tree"_s, {u"*.srt"_s}, QDir::Files, QDirIterator::Subdirectories);
    while (placed.hasNext())
        QVERIFY2(!readText(placed.next()).contains("LOCAL SECRET"), qPrintable(placed.filePath()));
}

void TestGetCommand::serviceDownFailsEverySearchedVideo()
{
    QVERIFY(m_emu->fail(u"http503"_s, u"ServerInfo"_s));
    const CliRun r = runCli(getArgs());
    QVERIFY2(r.exitCode == 1, qPrintable(r.err));
    QCOMPARE(r.lines().filter(QRegularExpression(u"^skipped "_s)).size(), 3);
    const QStringList failed = r.lines().filter(QRegularExpression(u"^failed "_s));
    QCOMPARE(failed.size(), 9);
    for (const QString &line : failed)
        QVERIFY2(line.endsWith(u" search failed"_s), qPrintable(line));
    // Why is said once, in words, without codes or logging categories.
    QCOMPARE(r.err.count(u"busy or down for maintenance"_s), 1);
    QVERIFY2(!r.err.contains(u"(506)"_s) && !r.err.contains(u"lumbra."_s), qPrintable(r.err));
    QCOMPARE(m_emu->methods(), QStringList{u"ServerInfo"_s});
}

void TestGetCommand::refreshReplacesUnderBackupRule()
{
    // Film.avi has an English subtitle beside it: refreshing replaces it, and
    // the one replaced goes to the trash (a trash of the test's own).
    CliSetup home;
    home.environment.insert(u"HOME"_s, m_dir->path() + u"/home"_s);
    home.environment.insert(u"XDG_DATA_HOME"_s, m_dir->path() + u"/home/data"_s);
    QVERIFY(QDir().mkpath(m_dir->path() + u"/home/data"_s));
    const CliRun r = runCli({u"get"_s, u"--provider=xmlrpc"_s, u"--server"_s, m_emu->url().toString(),
                             u"--lang"_s, u"en,es"_s, u"--refresh"_s, path(u"Films/Existing/Film.avi"_s)},
                            home);
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    QCOMPARE(r.lines(), (QStringList{u"placed "_s + path(u"Films/Existing/Film.en.srt"_s) +
                                         u" (the previous subtitle is in the trash)"_s,
                                     u"placed "_s + path(u"Films/Existing/Film.es.srt"_s)}));
    QVERIFY(readText(path(u"Films/Existing/Film.en.srt"_s)).contains("Film EN new"));
    QVERIFY(readText(m_dir->path() + u"/home/data/Trash/files/Film.en.srt"_s).contains("Film EN old"));
    QCOMPARE(QDir(path(u"Films/Existing"_s)).entryList(QDir::Files | QDir::Hidden).size(), 3);

    // --refresh takes effect by itself: a video covered in every wanted
    // language is searched and its subtitle replaced too.
    const CliRun covered = runCli({u"get"_s, u"--provider=xmlrpc"_s, u"--server"_s, m_emu->url().toString(),
                                   u"--lang"_s, u"en"_s, u"--refresh"_s, path(u"Films/Both/Both.mkv"_s)},
                                  home);
    QVERIFY2(covered.exitCode == 0, qPrintable(covered.err));
    QCOMPARE(covered.lines(), QStringList{u"placed "_s + path(u"Films/Both/Both.en.srt"_s) +
                                          u" (the previous subtitle is in the trash)"_s});
    QVERIFY(readText(path(u"Films/Both/Both.en.srt"_s)).contains("Both EN"));

    const CliRun plain =
        runCli({u"get"_s, u"--provider=xmlrpc"_s, u"--server"_s, m_emu->url().toString(), u"--lang"_s,
                u"es"_s, u"--no-lang-ext"_s, path(u"Films/Movie.One.2010.mkv"_s)});
    QVERIFY2(plain.exitCode == 0, qPrintable(plain.err));
    QCOMPARE(plain.lines(), QStringList{u"placed "_s + path(u"Films/Movie.One.2010.srt"_s)});
}

void TestGetCommand::oneRunNeverOverwritesWhatItPlaced()
{
    // Two languages without the language preference: each still gets its own name.
    const CliRun two =
        runCli({u"get"_s, u"--provider=xmlrpc"_s, u"--server"_s, m_emu->url().toString(), u"--lang"_s,
                u"en,es"_s, u"--no-lang-ext"_s, path(u"Films/Movie.One.2010.mkv"_s)});
    QVERIFY2(two.exitCode == 0, qPrintable(two.err));
    QCOMPARE(two.lines(), (QStringList{u"placed "_s + path(u"Films/Movie.One.2010.en.srt"_s),
                                       u"placed "_s + path(u"Films/Movie.One.2010.es.srt"_s)}));

    // Two videos of one name in one folder: the first keeps the name, the
    // second fails and says why, even when the first one's download (they
    // run together) ends last.
    for (const auto &[name, size, line, id] :
         {std::tuple{u"Pair/Movie.avi"_s, 3'000'010, u"Pair from avi"_s, u"1990000001"_s},
          std::tuple{u"Pair/Movie.mkv"_s, 3'000'011, u"Pair from mkv"_s, u"1990000002"_s}}) {
        const QString file = makeSparseFile(path(name), size);
        QJsonObject sub =
            subtitle(u"eng"_s, u"Pair.en.srt"_s, u"1\n00:00:01,000 --> 00:00:02,000\n"_s + line);
        sub[u"id"_s] = id;
        m_movies.append(QJsonObject{{u"hash"_s, XMLRPC::computeMovieHash(file).hash},
                                    {u"bytesize"_s, size},
                                    {u"name"_s, u"Pair"_s},
                                    {u"subtitles"_s, QJsonArray{sub}}});
    }
    QVERIFY(m_emu->setCatalog(catalog()));
    QVERIFY(m_emu->fail(u"stall"_s, u"download"_s, 1, {{u"seconds"_s, 1}, {u"subtitle"_s, u"1990000001"_s}}));
    const CliRun pair = runCli({u"get"_s, u"--provider=xmlrpc"_s, u"--server"_s, m_emu->url().toString(),
                                u"--lang"_s, u"en"_s, u"--no-lang-ext"_s, path(u"Pair"_s)});
    QVERIFY2(pair.exitCode == 1, qPrintable(pair.err));
    QCOMPARE(pair.lines().size(), 2);
    QCOMPARE(pair.lines().at(0), u"placed "_s + path(u"Pair/Movie.srt"_s));
    QVERIFY2(pair.lines().at(1).startsWith(u"failed "_s + path(u"Pair/Movie.mkv"_s) + u" en "_s) &&
                 pair.lines().at(1).contains(u"Movie.srt was placed for Movie.avi"_s),
             qPrintable(pair.lines().at(1)));
    QVERIFY(readText(path(u"Pair/Movie.srt"_s)).contains("Pair from avi"));
    QCOMPARE(QDir(path(u"Pair"_s)).entryList(QDir::Files | QDir::Hidden).size(), 3);
}

void TestGetCommand::copiesOfOneVideoEachKeepTheirOwn()
{
    // A second copy of Movie One (same movie hash) without subtitles; the
    // first has its own English one. The search merges the copies' results.
    makeSparseFile(path(u"Backup/Movie.One.2010.mkv"_s), 3'000'000);
    writeTestFile(path(u"Films/Movie.One.2010.en.srt"_s), "mine");
    const CliRun r = runCli({u"get"_s, u"--provider=xmlrpc"_s, u"--server"_s, m_emu->url().toString(),
                             u"--lang"_s, u"en,es"_s, u"--json"_s, path(u"Backup"_s), path(u"Films"_s)});
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    QHash<QString, QJsonObject> movieOne; // by "video lang"
    for (const QString &line : r.lines()) {
        const QJsonObject outcome = QJsonDocument::fromJson(line.toUtf8()).object();
        if (outcome[u"video"_s].toString().endsWith(u"Movie.One.2010.mkv"_s))
            movieOne.insert(outcome[u"video"_s].toString() + u' ' + outcome[u"lang"_s].toString(), outcome);
    }
    // Each placed subtitle lies beside the copy it is reported for...
    for (const QString &lang : {u"en"_s, u"es"_s}) {
        const QJsonObject outcome = movieOne.value(path(u"Backup/Movie.One.2010.mkv "_s) + lang);
        QCOMPARE(outcome[u"status"_s].toString(), u"placed"_s);
        QCOMPARE(outcome[u"subtitle"_s].toString(), path(u"Backup/Movie.One.2010."_s + lang + u".srt"_s));
        QVERIFY(QFile::exists(outcome[u"subtitle"_s].toString()));
    }
    // ...and the copy that had its own keeps it untouched.
    QCOMPARE(movieOne.value(path(u"Films/Movie.One.2010.mkv en"_s))[u"status"_s].toString(), u"skipped"_s);
    QCOMPARE(movieOne.value(path(u"Films/Movie.One.2010.mkv es"_s))[u"status"_s].toString(), u"skipped"_s);
    QCOMPARE(readText(path(u"Films/Movie.One.2010.en.srt"_s)), QByteArray("mine"));
    QVERIFY(!QFile::exists(path(u"Films/Movie.One.2010.es.srt"_s)));
}

void TestGetCommand::namesThatAreNotUtf8AreReported()
{
    // "Café.mkv" written in Latin-1: no QString can name it.
    const QByteArray folder = QFile::encodeName(path(u"Latin"_s));
    QVERIFY(QDir().mkpath(path(u"Latin"_s)));
    const QByteArray video = folder + "/Caf\xe9.mkv";
    const int fd = ::open(video.constData(), O_CREAT | O_WRONLY, 0644);
    QVERIFY(fd >= 0);
    ::close(fd);
    const auto cleanup = qScopeGuard([&] { ::unlink(video.constData()); });
    makeSparseFile(path(u"Latin/Plain.mkv"_s), 3'000'020);

    const CliRun r = runCli({u"get"_s, u"--provider=xmlrpc"_s, u"--server"_s, m_emu->url().toString(),
                             u"--lang"_s, u"en"_s, path(u"Latin"_s)});
    QVERIFY2(r.exitCode == 1, qPrintable(r.err));
    QCOMPARE(
        r.lines(),
        (QStringList{u"skipped "_s + path(u"Latin/Caf\\xe9.mkv"_s) +
                         u" its name is not valid UTF-8, which Lumbra cannot open; rename it to take it in"_s,
                     u"none "_s + path(u"Latin/Plain.mkv"_s) + u" en"_s}));
}

void TestGetCommand::debugLinesOnlyWhenAskedFor_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("rules");
    QTest::addColumn<bool>("debug");
    QTest::newRow("by default") << QStringList{} << QString() << false;
    QTest::newRow("--verbose") << QStringList{u"--verbose"_s} << QString() << true;
    QTest::newRow("logging rules") << QStringList{} << u"lumbra.*.debug=true"_s << true;
}

void TestGetCommand::debugLinesOnlyWhenAskedFor()
{
    QFETCH(QStringList, options);
    QFETCH(QString, rules);
    QFETCH(bool, debug);
    CliSetup setup;
    setup.environment.insert(u"QT_LOGGING_RULES"_s, rules);
    const CliRun r =
        runCli(options + QStringList{u"get"_s, u"--provider=xmlrpc"_s, u"--server"_s, m_emu->url().toString(),
                                     u"--lang"_s, u"en"_s, path(u"Films/Movie.One.2010.mkv"_s)},
               setup);
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    QCOMPARE(r.lines(), QStringList{u"placed "_s + path(u"Films/Movie.One.2010.en.srt"_s)});
    QCOMPARE(r.err.contains(u"lumbra.profiler: <Hashing Files> Entered"_s), debug);
    QCOMPARE(r.err.contains(u"lumbra."_s), debug);
}

void TestGetCommand::jsonLinesCarryTheChoice()
{
    const CliRun r = runCli(getArgs({u"--json"_s}));
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    QCOMPARE(r.lines().size(), 12);
    QJsonObject placed;
    for (const QString &line : r.lines()) {
        const QJsonObject o = QJsonDocument::fromJson(line.toUtf8()).object();
        QVERIFY2(!o.isEmpty(), qPrintable(line));
        for (const char *key : {"status", "video", "lang", "subtitle", "reason", "matchedBy", "subFileName"})
            QVERIFY2(o.contains(QLatin1StringView(key)), key);
        if (o[u"video"_s].toString().endsWith(u"Movie.One.2010.mkv"_s) && o[u"lang"_s] == u"es"_s)
            placed = o;
    }
    QCOMPARE(placed[u"status"_s].toString(), u"placed"_s);
    QCOMPARE(placed[u"subtitle"_s].toString(), path(u"Films/Movie.One.2010.es.srt"_s));
    QCOMPARE(placed[u"matchedBy"_s].toString(), u"moviehash"_s);
    QCOMPARE(placed[u"subFileName"_s].toString(), u"Movie.One.es.srt"_s);
}

void TestGetCommand::badUsage_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("no path") << QStringList{u"get"_s};
    QTest::newRow("unknown language") << QStringList{u"get"_s, u"--lang"_s, u"xx"_s, u"."_s};
    QTest::newRow("four languages") << QStringList{u"get"_s, u"--lang"_s, u"en,es,fr,de"_s, u"."_s};
    QTest::newRow("lang without value") << QStringList{u"get"_s, u"."_s, u"--lang"_s};
    QTest::newRow("not a web address") << QStringList{u"get"_s, u"--server"_s, u"ftp://x/y"_s, u"."_s};
    QTest::newRow("unknown option") << QStringList{u"get"_s, u"--fast"_s, u"."_s};
}

void TestGetCommand::badUsage()
{
    QFETCH(QStringList, args);
    const CliRun r = runCli(args);
    QVERIFY2(r.exitCode == 2, qPrintable(r.err));
    QVERIFY(r.lines().isEmpty());
    // One line, which says what was wrong and where help is.
    QCOMPARE(r.err.trimmed().count(u'\n'), 0);
    QVERIFY2(r.err.startsWith(u"lumbra-cli get: "_s) &&
                 r.err.trimmed().endsWith(u"(see lumbra-cli get --help)"_s),
             qPrintable(r.err));
}

// The top-level help names every option get's own help lists, so the two
// cannot drift apart when an option is added.
void TestGetCommand::helpListsEveryOption()
{
    const CliRun top = runCli({u"--help"_s});
    const CliRun own = runCli({u"get"_s, u"--help"_s});
    QCOMPARE(top.exitCode, 0);
    QCOMPARE(own.exitCode, 0);
    static const QRegularExpression optionLine(u"^  (--[a-z][a-z0-9-]*)"_s,
                                               QRegularExpression::MultilineOption);
    QStringList options;
    for (auto it = optionLine.globalMatch(own.out); it.hasNext();)
        options.append(it.next().captured(1));
    QVERIFY2(options.contains(u"--lang"_s) && options.contains(u"--json"_s), qPrintable(own.out));
    for (const QString &option : std::as_const(options))
        QVERIFY2(top.out.contains(u"["_s + option), qPrintable(option));
}

LUMBRA_TEST_MAIN(TestGetCommand)
#include "tst_GetCommand.moc"
