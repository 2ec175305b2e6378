#include "service/WorkflowJob.h"

#include "service/ClientIntake.h"
#include "service/JobRecords.h"
#include "service/ProviderChoice.h"
#include "service/SubtitleProvider.h"

#include <QFileInfo>

WorkflowJob::WorkflowJob(const QString &recordsMode, MovieFileParser::Mode intakeMode)
    : m_records(std::make_shared<JobRecords>())
    , m_intake(std::make_shared<ClientIntake>(m_records))
    , m_intakeMode(intakeMode)
{
    const QMutexLocker guard(&m_records->stateLock());
    m_records->mode = recordsMode;
}

WorkflowJob::~WorkflowJob()
{
    // Intake items still queued find the records gone and do nothing.
    m_intake->cancel();
}

int WorkflowJob::Tcounter() const
{
    return m_intake->Tcounter();
}

void WorkflowJob::cancel()
{
    m_cancelled = true;
    m_intake->cancel();
    if (const auto current = provider(); current && cancelStopsProvider())
        current->cancel();
}

void WorkflowJob::setProviderMaker(ProviderMaker maker)
{
    const QMutexLocker guard(&m_providerLock);
    m_providerMaker = std::move(maker);
}

bool WorkflowJob::canTakeIn(const QString &path) const
{
    const QFileInfo info(path);
    return !m_cancelled && !path.isEmpty() && info.exists() && info.isReadable();
}

bool WorkflowJob::takeIn(const QString &path)
{
    return m_intake->add(path, m_intakeMode);
}

std::shared_ptr<SubtitleProvider> WorkflowJob::openProvider(const myPrefs::Values &prefs)
{
    std::shared_ptr<SubtitleProvider> made;
    {
        const QMutexLocker guard(&m_providerLock);
        made = m_providerMaker ? m_providerMaker(prefs) : ProviderChoice::fromPreferences(prefs);
        m_provider = made;
    }
    // A cancel that came before the provider was there.
    if (m_cancelled)
        made->cancel();
    return made;
}

std::shared_ptr<SubtitleProvider> WorkflowJob::provider() const
{
    const QMutexLocker guard(&m_providerLock);
    return m_provider;
}

bool WorkflowJob::startWorker(std::atomic<bool> &running, const QString &name, std::function<void()> routine,
                              const std::function<void()> &first)
{
    if (m_cancelled || running.exchange(true))
        return false;
    if (first)
        first();
    WorkerThreads::start(name, [job = shared_from_this(), &running, routine = std::move(routine)] {
        routine();
        running = false;
    });
    return true;
}
