#include "FakeSubtitleProvider.h"
#include "JobStateLog.h"
#include "TestFiles.h"
#include "TestMain.h"

#include "prefs/myPrefs.h"
#include "prefs/XPrefs.h"
#include "service/ClientIntake.h"
#include "upload/VerificationJob.h"

#include <QLoggingCategory>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

// The verification job on its own, as the upload window and `verify` drive
// it, against a service in the test's hands: the states it announces, a
// failed and a cancelled verification, and what it found.
class tst_VerificationJob : public QObject {
    Q_OBJECT

    using State = VerificationJob::State;
    using Status = VerifyOutcome::Status;

    std::unique_ptr<QTemporaryDir> m_dir;
    std::shared_ptr<FakeSubtitleProvider> m_service;
    std::shared_ptr<VerificationJob> m_job;

    // An English subtitle and the video it pairs with by name, listed.
    void listOnePair()
    {
        makeSparseFile(m_dir->filePath(u"Some Film (2003).avi"_s), 250'000);
        const QString subtitle =
            writeTestFile(m_dir->filePath(u"Some Film (2003).en.srt"_s), oneCueSubtitle(u"Hi"_s).toUtf8());
        QVERIFY(m_job->addPath(subtitle));
        QVERIFY(m_job->intake().waitUntilDone(std::chrono::seconds(20)));
        QCOMPARE(m_job->takeNewSubtitles().size(), 1);
        QCOMPARE(m_job->state(), State::Listed);
    }

    void waitForVerification() { QTRY_VERIFY_WITH_TIMEOUT(!m_job->verificationRunning(), 20000); }

    // The one outcome's status and reason.
    std::pair<Status, QString> outcome() const
    {
        const QList<VerifyOutcome> found = m_job->outcomes();
        if (found.size() != 1)
            return {Status::Lacks, u"%1 outcomes"_s.arg(found.size())};
        return {found.first().status, found.first().reason};
    }

private slots:
    void initTestCase() { QLoggingCategory::setFilterRules(u"lumbra.profiler.debug=false"_s); }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        XPrefs::setFilePathForTesting(m_dir->filePath(u"prefs.plist"_s));
        myPrefs::resetToDefaults();
        m_service = std::make_shared<FakeSubtitleProvider>();
        m_job = VerificationJob::create();
        m_job->setProviderMaker([service = m_service](const myPrefs::Values &) { return service; });
    }

    void cleanup()
    {
        m_job->cancel();
        QTRY_VERIFY(!m_job->busy());
        m_job.reset();
        m_service.reset();
    }

    void busyIsAPropertyOfEachState_data()
    {
        QTest::addColumn<State>("state");
        QTest::addColumn<bool>("busy");
        QTest::newRow("listing") << State::Listing << true;
        QTest::newRow("listed") << State::Listed << false;
        QTest::newRow("Searching") << State::Searching << true;
        // The window has no countdown: a failed run is over either way.
        QTest::newRow("RetrySearching") << State::RetrySearching << false;
        QTest::newRow("ErrorSearching") << State::ErrorSearching << false;
        QTest::newRow("Searched") << State::Searched << false;
    }
    void busyIsAPropertyOfEachState()
    {
        QFETCH(State, state);
        QFETCH(bool, busy);
        QCOMPARE(VerificationJob::isBusy(state), busy);
    }

    void aGoodRunMeetsTheStatesInOrder()
    {
        JobStateLog log(*m_job);
        listOnePair();
        QCOMPARE(log.take(), u"adding listing listed"_s);

        m_job->runVerification(false);
        QCOMPARE(log.take(), u"Hashing Readying Searching SuccessSearching"_s);
        QCOMPARE(outcome().first, Status::Has);
        m_job->resultsListed();
        QCOMPARE(log.take(), u"Searched"_s);
        // Only a good run's results are listed.
        m_job->resultsListed();
        QCOMPARE(log.take(), QString());
    }

    // A failed service marks each pair it could not verify, with the reason;
    // verified again, the pairs are listed again first.
    void aFailedProviderFailsThePairs()
    {
        m_service->searchFailure = {ServiceError::Unavailable, u"503 Service Unavailable"_s};
        JobStateLog log(*m_job);
        listOnePair();
        log.take();

        QVERIFY(m_job->startVerification(true));
        waitForVerification();
        QCOMPARE(log.take(), u"Hashing Readying Searching RetrySearching"_s);
        QCOMPARE(m_job->searchFailure().code, int(ServiceError::Unavailable));
        QCOMPARE(outcome(), std::make_pair(Status::Failed, m_service->searchFailure.text()));

        m_service->searchFailure = {};
        QVERIFY(m_job->startVerification(false));
        waitForVerification();
        QCOMPARE(log.take(), u"listed Hashing Readying Searching SuccessSearching"_s);
        QCOMPARE(outcome().first, Status::Has);
    }

    void aCancelledVerificationEndsAtOnce()
    {
        m_service->holdSearch = true;
        JobStateLog log(*m_job);
        listOnePair();
        log.take();

        QVERIFY(m_job->startVerification(true));
        QVERIFY(m_service->waitForHeldSearch());
        m_job->cancel();
        waitForVerification();
        // Cancelled, it is not tried again, whatever the preference says.
        QCOMPARE(log.take(), u"Hashing Readying Searching ErrorSearching"_s);
        QVERIFY(m_job->searchFailure().cancelled());
        QCOMPARE(outcome().first, Status::Failed);
        QVERIFY(!m_job->startVerification(false));
    }
};

LUMBRA_TEST_MAIN(tst_VerificationJob)
#include "tst_VerificationJob.moc"
