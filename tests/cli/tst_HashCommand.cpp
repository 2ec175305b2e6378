#include "CliRunner.h"
#include "TestMain.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {

struct Run {
    int exitCode = -1;
    QStringList out;
    QString err;
};

QStringList lines(const QByteArray &bytes)
{
    QStringList result = QString::fromUtf8(bytes).split(u'\n');
    if (!result.isEmpty() && result.last().isEmpty())
        result.removeLast();
    return result;
}

} // namespace

class tst_HashCommand : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

    Run cli(const QStringList &args)
    {
        CliSetup setup;
        setup.workingDirectory = m_dir.path();
        setup.environment.insert(u"LC_ALL"_s, u"C.UTF-8"_s);
        const CliRun run = runCli(args, setup);
        return {run.exitCode, lines(run.out.toUtf8()), run.err};
    }

    void makeFile(const QString &name, qint64 size, char byte = '\0')
    {
        QFile f(m_dir.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        QCOMPARE(f.write(QByteArray(size, byte)), size);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(!qEnvironmentVariableIsEmpty("LUMBRA_CLI"));
        QVERIFY(m_dir.isValid());
        makeFile(u"my video.avi"_s, 131072);
        makeFile(u"it's \"quoted\".mkv"_s, 65536, '\xff');
        makeFile(u"$HOME `x`.avi"_s, 65535);
        makeFile(u"-dash.avi"_s, 131072);
        makeFile(u"ñandú 東京.mp4"_s, 131072, '\xff');
        QVERIFY(QDir(m_dir.path()).mkdir(u"folder"_s));
    }

    void hash_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("out");
        QTest::addColumn<QStringList>("errMentions");

        QTest::newRow("odd names")
            << QStringList{u"--"_s,        u"my video.avi"_s,  u"it's \"quoted\".mkv"_s, u"$HOME `x`.avi"_s,
                           u"-dash.avi"_s, u"ñandú 東京.mp4"_s}
            << 0
            << QStringList{u"0000000000020000 131072 my video.avi"_s,
                           u"000000000000c000 65536 it's \"quoted\".mkv"_s, u"- 65535 $HOME `x`.avi"_s,
                           u"0000000000020000 131072 -dash.avi"_s,
                           u"000000000001c000 131072 ñandú 東京.mp4"_s}
            << QStringList{};
        QTest::newRow("absolute path as given")
            << QStringList{m_dir.filePath(u"my video.avi"_s)} << 0
            << QStringList{u"0000000000020000 131072 "_s + m_dir.filePath(u"my video.avi"_s)}
            << QStringList{};
        QTest::newRow("unreadable files are named, the rest still hashed")
            << QStringList{u"missing.avi"_s, u"my video.avi"_s, u"folder"_s} << 1
            << QStringList{u"0000000000020000 131072 my video.avi"_s}
            << QStringList{u"missing.avi"_s, u"folder"_s};
        QTest::newRow("dash name without --")
            << QStringList{u"-dash.avi"_s} << 2 << QStringList{} << QStringList{u"-dash.avi"_s};
        QTest::newRow("no files") << QStringList{} << 2 << QStringList{}
                                  << QStringList{u"(see lumbra-cli hash --help)"_s};
        QTest::newRow("only --") << QStringList{u"--"_s} << 2 << QStringList{}
                                 << QStringList{u"(see lumbra-cli hash --help)"_s};
    }
    void hash()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QStringList, out);
        QFETCH(QStringList, errMentions);
        const Run run = cli(QStringList{u"hash"_s} + args);
        QCOMPARE(run.exitCode, exitCode);
        QCOMPARE(run.out, out);
        if (errMentions.isEmpty())
            QVERIFY2(run.err.isEmpty(), qPrintable(run.err));
        for (const QString &m : std::as_const(errMentions))
            QVERIFY2(run.err.contains(m), qPrintable(run.err));
        // Every unreadable file gets a line of its own on stderr.
        if (exitCode == 1)
            QCOMPARE(run.err.count(u'\n'), errMentions.size());
    }

    void helpListsTheCommand()
    {
        const Run run = cli({u"--help"_s});
        QCOMPARE(run.exitCode, 0);
        QVERIFY(run.out.contains(u"  hash [--] FILE..."_s));
        const Run own = cli({u"hash"_s, u"--help"_s});
        QCOMPARE(own.exitCode, 0);
        QVERIFY(own.out.first().startsWith(u"Usage: lumbra-cli hash"_s));
    }
};

LUMBRA_TEST_MAIN(tst_HashCommand)
#include "tst_HashCommand.moc"
