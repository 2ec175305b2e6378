#include "CliRunner.h"
#include "TestMain.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {

// A run of `lumbra-cli info` with the JSON objects it printed, one a line.
struct InfoRun : CliRun {
    QList<QJsonObject> objects;
};

InfoRun runInfo(const QStringList &args)
{
    InfoRun r{runCli(QStringList{u"info"_s} + args), {}};
    for (const QString &line : r.lines())
        r.objects.append(QJsonDocument::fromJson(line.toUtf8()).object());
    return r;
}

void write(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), bytes.size());
}

} // namespace

class tst_InfoCommand : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (qEnvironmentVariable("LUMBRA_CLI").isEmpty())
            QSKIP("LUMBRA_CLI is not set");
    }

    void videoWithSubtitlesBeside()
    {
        QTemporaryDir dir;
        // A name a shell would mangle, to show that paths pass literally.
        const QString base = dir.filePath(u"It's $HOME \"Ünïcode\".S02E10"_s);
        write(base + u".mkv"_s, QByteArray(65536, '\0'));
        write(base + u".en.srt"_s, "1");
        write(base + u".SRT"_s, "1");
        write(base + u"-forced.sub"_s, "1");
        write(base + u".nfo"_s, "not a subtitle");
        write(dir.filePath(u"Other.srt"_s), "1");

        const InfoRun r = runInfo({u"--json"_s, base + u".mkv"_s});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.objects.size(), 1);
        const QJsonObject o = r.objects.first();
        QCOMPARE(o[u"kind"_s].toString(), u"video"_s);
        QCOMPARE(o[u"path"_s].toString(), base + u".mkv"_s);
        QCOMPARE(o[u"movieFileName"_s].toString(), QFileInfo(base).fileName() + u".mkv"_s);
        QCOMPARE(o[u"movieFileNameShort"_s].toString(), QFileInfo(base).fileName());
        QCOMPARE(o[u"bytesize"_s].toInteger(), 65536);
        QCOMPARE(o[u"movieHash"_s].toString(), u"0000000000010000"_s);
        QCOMPARE(o[u"isTVShow"_s].toBool(), true);
        QCOMPARE(o[u"showtype"_s].toString(), u"EPI"_s);
        QCOMPARE(o[u"metadata"_s].toString(), u"2x10"_s);
        QCOMPARE(o[u"season"_s].toInt(), 2);
        QCOMPARE(o[u"episode"_s].toInt(), 10);
        for (const char *key : {"showname", "episode2", "showDate", "part", "parts"})
            QVERIFY2(o.contains(QLatin1StringView(key)), key);

        QStringList subs;
        for (const QJsonValue &v : o[u"subtitles"_s].toArray())
            subs << QFileInfo(v[u"path"_s].toString()).fileName() + u'=' + v[u"ISO639"_s].toString();
        const QString stem = QFileInfo(base).fileName();
        QCOMPARE(subs, (QStringList{stem + u"-forced.sub="_s, stem + u".SRT="_s, stem + u".en.srt=eng"_s}));
    }

    void subtitleFiles_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("encoding");
        QTest::newRow("latin1") << u"a.fr.srt"_s << QByteArray("caf\xE9") << u"fre"_s << u"ISO-8859-1"_s;
        QTest::newRow("utf8") << u"a.es.srt"_s << QByteArray("caf\xC3\xA9") << u"spa"_s << u"UTF-8"_s;
        QTest::newRow("utf16") << u"a.sub"_s << QByteArray("\xFF\xFE{\0", 4) << QString() << u"UTF-16"_s;
        QTest::newRow("empty") << u"a.en.srt"_s << QByteArray() << u"eng"_s << u"ASCII"_s;
    }

    void subtitleFiles()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, code);
        QFETCH(QString, encoding);
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        write(path, bytes);
        const InfoRun r = runInfo({u"--json"_s, path});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.objects.size(), 1);
        const QJsonObject o = r.objects.first();
        QCOMPARE(o[u"kind"_s].toString(), u"subtitle"_s);
        QCOMPARE(o[u"subtitleFileName"_s].toString(), name);
        QCOMPARE(o[u"ISO639"_s].toString(), code);
        QCOMPARE(o[u"bytesize"_s].toInteger(), bytes.size());
        QCOMPARE(o[u"subHash"_s].toString().size(), 32);
        QCOMPARE(o[u"encoding"_s].toString(), encoding);
    }

    void badPathsAreReportedAfterTheOthers()
    {
        QTemporaryDir dir;
        const QString sub = dir.filePath(u"-dash.en.srt"_s);
        write(sub, "x");
        const QString missing = dir.filePath(u"missing.avi"_s);
        const QString other = dir.filePath(u"notes.txt.bak"_s);
        write(other, "x");
        const InfoRun r = runInfo({u"--json"_s, u"--"_s, missing, sub, other});
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.objects.size(), 1);
        QCOMPARE(r.objects.first()[u"path"_s].toString(), sub);
        QVERIFY2(r.err.contains(missing), qPrintable(r.err));
        QVERIFY2(r.err.contains(other), qPrintable(r.err));

        // The text form shows the same fields, one per line.
        const InfoRun text = runInfo({sub});
        QCOMPARE(text.exitCode, 0);
        QVERIFY(text.out.contains(u"ISO639: eng\n"_s));
        QVERIFY(text.out.contains(u"kind: subtitle\n"_s));

        QCOMPARE(runInfo({}).exitCode, 2);
        QCOMPARE(runInfo({u"--bogus"_s, sub}).exitCode, 2);
    }
};

LUMBRA_TEST_MAIN(tst_InfoCommand)
#include "tst_InfoCommand.moc"
