#include "CliRunner.h"
#include "ServiceEmulator.h"
#include "TestFiles.h"
#include "TestMain.h"

#include "media/MovieHash.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString kRussian =
    u"1\r\n00:00:01,000 --> 00:00:02,000\r\nПривет, как дела? Это проверка кодировки субтитров.\r\n"_s;

QJsonObject sub(const QString &file, double rating, int downloads, const QStringList &flags = {},
                const QString &lang = u"eng"_s)
{
    QJsonObject entry{{u"lang"_s, lang},
                      {u"file"_s, file},
                      {u"content"_s, QString(u"1\n00:00:01,000 --> 00:00:02,000\n"_s + file + u'\n')},
                      {u"rating"_s, rating},
                      {u"downloads"_s, downloads}};
    for (const QString &flag : flags)
        entry[flag] = true;
    return entry;
}

} // namespace

// lumbra-cli get end to end, through both service interfaces: a language
// served by a subtitle stream inside the video, the hearing-impaired,
// machine-translated and forced flags in the choice, and UTF-8 on request.
class TestGetFit final : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QJsonArray m_movies;

    QString path(const QString &name) const { return m_dir->path() + u"/tree/"_s + name; }

    void addMovie(const QString &file, const QString &name, const QJsonArray &subs)
    {
        const QString hash = XMLRPC::computeMovieHash(file).hash;
        QVERIFY(!hash.isEmpty());
        m_movies.append(QJsonObject{{u"name"_s, name},
                                    {u"hash"_s, hash},
                                    {u"bytesize"_s, QFileInfo(file).size()},
                                    {u"subtitles"_s, subs}});
    }

    // One JSON object per video and language, keyed "Video.mkv lang".
    QHash<QString, QJsonObject> run(const QString &provider, const QStringList &extra, int &exitCode,
                                    const CliSetup &setup = {})
    {
        ServiceEmulator emu(provider == "rest"_L1 ? ServiceEmulator::Api::Rest
                                                  : ServiceEmulator::Api::XmlRpc);
        if (!emu.start(QJsonDocument(QJsonObject{{u"movies"_s, m_movies}}).toJson()))
            return {};
        QStringList args{u"get"_s, u"--json"_s,   u"--provider"_s,
                         provider, u"--server"_s, emu.url().toString()};
        if (provider == "rest"_L1)
            args += QStringList{u"--api-key"_s, u"test-key"_s};
        const CliRun r = runCli(args + extra + QStringList{u"--"_s, m_dir->path() + u"/tree"_s}, setup);
        exitCode = r.exitCode;
        QHash<QString, QJsonObject> byVideo;
        for (const QString &line : r.lines()) {
            const QJsonObject o = QJsonDocument::fromJson(line.toUtf8()).object();
            byVideo.insert(QFileInfo(o[u"video"_s].toString()).fileName() + u' ' + o[u"lang"_s].toString(),
                           o);
        }
        return byVideo;
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_movies = {};
        const QString cue =
            writeTestFile(m_dir->filePath(u"cue.srt"_s), "1\n00:00:00,500 --> 00:00:01,500\nHi\n");
        for (const auto &[name, tag] :
             {std::pair{u"Inside.mkv"_s, u"eng"_s}, std::pair{u"Unknown.mkv"_s, u"und"_s}}) {
            const QString file =
                makeVideo(path(name), {u"-i"_s, cue},
                          {u"-map"_s, u"0"_s, u"-map"_s, u"1"_s, u"-metadata:s:s:0"_s, u"language="_s + tag});
            QVERIFY2(!file.isEmpty(), "ffmpeg (scripts/packages.txt) could not make a video");
            addMovie(file, name,
                     {sub(name + u".srt"_s, 7, 10, {u"hi"_s})}); // the only one: taken by every wish
        }
        addMovie(makeSparseFile(path(u"Choice.mkv"_s), 3'000'000), u"Choice"_s,
                 {sub(u"forced.srt"_s, 9.9, 9000, {u"forced"_s}), sub(u"mt.srt"_s, 9.5, 900, {u"mt"_s}),
                  sub(u"ai.srt"_s, 9.4, 800, {u"ai"_s}), sub(u"hi.srt"_s, 9, 500, {u"hi"_s}),
                  sub(u"plain.srt"_s, 6, 10)});
        QJsonObject russian = sub(u"Russian.srt"_s, 7, 10, {u"hi"_s}, u"rus"_s);
        russian[u"content"_s] = kRussian;
        russian[u"encoding"_s] = u"CP1251"_s;
        addMovie(makeSparseFile(path(u"Russian.mkv"_s), 3'000'001), u"Russian"_s, {russian});
    }

    // Each interface; the hearing-impaired wish; what each video got.
    void choosesWhatTheVideoNeeds_data()
    {
        QTest::addColumn<QString>("provider");
        QTest::addColumn<QStringList>("extra");
        QTest::addColumn<QString>("choice");     // Choice.mkv's subtitle
        QTest::addColumn<QByteArray>("russian"); // Russian.mkv's placed bytes
        QTest::addColumn<QString>("encoding");   // its note
        const QByteArray served = QStringEncoder("windows-1251").encode(kRussian);
        for (const QString &provider : {u"xmlrpc"_s, u"rest"_s}) {
            const auto row = [&](const char *name) -> QTestData & {
                return QTest::addRow("%s, %s", qPrintable(provider), name);
            };
            row("defaults") << provider << QStringList{} << u"hi.srt"_s << served << QString();
            row("--hi avoid") << provider << QStringList{u"--hi"_s, u"avoid"_s} << u"plain.srt"_s << served
                              << QString();
            row("--hi only --utf8") << provider << QStringList{u"--hi=only"_s, u"--utf8"_s} << u"hi.srt"_s
                                    << kRussian.toUtf8() << u"converted from WINDOWS-1251"_s;
        }
    }
    void choosesWhatTheVideoNeeds()
    {
        QFETCH(QString, provider);
        QFETCH(QStringList, extra);
        QFETCH(QString, choice);
        QFETCH(QByteArray, russian);
        QFETCH(QString, encoding);
        int exitCode = -1;
        const auto got = run(provider, QStringList{u"--lang"_s, u"en,ru"_s} + extra, exitCode);
        QCOMPARE(exitCode, 0);

        const QJsonObject inside = got.value(u"Inside.mkv en"_s);
        QCOMPARE(inside[u"status"_s].toString(), u"skipped"_s);
        QVERIFY(inside[u"insideVideo"_s].toBool());
        QVERIFY(inside[u"reason"_s].toString().contains(u"carries"_s));
        QCOMPARE(got.value(u"Unknown.mkv en"_s)[u"status"_s].toString(), u"placed"_s); // und does not count

        QCOMPARE(got.value(u"Choice.mkv en"_s)[u"subFileName"_s].toString(), choice);
        const QJsonObject ru = got.value(u"Russian.mkv ru"_s);
        QCOMPARE(ru[u"status"_s].toString(), u"placed"_s);
        QCOMPARE(readTestFile(ru[u"subtitle"_s].toString()), russian);
        QCOMPARE(ru[u"encoding"_s].toString(), encoding);
    }

    // With the preference off, the stream inside does not count and the
    // video is searched like any other.
    void embeddedStreamsCountOnlyWhenWanted()
    {
        CliSetup setup; // a preference store of this test's own
        setup.environment.insert(u"XDG_CONFIG_HOME"_s, m_dir->filePath(u"config"_s));
        const CliRun set = runCli({u"prefs"_s, u"--set"_s, u"EmbeddedSubsCount=false"_s}, setup);
        QVERIFY2(set.exitCode == 0, qPrintable(set.err));
        int exitCode = -1;
        const auto got = run(u"xmlrpc"_s, {u"--lang"_s, u"en"_s}, exitCode, setup);
        QCOMPARE(exitCode, 0);
        const QJsonObject inside = got.value(u"Inside.mkv en"_s);
        QCOMPARE(inside[u"status"_s].toString(), u"placed"_s);
        QVERIFY(!inside[u"insideVideo"_s].toBool());
    }
};

LUMBRA_TEST_MAIN(TestGetFit)
#include "tst_GetFit.moc"
