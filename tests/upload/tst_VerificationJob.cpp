#include "JobBench.h"
#include "JobStateLog.h"
#include "TestFiles.h"
#include "TestMain.h"

#include "prefs/myPrefs.h"
#include "service/ClientIntake.h"
#include "upload/VerificationJob.h"

#include <QLoggingCategory>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

// The verification job on its own, as the upload window and `verify` drive
// it, against a service in the test's hands: the states it announces, a
// failed and a cancelled verification, and what it found.
class tst_VerificationJob : public QObject {
    Q_OBJECT

    using State = VerificationJob::State;
    using Status = VerifyOutcome::Status;

    std::unique_ptr<JobBench<VerificationJob>> m_bench;

    // An English subtitle and the video it pairs with by name, listed.
    void listOnePair()
    {
        makeSparseFile(m_bench->dir.filePath(u"Some Film (2003).avi"_s), 250'000);
        const QString subtitle = writeTestFile(m_bench->dir.filePath(u"Some Film (2003).en.srt"_s),
                                               oneCueSubtitle(u"Hi"_s).toUtf8());
        QVERIFY(m_bench->job->addPath(subtitle));
        QVERIFY(m_bench->job->intake().waitUntilDone(std::chrono::seconds(20)));
        QCOMPARE(m_bench->job->takeNewSubtitles().size(), 1);
        QCOMPARE(m_bench->job->state(), State::Listed);
    }

    void waitForVerification() { QTRY_VERIFY_WITH_TIMEOUT(!m_bench->job->verificationRunning(), 20000); }

    // The one outcome's status and reason.
    std::pair<Status, QString> outcome() const
    {
        const QList<VerifyOutcome> found = m_bench->job->outcomes();
        if (found.size() != 1)
            return {Status::Lacks, u"%1 outcomes"_s.arg(found.size())};
        return {found.first().status, found.first().reason};
    }

private slots:
    void initTestCase() { QLoggingCategory::setFilterRules(u"lumbra.profiler.debug=false"_s); }

    void init()
    {
        m_bench = std::make_unique<JobBench<VerificationJob>>();
        QVERIFY(m_bench->dir.isValid());
    }

    void cleanup() { m_bench.reset(); }

    // The window has no countdown: a failed run is over, whether or not it
    // may be tried again.
    void busyIsAPropertyOfEachState()
    {
        QCOMPARE(busyStateNames<VerificationJob>(),
                 u"adding listing Hashing Readying Searching SuccessSearching"_s);
    }

    void aGoodRunMeetsTheStatesInOrder()
    {
        JobStateLog log(*m_bench->job);
        listOnePair();
        QCOMPARE(log.take(), u"adding listing listed"_s);

        m_bench->job->runVerification(false);
        QCOMPARE(log.take(), u"Hashing Readying Searching SuccessSearching"_s);
        QCOMPARE(outcome().first, Status::Has);
        m_bench->job->resultsListed();
        QCOMPARE(log.take(), u"Searched"_s);
        // Only a good run's results are listed.
        m_bench->job->resultsListed();
        QCOMPARE(log.take(), QString());
    }

    // A failed service marks each pair it could not verify, with the reason;
    // verified again, the pairs are listed again first.
    void aFailedProviderFailsThePairs()
    {
        m_bench->service->searchFailure = {ServiceError::Unavailable, u"503 Service Unavailable"_s};
        JobStateLog log(*m_bench->job);
        listOnePair();
        log.take();

        QVERIFY(m_bench->job->startVerification(true));
        waitForVerification();
        QCOMPARE(log.take(), u"Hashing Readying Searching RetrySearching"_s);
        QCOMPARE(m_bench->job->searchFailure().code, int(ServiceError::Unavailable));
        QCOMPARE(outcome(), std::make_pair(Status::Failed, m_bench->service->searchFailure.text()));

        m_bench->service->searchFailure = {};
        QVERIFY(m_bench->job->startVerification(false));
        waitForVerification();
        QCOMPARE(log.take(), u"listed Hashing Readying Searching SuccessSearching"_s);
        QCOMPARE(outcome().first, Status::Has);
    }

    void aCancelledVerificationEndsAtOnce()
    {
        m_bench->service->holdSearch = true;
        JobStateLog log(*m_bench->job);
        listOnePair();
        log.take();

        QVERIFY(m_bench->job->startVerification(true));
        QVERIFY(m_bench->service->waitForHeldSearch());
        m_bench->job->cancel();
        waitForVerification();
        // Cancelled, it is not tried again, whatever the preference says.
        QCOMPARE(log.take(), u"Hashing Readying Searching ErrorSearching"_s);
        QVERIFY(m_bench->job->searchFailure().cancelled());
        QCOMPARE(outcome().first, Status::Failed);
        QVERIFY(!m_bench->job->startVerification(false));
    }
};

LUMBRA_TEST_MAIN(tst_VerificationJob)
#include "tst_VerificationJob.moc"
