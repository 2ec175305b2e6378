#include "TestFiles.h"
#include "TestMain.h"

#include "common/JobSession.h"
#include "download/DownloadJob.h"
#include "download/QuotaWaitList.h"
#include "media/movieFile.h"
#include "prefs/myPrefs.h"
#include "service/ClientIntake.h"
#include "service/DownloadQueue.h"
#include "service/JobRecords.h"
#include "service/openSubtitleItem.h"
#include "service/RunSettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {

std::shared_ptr<openSubtitleItem> result(const QString &lang, const QString &matchedBy, bool checked)
{
    auto item = std::make_shared<openSubtitleItem>();
    item->ISO639 = lang;
    item->MatchedBy = matchedBy;
    item->isChecked = checked;
    return item;
}

} // namespace

class TestDownloadQueue final : public QObject {
    Q_OBJECT

private slots:
    void groupTakesOneLanguage();
    void oneEntryPerHashAndLanguage();
    void removeDownloadedKeepsTheRest();
    void quotaHoldsBackTheTail_data();
    void quotaHoldsBackTheTail();
    void waitListRemembersUntilRenewal();
    void folderIsSeededOncePerClient();
    void fixedSettingsOutrankThePreferences();
    void runOfAJobThatHasGoneTouchesNothing();

private:
    QTemporaryDir m_dir;
};

void TestDownloadQueue::groupTakesOneLanguage()
{
    auto video = movieFile::create(makeSparseFile(m_dir.path() + u"/a.mkv"_s, 200'000));
    video->setSubtitleResults({result(u"en"_s, u"tag"_s, false), result(u"es"_s, u"moviehash"_s, true),
                               result(u"EN"_s, u"moviehash"_s, true), result(u"en"_s, QString(), false)});
    auto en = DownloadQueue::languageGroup(*video, u"en"_s);
    QCOMPARE(en->iso639, u"en"_s);
    QCOMPARE(en->subtitleResults().size(), 3);
    QCOMPARE(en->matchedby, 1);
    QCOMPARE(DownloadQueue::languageGroup(*video, u"fr"_s)->matchedby, 3);
    video->setSubtitleResults({result(u"en"_s, u"fulltext"_s, false)});
    QCOMPARE(DownloadQueue::languageGroup(*video, u"en"_s)->matchedby, 2);
    // The group has its own list: trimming it leaves the video's results alone.
    auto group = DownloadQueue::languageGroup(*video, u"en"_s);
    DownloadQueue queue;
    QVERIFY(!queue.queueGroup(group));
    QCOMPARE(video->subtitleResults().size(), 1);
}

void TestDownloadQueue::oneEntryPerHashAndLanguage()
{
    // Two copies of one video (same size and content, so the same hash) and another.
    auto first = movieFile::create(makeSparseFile(m_dir.path() + u"/one/v.mkv"_s, 300'000));
    auto twin = movieFile::create(makeSparseFile(m_dir.path() + u"/two/v.mkv"_s, 300'000));
    auto other = movieFile::create(makeSparseFile(m_dir.path() + u"/three/w.mkv"_s, 300'001));
    QCOMPARE(first->computeMovieHash(), twin->computeMovieHash());
    other->computeMovieHash();

    DownloadQueue queue;
    auto groupWith = [](const std::shared_ptr<movieFile> &video, const QString &lang,
                        QList<std::shared_ptr<openSubtitleItem>> results) {
        video->setSubtitleResults(results);
        return DownloadQueue::languageGroup(*video, lang);
    };
    QVERIFY(queue.queueGroup(groupWith(first, u"en"_s, {result(u"en"_s, u"moviehash"_s, true)})));
    QVERIFY(!queue.queueGroup(groupWith(twin, u"en"_s, {result(u"en"_s, u"moviehash"_s, true)})));
    QVERIFY(queue.queueGroup(groupWith(twin, u"es"_s, {result(u"es"_s, u"moviehash"_s, true)})));
    QVERIFY(queue.queueGroup(groupWith(other, u"en"_s, {result(u"en"_s, u"tag"_s, true)})));
    // No checked result, or more than one: not queued.
    QVERIFY(!queue.queueGroup(groupWith(other, u"es"_s, {result(u"es"_s, u"tag"_s, false)})));
    QVERIFY(!queue.queueGroup(
        groupWith(other, u"fr"_s, {result(u"fr"_s, u"tag"_s, true), result(u"fr"_s, u"moviehash"_s, true)})));
    QCOMPARE(queue.queuedSubs().size(), 3);
    for (const auto &entry : queue.queuedSubs())
        QCOMPARE(entry->subtitleResults().size(), 1);
}

void TestDownloadQueue::removeDownloadedKeepsTheRest()
{
    DownloadQueue queue;
    QList<std::shared_ptr<openSubtitleItem>> chosen;
    for (int i = 0; i < 3; ++i) {
        auto video = movieFile::create(makeSparseFile(m_dir.path() + u"/r%1.mkv"_s.arg(i), 200'000 + i));
        chosen.append(result(u"en"_s, u"moviehash"_s, true));
        video->setSubtitleResults({chosen.last()});
        QVERIFY(queue.queueGroup(DownloadQueue::languageGroup(*video, u"en"_s)));
    }
    chosen[0]->Downloaded = true;
    chosen[2]->Downloaded = true;
    queue.removeDownloaded();
    QCOMPARE(queue.queuedSubs().size(), 1);
    QCOMPARE(DownloadQueue::chosen(*queue.queuedSubs().first()), chosen[1]);
}

// The day's quota covers the first entries in queue order; the rest stay
// ticked with the waiting note, and can be queued again later.
void TestDownloadQueue::quotaHoldsBackTheTail_data()
{
    QTest::addColumn<int>("remaining");
    QTest::addColumn<int>("kept");
    QTest::newRow("count not known") << -1 << 4;
    QTest::newRow("more than wanted") << 9 << 4;
    QTest::newRow("exactly enough") << 4 << 4;
    QTest::newRow("one short") << 3 << 3;
    QTest::newRow("none left") << 0 << 0;
}

void TestDownloadQueue::quotaHoldsBackTheTail()
{
    QFETCH(int, remaining);
    QFETCH(int, kept);
    DownloadQueue queue;
    QList<std::shared_ptr<movieFile>> groups;
    for (int i = 0; i < 4; ++i) {
        auto video = movieFile::create(makeSparseFile(m_dir.path() + u"/q%1.mkv"_s.arg(i), 210'000 + i));
        video->setSubtitleResults({result(u"en"_s, u"moviehash"_s, true)});
        groups.append(DownloadQueue::languageGroup(*video, u"en"_s));
        QVERIFY(queue.queueGroup(groups.last()));
    }
    const auto held = queue.holdBack(remaining, u"waiting for tomorrow's quota (renews at 01:00)"_s);
    QCOMPARE(queue.queuedSubs(), groups.mid(0, kept));
    QCOMPARE(held, groups.mid(kept));
    for (const auto &entry : held) {
        const auto chosen = DownloadQueue::chosen(*entry);
        QVERIFY(chosen->isChecked);
        QVERIFY(DownloadQueue::rowText(*entry, *chosen)
                    .endsWith(u"\u2014 waiting for tomorrow's quota (renews at 01:00)"_s));
        QVERIFY2(queue.queueGroup(entry), "held back, it is no longer queued");
    }
}

void TestDownloadQueue::waitListRemembersUntilRenewal()
{
    const QString path = m_dir.path() + u"/data/quota-waiting.json"_s;
    const QuotaWaitList list(path);
    const QDateTime now(QDate(2026, 12, 11), QTime(15, 30), Qt::UTC);
    const QDateTime renews = QuotaWaitList::nextRenewal(now);
    QCOMPARE(renews, QDateTime(QDate(2026, 12, 12), QTime(0, 0), Qt::UTC));
    list.add({{u"/v/a.mkv"_s, u"en"_s, 11, renews}, {u"/v/a.mkv"_s, u"es"_s, 12, renews}});
    list.add({{u"/v/a.mkv"_s, u"en"_s, 13, renews}}); // the same video and language again
    QCOMPARE(list.all().size(), 2);
    QVERIFY2(list.due(now).isEmpty(), "the quota has not renewed yet");
    const auto due = list.due(renews);
    QCOMPARE(due.size(), 2);
    QCOMPARE(due.last().fileId, 13);
    list.remove(u"/v/a.mkv"_s, u"es"_s);
    QCOMPARE(list.all().size(), 1);

    QFile damaged(path);
    QVERIFY(damaged.open(QIODevice::WriteOnly) && damaged.write("[{\"video\": ") > 0);
    damaged.close();
    QVERIFY(list.all().isEmpty());
    list.add({{u"/v/b.mkv"_s, u"en"_s, 14, renews}});
    QCOMPARE(list.all().size(), 1);
}

// Dropping a folder twice, and a video inside it, gives one record per video;
// the count of intake items returns to zero.
void TestDownloadQueue::folderIsSeededOncePerClient()
{
    const QString d = m_dir.path() + u"/drop"_s;
    makeSparseFile(d + u"/x.mkv"_s, 200'000);
    makeSparseFile(d + u"/sub/y.avi"_s, 200'001);
    QFile srt(d + u"/x.en.srt"_s);
    QVERIFY(srt.open(QIODevice::WriteOnly));
    srt.close();

    const auto job = DownloadJob::create();
    ClientIntake *intake = &job->intake();
    JobRecords &records = job->records();
    QVERIFY(job->addPath(d));
    QVERIFY(job->addPath(d + u'/'));
    QVERIFY(job->addPath(d + u"/x.mkv"_s));
    QVERIFY(!job->addPath(d + u"/missing.mkv"_s));
    QVERIFY(intake->waitUntilDone(std::chrono::seconds(30)));
    QCOMPARE(intake->Tcounter(), 0);
    QCOMPARE(intake->dirList(), QStringList{d});

    const QMutexLocker guard(&records.stateLock());
    QCOMPARE(records.movieFiles.size(), 2);
    for (const auto &video : std::as_const(records.movieFiles)) {
        if (video->path().endsWith(u"x.mkv"_s))
            QCOMPARE(video->subtitles().size(), 1);
    }
}

// A job whose run fixed its settings (as `get` does with its options) takes
// videos in, searches and names what it places by them, whatever the
// preferences say; and the preferences stay as they were.
void TestDownloadQueue::fixedSettingsOutrankThePreferences()
{
    myPrefs::resetToDefaults();
    myPrefs::setLanguageList({u"en"_s});
    const QString d = m_dir.path() + u"/fixed"_s;
    makeSparseFile(d + u"/Film.mkv"_s, 200'000);
    writeTestFile(d + u"/Film.es.srt"_s, "1\n00:00:01,000 --> 00:00:02,000\nHola\n");
    myPrefs::Values own = myPrefs::values();
    own.languageList = {u"es"_s};
    own.addLanguageExt = false;
    own.ServiceProvider = myPrefs::kProviderXmlRpc;

    const auto job = DownloadJob::create();
    job->fixSettings(RunSettings::of(own));
    QVERIFY(job->addPath(d));
    QVERIFY(job->intake().waitUntilDone(std::chrono::seconds(30)));
    QCOMPARE(myPrefs::languageList(), QStringList{u"en"_s});
    QVERIFY(myPrefs::addLanguageExt());
    QCOMPARE(job->runSettings().languages, QStringList{u"es"_s});
    QCOMPARE(job->providerName(), QString(myPrefs::kProviderXmlRpc));

    JobRecords &records = job->records();
    const QMutexLocker guard(&records.stateLock());
    QCOMPARE(records.movieFiles.size(), 1);
    const auto video = records.movieFiles.first();
    QVERIFY(video->hasAllSubs); // Spanish lies beside it and English is not wanted
    const auto placed = result(u"es"_s, u"moviehash"_s, true);
    placed->SubFormat = u"srt"_s;
    placed->setMovieFolderItemPath(video->path());
    QCOMPARE(QFileInfo(placed->finalTargetIn(records.session().get())).fileName(), u"Film.srt"_s);
    // A job that follows the preferences names it as they say.
    QCOMPARE(QFileInfo(placed->finalTargetIn(nullptr)).fileName(), u"Film.es.srt"_s);
}

// A download run whose job has gone (its records' lock with it) starts
// nothing and leaves the records as they were.
void TestDownloadQueue::runOfAJobThatHasGoneTouchesNothing()
{
    auto video = movieFile::create(makeSparseFile(m_dir.path() + u"/gone.mkv"_s, 200'000));
    const auto wanted = result(u"en"_s, u"moviehash"_s, true);
    wanted->SubDownloadLink = u"http://127.0.0.1:9/never.gz"_s;
    video->setSubtitleResults({wanted});
    DownloadQueue queue;
    QVERIFY(queue.queueGroup(DownloadQueue::languageGroup(*video, u"en"_s)));

    std::weak_ptr<JobSession> ended = std::make_shared<JobSession>();
    int settled = 0;
    QVERIFY(!queue.downloadAll(ended, [&](int, bool) { ++settled; }));
    QCOMPARE(settled, 0);
    QCOMPARE(wanted->status, u"idle"_s);
    QVERIFY(wanted->downloadError.isEmpty());
    QVERIFY(!wanted->Downloaded);
}

LUMBRA_TEST_MAIN(TestDownloadQueue)
#include "tst_DownloadQueue.moc"
