#pragma once

#include <QMetaEnum>
#include <QObject>
#include <QStringList>

#include <mutex>

// The names of the states a job announced, in order, from whichever thread
// announced them. Read it once the job's worker has ended.
class JobStateLog {
public:
    template<typename Job> explicit JobStateLog(Job &job)
    {
        m_connection = QObject::connect(
            &job, &Job::stateChanged, &job,
            [this](typename Job::State state) {
                const std::lock_guard lock(m_lock);
                m_names.append(Job::stateName(state));
            },
            Qt::DirectConnection);
    }

    ~JobStateLog() { QObject::disconnect(m_connection); }
    JobStateLog(const JobStateLog &) = delete;
    JobStateLog &operator=(const JobStateLog &) = delete;

    // The names announced so far, joined by spaces; the log starts again.
    QString take()
    {
        const std::lock_guard lock(m_lock);
        const QString joined = m_names.join(u' ');
        m_names.clear();
        return joined;
    }

private:
    QMetaObject::Connection m_connection;
    std::mutex m_lock;
    QStringList m_names;
};

// The names of every state of `Job` in which work goes on, in the enum's
// order, joined by spaces.
template<typename Job> QString busyStateNames()
{
    const QMetaEnum states = QMetaEnum::fromType<typename Job::State>();
    QStringList busy;
    for (int at = 0; at < states.keyCount(); ++at) {
        const auto state = typename Job::State(states.value(at));
        if (Job::isBusy(state))
            busy.append(Job::stateName(state));
    }
    return busy.join(u' ');
}
