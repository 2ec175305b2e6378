#include "../timing/SpeechMedia.h"
#include "CliRunner.h"
#include "ServiceEmulator.h"
#include "TestFiles.h"
#include "TestMain.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {

// The lines of an SRT file that are not time lines: numbers and texts.
QStringList textLines(const QString &path)
{
    QStringList lines = QString::fromUtf8(readTestFile(path)).split(u'\n');
    lines.removeIf([](const QString &line) { return line.contains("-->"_L1); });
    return lines;
}

// Cues at times that have nothing to do with the speech.
QByteArray unrelatedCues()
{
    QByteArray srt;
    for (int i = 0; i < 12; ++i) {
        const int start = 1 + (i * 7919) % 28;
        srt += QByteArray::number(i + 1) + "\n00:00:" + QByteArray::number(start).rightJustified(2, '0') +
               ",000 --> 00:00:" + QByteArray::number(start + 1).rightJustified(2, '0') +
               ",200\nSomething.\n\n";
    }
    return srt;
}

} // namespace

class tst_SyncCommand : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    SpeechMedia m_film;

    QString path(const QString &name) const { return m_dir.filePath(u"film/"_s + name); }

    CliRun sync(const QStringList &args)
    {
        CliSetup setup;
        setup.workingDirectory = m_dir.path();
        return runCli(QStringList{u"sync"_s} + args, setup);
    }

    static QJsonObject jsonOf(const CliRun &run)
    {
        return QJsonDocument::fromJson(run.out.toUtf8()).object();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_film = SpeechMedia::make(m_dir.filePath(u"film"_s),
                                   {u"--seconds"_s, u"30"_s, u"--seed"_s, u"5"_s, u"--voice"_s, u"en-gb"_s,
                                    u"--subtitle"_s, u"in_step.srt:0:1"_s, u"--subtitle"_s,
                                    u"early.srt:3:1:crlf"_s, u"--subtitle"_s, u"json.srt:-4:1"_s});
        writeTestFile(path(u"unrelated.srt"_s), unrelatedCues());
    }

    void reportsTheMeasurementAsJson()
    {
        const QByteArray before = readTestFile(path(u"json.srt"_s));
        const CliRun run = sync({u"--json"_s, m_film.video, path(u"json.srt"_s)});
        QCOMPARE(run.exitCode, 0);
        const QJsonObject o = jsonOf(run);
        QVERIFY2(std::abs(o.value(u"offset_ms"_s).toInt() + 4000) <= 100, qPrintable(run.out));
        QCOMPARE(o.value(u"ratio"_s).toDouble(), 1.0);
        QVERIFY(o.value(u"confidence"_s).toDouble() >= 0.5);
        QCOMPARE(o.value(u"fix_advised"_s).toBool(), true);
        QCOMPARE(o.value(u"fixed"_s).toBool(), false);
        QCOMPARE(readTestFile(path(u"json.srt"_s)), before);
    }

    // The fixed file has the cues where the speech is, the same texts and
    // line ends; the file it replaced is in the trash.
    void fixRewritesAndTrashesTheOld()
    {
        const QString file = path(u"early.srt"_s);
        const QByteArray before = readTestFile(file);
        const QStringList texts = textLines(file);
        const CliRun run = sync({u"--fix"_s, m_film.video, file});
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.out.contains(u"fixed: moved 3.0 s later"_s) ||
                     run.out.contains(u"fixed: moved 2.9 s later"_s) ||
                     run.out.contains(u"fixed: moved 3.1 s later"_s),
                 qPrintable(run.out));
        QCOMPARE(textLines(file), texts);
        QVERIFY(readTestFile(file).contains("\r\n"));
        const QList<double> starts = srtCueStarts(file);
        QCOMPARE(starts.size(), m_film.cues.size());
        for (qsizetype i = 1; i < starts.size(); ++i) // the first was cut at zero
            QVERIFY2(std::abs(starts[i] - m_film.cues[i].start) <= 0.1,
                     qPrintable(QString::number(starts[i])));
        const QString trashed = qEnvironmentVariable("XDG_DATA_HOME") + u"/Trash/files/early.srt"_s;
        QCOMPARE(readTestFile(trashed), before);
    }

    void leavesASubtitleInStep()
    {
        const QByteArray before = readTestFile(path(u"in_step.srt"_s));
        const CliRun run = sync({u"--fix"_s, u"--json"_s, m_film.video, path(u"in_step.srt"_s)});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(jsonOf(run).value(u"fixed"_s).toBool(), false);
        QCOMPARE(readTestFile(path(u"in_step.srt"_s)), before);
    }

    void failsWithAReasonAndChangesNothing_data()
    {
        QTest::addColumn<QString>("video");
        QTest::addColumn<QString>("reason");
        QTest::newRow("unrelated cues") << QString() << u"not sure"_s;
        QTest::newRow("no such video") << u"missing.mkv"_s << u"cannot read the video"_s;
    }
    void failsWithAReasonAndChangesNothing()
    {
        QFETCH(QString, video);
        QFETCH(QString, reason);
        const QString file = path(u"unrelated.srt"_s);
        const QByteArray before = readTestFile(file);
        const CliRun run = sync({u"--fix"_s, video.isEmpty() ? m_film.video : video, file});
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains(reason), qPrintable(run.err));
        QCOMPARE(readTestFile(file), before);
    }

    // `get --sync` measures what it placed and fixes it; its JSON line says how.
    void getSyncFixesThePlacedSubtitle()
    {
        const QString video = m_film.copyAsFilm(m_dir.filePath(u"get"_s));
        ServiceEmulator emulator;
        QVERIFY(emulator.start(catalogueOfOneFilm(video, path(u"json.srt"_s))));
        const CliRun run = runCli({u"get"_s, u"--provider=xmlrpc"_s, u"--server"_s, emulator.url().toString(),
                                   u"--lang"_s, u"en"_s, u"--sync"_s, u"--json"_s, u"--"_s, video});
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        const QJsonObject timing = jsonOf(run).value(u"timing"_s).toObject();
        QVERIFY2(timing.value(u"fixed"_s).toBool(), qPrintable(run.out));
        QVERIFY2(std::abs(timing.value(u"offset_ms"_s).toInt() + 4000) <= 100, qPrintable(run.out));
        const QList<double> starts = srtCueStarts(m_dir.filePath(u"get/Film.en.srt"_s));
        QCOMPARE(starts.size(), m_film.cues.size());
        QVERIFY(std::abs(starts.last() - m_film.cues.last().start) <= 0.1);
    }

    void badUsage_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("one path") << QStringList{u"a.mkv"_s};
        QTest::newRow("three paths") << QStringList{u"a.mkv"_s, u"b.srt"_s, u"c.srt"_s};
        QTest::newRow("unknown option") << QStringList{u"--later"_s, u"a.mkv"_s, u"b.srt"_s};
    }
    void badUsage()
    {
        QFETCH(QStringList, args);
        QCOMPARE(sync(args).exitCode, 2);
    }
};

LUMBRA_TEST_MAIN(tst_SyncCommand)
#include "tst_SyncCommand.moc"
