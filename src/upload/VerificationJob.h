#pragma once

#include "service/RunSettings.h"
#include "service/ServiceError.h"
#include "service/WorkflowJob.h"

#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class SubtitleProvider;
class subtitleFile;

// One subtitle brought in for upload, with the video it pairs with.
struct VerifyPairing {
    QString subtitle;
    QString video;                 // empty when no video pairs with it (or it is refused)
    QString lang;                  // two-letter code of the subtitle's language
    bool languageFromName = false; // else the default language is assumed
    QString refused;               // why the file is not taken as a subtitle; empty when it is
};

// The verification of one paired video in one language: whether the service
// already has subtitles for the video's hash in that language.
struct VerifyOutcome {
    enum class Status { Has, Lacks, Failed };
    Status status = Status::Lacks;
    QString video;
    QString lang;
    QString subtitle; // the local subtitle that asked for it
    QString reason;

    static QString statusName(Status status);
};

// One verification job: subtitles come in (the intake in upload mode pairs
// each with the video of its name), are listed with a check, and the checked
// pairs are verified: their videos are hashed and searched in the
// subtitles' languages. The upload window and `lumbra-cli verify` both drive
// it.
//
// Like the download job it owns its state (WorkflowJob: records,
// intake, cancel flag; here the outcomes) and its state machine, announcing
// every change (stateChanged); its worker holds it, so the window never waits.
class VerificationJob final : public WorkflowJob {
    Q_OBJECT
public:
    enum class State {
        Idle,
        Adding,
        Listing,
        Listed,
        Hashing,
        Readying,
        Searching,
        SuccessSearching,
        RetrySearching,
        ErrorSearching,
        Searched,
    };
    Q_ENUM(State)
    static QString stateName(State state);
    static std::optional<State> stateNamed(const QString &name);
    // Whether work goes on in the state (the table of states says): a failed
    // run is over.
    static bool isBusy(State state);
    static bool isFailed(State state)
    {
        return state == State::RetrySearching || state == State::ErrorSearching;
    }

    static std::shared_ptr<VerificationJob> create();

    State state() const { return m_state.get(); }
    bool isState(State state) const { return this->state() == state; }
    // Puts the job in `state` whatever it was; for a driver that restores a
    // state by name. The steps below make the workflow's own changes.
    void setState(State state) { m_state.set(state); }

    // Hands a file or folder to the intake; from "Idle" or "listed" the state
    // becomes "adding". False when it cannot be read or the job is cancelled.
    bool addPath(const QString &path);
    // The subtitles not listed yet, now marked listed; a subtitle with a
    // video starts checked, one without unchecked. "listing" when there are
    // some; "listed" once the intake had nothing under way before.
    QList<std::shared_ptr<subtitleFile>> takeNewSubtitles();
    // Drops the unchecked subtitles for good; returns their paths.
    QStringList dropUnchecked();

    // The pairing one subtitle record stands for. Call it under the state lock.
    static VerifyPairing pairingOf(const subtitleFile &subtitle);
    // Every subtitle's pairing, by subtitle path.
    QList<VerifyPairing> allPairings() const;

    // The verification routine: from "listed" (or after a failure), the
    // checked pairs are verified; ends in "SuccessSearching", or
    // "RetrySearching" (with `autoRetry`, when trying again can help) /
    // "ErrorSearching". Blocks. The preferences as they are when it starts
    // hold for the whole run.
    void runVerification(bool autoRetry);
    // Starts runVerification on a worker thread unless one runs; after a
    // failed run the pairs are "listed" again first.
    bool startVerification(bool autoRetry);
    // The driver listed a good run's outcomes: "Searched".
    void resultsListed();
    bool verificationRunning() const { return m_running; }
    // What the last run asked and found.
    QList<VerifyPairing> pairings() const;
    QList<VerifyOutcome> outcomes() const;
    // Why the last run failed (its first failed search); ServiceError::None
    // after a good one.
    ServiceError searchFailure() const;

    bool busy() const;

Q_SIGNALS:
    // From whichever thread changed it.
    void stateChanged(VerificationJob::State state);

private:
    VerificationJob();
    // The outcome of each pair; `failure` gets the first failed search.
    QList<VerifyOutcome> verify(const QList<VerifyPairing> &pairings, const RunSettings &settings,
                                ServiceError &failure);
    ServiceError searchThroughProvider(const RunSettings &settings);

    QList<std::shared_ptr<subtitleFile>> takeUnlistedSubtitles();

    JobState<State> m_state;
    // Guarded by the records' state lock.
    QList<VerifyPairing> m_pairings;
    QList<VerifyOutcome> m_outcomes;
    ServiceError m_searchFailure;

    std::atomic<bool> m_running{false};
};
