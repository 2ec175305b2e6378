#include "ServiceEmulator.h"
#include "TestMain.h"

#include "prefs/myPrefs.h"
#include "service/openSubtitleItem.h"
#include "service/SubtitleDownload.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {
const QByteArray kSubtitle = "1\n00:00:01,000 --> 00:00:04,000\nHola\n";

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}
} // namespace

// Downloads from the stand-in's links into real folders: names, backups,
// refusals of what is not a subtitle, and the preview copy.
class tst_Download : public QObject {
    Q_OBJECT

    ServiceEmulator m_emu;
    QTemporaryDir m_videos;
    QTemporaryDir m_temp;

    std::shared_ptr<openSubtitleItem> resultFor(const QString &videoName)
    {
        auto item =
            std::make_shared<openSubtitleItem>(Dictionary{{u"IDSubtitle"_s, u"77"_s},
                                                          {u"ISO639"_s, u"es"_s},
                                                          {u"SubFormat"_s, u"srt"_s},
                                                          {u"SubFileName"_s, u"Movie.Spanish.srt"_s}});
        item->SubDownloadLink = m_emu.baseUrl() + u"/download/1950000001.gz"_s;
        item->setTemppath(m_temp.path());
        item->setMovieFolderItemPath(m_videos.filePath(videoName));
        return item;
    }

    int downloadsSoFar() const
    {
        int n = 0;
        for (const QJsonValue &call : m_emu.calls())
            n += call[u"kind"_s].toString() == "download"_L1 ? 1 : 0;
        return n;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_videos.isValid() && m_temp.isValid());
        const QJsonObject movie{
            {u"hash"_s, u"0000000000000001"_s},
            {u"bytesize"_s, 1},
            {u"subtitles"_s, QJsonArray{QJsonObject{{u"id"_s, u"1950000001"_s},
                                                    {u"lang"_s, u"spa"_s},
                                                    {u"content"_s, QString::fromUtf8(kSubtitle)}}}}};
        QVERIFY(m_emu.start(QJsonDocument(QJsonObject{{u"movies"_s, QJsonArray{movie}}}).toJson()));
        SubtitleDownload::setTransferTimeoutMs(5000);
    }

    void init()
    {
        myPrefs::resetToDefaults();
        m_emu.reset();
        QDir(m_videos.path()).removeRecursively();
        QDir().mkpath(m_videos.path());
    }

    void placesBesideTheVideo_data()
    {
        QTest::addColumn<bool>("languageExtension");
        QTest::addColumn<QString>("video");
        QTest::addColumn<QString>("placed");
        QTest::newRow("with language") << true << u"Movie.avi"_s << u"Movie.es.srt"_s;
        QTest::newRow("without language") << false << u"Movie.avi"_s << u"Movie.srt"_s;
        QTest::newRow("name without a dot") << false << u"Clip"_s << u"Clip.srt"_s;
    }
    void placesBesideTheVideo()
    {
        QFETCH(bool, languageExtension);
        QFETCH(QString, video);
        QFETCH(QString, placed);
        myPrefs::setAddLanguageExt(languageExtension);
        auto item = resultFor(video);
        QVERIFY(item->Download(false));
        QCOMPARE(item->status, u"OK"_s);
        QVERIFY(item->Downloaded);
        QCOMPARE(item->localSubfile, m_videos.filePath(placed));
        QCOMPARE(readAll(m_videos.filePath(placed)), kSubtitle);
        QCOMPARE(QDir(m_videos.path()).entryList(QDir::Files), QStringList{placed});
    }

    void replacesAnExistingSubtitleThroughABackup()
    {
        writeFile(m_videos.filePath(u"Movie.es.srt"_s), "old subtitle");
        auto item = resultFor(u"Movie.avi"_s);
        QVERIFY(item->Download(false));
        QCOMPARE(readAll(m_videos.filePath(u"Movie.es.srt"_s)), kSubtitle);
        QVERIFY(!QFile::exists(m_videos.filePath(u"~Movie.es.srt"_s)));

        // A copy that cannot complete puts the old subtitle back and says so.
        writeFile(m_videos.filePath(u"Keep.srt"_s), "precious");
        QCOMPARE(SubtitleDownload::placeWithBackup(m_temp.filePath(u"vanished.srt"_s),
                                                   m_videos.filePath(u"Keep.srt"_s)),
                 SubtitleDownload::Placement::CopyFailed);
        QCOMPARE(readAll(m_videos.filePath(u"Keep.srt"_s)), QByteArray("precious"));
        QVERIFY(!QFile::exists(m_videos.filePath(u"~Keep.srt"_s)));

        // A stale backup from an earlier run is not overwritten.
        writeFile(m_videos.filePath(u"~Keep.srt"_s), "older backup");
        writeFile(m_temp.filePath(u"new.srt"_s), "new");
        QCOMPARE(SubtitleDownload::placeWithBackup(m_temp.filePath(u"new.srt"_s),
                                                   m_videos.filePath(u"Keep.srt"_s)),
                 SubtitleDownload::Placement::Placed);
        QCOMPARE(readAll(m_videos.filePath(u"~Keep.srt"_s)), QByteArray("older backup"));
        QCOMPARE(readAll(m_videos.filePath(u"Keep.srt"_s)), QByteArray("new"));
    }

    void refusesWhatIsNotASubtitle_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::newRow("html page") << u"html"_s;
        QTest::newRow("broken gzip") << u"brokengzip"_s;
        QTest::newRow("gzip bomb") << u"gzipbomb"_s;
        QTest::newRow("http error") << u"http404"_s;
    }
    void refusesWhatIsNotASubtitle()
    {
        QFETCH(QString, mode);
        writeFile(m_videos.filePath(u"Movie.es.srt"_s), "old subtitle");
        QVERIFY(m_emu.fail(mode, u"download"_s));
        auto item = resultFor(u"Movie.avi"_s);
        QVERIFY(!item->Download(false));
        QCOMPARE(item->status, u"Error"_s);
        QVERIFY(!item->downloadError.isEmpty());
        QVERIFY(!item->Downloaded);
        QCOMPARE(readAll(m_videos.filePath(u"Movie.es.srt"_s)), QByteArray("old subtitle"));
        QCOMPARE(QDir(m_videos.path()).entryList(QDir::Files), QStringList{u"Movie.es.srt"_s});
    }

    void aFolderThatCannotBeWrittenKeepsTheSubtitleInTemp()
    {
        auto item = resultFor(u"gone/Movie.avi"_s); // the video's folder has vanished
        QVERIFY(!item->Download(false));
        QCOMPARE(item->status, u"Error"_s);
        QCOMPARE(readAll(m_temp.filePath(u"Movie.es.srt"_s)), kSubtitle);
    }

    void previewCopyIsReusedWithoutASecondRequest()
    {
        auto item = resultFor(u"Movie.avi"_s);
        QVERIFY(item->Download(true));
        QCOMPARE(item->localtempfile, m_temp.filePath(u"77_Movie.Spanish.srt.es.srt"_s));
        QCOMPARE(readAll(item->localtempfile), kSubtitle);
        QVERIFY(!item->Downloaded);
        QCOMPARE(downloadsSoFar(), 1);

        QVERIFY(item->Download(true)); // previewed again
        QVERIFY(item->Download(false));
        QCOMPARE(downloadsSoFar(), 1);
        QCOMPARE(readAll(m_videos.filePath(u"Movie.es.srt"_s)), kSubtitle);
        QCOMPARE(readAll(item->localtempfile), kSubtitle);
    }
};

LUMBRA_TEST_MAIN(tst_Download)
#include "tst_Download.moc"
