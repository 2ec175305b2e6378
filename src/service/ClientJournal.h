#pragma once

#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>

// The journal of one conversation with the service: each request step and
// each failure appends one entry ("VERIFY", "LOGIN:ID", "ERROR:CONN"...),
// oldest first. The windows show it; nothing reads a request's outcome from
// it (the transport returns that as a value). Any thread may read and append.
class ClientJournal final : public QObject {
    Q_OBJECT
public:
    QStringList entries() const;
    void append(const QString &entry);
    void clear();

signals:
    // Emitted from the thread that changed the journal.
    void changed();

private:
    mutable QMutex m_lock;
    QStringList m_entries;
};
