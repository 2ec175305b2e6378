#pragma once

#include <QMutex>
#include <QMutexLocker>

#include <memory>
#include <optional>

// How downloaded subtitles are named and written, for a run whose settings
// are its own rather than the preferences of the moment.
struct PlacementOptions {
    bool languageInName = true; // the language code between the video's name and the format
    bool convertToUtf8 = false;
};

// The shared state of one job (a download or upload window, or a run of the
// command-line tool): the lock over its records. The job's records own it
// through a shared pointer; lists that live as long as the window share it,
// and work that may outlive the window (preview fetches, workers) holds it
// weakly, so that once the job is gone such work stops instead of taking a
// lock that no longer exists.
class JobSession {
public:
    JobSession() = default;
    JobSession(const JobSession &) = delete;
    JobSession &operator=(const JobSession &) = delete;

    // Held while reading or changing the job's records; never across a
    // network wait or a file read.
    QMutex &stateLock() const { return m_stateLock; }

    // Set by a run that fixed its settings; empty: the preferences at the
    // time of placement. Guarded by the state lock.
    std::optional<PlacementOptions> placement;

private:
    mutable QMutex m_stateLock;
};

// Whether `session` was ever given a job: an empty weak pointer stands for
// records that belong to no job, an expired one for a job that has ended.
inline bool namesAJob(const std::weak_ptr<JobSession> &session)
{
    const std::weak_ptr<JobSession> none;
    return session.owner_before(none) || none.owner_before(session);
}

// Runs `f` under the session's lock, or without a lock when there is no
// session (records that belong to nobody else, as in a one-off download).
template<typename F> auto underSessionLock(const JobSession *session, F &&f)
{
    if (session) {
        const QMutexLocker guard(&session->stateLock());
        return f();
    }
    return f();
}
