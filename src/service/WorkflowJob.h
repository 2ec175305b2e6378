#pragma once

#include "common/WorkerThreads.h"
#include "media/MovieFileParser.h"
#include "prefs/myPrefs.h"

#include <QMutex>
#include <QMutexLocker>
#include <QObject>
#include <QString>

#include <algorithm>
#include <atomic>
#include <functional>
#include <initializer_list>
#include <memory>

class ClientIntake;
class JobRecords;
class SubtitleProvider;

// What the download job and the verification job have in common: the records
// (with the state lock), the intake that feeds them, the
// provider of the run under way, the cancel flag and the worker threads.
//
// Whoever drives a job holds it by shared pointer, and so do its workers, so
// a window may go at any time: it cancels the job and lets go. A job is made
// through `own()`, which deletes it on the thread it lives on.
class WorkflowJob : public QObject, public std::enable_shared_from_this<WorkflowJob> {
    Q_OBJECT
public:
    ~WorkflowJob() override;

    JobRecords &records() const { return *m_records; }
    ClientIntake &intake() const { return *m_intake; }
    // Intake items under way.
    int Tcounter() const;

    // Stops the job: the request under way fails at once (see
    // cancelStopsProvider()), the intake stops at its next entry. Any
    // thread; for good.
    void cancel();
    bool cancelled() const { return m_cancelled; }

    // Makes the provider of each run from the run's preferences; without one,
    // the preferences' choice (ProviderChoice). Tests hand in a fake service.
    using ProviderMaker = std::function<std::shared_ptr<SubtitleProvider>(const myPrefs::Values &)>;
    void setProviderMaker(ProviderMaker maker);

protected:
    // `recordsMode` is the records' mode ("GetSubs", "PutSubs"), `intakeMode`
    // how the intake reads what is handed to it.
    WorkflowJob(const QString &recordsMode, MovieFileParser::Mode intakeMode);

    template<class Job> static std::shared_ptr<Job> own(Job *job)
    {
        return std::shared_ptr<Job>(job, [](Job *gone) { WorkerThreads::deleteOnOwnThread(gone); });
    }

    // Whether `path` can go to the intake: it exists, can be read, and the
    // job is not cancelled.
    bool canTakeIn(const QString &path) const;
    // Hands `path` to the intake; false when it refuses it.
    bool takeIn(const QString &path);

    // A fresh provider for a run (a fresh sign-in each time), remembered as
    // the job's, and cancelled at once when the job already is.
    std::shared_ptr<SubtitleProvider> openProvider(const myPrefs::Values &prefs);
    // The provider of the run under way or last made; null before any.
    std::shared_ptr<SubtitleProvider> provider() const;
    // Whether cancel() stops the provider's request under way too.
    virtual bool cancelStopsProvider() const { return true; }

    // Runs `routine` on a worker thread called `name`, unless the one that
    // `running` marks is still under way or the job is cancelled (false
    // then). `first` runs on the calling thread once the worker is sure to
    // start. The worker holds the job; `running` drops when it ends.
    bool startWorker(std::atomic<bool> &running, const QString &name, std::function<void()> routine,
                     const std::function<void()> &first = {});

private:
    std::shared_ptr<JobRecords> m_records;
    std::shared_ptr<ClientIntake> m_intake;
    const MovieFileParser::Mode m_intakeMode;
    mutable QMutex m_providerLock; // guards the two below; never held across a request
    std::shared_ptr<SubtitleProvider> m_provider;
    ProviderMaker m_providerMaker;
    std::atomic<bool> m_cancelled{false};
};

// A job's workflow state, guarded by the job's state lock (the records').
// Every change is announced, from the thread that made it; a change that
// depends on the state it finds is made under one hold of the lock, so a
// worker and a window never step over each other.
template<typename State> class JobState {
public:
    using Announce = std::function<void(State)>;

    JobState(QMutex &lock, Announce announce)
        : m_lock(lock)
        , m_announce(std::move(announce))
    {
    }

    State get() const
    {
        const QMutexLocker guard(&m_lock);
        return m_state;
    }

    void set(State state)
    {
        {
            const QMutexLocker guard(&m_lock);
            m_state = state;
        }
        m_announce(state);
    }

    // Moves to `to` when the state is one of `from`; whether it did.
    bool change(std::initializer_list<State> from, State to)
    {
        {
            const QMutexLocker guard(&m_lock);
            if (std::find(from.begin(), from.end(), m_state) == from.end())
                return false;
            m_state = to;
        }
        m_announce(to);
        return true;
    }

    // --- The steps every job takes ---------------------------------------
    // A file or folder went to the intake: from "Idle" or "listed", "adding".
    void intakeStarted() { change({State::Idle, State::Listed}, State::Adding); }
    // The driver took the new records into its list: "listing" when there
    // were some, then "listed" once no intake item was under way before it
    // took them (an item appends its records before it stops counting).
    void listingStep(bool fresh, bool intakeIdle)
    {
        if (fresh)
            change({State::Idle, State::Adding, State::Listing, State::Listed}, State::Listing);
        if (intakeIdle)
            change({State::Adding, State::Listing}, State::Listed);
    }
    // The driver listed what a good search found: "Searched".
    void resultsListed() { change({State::SuccessSearching}, State::Searched); }

private:
    QMutex &m_lock;
    Announce m_announce;
    State m_state = State::Idle;
};
