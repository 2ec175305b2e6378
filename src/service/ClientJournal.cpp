#include "service/ClientJournal.h"

#include <QMutexLocker>

QStringList ClientJournal::entries() const
{
    const QMutexLocker locker(&m_lock);
    return m_entries;
}

void ClientJournal::append(const QString &entry)
{
    {
        const QMutexLocker locker(&m_lock);
        m_entries.append(entry);
    }
    emit changed();
}

void ClientJournal::clear()
{
    {
        const QMutexLocker locker(&m_lock);
        m_entries.clear();
    }
    emit changed();
}
