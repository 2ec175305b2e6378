#include "service/ClientIntake.h"

#include "media/FileTypes.h"
#include "service/JobRecords.h"

ClientIntake::ClientIntake(std::weak_ptr<JobRecords> records)
    : m_records(std::move(records))
    , m_extensionList(FileTypes::intakeExtensionList())
{
}

bool ClientIntake::add(const QString &seed, MovieFileParser::Mode mode)
{
    if (m_cancelled)
        return false;
    return MovieFileParser::Queue(seed, shared_from_this(), mode);
}

int ClientIntake::Tcounter() const
{
    const std::lock_guard guard(m_mutex);
    return m_Tcounter;
}

QStringList ClientIntake::dirList() const
{
    const std::lock_guard guard(m_mutex);
    return m_dirList;
}

bool ClientIntake::waitUntilDone(std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_mutex);
    return m_idle.wait_for(lock, timeout, [this] { return m_Tcounter == 0; });
}

void ClientIntake::cancel()
{
    m_cancelled = true;
}

bool ClientIntake::intakeCancelled() const
{
    return m_cancelled;
}

void ClientIntake::intakeItemAdded()
{
    const std::lock_guard guard(m_mutex);
    ++m_Tcounter;
}

void ClientIntake::intakeItemRemoved()
{
    const std::lock_guard guard(m_mutex);
    if (--m_Tcounter == 0)
        m_idle.notify_all();
}

bool ClientIntake::claimFolder(const QString &nativePath)
{
    const std::lock_guard guard(m_mutex);
    if (m_dirList.contains(nativePath))
        return false;
    m_dirList.append(nativePath);
    return true;
}

void ClientIntake::processFiles(const QStringList &paths)
{
    if (m_cancelled)
        return;
    // The records take their state lock themselves, step by step, and read the
    // disk outside it.
    if (const std::shared_ptr<JobRecords> records = m_records.lock())
        records->processFiles(paths, [this] { return intakeCancelled(); });
}

void ClientIntake::notTakenIn(const QStringList &shownPaths, const QString &reason)
{
    const std::lock_guard guard(m_mutex);
    for (const QString &path : shownPaths)
        m_notTakenIn.append({path, reason});
}

QList<ClientIntake::NotTakenIn> ClientIntake::notTakenIn() const
{
    const std::lock_guard guard(m_mutex);
    return m_notTakenIn;
}
