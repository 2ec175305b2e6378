#include "service/ClientIntake.h"

#include "media/FileTypes.h"
#include "service/OSClient.h"

#include <QMutexLocker>

ClientIntake::ClientIntake(OSClient &client)
    : m_client(client)
    , m_extensionList(FileTypes::intakeExtensionList())
{
}

bool ClientIntake::add(const QString &seed, MovieFileParser::Mode mode)
{
    return MovieFileParser::Queue(seed, shared_from_this(), mode);
}

int ClientIntake::Tcounter() const
{
    const QMutexLocker guard(&m_client.stateLock());
    return m_Tcounter;
}

QStringList ClientIntake::dirList() const
{
    const QMutexLocker guard(&m_client.stateLock());
    return m_dirList;
}

bool ClientIntake::waitUntilDone(std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_client.stateLock());
    return m_idle.wait_for(lock, timeout, [this] { return m_Tcounter == 0; });
}

void ClientIntake::intakeItemAdded()
{
    const QMutexLocker guard(&m_client.stateLock());
    ++m_Tcounter;
}

void ClientIntake::intakeItemRemoved()
{
    const QMutexLocker guard(&m_client.stateLock());
    if (--m_Tcounter == 0)
        m_idle.notify_all();
}

bool ClientIntake::claimFolder(const QString &nativePath)
{
    const QMutexLocker guard(&m_client.stateLock());
    if (m_dirList.contains(nativePath))
        return false;
    m_dirList.append(nativePath);
    return true;
}

void ClientIntake::processFiles(const QStringList &paths)
{
    // The client takes its state lock itself, step by step, and reads the
    // disk outside it.
    m_client.processFiles(paths);
}

void ClientIntake::notTakenIn(const QStringList &shownPaths, const QString &reason)
{
    const QMutexLocker guard(&m_client.stateLock());
    for (const QString &path : shownPaths)
        m_notTakenIn.append({path, reason});
}

QList<ClientIntake::NotTakenIn> ClientIntake::notTakenIn() const
{
    const QMutexLocker guard(&m_client.stateLock());
    return m_notTakenIn;
}
