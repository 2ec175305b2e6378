#pragma once

#include "service/RunSettings.h"
#include "service/ServiceError.h"

#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class ClientIntake;
class JobRecords;
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
// Like the download job it owns its state (records, intake, state, outcomes,
// cancel flag) and its worker holds it, so the window never waits.
class VerificationJob final : public QObject, public std::enable_shared_from_this<VerificationJob> {
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
    // Hashing, readying and searching; a failed run is over.
    static bool isBusy(State state);
    static bool isFailed(State state)
    {
        return state == State::RetrySearching || state == State::ErrorSearching;
    }

    static std::shared_ptr<VerificationJob> create();
    ~VerificationJob() override;

    JobRecords &records() const { return *m_records; }
    ClientIntake &intake() const { return *m_intake; }

    State state() const;
    bool isState(State state) const { return this->state() == state; }
    void setState(State state);

    // Hands a file or folder to the intake; from "Idle" or "listed" the state
    // becomes "adding". False when it cannot be read or the job is cancelled.
    bool addPath(const QString &path);
    int Tcounter() const;
    // The subtitles not listed yet, now marked listed; a subtitle with a
    // video starts checked, one without unchecked.
    QList<std::shared_ptr<subtitleFile>> takeNewSubtitles();
    // Drops the unchecked subtitles for good; returns their paths.
    QStringList dropUnchecked();

    // The pairing one subtitle record stands for. Call it under the state lock.
    static VerifyPairing pairingOf(const subtitleFile &subtitle);
    // Every subtitle's pairing, by subtitle path.
    QList<VerifyPairing> allPairings() const;

    // The verification routine: from "listed" (or after a failure), the
    // checked pairs are verified; ends in "SuccessSearching", or
    // "RetrySearching" (with `autoRetry`) / "ErrorSearching". Blocks. The
    // preferences as they are when it starts hold for the whole run.
    void runVerification(bool autoRetry);
    bool startVerification(bool autoRetry);
    bool verificationRunning() const { return m_running; }
    // What the last run asked and found.
    QList<VerifyPairing> pairings() const;
    QList<VerifyOutcome> outcomes() const;
    // Why the last run failed (its first failed search); ServiceError::None
    // after a good one.
    ServiceError searchFailure() const;

    bool busy() const;
    // Stops the request under way, the intake and the hashing; for good.
    void cancel();
    bool cancelled() const { return m_cancelled; }

Q_SIGNALS:
    // From whichever thread changed it.
    void stateChanged(VerificationJob::State state);

private:
    VerificationJob();
    // The outcome of each pair; `failure` gets the first failed search.
    QList<VerifyOutcome> verify(const QList<VerifyPairing> &pairings, const RunSettings &settings,
                                ServiceError &failure);
    ServiceError searchThroughProvider(const RunSettings &settings);

    std::shared_ptr<JobRecords> m_records;
    std::shared_ptr<ClientIntake> m_intake;
    mutable QMutex m_providerLock;                // guards m_provider; never held across a request
    std::shared_ptr<SubtitleProvider> m_provider; // of the search under way or last made
    // Guarded by the state lock.
    State m_state = State::Idle;
    QList<VerifyPairing> m_pairings;
    QList<VerifyOutcome> m_outcomes;
    ServiceError m_searchFailure;

    std::atomic<bool> m_running{false};
    std::atomic<bool> m_cancelled{false};
};
