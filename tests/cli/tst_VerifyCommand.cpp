#include "CliRunner.h"
#include "ServiceEmulator.h"
#include "TestFiles.h"
#include "TestMain.h"

#include "media/MovieHash.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace {

const QByteArray cue = "1\n00:00:01,000 --> 00:00:02,000\nHi\n";

} // namespace

class TestVerifyCommand final : public QObject {
    Q_OBJECT

private slots:
    void pairsAndVerifies_data();
    void pairsAndVerifies();
    void serviceDownFails();
    void refusesWhatIsNoSubtitleAndSaysWhy();

private:
    QString prepare(ServiceEmulator::Api api = ServiceEmulator::Api::XmlRpc);
    QTemporaryDir m_dir;
    std::unique_ptr<ServiceEmulator> m_emu;
};

// Movie.mkv is known to the service with an English subtitle; the episode is not.
QString TestVerifyCommand::prepare(ServiceEmulator::Api api)
{
    const QString d = m_dir.path() + u"/up"_s;
    makeSparseFile(d + u"/Movie.mkv"_s, 2'000'000);
    writeTestFile(d + u"/Movie.srt"_s, cue);
    writeTestFile(d + u"/Movie.es.srt"_s, cue);
    writeTestFile(d + u"/Other.srt"_s, cue);
    makeSparseFile(d + u"/tv/Show.S01E02.mkv"_s, 2'000'001);
    writeTestFile(d + u"/tv/Show.S01E02.en.srt"_s, cue);
    const QString hash = XMLRPC::computeMovieHash(d + u"/Movie.mkv"_s).hash;
    const QJsonObject movie{{u"hash"_s, hash},
                            {u"bytesize"_s, 2'000'000},
                            {u"name"_s, u"Movie"_s},
                            {u"subtitles"_s, QJsonArray{QJsonObject{{u"lang"_s, u"eng"_s}}}}};
    m_emu = std::make_unique<ServiceEmulator>(api);
    if (!m_emu->start(QJsonDocument(QJsonObject{{u"movies"_s, QJsonArray{movie}}}).toJson()))
        return QString();
    // The service comes from the preferences here: verify has no options for it.
    const bool rest = api == ServiceEmulator::Api::Rest;
    const CliRun set = runCli(rest ? QStringList{u"prefs"_s, u"--set"_s, u"ServiceProvider=rest"_s,
                                                 u"--set"_s, u"RestServer="_s + m_emu->url().toString(),
                                                 u"--set"_s, u"RestApiKey=test-key"_s}
                                   : QStringList{u"prefs"_s, u"--set"_s, u"ServiceProvider=xmlrpc"_s,
                                                 u"--set"_s, u"OSAPIServer="_s + m_emu->url().toString()});
    return set.exitCode == 0 ? d : QString();
}

void TestVerifyCommand::pairsAndVerifies_data()
{
    QTest::addColumn<bool>("rest");
    QTest::newRow("REST API (a new install)") << true;
    QTest::newRow("XML-RPC") << false;
}

// Verification asks the interface the preferences choose.
void TestVerifyCommand::pairsAndVerifies()
{
    QFETCH(bool, rest);
    const auto api = rest ? ServiceEmulator::Api::Rest : ServiceEmulator::Api::XmlRpc;
    const QString d = prepare(api);
    QVERIFY(!d.isEmpty());
    const CliRun r = runCli({u"verify"_s, d});
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    const QStringList expected{
        u"paired %1/Movie.es.srt %1/Movie.mkv es"_s.arg(d),
        u"paired %1/Movie.srt %1/Movie.mkv en (assumed: the name gives none)"_s.arg(d),
        u"unpaired %1/Other.srt"_s.arg(d),
        u"paired %1/tv/Show.S01E02.en.srt %1/tv/Show.S01E02.mkv en"_s.arg(d),
        u"lacks %1/Movie.mkv es"_s.arg(d),
        u"has %1/Movie.mkv en"_s.arg(d),
        u"lacks %1/tv/Show.S01E02.mkv en"_s.arg(d),
    };
    QCOMPARE(r.lines(), expected);
}

void TestVerifyCommand::serviceDownFails()
{
    const QString d = prepare(ServiceEmulator::Api::XmlRpc);
    QVERIFY(!d.isEmpty());
    QVERIFY(m_emu->fail(u"http503"_s, u"ServerInfo"_s));
    // A single subtitle brings in its video and the subtitles that share its short name.
    const CliRun r = runCli({u"verify"_s, u"--json"_s, d + u"/Movie.srt"_s});
    QVERIFY2(r.exitCode == 1, qPrintable(r.err));
    QCOMPARE(r.lines().size(), 4);
    for (int i = 0; i < 2; ++i) {
        const QJsonObject pairing = QJsonDocument::fromJson(r.lines()[i].toUtf8()).object();
        QCOMPARE(pairing[u"kind"_s].toString(), u"pairing"_s);
        QCOMPARE(pairing[u"video"_s].toString(), d + u"/Movie.mkv"_s);
    }
    for (int i = 2; i < 4; ++i) {
        const QJsonObject outcome = QJsonDocument::fromJson(r.lines()[i].toUtf8()).object();
        QCOMPARE(outcome[u"status"_s].toString(), u"failed"_s);
        QVERIFY(outcome[u"reason"_s].toString().contains(u"ServerInfo"_s));
    }
}

// A binary file and an empty one named .srt are refused with the reason, a
// name that is not UTF-8 is reported; none is verified, and the run fails.
void TestVerifyCommand::refusesWhatIsNoSubtitleAndSaysWhy()
{
    const QString d = m_dir.path() + u"/odd"_s;
    makeSparseFile(d + u"/Clip.mkv"_s, 2'000'002);
    writeTestFile(d + u"/Clip.srt"_s, "\x01\x02\x03\x04\x05\x06\x07\x08"
                                      "binary\x1b");
    writeTestFile(d + u"/Clip.es.srt"_s, "");
    writeTestFile(d + u"/Clip.en.srt"_s, "no cue here\n");
    const QByteArray latin = QFile::encodeName(d) + "/Caf\xe9.srt";
    const int fd = ::open(latin.constData(), O_CREAT | O_WRONLY, 0644);
    QVERIFY(fd >= 0);
    ::close(fd);
    const auto cleanup = qScopeGuard([&] { ::unlink(latin.constData()); });

    const CliRun r = runCli({u"verify"_s, d});
    QVERIFY2(r.exitCode == 1, qPrintable(r.err));
    QCOMPARE(r.lines(), (QStringList{
                            u"refused %1/Clip.en.srt it holds no subtitle cue"_s.arg(d),
                            u"refused %1/Clip.es.srt it is empty"_s.arg(d),
                            u"refused %1/Clip.srt it is not text"_s.arg(d),
                            u"skipped %1/Caf\\xe9.srt its name is not valid UTF-8, which Lumbra cannot open; "
                            u"rename it to take it in"_s.arg(d),
                        }));
}

LUMBRA_TEST_MAIN(TestVerifyCommand)
#include "tst_VerifyCommand.moc"
