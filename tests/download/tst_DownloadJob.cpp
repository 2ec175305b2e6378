#include "JobBench.h"
#include "JobStateLog.h"
#include "TestFiles.h"
#include "TestMain.h"

#include "download/DownloadJob.h"
#include "media/movieFile.h"
#include "prefs/myPrefs.h"
#include "service/ClientIntake.h"
#include "service/DownloadQueue.h"
#include "service/JobRecords.h"
#include "service/openSubtitleItem.h"

#include <QDir>
#include <QLoggingCategory>
#include <QMutexLocker>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

// The download job on its own, as the window and `get` drive it, against a
// service in the test's hands: the states it announces, how a failed or
// cancelled search ends, and the subtitles it places.
class tst_DownloadJob : public QObject {
    Q_OBJECT

    using State = DownloadJob::State;

    std::unique_ptr<JobBench<DownloadJob>> m_bench;

    // Two videos of different sizes (so of different hashes), taken in and
    // listed.
    void listTwoVideos()
    {
        makeSparseFile(m_bench->dir.filePath(u"One Film (2001).avi"_s), 200'000);
        makeSparseFile(m_bench->dir.filePath(u"Other Film (2002).avi"_s), 300'000);
        QVERIFY(m_bench->job->addPath(m_bench->dir.path()));
        QVERIFY(m_bench->job->intake().waitUntilDone(std::chrono::seconds(20)));
        QCOMPARE(m_bench->job->takeNewRecords(false, false).size(), 2);
        QCOMPARE(m_bench->job->state(), State::Listed);
    }

    void waitForSearch() { QTRY_VERIFY_WITH_TIMEOUT(!m_bench->job->searchRunning(), 20000); }

private slots:
    void initTestCase() { QLoggingCategory::setFilterRules(u"lumbra.profiler.debug=false"_s); }

    void init()
    {
        m_bench = std::make_unique<JobBench<DownloadJob>>();
        QVERIFY(m_bench->dir.isValid());
        myPrefs::setLanguageList({u"en"_s});
    }

    void cleanup() { m_bench.reset(); }

    // Busy is what the states say, not what their names end in: a search
    // that failed for good waits for the user.
    void busyIsAPropertyOfEachState()
    {
        QCOMPARE(busyStateNames<DownloadJob>(),
                 u"adding listing Hashing Readying Searching SuccessSearching RetrySearching "
                 "RetryingSearching WaitedSearching Predownloading Redownloading Downloading"_s);
    }

    void aGoodRunMeetsTheStatesInOrderAndPlacesTheSubtitles()
    {
        JobStateLog log(*m_bench->job);
        listTwoVideos();
        QCOMPARE(log.take(), u"adding listing listed"_s);

        m_bench->job->runSearch(false);
        QCOMPARE(log.take(), u"Hashing Readying Searching SuccessSearching"_s);
        QVERIFY(m_bench->job->searchFailure().ok());
        m_bench->job->resultsListed();
        QCOMPARE(log.take(), u"Searched"_s);

        const auto groups = m_bench->job->languageGroups(DownloadJob::wantedLanguages(), false);
        QCOMPARE(groups.size(), 2);
        {
            const QMutexLocker guard(&m_bench->job->records().stateLock());
            for (const DownloadJob::LanguageGroup &entry : groups) {
                QVERIFY(entry.group);
                QVERIFY(m_bench->job->queue().queueGroup(entry.group));
            }
        }
        // A second Download press while the first is asked for changes nothing.
        m_bench->job->requestDownloads();
        m_bench->job->requestDownloads();
        QCOMPARE(log.take(), u"Predownloading"_s);
        m_bench->job->runDownloads();
        QCOMPARE(log.take(), u"Downloading Downloaded"_s);

        const DownloadJob::DownloadTally tally = m_bench->job->downloadTally();
        QCOMPARE(tally.placed, 2);
        QCOMPARE(tally.failed, 0);
        QCOMPARE(m_bench->service->downloads.load(), 2);
        for (const auto &entry : m_bench->job->queuedSubs()) {
            QString placed;
            {
                const QMutexLocker guard(&m_bench->job->records().stateLock());
                placed = DownloadQueue::chosen(*entry)->localSubfile;
            }
            QCOMPARE(QFileInfo(placed).absolutePath(), QDir(m_bench->dir.path()).absolutePath());
            QCOMPARE(readTestFile(placed), m_bench->service->content);
        }
    }

    // Preferences changed while a run is under way reach the next run, not
    // this one: the search lists the languages it searched, and every file
    // of a download run is named by the same rule.
    void aRunKeepsTheSettingsItStartedWith()
    {
        listTwoVideos();
        m_bench->service->whileSearching = [] { myPrefs::setLanguageList({u"es"_s}); };
        m_bench->job->runSearch(false);
        const RunSettings searched = m_bench->job->searchSettings();
        QCOMPARE(searched.languages, QStringList{u"en"_s});
        const auto groups = m_bench->job->languageGroups(searched.languages, searched.refreshSubs());
        {
            const QMutexLocker guard(&m_bench->job->records().stateLock());
            for (const DownloadJob::LanguageGroup &entry : groups)
                QVERIFY(entry.group && m_bench->job->queue().queueGroup(entry.group));
        }
        QCOMPARE(m_bench->job->queuedSubs().size(), 2);

        myPrefs::setAddLanguageExt(true);
        m_bench->service->whileDownloading = [] { myPrefs::setAddLanguageExt(false); };
        m_bench->job->requestDownloads();
        m_bench->job->runDownloads();
        QCOMPARE(m_bench->job->downloadTally().placed, 2);
        QVERIFY(QFile::exists(m_bench->dir.filePath(u"One Film (2001).en.srt"_s)));
        QVERIFY(QFile::exists(m_bench->dir.filePath(u"Other Film (2002).en.srt"_s)));
        // The next run takes the preferences as they are now.
        QVERIFY(!m_bench->job->runSettings().placement().languageInName);
        QCOMPARE(m_bench->job->runSettings().languages, QStringList{u"es"_s});
    }

    // A failed provider ends the search in the state that says whether it is
    // tried again by itself; tried again, the search starts where it failed.
    void aFailedProviderEndsTheSearch_data()
    {
        QTest::addColumn<ServiceError>("signIn");
        QTest::addColumn<ServiceError>("search");
        QTest::addColumn<bool>("autoRetry");
        QTest::addColumn<QString>("ended");
        const ServiceError rejected{401, u"401 Unauthorized"_s};
        const ServiceError busy{ServiceError::Unavailable, u"503 Service Unavailable"_s};
        QTest::newRow("login rejected, never retried")
            << rejected << ServiceError{} << true << u"ErrorSearching"_s;
        QTest::newRow("service busy, retried") << ServiceError{} << busy << true << u"RetrySearching"_s;
        QTest::newRow("service busy, no retries") << ServiceError{} << busy << false << u"ErrorSearching"_s;
    }
    void aFailedProviderEndsTheSearch()
    {
        QFETCH(ServiceError, signIn);
        QFETCH(ServiceError, search);
        QFETCH(bool, autoRetry);
        QFETCH(QString, ended);
        m_bench->service->signInFailure = signIn;
        m_bench->service->searchFailure = search;
        JobStateLog log(*m_bench->job);
        listTwoVideos();
        log.take();

        QVERIFY(m_bench->job->startSearch(autoRetry));
        waitForSearch();
        QCOMPARE(log.take(), u"Hashing Readying Searching "_s + ended);
        QCOMPARE(m_bench->job->searchFailure().code, signIn.ok() ? search.code : signIn.code);
        {
            const QMutexLocker guard(&m_bench->job->records().stateLock());
            for (const auto &video : std::as_const(m_bench->job->records().movieFiles))
                QVERIFY(video->subtitleResults().isEmpty());
        }

        // The service is back: the hashes are known, the search goes on.
        m_bench->service->signInFailure = {};
        m_bench->service->searchFailure = {};
        if (m_bench->job->isState(State::RetrySearching)) {
            m_bench->job->countDownToRetry();
            QCOMPARE(log.take(), u"RetryingSearching"_s);
        }
        QVERIFY(m_bench->job->startSearch(autoRetry));
        waitForSearch();
        QCOMPARE(log.take(), u"WaitedSearching Readying Searching SuccessSearching"_s);
        QVERIFY(m_bench->job->searchFailure().ok());
    }

    // Cancelling stops the request under way at once; the job stays stopped.
    void aCancelledSearchEndsAtOnceAndForGood()
    {
        m_bench->service->holdSearch = true;
        JobStateLog log(*m_bench->job);
        listTwoVideos();
        log.take();

        QVERIFY(m_bench->job->startSearch(true));
        QVERIFY(m_bench->service->waitForHeldSearch());
        m_bench->job->cancel();
        waitForSearch();
        QCOMPARE(log.take(), u"Hashing Readying Searching ErrorSearching"_s);
        QVERIFY(m_bench->job->searchFailure().cancelled());
        QVERIFY(m_bench->service->cancelled());

        QVERIFY(!m_bench->job->startSearch(true));
        QVERIFY(!m_bench->job->startDownloads());
        QVERIFY(!m_bench->job->addPath(m_bench->dir.path()));
        QCOMPARE(log.take(), QString());
    }
};

LUMBRA_TEST_MAIN(tst_DownloadJob)
#include "tst_DownloadJob.moc"
