#include "FakePlayerShell.h"
#include "TestMain.h"

#include "preview/PlayerControl.h"
#include "preview/PlayerDetection.h"
#include "preview/PlayerOutputReader.h"
#include "preview/subClass.h"
#include "preview/VideoPlacement.h"
#include "service/SubtitleDownload.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString fixtures = QStringLiteral(LUMBRA_SOURCE_DIR "/tests/preview/fixtures");

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QString describe(const PlayerLine &line)
{
    switch (line.kind) {
    case PlayerLine::Identify:
        return u"identify %1=%2"_s.arg(line.name, line.value);
    case PlayerLine::Status:
        return u"status %1"_s.arg(line.position);
    case PlayerLine::Other:
        break;
    }
    return u"other"_s;
}

QStringList describe(const QList<PlayerLine> &lines)
{
    QStringList out;
    for (const PlayerLine &l : lines)
        out << describe(l);
    return out;
}

FakePlayerShell *lastShell()
{
    return FakePlayerShell::made().isEmpty() ? nullptr : FakePlayerShell::made().last().data();
}

std::unique_ptr<PlayerShell> makeFake()
{
    return std::make_unique<FakePlayerShell>();
}

const QByteArray srt =
    "1\n00:01:15,400 --> 00:01:17,000\nHello\n\n2\n00:01:20,000 --> 00:01:21,000\nAgain\n"_ba;

} // namespace

class tst_Player : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void parseLine_data()
    {
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<QString>("read");
        QTest::newRow("padded identify tag")
            << " IDENTIFY: ID_LENGTH=6.00"_ba << u"identify ID_LENGTH=6.00"_s;
        QTest::newRow("spaces around the value")
            << "IDENTIFY:  ID_VIDEO_FPS = 23.976 "_ba << u"identify ID_VIDEO_FPS=23.976"_s;
        QTest::newRow("name without value") << " IDENTIFY: ID_PAUSED"_ba << u"identify ID_PAUSED="_s;
        QTest::newRow("value cut at a second colon")
            << " IDENTIFY: ID_FILENAME=/a:b"_ba << u"identify ID_FILENAME=/a"_s;
        QTest::newRow("status with sound")
            << "STATUSLINE: A:  12.3 V:  12.3 A-V:  0.001 ct:  0.000  3/  3 ??% ??% ??,?% 0 0 \x1b[J"_ba
            << u"status 12.3"_s;
        QTest::newRow("status at zero") << "STATUSLINE: A:   0.0 V:   0.0 A-V:  0.001"_ba << u"status 0"_s;
        QTest::newRow("status without sound")
            << "STATUSLINE: V:   1.5   1/  1 ??% ??% ??,?% 0 0 \x1b[J"_ba << u"status 1.5"_s;
        QTest::newRow("other module") << "  CPLAYER: Starting playback..."_ba << u"other"_s;
        QTest::newRow("untagged") << "Exiting... (End of file)"_ba << u"other"_s;
        QTest::newRow("untagged ID line without an identify line before")
            << "ID_AUDIO_RATE=44100"_ba << u"other"_s;
    }
    void parseLine()
    {
        QFETCH(QByteArray, raw);
        QFETCH(QString, read);
        QCOMPARE(describe(PlayerOutputReader::parseLine(PlayerOutputReader::cleanLine(raw))), read);
    }

    // The recorded output of a playback run (sound and video, paused once)
    // reads the same whatever the chunks it arrives in.
    void readerJoinsLinesCutBetweenChunks()
    {
        const QByteArray recorded = readFile(fixtures + "/mplayer-playback.out"_L1);
        QVERIFY(!recorded.isEmpty());
        PlayerOutputReader whole;
        QList<PlayerLine> expected = whole.feed(recorded);
        expected += whole.finish();
        for (int size : {1, 7, 64}) {
            PlayerOutputReader reader;
            QList<PlayerLine> lines;
            for (qsizetype i = 0; i < recorded.size(); i += size)
                lines += reader.feed(recorded.mid(i, size));
            lines += reader.finish();
            QCOMPARE(describe(lines), describe(expected));
        }
        const QStringList read = describe(expected);
        QCOMPARE(read.filter(u"status"_s).size(), 36);
        QVERIFY(read.contains(u"status 1.3"_s));
        // Continuation lines of a multi-line identification message.
        QVERIFY(read.contains(u"identify ID_AUDIO_RATE=44100"_s));
        QVERIFY(read.contains(u"identify ID_AUDIO_NCH=2"_s));
        QVERIFY(read.contains(u"identify ID_PAUSED="_s));
        QCOMPARE(read.last(), u"identify ID_EXIT=EOF"_s);
        // The last line arrives even without its line ending.
        PlayerOutputReader reader;
        QVERIFY(reader.feed(" IDENTIFY: ID_EXIT=QU"_ba).isEmpty());
        QVERIFY(reader.feed("IT"_ba).isEmpty());
        QCOMPARE(describe(reader.finish()), QStringList{u"identify ID_EXIT=QUIT"_s});
    }

    // A flood without line ends costs linear time and keeps only the start
    // of the line; the lines after it read as usual.
    void readerCapsOverlongLines()
    {
        PlayerOutputReader reader;
        QList<PlayerLine> lines;
        const QByteArray flood = " IDENTIFY: ID_FLOOD=" + QByteArray("\x1b[K", 3).repeated(200000);
        for (qsizetype i = 0; i < flood.size(); i += 17)
            lines += reader.feed(flood.mid(i, 17));
        lines += reader.feed("\n IDENTIFY: ID_LENGTH=5.0\n");
        const QStringList read = describe(lines);
        QCOMPARE(read, (QStringList{u"identify ID_FLOOD="_s, u"identify ID_LENGTH=5.0"_s}));
        QVERIFY(reader.finish().isEmpty());
    }

    void placement_data()
    {
        QTest::addColumn<QRect>("window");
        QTest::addColumn<QList<QRect>>("screens");
        QTest::addColumn<QSize>("video");
        QTest::addColumn<QSize>("scaled");
        QTest::addColumn<int>("screen");
        QTest::addColumn<int>("windowTop");
        QTest::addColumn<bool>("moved");
        QTest::addColumn<QPoint>("videoAt");

        const QList<QRect> one{QRect(0, 0, 1920, 1050)};
        const QList<QRect> two{QRect(0, 0, 1920, 1050), QRect(1920, 0, 1280, 994)};
        QTest::newRow("wide video scaled down, window moved")
            << QRect(100, 300, 600, 416) << one << QSize(1920, 1080) << QSize(600, 337) << 0 << 401 << true
            << QPoint(100, 32);
        QTest::newRow("narrow video not enlarged")
            << QRect(100, 500, 600, 416) << one << QSize(320, 240) << QSize(320, 240) << 0 << 500 << false
            << QPoint(100, 228);
        QTest::newRow("room just enough") << QRect(0, 401, 600, 416) << one << QSize(1920, 1080)
                                          << QSize(600, 337) << 0 << 401 << false << QPoint(0, 32);
        QTest::newRow("second screen, window kept above its bottom")
            << QRect(2000, 600, 600, 416) << two << QSize(1280, 720) << QSize(600, 337) << 1 << 570 << true
            << QPoint(2000, 201);
        QTest::newRow("corner on the edge between screens")
            << QRect(1920, 600, 600, 416) << two << QSize(1280, 720) << QSize(600, 337) << 0 << 600 << false
            << QPoint(1920, 231);
        QTest::newRow("outside every screen takes the first")
            << QRect(5000, 600, 600, 416) << two << QSize(1280, 720) << QSize(600, 337) << 0 << 600 << false
            << QPoint(5000, 231);
        // A 768-pixel screen: the window stops at the bottom, the video
        // shrinks into the room left above it.
        QTest::newRow("small screen shrinks the video")
            << QRect(100, 300, 600, 416) << QList<QRect>{QRect(0, 0, 1366, 768)} << QSize(1920, 1080)
            << QSize(497, 280) << 0 << 344 << true << QPoint(100, 32);
        QTest::newRow("no room above: beside the window")
            << QRect(100, 100, 600, 416) << QList<QRect>{QRect(0, 0, 1920, 600)} << QSize(1920, 1080)
            << QSize(1009, 568) << 0 << 100 << false << QPoint(712, 32);
        QTest::newRow("unknown video size") << QRect(10, 20, 600, 416) << one << QSize(0, 0) << QSize(0, 0)
                                            << 0 << 64 << true << QPoint(10, 32);
        QTest::newRow("no screens") << QRect(10, 500, 600, 416) << QList<QRect>{} << QSize(600, 400)
                                    << QSize(600, 400) << -1 << 500 << false << QPoint(10, 68);
    }
    void placement()
    {
        QFETCH(QRect, window);
        QFETCH(QList<QRect>, screens);
        QFETCH(QSize, video);
        QFETCH(QSize, scaled);
        QFETCH(int, screen);
        QFETCH(int, windowTop);
        QFETCH(bool, moved);
        QFETCH(QPoint, videoAt);
        const VideoPlacement p = VideoPlacement::compute(window, screens, video.width(), video.height());
        QCOMPARE(QSize(p.scaledWidth, p.scaledHeight), scaled);
        QCOMPARE(p.screen, screen);
        QCOMPARE(p.availableHeight, screen < 0 ? 0 : screens[screen].height());
        QCOMPARE(p.windowTop, windowTop);
        QCOMPARE(p.moveWindow, moved);
        QCOMPARE(QPoint(p.videoX, p.videoY), videoAt);
        QVERIFY(p.ratio <= 1);
        // The video never covers the window or its title bar.
        const QRect placed(window.x(), p.windowTop - VideoPlacement::TitleRoom, window.width(),
                           window.height() + VideoPlacement::TitleRoom);
        QVERIFY(!placed.intersects(QRect(p.videoX, p.videoY, p.scaledWidth, p.scaledHeight)));
    }

    void commandLines()
    {
        const QString video = u"/films/It's \"odd\" $HOME, `x`.avi"_s;
        QCOMPARE(PlayerControl::identificationArguments(PlayerDialect::MPlayer, video),
                 (QStringList{u"-noconfig"_s, u"all"_s, u"-vo"_s, u"null"_s, u"-ao"_s, u"null"_s,
                              u"-frames"_s, u"1"_s, u"-identify"_s, u"-msgmodule"_s, u"-msglevel"_s,
                              u"identify=6"_s, u"-nosub"_s, u"-noautosub"_s, video}));
        QCOMPARE(PlayerControl::identificationArguments(PlayerDialect::MPlayer2, video),
                 (QStringList{u"--noconfig=all"_s, u"--vo=null"_s, u"--ao=null"_s, u"--frames=0"_s,
                              u"--identify"_s, u"--msgmodule"_s, u"-msglevel"_s, u"identify=6"_s,
                              u"--nosub"_s, video}));

        PlayerControl::PlaybackOptions o;
        o.placement =
            VideoPlacement::compute(QRect(100, 300, 600, 416), {QRect(0, 0, 1920, 1050)}, 1920, 1080);
        o.title = u"Viewing Sub - (en) \"Film\" $1"_s;
        o.fontFile = u"/res/Fonts/SourceSansPro/SourceSansPro-Regular.ttf"_s;
        o.subtitleFile = u"/films/temp-a, b.srt"_s;
        o.video = video;
        QCOMPARE(PlayerControl::playbackArguments(PlayerDialect::MPlayer, o),
                 (QStringList{u"-noconfig"_s,
                              u"all"_s,
                              u"-slave"_s,
                              u"-input"_s,
                              u"nodefault-bindings:conf=/dev/null"_s,
                              u"-xy"_s,
                              u"600"_s,
                              u"-geometry"_s,
                              u"100:32"_s,
                              u"-double"_s,
                              u"-hardframedrop"_s,
                              u"-vo"_s,
                              u"xv,gl,x11,"_s,
                              u"-msgmodule"_s,
                              u"-msglevel"_s,
                              u"identify=6"_s,
                              u"-nosub"_s,
                              u"-noautosub"_s,
                              u"-nofontconfig"_s,
                              u"-ffactor"_s,
                              u"10"_s,
                              u"-sub-bg-alpha"_s,
                              u"0"_s,
                              u"-sub-bg-color"_s,
                              u"0"_s,
                              u"-subpos"_s,
                              u"90"_s,
                              u"-subalign"_s,
                              u"1"_s,
                              u"-title"_s,
                              o.title,
                              u"-font"_s,
                              o.fontFile,
                              u"-sub"_s,
                              u"/films/temp-a\\, b.srt"_s,
                              video}));
        QCOMPARE(PlayerControl::playbackArguments(PlayerDialect::MPlayer2, o),
                 (QStringList{u"--xy=600"_s,
                              u"--geometry=100:32"_s,
                              u"--slave"_s,
                              u"--input=nodefault-bindings"_s,
                              u"--noconfig=all"_s,
                              u"--double=yes"_s,
                              u"--hardframedrop"_s,
                              u"--vo=gl3"_s,
                              u"--msgmodule"_s,
                              u"-msglevel"_s,
                              u"identify=6"_s,
                              u"--nosub"_s,
                              u"--ffactor=10"_s,
                              u"--sub-bg-alpha=0"_s,
                              u"--sub-bg-color=0"_s,
                              u"--subpos=90"_s,
                              u"--subalign=1"_s,
                              "--title="_L1 + o.title,
                              "--font="_L1 + o.fontFile,
                              u"--sub=/films/temp-a\\, b.srt"_s,
                              video}));

        // Without a font file the player keeps its own font lookup.
        o.fontFile.clear();
        const QStringList plain = PlayerControl::playbackArguments(PlayerDialect::MPlayer, o);
        QVERIFY(!plain.contains(u"-font"_s));
        QVERIFY(!plain.contains(u"-nofontconfig"_s));
    }

    void detection()
    {
        const QString app = m_dir.filePath(u"app"_s);
        const QString bin = m_dir.filePath(u"bin"_s);
        QVERIFY(QDir().mkpath(app + "/helper_APPS/mplayer2"_L1));
        QVERIFY(QDir().mkpath(bin));
        const QByteArray oldPath = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(bin));
        const auto restore = qScopeGuard([&] { qputenv("PATH", oldPath); });
        const auto makeExecutable = [](const QString &path) {
            return writeFile(path, "#!/bin/sh\n"_ba) &&
                   QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        };

        // The bundled folder without its program: nothing to run yet.
        QVERIFY(hasBundledPlayer(app));
        QVERIFY(!hasSystemPlayer());
        QVERIFY(!findPlayer(app).isValid());

        QVERIFY(makeExecutable(bin + "/mplayer"_L1));
        QVERIFY(hasSystemPlayer());
        PlayerInfo found = findPlayer(app);
        QCOMPARE(found.path, bin + "/mplayer"_L1);
        QCOMPARE(found.dialect, PlayerDialect::MPlayer);

        QVERIFY(makeExecutable(bin + "/mplayer2"_L1));
        found = findPlayer(app);
        QCOMPARE(found.path, bin + "/mplayer2"_L1);
        QCOMPARE(found.dialect, PlayerDialect::MPlayer2);

        const QString bundled = app + "/helper_APPS/mplayer2/mplayer2"_L1;
        QVERIFY(makeExecutable(bundled));
        found = findPlayer(app);
        QCOMPARE(found.path, bundled);
        QCOMPARE(found.dialect, PlayerDialect::MPlayer2);

        QVERIFY(!hasBundledPlayer(bin));
        QVERIFY(!hasBundledPlayer(QString()));
    }

    void frameRateRebuildsSubtitles_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<bool>("rebuilt");
        QTest::newRow("23.976") << "23.976"_ba << true;
        QTest::newRow("0.000") << "0.000"_ba << false;
        QTest::newRow("1") << "1"_ba << false;
        QTest::newRow("not a number") << "nan"_ba << false;
    }
    void frameRateRebuildsSubtitles()
    {
        QFETCH(QByteArray, value);
        QFETCH(bool, rebuilt);
        const QString sub = m_dir.filePath(u"fps.sub"_s);
        QVERIFY(writeFile(sub, "{2398}{2500}Hi|there\n"_ba));
        PlayerControl control(PlayerInfo{u"/opt/player"_s, PlayerDialect::MPlayer}, makeFake);
        control.setMovieFile(m_dir.filePath(u"v.avi"_s));
        control.setSubFile(sub);
        QSignalSpy spy(&control, &PlayerControl::subtitlesRebuilt);
        control.IDMovie();
        lastShell()->say(" IDENTIFY: ID_VIDEO_FPS=" + value + "\n");
        QCOMPARE(spy.size(), rebuilt ? 1 : 0);
        QCOMPARE(control.listResults(), rebuilt);
        QCOMPARE(bool(control.thisSubClass()), rebuilt);
        if (rebuilt) {
            QCOMPARE(control.fps(), 23.976);
            QCOMPARE(control.thisSubClass()->count(), 1);
            QCOMPARE(control.thisSubClass()->subLines()[0].startTime, u"00:01:40,017"_s);
            // Every report of a frame rate builds the set again.
            lastShell()->say(" IDENTIFY: ID_VIDEO_FPS=25.000\n"_ba);
            QCOMPARE(spy.size(), 2);
            QCOMPARE(control.thisSubClass()->subLines()[0].startTime, u"00:01:35,920"_s);
        } else {
            QCOMPARE(control.fps(), 0.0);
        }
    }

    // Both runs driven through a fake: what is taken from the output, the
    // status, the commands and their guard.
    void previewRun()
    {
        const QString video = m_dir.filePath(u"A \"quoted\" $film.avi"_s);
        const QString sub = m_dir.filePath(u"A film.en.srt"_s);
        QVERIFY(writeFile(sub, srt));
        QVERIFY(writeFile(m_dir.filePath(u"temp-A film.en.srt"_s), "stale copy"_ba));

        PlayerControl control(PlayerInfo{u"/opt/mplayer"_s, PlayerDialect::MPlayer}, makeFake);
        control.setMovieFile(video);
        control.setSubFile(sub);
        control.setTitle(u"Viewing Sub - (en) A \"quoted\" $film"_s);
        QSignalSpy finishedId(&control, &PlayerControl::identificationFinished);
        QSignalSpy sizes(&control, &PlayerControl::movieVideoSizeChanged);
        QSignalSpy started(&control, &PlayerControl::playbackStarted);
        QSignalSpy statuses(&control, &PlayerControl::statusChanged);

        QVERIFY(!control.togglePause());
        QCOMPARE(control.mPlayerStatus(), u"STOPPED"_s);
        QCOMPARE(control.timeLabel(), QString());

        control.IDMovie();
        FakePlayerShell *id = lastShell();
        QCOMPARE(id->program(), u"/opt/mplayer"_s);
        QCOMPARE(id->arguments(), PlayerControl::identificationArguments(PlayerDialect::MPlayer, video));
        id->say(" IDENTIFY: ID_VIDEO_WIDTH=1920\n IDENTIFY: ID_VIDEO_HEI"_ba);
        id->say("GHT=1080\n IDENTIFY: ID_VIDEO_FPS=25.000\n IDENTIFY: ID_VIDEO_ASPECT=0.0000\n"
                "STATUSLINE: V:   0.0   1/  1 ??% ??% ??,?% 0 0 \x1b[J\r"
                " IDENTIFY: ID_LENGTH=100.00\n IDENTIFY: ID_VIDEO_ASPECT=1.7778\n IDENTIFY: ID_PAUSED\n"_ba);
        QCOMPARE(control.movieVideoWidth(), 1920);
        QCOMPARE(control.movieVideoHeight(), 1080);
        QCOMPARE(sizes.last(), (QList<QVariant>{1920, 1080}));
        QCOMPARE(control.duration(), 100.0);
        QCOMPARE(control.videoratio(), 1.7778);
        QCOMPARE(control.position(), 0.0);
        QCOMPARE(control.thisSubClass()->count(), 2);
        QCOMPARE(started.size(), 0);
        // Pauses and status lines of the silent run change no status.
        QCOMPARE(control.mPlayerStatus(), u"STOPPED"_s);
        QCOMPARE(control.timeLabel(), u"00:00:00,000/00:01:40,000"_s);
        QCOMPARE(control.progressValue(), 0);
        QVERIFY(!control.seekToCue(75.4));
        id->end();
        QCOMPARE(finishedId.size(), 1);

        const VideoPlacement placed = control.PlayMovie(QRect(100, 300, 600, 416), {QRect(0, 0, 1920, 1050)});
        QVERIFY(placed.moveWindow);
        QCOMPARE(placed.windowTop, 401);
        FakePlayerShell *play = lastShell();
        QVERIFY(play != id);
        // The player reads a copy in our own temporary folder; a file of the
        // user's that happens to have the old copy's name is left alone.
        const QStringList args = play->arguments();
        const QString temp = args.at(args.indexOf(u"-sub"_s) + 1);
        QCOMPARE(QFileInfo(temp).absolutePath(), SubtitleDownload::applicationTempDir());
        QVERIFY2(temp.endsWith(u"-A film.en.srt"_s), qPrintable(temp));
        QCOMPARE(readFile(temp), srt);
        QCOMPARE(readFile(m_dir.filePath(u"temp-A film.en.srt"_s)), "stale copy"_ba);
        QCOMPARE(args.last(), video);
        QCOMPARE(args.at(args.indexOf(u"-title"_s) + 1), control.thisTitle());
        QCOMPARE(args.at(args.indexOf(u"-xy"_s) + 1), u"600"_s);

        play->say("STATUSLINE: A:  12.3 V:  12.3 A-V:  0.001 ct:  0.000 \x1b[J\r"_ba);
        QCOMPARE(control.mPlayerStatus(), u"PLAYING"_s);
        QCOMPARE(control.position(), 12.3);
        QCOMPARE(control.progressValue(), 12);
        QCOMPARE(control.timeLabel(), u"00:00:12,300/00:01:40,000"_s);
        play->say("STATUSLINE: A:   0.0 V:   0.0 A-V:  0.001 ct:  0.000 \x1b[J\r"_ba);
        QCOMPARE(control.position(), 12.3);
        QCOMPARE(started.size(), 1); // once per run, not per line

        QVERIFY(control.isPlaying());
        QVERIFY(control.togglePause());
        play->say("  =====  PAUSE  =====\r\n IDENTIFY: ID_PAUSED\n"_ba);
        QCOMPARE(control.mPlayerStatus(), u"ID_PAUSED"_s);
        QVERIFY(control.seekToCue(control.thisSubClass()->subLines()[0].startSeconds));
        QVERIFY(control.seekBack());
        QVERIFY(control.seekForward());
        QVERIFY(control.seekToCue(0.5));
        QCOMPARE(play->written(), (QList<QByteArray>{"pause"_ba, "seek 74 2"_ba, "seek -60 0"_ba,
                                                     "seek +60 0"_ba, "seek -1 2"_ba}));
        // The playback run reports sizes without touching the record's.
        play->say(" IDENTIFY: ID_VIDEO_WIDTH=640\n IDENTIFY: ID_EXIT=QUIT\n"_ba);
        QCOMPARE(control.videoWidth(), 640);
        QCOMPARE(control.movieVideoWidth(), 1920);
        QCOMPARE(control.mPlayerStatus(), u"ID_EXIT"_s);
        play->end();
        QVERIFY(!control.isPlaying());
        QVERIFY(!control.seekBack());
        QCOMPARE(play->written().size(), 5);
        QVERIFY(!QFile::exists(temp)); // the copy goes with the run

        // At a scale factor of 2 the same logical place is twice as many of
        // the player's pixels: the video as wide as the window, and above it,
        // not over the desktop's bar at the top of the screen.
        const VideoPlacement scaled =
            control.PlayMovie(QRect(100, 300, 600, 416), {QRect(0, 0, 1920, 1050)}, 2);
        QCOMPARE(scaled.windowTop, 401);
        const QStringList scaledArgs = lastShell()->arguments();
        QCOMPARE(scaledArgs.at(scaledArgs.indexOf(u"-xy"_s) + 1), u"1200"_s);
        QCOMPARE(scaledArgs.at(scaledArgs.indexOf(u"-geometry"_s) + 1), u"200:64"_s);
        lastShell()->end();
        // PLAYING, ID_PAUSED, ID_EXIT: a status is announced only when it changes.
        QCOMPARE(statuses.size(), 3);
    }

    void playerThatDiesStops()
    {
        PlayerControl control(PlayerInfo{u"/opt/mplayer"_s, PlayerDialect::MPlayer}, makeFake);
        control.setMovieFile(m_dir.filePath(u"v.avi"_s));
        control.PlayMovie(QRect(0, 500, 600, 416), {});
        lastShell()->say("STATUSLINE: A:   1.0 V:   1.0\r"_ba);
        QCOMPARE(control.mPlayerStatus(), u"PLAYING"_s);
        lastShell()->end();
        QCOMPARE(control.mPlayerStatus(), u"ID_EXIT"_s);
        QCOMPARE(PlayerControl::playButtonGlyph(control.mPlayerStatus()),
                 std::optional<QChar>(QChar(0xF04D)));
        QCOMPARE(PlayerControl::playButtonGlyph(u"PLAYING"_s), std::optional<QChar>(QChar(0xF04C)));
        QCOMPARE(PlayerControl::playButtonGlyph(u"ID_PAUSED"_s), std::optional<QChar>(QChar(0xF04B)));
        QCOMPARE(PlayerControl::playButtonGlyph(u"STOPPED"_s), std::nullopt);
    }

    void noPlayer()
    {
        PlayerControl control(PlayerInfo{}, makeFake);
        control.setMovieFile(m_dir.filePath(u"v.avi"_s));
        QSignalSpy failed(&control, &PlayerControl::playerFailed);
        const qsizetype before = FakePlayerShell::made().size();
        control.IDMovie();
        QCOMPARE(failed.size(), 1);
        QCOMPARE(FakePlayerShell::made().size(), before);
    }

    // The real process path against a stand-in player that replays recorded
    // MPlayer output in cut pieces and notes what it receives.
    void fakePlayerProcess()
    {
        const QString log = m_dir.filePath(u"fake-player.log"_s);
        qputenv("FAKE_PLAYER_LOG", QFile::encodeName(log));
        const QString folder = m_dir.filePath(u"a $b \"c\""_s);
        QVERIFY(QDir().mkpath(folder));
        const QString video = folder + "/Film, 'x' $HOME.avi"_L1;
        const QString sub = folder + "/Film, 'x' $HOME.en.srt"_L1;
        QVERIFY(writeFile(sub, srt));

        PlayerControl control(PlayerInfo{fixtures + "/fake-mplayer.py"_L1, PlayerDialect::MPlayer});
        control.setMovieFile(video);
        control.setSubFile(sub);
        control.setTitle(u"Viewing Sub - (en) \"Film\" $HOME `id`"_s);
        QSignalSpy identified(&control, &PlayerControl::identificationFinished);
        QSignalSpy ended(&control, &PlayerControl::playbackFinished);
        connect(&control, &PlayerControl::identificationFinished, &control,
                [&control] { control.PlayMovie(QRect(0, 500, 600, 416), {QRect(0, 0, 1920, 1050)}); });

        control.IDMovie();
        QVERIFY(identified.wait(20000));
        QCOMPARE(control.duration(), 3.0);
        QCOMPARE(control.fps(), 25.0);
        QCOMPARE(control.movieVideoWidth(), 320);
        QCOMPARE(control.movieVideoHeight(), 240);
        QCOMPARE(control.videoratio(), 1.3333);
        QCOMPARE(control.thisSubClass()->count(), 2);

        QTRY_COMPARE_WITH_TIMEOUT(control.mPlayerStatus(), u"PLAYING"_s, 20000);
        QTRY_VERIFY_WITH_TIMEOUT(control.position() > 0, 20000);
        QVERIFY(control.togglePause());
        QTRY_COMPARE_WITH_TIMEOUT(control.mPlayerStatus(), u"ID_PAUSED"_s, 20000);
        QVERIFY(control.seekToCue(75.4));
        QTRY_COMPARE_WITH_TIMEOUT(control.mPlayerStatus(), u"PLAYING"_s, 20000);
        QVERIFY(control.seekBack());
        QVERIFY(control.seekForward());
        QVERIFY(ended.wait(20000));
        QCOMPARE(control.mPlayerStatus(), u"ID_EXIT"_s);
        QCOMPARE(control.position(), 3.0);
        QVERIFY(!control.seekBack());

        QList<QStringList> runs;
        QStringList commands;
        for (const QByteArray &line : readFile(log).split('\n')) {
            const QJsonObject entry = QJsonDocument::fromJson(line).object();
            if (entry.contains("args"_L1))
                runs << entry.value("args"_L1).toVariant().toStringList();
            else if (entry.contains("command"_L1))
                commands << entry.value("command"_L1).toString();
        }
        QCOMPARE(runs.size(), 2);
        QCOMPARE(runs[0], PlayerControl::identificationArguments(PlayerDialect::MPlayer, video));
        QCOMPARE(runs[1].last(), video);
        QCOMPARE(runs[1].at(runs[1].indexOf(u"-title"_s) + 1), control.thisTitle());
        const QString temp = runs[1].at(runs[1].indexOf(u"-sub"_s) + 1);
        QVERIFY2(temp.startsWith(SubtitleDownload::applicationTempDir() + u'/') &&
                     temp.endsWith(u"-Film\\, 'x' $HOME.en.srt"_s),
                 qPrintable(temp));
        QVERIFY(!QFile::exists(QString(temp).replace("\\,"_L1, u","_s)));
        QCOMPARE(QDir(folder).entryList(QDir::Files), (QStringList{u"Film, 'x' $HOME.en.srt"_s}));
        QCOMPARE(commands, (QStringList{u"pause"_s, u"seek 74 2"_s, u"seek -60 0"_s, u"seek +60 0"_s}));
    }

    // One identification run of the real MPlayer on a clip made here.
    void realPlayerIdentifiesClip()
    {
        const bool ci = qEnvironmentVariableIsSet("CI");
        const QString mplayer = QStandardPaths::findExecutable(u"mplayer"_s);
        const QString ffmpeg = QStandardPaths::findExecutable(u"ffmpeg"_s);
        if (mplayer.isEmpty() || ffmpeg.isEmpty()) {
            if (ci)
                QFAIL("mplayer and ffmpeg must be installed (scripts/packages.txt)");
            QSKIP("mplayer or ffmpeg is not installed");
        }
        const QString clip = m_dir.filePath(u"clip $1.avi"_s);
        QProcess make;
        make.start(ffmpeg, {u"-v"_s, u"error"_s, u"-y"_s, u"-f"_s, u"lavfi"_s, u"-i"_s,
                            u"testsrc=duration=2:size=320x240:rate=25"_s, u"-c:v"_s, u"mpeg4"_s, clip});
        QVERIFY(make.waitForFinished(60000));
        QCOMPARE(make.exitCode(), 0);

        PlayerControl control(PlayerInfo{mplayer, PlayerDialect::MPlayer});
        control.setMovieFile(clip);
        QSignalSpy identified(&control, &PlayerControl::identificationFinished);
        QSignalSpy failed(&control, &PlayerControl::playerFailed);
        control.IDMovie();
        QVERIFY(identified.wait(60000));
        QCOMPARE(failed.size(), 0);
        QCOMPARE(control.duration(), 2.0);
        QCOMPARE(control.fps(), 25.0);
        QCOMPARE(control.movieVideoWidth(), 320);
        QCOMPARE(control.movieVideoHeight(), 240);
        QCOMPARE(control.videoratio(), 1.3333);
    }
};

LUMBRA_TEST_MAIN(tst_Player)
#include "tst_Player.moc"
