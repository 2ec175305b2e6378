#include "ServiceEmulator.h"
#include "TestMain.h"

#include "common/Gzip.h"
#include "common/JobSession.h"
#include "common/WorkerThreads.h"
#include "download/DownloadJob.h"
#include "media/movieFile.h"
#include "prefs/myPrefs.h"
#include "preview/ResultPreview.h"
#include "service/ClientIntake.h"
#include "service/DownloadQueue.h"
#include "service/openSubtitleItem.h"
#include "service/OSClient.h"
#include "service/SubtitleDownload.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace Qt::Literals::StringLiterals;

namespace {
const QByteArray kSubtitle = "1\n00:00:01,000 --> 00:00:04,000\nHola\n";
const QByteArray kOtherSubtitle = "1\n00:00:01,000 --> 00:00:04,000\nAdios\n";

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
    QTemporaryDir m_home; // the trash goes here, never to the user's
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
        QVERIFY(m_home.isValid() && m_videos.isValid() && m_temp.isValid());
        qputenv("HOME", QFile::encodeName(m_home.path()));
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_home.filePath(u"data"_s)));
        QVERIFY(QDir().mkpath(m_home.filePath(u"data"_s)));
        // One Spanish subtitle each, under the ids 1950000001 and 1950000002.
        QJsonArray movies;
        for (const QByteArray &content : {kSubtitle, kOtherSubtitle}) {
            const int n = int(movies.size()) + 1;
            const QJsonObject subtitle{{u"id"_s, QString::number(1950000000 + n)},
                                       {u"lang"_s, u"spa"_s},
                                       {u"content"_s, QString::fromUtf8(content)}};
            movies.append(QJsonObject{{u"hash"_s, u"000000000000000%1"_s.arg(n)},
                                      {u"bytesize"_s, n},
                                      {u"subtitles"_s, QJsonArray{subtitle}}});
        }
        QVERIFY(m_emu.start(QJsonDocument(QJsonObject{{u"movies"_s, movies}}).toJson()));
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

    // The subtitle a download replaces goes to the desktop's trash, where it
    // can be restored to its own name.
    void aReplacedSubtitleGoesToTheTrash()
    {
        writeFile(m_videos.filePath(u"Movie.es.srt"_s), "old subtitle");
        auto item = resultFor(u"Movie.avi"_s);
        QVERIFY(item->Download(false));
        QCOMPARE(readAll(m_videos.filePath(u"Movie.es.srt"_s)), kSubtitle);
        QCOMPARE(QDir(m_videos.path()).entryList(QDir::Files | QDir::Hidden), QStringList{u"Movie.es.srt"_s});

        const QString trash = m_home.filePath(u"data/Trash"_s);
        QCOMPARE(item->replacedKeptAt, trash + u"/files/Movie.es.srt"_s);
        QCOMPARE(readAll(item->replacedKeptAt), QByteArray("old subtitle"));
        QVERIFY(readAll(trash + u"/info/Movie.es.srt.trashinfo"_s)
                    .contains(QFile::encodeName(m_videos.filePath(u"Movie.es.srt"_s))));
        QVERIFY2(item->replacedNote.contains(u"trash"_s), qPrintable(item->replacedNote));
    }

    // A download that brings the very bytes already beside the video (a
    // "Find Better Subs" that finds the same subtitle) changes nothing: no
    // trash entry, no backup, the file not rewritten.
    void anIdenticalReplacementLeavesTheOldFileAlone()
    {
        const QString target = m_videos.filePath(u"Same.es.srt"_s);
        writeFile(target, kSubtitle);
        const QDateTime written = QDateTime::currentDateTime().addSecs(-3600);
        {
            QFile file(target);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.setFileTime(written, QFileDevice::FileModificationTime));
        }
        auto item = resultFor(u"Same.avi"_s);
        QVERIFY(item->Download(false));
        QCOMPARE(item->status, u"OK"_s);
        QCOMPARE(readAll(target), kSubtitle);
        QCOMPARE(QFileInfo(target).lastModified(), written);
        QVERIFY(item->replacedKeptAt.isEmpty());
        QVERIFY2(item->replacedNote.isEmpty(), qPrintable(item->replacedNote));
        QCOMPARE(QDir(m_videos.path()).entryList(QDir::Files | QDir::Hidden), QStringList{u"Same.es.srt"_s});
        QVERIFY(
            QDir(m_home.filePath(u"data/Trash/files"_s)).entryList(QDir::Files).filter(u"Same"_s).isEmpty());

        // One byte different is a replacement like any other.
        writeFile(target, kSubtitle + "\n");
        QVERIFY(item->Download(false));
        QCOMPARE(readAll(target), kSubtitle);
        QCOMPARE(readAll(item->replacedKeptAt), kSubtitle + "\n");
    }

    // Without a trash the replaced subtitle stays beside the video under a
    // backup name; a later backup never overwrites an earlier one, and a
    // copy that cannot complete leaves the old subtitle where it was.
    void withoutATrashBackupsBesideTheVideoAreKept()
    {
        writeFile(m_home.filePath(u"file"_s), "");
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_home.filePath(u"file/data"_s)));
        const auto restore =
            qScopeGuard([this] { qputenv("XDG_DATA_HOME", QFile::encodeName(m_home.filePath(u"data"_s))); });

        const QString target = m_videos.filePath(u"Keep.srt"_s);
        writeFile(target, "first");
        for (const QByteArray next : {"second", "third"}) {
            writeFile(m_temp.filePath(u"new.srt"_s), next);
            const auto placed = SubtitleDownload::placeKeepingPrevious(m_temp.filePath(u"new.srt"_s), target);
            QCOMPARE(placed.outcome, SubtitleDownload::Placement::Placed);
            QVERIFY(!placed.inTrash);
        }
        QCOMPARE(readAll(target), QByteArray("third"));
        QCOMPARE(readAll(m_videos.filePath(u"~Keep.srt"_s)), QByteArray("first"));
        QCOMPARE(readAll(m_videos.filePath(u"~Keep (2).srt"_s)), QByteArray("second"));

        // A subtitle held in memory is written beside the target and renamed
        // into place, under the same rule; nothing of it is left elsewhere.
        const QStringList tempBefore = QDir(m_temp.path()).entryList(QDir::Files | QDir::Hidden);
        const auto inMemory = SubtitleDownload::placeKeepingPrevious(QByteArray("fourth"), target);
        QCOMPARE(inMemory.outcome, SubtitleDownload::Placement::Placed);
        QCOMPARE(inMemory.keptAt, m_videos.filePath(u"~Keep (3).srt"_s));
        QCOMPARE(readAll(target), QByteArray("fourth"));
        QCOMPARE(readAll(inMemory.keptAt), QByteArray("third"));
        QCOMPARE(QDir(m_videos.path()).entryList(QDir::Files | QDir::Hidden).size(), 4);
        QCOMPARE(QDir(m_temp.path()).entryList(QDir::Files | QDir::Hidden), tempBefore);
        QCOMPARE(
            SubtitleDownload::placeKeepingPrevious(QByteArray("fifth"), m_videos.filePath(u"gone/Keep.srt"_s))
                .outcome,
            SubtitleDownload::Placement::FolderNotWritable);
        QCOMPARE(readAll(target), QByteArray("fourth"));
        QCOMPARE(QDir(m_videos.path()).entryList(QDir::Files | QDir::Hidden).size(), 4);

        const auto failed =
            SubtitleDownload::placeKeepingPrevious(m_temp.filePath(u"vanished.srt"_s), target);
        QCOMPARE(failed.outcome, SubtitleDownload::Placement::CopyFailed);
        QCOMPARE(readAll(target), QByteArray("fourth"));
        QCOMPARE(QDir(m_videos.path()).entryList(QDir::Files | QDir::Hidden).size(), 4);

        writeFile(m_videos.filePath(u"Keep.es.srt"_s), "mine");
        auto item = resultFor(u"Keep.avi"_s);
        QVERIFY(item->Download(false));
        QCOMPARE(item->replacedKeptAt, m_videos.filePath(u"~Keep.es.srt"_s));
        QVERIFY2(item->replacedNote.contains(item->replacedKeptAt), qPrintable(item->replacedNote));
        QCOMPARE(readAll(item->replacedKeptAt), QByteArray("mine"));
    }

    void markupIsToldFromSubtitles_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("markup");
        QTest::newRow("subtitle") << kSubtitle << false;
        QTest::newRow("subtitle with tags")
            << QByteArray("1\n00:00:01,000 --> 00:00:02,000\n<i>x</i> <?x\n") << false;
        QTest::newRow("html page") << QByteArray("<!DOCTYPE html><html></html>") << true;
        QTest::newRow("html page, small letters") << QByteArray("<!doctype html>") << true;
        QTest::newRow("document type further in") << QByteArray("1\n<!DOCTYPE html>") << false;
        QTest::newRow("XML declaration further in") << QByteArray("1\n00:00:01,000\n<?XML version") << true;
        QTest::newRow("XML declaration at the very end") << QByteArray("0123456789<?xml") << true;
        QTest::newRow("too short to tell") << QByteArray("<?xml") << false;
    }
    void markupIsToldFromSubtitles()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, markup);
        QCOMPARE(SubtitleDownload::looksLikeMarkup(content), markup);
    }

    void refusesWhatIsNotASubtitle_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::newRow("html page") << u"html"_s;
        QTest::newRow("broken gzip") << u"brokengzip"_s;
        QTest::newRow("gzip bomb") << u"gzipbomb"_s;
        QTest::newRow("http error") << u"http404"_s;
        QTest::newRow("gzip of random bytes") << u"junk"_s;
        QTest::newRow("gzip of nothing") << u"nothing"_s;
        QTest::newRow("a body that never ends") << u"trickle"_s;
        QTest::newRow("1 GiB without a length") << u"chunked"_s;
    }
    void refusesWhatIsNotASubtitle()
    {
        QFETCH(QString, mode);
        writeFile(m_videos.filePath(u"Movie.es.srt"_s), "old subtitle");
        QVERIFY(m_emu.fail(mode, u"download"_s));
        SubtitleDownload::setTimeLimitMs(2000); // for the body that never ends
        const auto restore = qScopeGuard([] { SubtitleDownload::setTimeLimitMs(300000); });
        auto item = resultFor(u"Movie.avi"_s);
        QVERIFY(!item->Download(false));
        QCOMPARE(item->status, u"Error"_s);
        QVERIFY(!item->downloadError.isEmpty());
        QVERIFY(!item->Downloaded);
        QCOMPARE(readAll(m_videos.filePath(u"Movie.es.srt"_s)), QByteArray("old subtitle"));
        QCOMPARE(QDir(m_videos.path()).entryList(QDir::Files), QStringList{u"Movie.es.srt"_s});
    }

    // What a body must be before it is placed, whatever the server declared.
    void readyContent_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("format");
        QTest::addColumn<QByteArray>("placed"); // empty: refused
        QTest::addColumn<QString>("reason");
        QTest::newRow("subtitle") << kSubtitle << u"srt"_s << kSubtitle << QString();
        QTest::newRow("packed") << Gzip::gzip(kSubtitle) << u"srt"_s << kSubtitle << QString();
        QTest::newRow("packed twice")
            << Gzip::gzip(Gzip::gzip(kSubtitle)) << u"srt"_s << kSubtitle << QString();
        QTest::newRow("bomb") << Gzip::gzip(QByteArray(SubtitleDownload::kMaxSubtitleBytes + 1, '1'))
                              << u"srt"_s << QByteArray() << u"could not be unpacked"_s;
        QTest::newRow("empty") << QByteArray() << u"srt"_s << QByteArray() << u"empty"_s;
        QTest::newRow("packed nothing") << Gzip::gzip({}) << u"srt"_s << QByteArray() << u"empty"_s;
        QTest::newRow("binary") << QByteArray("\x01\x02\x03\xff\x00 1 --> 2", 14) << u"srt"_s << QByteArray()
                                << u"not text"_s;
        QTest::newRow("text without a cue")
            << QByteArray("hello\n") << u"srt"_s << QByteArray() << u"no subtitle cue"_s;
        QTest::newRow("web page") << QByteArray("<!DOCTYPE html><p>limit</p>") << u"srt"_s << QByteArray()
                                  << u"web page"_s;
        QTest::newRow("MicroDVD") << QByteArray("{1}{25}Hi\n") << u"sub"_s << QByteArray("{1}{25}Hi\n")
                                  << QString();
        QTest::newRow("ASS without dialogue")
            << QByteArray("[Script Info]\n") << u"ass"_s << QByteArray() << u"no subtitle cue"_s;
        QTest::newRow("other format, text")
            << QByteArray("any text\n") << u"txt"_s << QByteArray("any text\n") << QString();
    }
    void readyContent()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, format);
        QFETCH(QByteArray, placed);
        QFETCH(QString, reason);
        QString why;
        const std::optional<QByteArray> ready = SubtitleDownload::readyContent(body, format, &why);
        QCOMPARE(ready.value_or(QByteArray()), placed);
        QVERIFY2(why.contains(reason), qPrintable(why));
        QCOMPARE(why.isEmpty(), reason.isEmpty());
    }

    // Service values that become part of a file name: a trailing line feed
    // is not a letter (a "$" anchor let it through).
    void serviceValuesInNamesStayPlain_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("safeFormat");
        QTest::addColumn<QString>("safeLanguage");
        QTest::newRow("plain") << u"srt"_s << u"en"_s << u"srt"_s << u"en"_s;
        QTest::newRow("line feed after") << u"ass\n"_s << u"en\n"_s << u"ass"_s << QString();
        QTest::newRow("line feed inside") << u"s\nrt"_s << u"e\nn"_s << u"srt"_s << QString();
        QTest::newRow("too long") << u"abcdefghi"_s << u"engl"_s << u"srt"_s << QString();
        QTest::newRow("folder") << u"../srt"_s << u"../"_s << u"srt"_s << QString();
    }
    void serviceValuesInNamesStayPlain()
    {
        QFETCH(QString, format);
        QFETCH(QString, language);
        QTEST(SubtitleDownload::safeFormat(format), "safeFormat");
        QTEST(SubtitleDownload::safeLanguage(language), "safeLanguage");
    }

    // Only web addresses are fetched: a link the service names on this
    // computer is not read.
    void linksOtherThanWebAddressesAreNotFetched()
    {
        const QString secret = m_temp.filePath(u"secret.gz"_s);
        writeFile(secret, Gzip::gzip(kSubtitle));
        for (const QString &link : {QUrl::fromLocalFile(secret).toString(), u"data:,hello"_s}) {
            const SubtitleDownload::FetchResult fetched = SubtitleDownload::fetch(QUrl(link), 1 << 20);
            QVERIFY(!fetched.ok);
            QVERIFY(fetched.body.isEmpty());
            QVERIFY2(fetched.error.contains(u"not a web address"_s), qPrintable(fetched.error));
        }
    }

    // The video's folder is swapped for a link to another folder while the
    // subtitle downloads: nothing is written there, nothing there is moved,
    // and the entry fails with the reason.
    void aFolderSwappedMidDownloadIsNotWrittenTo()
    {
        const QString folder = m_videos.filePath(u"Films"_s);
        const QString elsewhere = m_videos.filePath(u"Elsewhere"_s);
        QVERIFY(QDir().mkpath(folder) && QDir().mkpath(elsewhere));
        writeFile(elsewhere + u"/Movie.es.srt"_s, "theirs");
        QVERIFY(m_emu.fail(u"stall"_s, u"download"_s, 1, {{u"seconds"_s, 1}}));
        auto item = resultFor(u"Films/Movie.avi"_s);
        // Runs in the download's own event loop, while the link stalls.
        QTimer::singleShot(300, this, [&] {
            QVERIFY(QDir().rename(folder, folder + u".real"_s));
            QVERIFY(QFile::link(elsewhere, folder));
        });
        QVERIFY(!item->Download(false));
        QVERIFY2(item->downloadError.contains(u"was replaced"_s), qPrintable(item->downloadError));
        QCOMPARE(readAll(elsewhere + u"/Movie.es.srt"_s), QByteArray("theirs"));
        QCOMPARE(QDir(elsewhere).entryList(QDir::Files | QDir::Hidden), QStringList{u"Movie.es.srt"_s});
        QVERIFY(QDir(folder + u".real"_s).entryList(QDir::Files | QDir::Hidden).isEmpty());
    }

    // The video's folder is renamed away after the video was listed, and
    // another put at its path: what matters is the folder listed, not its
    // path. A different folder there gets nothing, before anything is
    // downloaded (no quota spent); the listed folder reached through a link
    // is still the right place.
    void aFolderSwappedSinceListingIsNotWrittenTo_data()
    {
        QTest::addColumn<QString>("inItsPlace");
        QTest::addColumn<bool>("placed");
        QTest::newRow("another folder") << u"folder"_s << false;
        QTest::newRow("a link to another folder") << u"link elsewhere"_s << false;
        QTest::newRow("a link to the listed folder") << u"link back"_s << true;
    }
    void aFolderSwappedSinceListingIsNotWrittenTo()
    {
        QFETCH(QString, inItsPlace);
        QFETCH(bool, placed);
        const QString folder = m_videos.filePath(u"Films"_s);
        const QString away = m_videos.filePath(u"Films.away"_s);
        const QString elsewhere = m_videos.filePath(u"Elsewhere"_s);
        QVERIFY(QDir().mkpath(folder) && QDir().mkpath(elsewhere));
        writeFile(folder + u"/Movie.avi"_s, "listed");

        // Listed through a job's intake, as a dropped folder is.
        const auto job = DownloadJob::create();
        QVERIFY(job->addPath(folder));
        QVERIFY(job->intake().waitUntilDone(std::chrono::seconds(30)));
        std::shared_ptr<movieFile> video;
        {
            const QMutexLocker guard(&job->records().stateLock());
            QCOMPARE(job->records().movieFiles.size(), 1);
            video = job->records().movieFiles.first();
        }
        auto item = resultFor(u"Films/Movie.avi"_s);
        item->isChecked = true;
        video->setSubtitleResults({item});
        DownloadQueue queue;
        QVERIFY(queue.queueGroup(DownloadQueue::languageGroup(*video, u"es"_s)));

        QVERIFY(QDir().rename(folder, away));
        if (inItsPlace == "folder"_L1) {
            QVERIFY(QDir().mkpath(folder));
            writeFile(folder + u"/Movie.avi"_s, "another");
        } else {
            QVERIFY(QFile::link(inItsPlace == "link back"_L1 ? away : elsewhere, folder));
        }
        QCOMPARE(queue.downloadAll(std::make_shared<JobSession>()), placed);
        if (placed) {
            QCOMPARE(readAll(away + u"/Movie.es.srt"_s), kSubtitle);
            return;
        }
        QVERIFY2(item->downloadError.contains(
                     u"the folder %1 was replaced since the video was listed"_s.arg(folder)),
                 qPrintable(item->downloadError));
        QVERIFY2(item->downloadError.endsWith(u"nothing was written there"_s),
                 qPrintable(item->downloadError));
        QCOMPARE(downloadsSoFar(), 0);
        // Only the videos anywhere: no subtitle, no half-written file.
        QDirIterator files(m_videos.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (files.hasNext())
            QCOMPARE(files.nextFileInfo().fileName(), u"Movie.avi"_s);
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

    // A queue's downloads run several at a time: a transfer that stalls does
    // not hold up the ones after it, a failure in the middle leaves the others
    // whole, an entry left out is never requested, and every request says
    // who asks.
    void severalDownloadsAreUnderWayTogether()
    {
        const QUrl good(m_emu.baseUrl() + u"/download/1950000001.gz"_s);
        const QUrl unknown(m_emu.baseUrl() + u"/download/1.gz"_s);
        const QList<QUrl> urls{good, good, good, unknown, good, good};
        // Long enough for the others to end first on a busy machine.
        QVERIFY(m_emu.fail(u"stall"_s, u"download"_s, 1, {{u"seconds"_s, 3}}));
        QList<int> begun, ended;
        QHash<int, SubtitleDownload::FetchResult> results;
        SubtitleDownload::fetchAll(
            urls, SubtitleDownload::kMaxSubtitleBytes, 4,
            [&](int i) {
                begun.append(i);
                return i != 2;
            },
            [&](int i, const SubtitleDownload::FetchResult &r) {
                ended.append(i);
                results.insert(i, r);
            });
        QCOMPARE(begun, (QList<int>{0, 1, 2, 3, 4, 5}));
        QList<int> sorted = ended;
        std::sort(sorted.begin(), sorted.end());
        QCOMPARE(sorted, (QList<int>{0, 1, 3, 4, 5}));
        // The stalled transfer was one of the first four; the fifth and sixth
        // began and ended while it waited.
        QVERIFY2(ended.last() < 4, qPrintable(QString::number(ended.last())));
        for (int i : {0, 1, 4, 5}) {
            QVERIFY2(results[i].ok, qPrintable(results[i].error));
            QCOMPARE(Gzip::gunzip(results[i].body, 1 << 20).value_or(QByteArray()), kSubtitle);
        }
        QVERIFY(!results[3].ok);
        QVERIFY2(results[3].error.contains(u"Not Found"_s), qPrintable(results[3].error));

        QCOMPARE(downloadsSoFar(), 5);
        for (const QJsonValue &call : m_emu.calls())
            QVERIFY(call[u"headers"_s][u"user-agent"_s].toString().startsWith(u"Lumbra"_s));
    }

    void cancellingAQueueDropsItsTransfersAtOnce()
    {
        QVERIFY(m_emu.fail(u"stall"_s, u"download"_s, -1, {{u"seconds"_s, 60}}));
        const QUrl link(m_emu.baseUrl() + u"/download/1950000001.gz"_s);
        QElapsedTimer clock;
        clock.start();
        int begun = 0;
        QStringList errors;
        SubtitleDownload::fetchAll(
            QList<QUrl>(8, link), SubtitleDownload::kMaxSubtitleBytes, 3,
            [&](int) {
                ++begun;
                return true;
            },
            [&](int, const SubtitleDownload::FetchResult &r) { errors.append(r.error); },
            [&] { return clock.elapsed() > 300; });
        QVERIFY2(clock.elapsed() < 10000, "the stalled transfers were waited for");
        QCOMPARE(begun, 3);
        QCOMPARE(errors, QStringList(3, u"cancelled"_s));
    }

    // Each entry of a queue is reported as its own placement ends, while the
    // later ones are still coming: the second link holds its reply until the
    // run is aborted, which happens only once the first entry is reported.
    void eachOutcomeIsReportedAsItsPlacementEnds()
    {
        QVERIFY(
            m_emu.fail(u"stall"_s, u"download"_s, 1, {{u"seconds"_s, 60}, {u"subtitle"_s, u"1950000002"_s}}));
        DownloadQueue queue;
        for (const QString &name : {u"First.avi"_s, u"Second.avi"_s}) {
            writeFile(m_videos.filePath(name), name.toUtf8());
            auto video = movieFile::create(m_videos.filePath(name));
            auto item = resultFor(name);
            item->isChecked = true;
            if (name.startsWith(u"Second"_s))
                item->SubDownloadLink = m_emu.baseUrl() + u"/download/1950000002.gz"_s;
            video->setSubtitleResults({item});
            QVERIFY(queue.queueGroup(DownloadQueue::languageGroup(*video, u"es"_s)));
        }
        const auto session = std::make_shared<JobSession>();
        QStringList events;
        QVERIFY(!queue.downloadAll(
            session, [&](int i, bool placed) { events << u"settled %1 %2"_s.arg(i).arg(placed); }, {},
            [&] { return events.contains(u"settled 0 1"_s); },
            [&](int i) { events << u"arrived %1"_s.arg(i); }));
        QCOMPARE(events, (QStringList{u"arrived 0"_s, u"settled 0 1"_s, u"arrived 1"_s, u"settled 1 0"_s}));
        QCOMPARE(readAll(m_videos.filePath(u"First.es.srt"_s)), kSubtitle);
        QVERIFY(!QFile::exists(m_videos.filePath(u"Second.es.srt"_s)));
    }

    // One result can be checked for two videos (records are shared, so a
    // check made under one video shows under the other): each video gets
    // the subtitle beside it, and neither download replaces the other's.
    void aResultCheckedForTwoVideosIsPlacedBesideEach()
    {
        DownloadQueue queue;
        auto shared = resultFor(u"Second.avi"_s);
        shared->isChecked = true;
        for (const QString &name : {u"First.avi"_s, u"Second.avi"_s}) {
            writeFile(m_videos.filePath(name), name.toUtf8());
            auto video = movieFile::create(m_videos.filePath(name));
            video->setSubtitleResults({shared});
            QVERIFY(queue.queueGroup(DownloadQueue::languageGroup(*video, u"es"_s)));
        }
        QVERIFY(queue.downloadAll(std::make_shared<JobSession>()));
        for (const QString &name : {u"First.es.srt"_s, u"Second.es.srt"_s})
            QCOMPARE(readAll(m_videos.filePath(name)), kSubtitle);
        QCOMPARE(QDir(m_videos.path()).entryList(QDir::Files | QDir::Hidden).size(), 4);
        for (const auto &entry : queue.queuedSubs())
            QVERIFY(DownloadQueue::chosen(*entry)->Downloaded);
    }

    // A preview fetch whose window goes stops its transfer at once, even
    // from a link that would keep it waiting for a minute, and tells nobody.
    void previewFetchStopsWhenItsWindowGoes()
    {
        QVERIFY(m_emu.fail(u"stall"_s, u"download"_s, 1, {{u"seconds"_s, 60}}));
        auto item = resultFor(u"Movie.avi"_s);
        QTemporaryDir fresh; // no earlier preview copy to reuse
        item->setTemppath(fresh.path());
        auto window = std::make_unique<QObject>();
        bool told = false;
        ResultPreview::prepare(item, {}, window.get(), [&](const QString &) { told = true; });
        QVERIFY(ResultPreview::isFetching(item.get()));
        QTest::qWait(500); // the request reaches the stalling link
        window.reset();
        QTRY_VERIFY_WITH_TIMEOUT(!ResultPreview::isFetching(item.get()), 10000);
        QTRY_COMPARE(WorkerThreads::running(), 0);
        QCoreApplication::processEvents();
        QVERIFY(!told);
        QVERIFY(item->localtempfile.isEmpty());
    }

    // A preview fetch that ends after the job its result belongs to has
    // gone leaves the record alone (its lock went with the job) and tells
    // nobody, even though the window that asked is still there.
    void previewFetchOutlivingItsJobLeavesTheRecordAlone()
    {
        QVERIFY(m_emu.fail(u"stall"_s, u"download"_s, 1, {{u"seconds"_s, 1}}));
        auto item = resultFor(u"Movie.avi"_s);
        QTemporaryDir fresh;
        item->setTemppath(fresh.path());
        QObject window;
        auto session = std::make_shared<JobSession>();
        bool told = false;
        ResultPreview::prepare(item, session, &window, [&](const QString &) { told = true; });
        QVERIFY(ResultPreview::isFetching(item.get()));
        session.reset();
        QTRY_VERIFY_WITH_TIMEOUT(!ResultPreview::isFetching(item.get()), 10000);
        QTRY_COMPARE(WorkerThreads::running(), 0);
        QCoreApplication::processEvents();
        QVERIFY(!told);
        QVERIFY(item->localtempfile.isEmpty());
    }
};

LUMBRA_TEST_MAIN(tst_Download)
#include "tst_Download.moc"
