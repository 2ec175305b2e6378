#include "upload/VerifyRun.h"

#include "service/ClientIntake.h"

VerifyRun::VerifyRun()
    : m_job(VerificationJob::create())
{
}

VerifyRun::~VerifyRun()
{
    m_job->cancel();
    m_job->intake().waitUntilDone(std::chrono::seconds(5));
}

bool VerifyRun::addPath(const QString &path)
{
    return m_job->addPath(path);
}

QList<VerifyPairing> VerifyRun::pairings()
{
    m_job->intake().waitUntilDone();
    m_job->takeNewSubtitles();
    return m_job->allPairings();
}

QList<VerifyOutcome> VerifyRun::verify()
{
    m_job->runVerification(false);
    return m_job->outcomes();
}

QList<ClientIntake::NotTakenIn> VerifyRun::notTakenIn() const
{
    return m_job->intake().notTakenIn();
}
