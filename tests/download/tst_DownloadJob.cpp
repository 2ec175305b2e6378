#include "FakeSubtitleProvider.h"
#include "JobStateLog.h"
#include "TestFiles.h"
#include "TestMain.h"

#include "download/DownloadJob.h"
#include "media/movieFile.h"
#include "prefs/myPrefs.h"
#include "prefs/XPrefs.h"
#include "service/ClientIntake.h"
#include "service/DownloadQueue.h"
#include "service/openSubtitleItem.h"
#include "service/OSClient.h"

#include <QDir>
#include <QLoggingCategory>
#include <QMutexLocker>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

// The download job on its own, as the window and `get` drive it, against a
// service in the test's hands: the states it announces, how a failed or
// cancelled search ends, and the subtitles it places.
class tst_DownloadJob : public QObject {
    Q_OBJECT

    using State = DownloadJob::State;

    std::unique_ptr<QTemporaryDir> m_dir;
    std::shared_ptr<FakeSubtitleProvider> m_service;
    std::shared_ptr<DownloadJob> m_job;

    // Two videos of different sizes (so of different hashes), taken in and
    // listed.
    void listTwoVideos()
    {
        makeSparseFile(m_dir->filePath(u"One Film (2001).avi"_s), 200'000);
        makeSparseFile(m_dir->filePath(u"Other Film (2002).avi"_s), 300'000);
        QVERIFY(m_job->addPath(m_dir->path()));
        QVERIFY(m_job->intake().waitUntilDone(std::chrono::seconds(20)));
        QCOMPARE(m_job->takeNewRecords(false, false).size(), 2);
        QCOMPARE(m_job->state(), State::Listed);
    }

    void waitForSearch() { QTRY_VERIFY_WITH_TIMEOUT(!m_job->searchRunning(), 20000); }

private slots:
    void initTestCase() { QLoggingCategory::setFilterRules(u"lumbra.profiler.debug=false"_s); }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        XPrefs::setFilePathForTesting(m_dir->filePath(u"prefs.plist"_s));
        myPrefs::resetToDefaults();
        myPrefs::setLanguageList({u"en"_s});
        m_service = std::make_shared<FakeSubtitleProvider>();
        m_job = DownloadJob::create();
        m_job->setProviderMaker([service = m_service](const myPrefs::Values &) { return service; });
    }

    void cleanup()
    {
        m_job->abort();
        QTRY_VERIFY(!m_job->busy());
        m_job.reset();
        m_service.reset();
    }

    // Busy is what the states say, not what their names end in: a search
    // that failed for good waits for the user.
    void busyIsAPropertyOfEachState_data()
    {
        QTest::addColumn<State>("state");
        QTest::addColumn<bool>("busy");
        QTest::newRow("Idle") << State::Idle << false;
        QTest::newRow("adding") << State::Adding << true;
        QTest::newRow("listed") << State::Listed << false;
        QTest::newRow("Searching") << State::Searching << true;
        QTest::newRow("RetrySearching") << State::RetrySearching << true;
        QTest::newRow("RetryingSearching") << State::RetryingSearching << true;
        QTest::newRow("ErrorSearching") << State::ErrorSearching << false;
        QTest::newRow("Searched") << State::Searched << false;
        QTest::newRow("Predownloading") << State::Predownloading << true;
        QTest::newRow("Downloading") << State::Downloading << true;
        QTest::newRow("NotDownloaded") << State::NotDownloaded << false;
    }
    void busyIsAPropertyOfEachState()
    {
        QFETCH(State, state);
        QFETCH(bool, busy);
        QCOMPARE(DownloadJob::isBusy(state), busy);
    }

    void aGoodRunMeetsTheStatesInOrderAndPlacesTheSubtitles()
    {
        JobStateLog log(*m_job);
        listTwoVideos();
        QCOMPARE(log.take(), u"adding listing listed"_s);

        m_job->runSearch(false);
        QCOMPARE(log.take(), u"Hashing Readying Searching SuccessSearching"_s);
        QVERIFY(m_job->searchFailure().ok());
        m_job->resultsListed();
        QCOMPARE(log.take(), u"Searched"_s);

        const auto groups = m_job->languageGroups(DownloadJob::wantedLanguages(), false);
        QCOMPARE(groups.size(), 2);
        {
            const QMutexLocker guard(&m_job->client().stateLock());
            for (const DownloadJob::LanguageGroup &entry : groups) {
                QVERIFY(entry.group);
                QVERIFY(m_job->queue().queueGroup(entry.group));
            }
        }
        // A second Download press while the first is asked for changes nothing.
        m_job->requestDownloads();
        m_job->requestDownloads();
        QCOMPARE(log.take(), u"Predownloading"_s);
        m_job->runDownloads();
        QCOMPARE(log.take(), u"Downloading Downloaded"_s);

        const DownloadJob::DownloadTally tally = m_job->downloadTally();
        QCOMPARE(tally.placed, 2);
        QCOMPARE(tally.failed, 0);
        QCOMPARE(m_service->downloads.load(), 2);
        for (const auto &entry : m_job->queuedSubs()) {
            QString placed;
            {
                const QMutexLocker guard(&m_job->client().stateLock());
                placed = DownloadQueue::chosen(*entry)->localSubfile;
            }
            QCOMPARE(QFileInfo(placed).absolutePath(), QDir(m_dir->path()).absolutePath());
            QCOMPARE(readTestFile(placed), m_service->content);
        }
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
        m_service->signInFailure = signIn;
        m_service->searchFailure = search;
        JobStateLog log(*m_job);
        listTwoVideos();
        log.take();

        QVERIFY(m_job->startSearch(autoRetry));
        waitForSearch();
        QCOMPARE(log.take(), u"Hashing Readying Searching "_s + ended);
        QCOMPARE(m_job->searchFailure().code, signIn.ok() ? search.code : signIn.code);
        {
            const QMutexLocker guard(&m_job->client().stateLock());
            for (const auto &video : std::as_const(m_job->client().movieFiles))
                QVERIFY(video->subtitleResults().isEmpty());
        }

        // The service is back: the hashes are known, the search goes on.
        m_service->signInFailure = {};
        m_service->searchFailure = {};
        if (m_job->isState(State::RetrySearching)) {
            m_job->countDownToRetry();
            QCOMPARE(log.take(), u"RetryingSearching"_s);
        }
        QVERIFY(m_job->startSearch(autoRetry));
        waitForSearch();
        QCOMPARE(log.take(), u"WaitedSearching Readying Searching SuccessSearching"_s);
        QVERIFY(m_job->searchFailure().ok());
    }

    // Cancelling stops the request under way at once; the job stays stopped.
    void aCancelledSearchEndsAtOnceAndForGood()
    {
        m_service->holdSearch = true;
        JobStateLog log(*m_job);
        listTwoVideos();
        log.take();

        QVERIFY(m_job->startSearch(true));
        QVERIFY(m_service->waitForHeldSearch());
        m_job->cancel();
        waitForSearch();
        QCOMPARE(log.take(), u"Hashing Readying Searching ErrorSearching"_s);
        QVERIFY(m_job->searchFailure().cancelled());
        QVERIFY(m_service->cancelled());

        QVERIFY(!m_job->startSearch(true));
        QVERIFY(!m_job->startDownloads());
        QVERIFY(!m_job->addPath(m_dir->path()));
        QCOMPARE(log.take(), QString());
    }
};

LUMBRA_TEST_MAIN(tst_DownloadJob)
#include "tst_DownloadJob.moc"
