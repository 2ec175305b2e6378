#include "CliRunner.h"
#include "TestMain.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

// The cue figures `lumbra-cli info` adds for subtitle files.
class tst_InfoCues : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString write(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_dir.filePath(name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            qFatal("cannot write fixture");
        return path;
    }

    static CliRun info(const QStringList &args) { return runCli(QStringList{u"info"_s} + args); }

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariable("LUMBRA_CLI").isEmpty())
            QSKIP("LUMBRA_CLI is not set");
    }

    void cues_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QJsonObject>("expected");

        const QByteArray srt =
            "2\n00:01:02,000 --> 00:01:04,500\nB\n\n1\n00:00:01.000 --> 00:00:02,000\nA\n"_ba;
        QTest::newRow("srt") << u"a.srt"_s << srt << QStringList{}
                             << QJsonObject{{u"cues"_s, 2},
                                            {u"duration"_s, 64.5},
                                            {u"firstCue"_s, u"00:00:01,000"_s},
                                            {u"lastCue"_s, u"00:01:02,000"_s}};
        QTest::newRow("sub at 25 by default") << u"b.sub"_s << "{100}{250}Hello|World\n"_ba << QStringList{}
                                              << QJsonObject{{u"cues"_s, 1},
                                                             {u"duration"_s, 10},
                                                             {u"firstCue"_s, u"00:00:04,000"_s},
                                                             {u"lastCue"_s, u"00:00:04,000"_s}};
        QTest::newRow("sub at 50") << u"c.sub"_s << "{100}{250}Hello\n"_ba << QStringList{u"--fps=50"_s}
                                   << QJsonObject{{u"cues"_s, 1},
                                                  {u"duration"_s, 5},
                                                  {u"firstCue"_s, u"00:00:02,000"_s},
                                                  {u"lastCue"_s, u"00:00:02,000"_s}};
        QTest::newRow("no cues") << u"d.srt"_s << "just text\n"_ba << QStringList{}
                                 << QJsonObject{{u"cues"_s, 0},
                                                {u"duration"_s, 0},
                                                {u"firstCue"_s, QString()},
                                                {u"lastCue"_s, QString()}};
        QTest::newRow("type without cues")
            << u"e.ssa"_s << "[Script Info]\n"_ba << QStringList{} << QJsonObject{};
    }
    void cues()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, options);
        QFETCH(QJsonObject, expected);
        const CliRun r = info(options + QStringList{u"--json"_s, write(name, bytes)});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        const QJsonObject o = QJsonDocument::fromJson(r.out.toUtf8()).object();
        QCOMPARE(o[u"kind"_s].toString(), u"subtitle"_s);
        for (const QString &key : {u"cues"_s, u"duration"_s, u"firstCue"_s, u"lastCue"_s})
            QCOMPARE(o.value(key), expected.value(key));
    }

    void textForm()
    {
        const QString out = info({write(u"t.srt"_s, "1\n00:00:01,000 --> 00:00:03,250\nA\n"_ba)}).out;
        QVERIFY2(
            out.contains(u"\ncues: 1\nduration: 3.25\nfirstCue: 00:00:01,000\nlastCue: 00:00:01,000\n"_s),
            qPrintable(out));
    }

    void badFrameRate()
    {
        const CliRun r = info({u"--fps=0"_s, write(u"f.sub"_s, "{1}{2}x\n"_ba)});
        QCOMPARE(r.exitCode, 2);
        QVERIFY(r.err.contains(u"--fps"_s));
    }
};

LUMBRA_TEST_MAIN(tst_InfoCues)
#include "tst_InfoCues.moc"
