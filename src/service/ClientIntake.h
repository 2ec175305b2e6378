#pragma once

#include "media/IntakeTarget.h"
#include "media/MovieFileParser.h"

#include <QStringList>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

class JobRecords;

// The intake side of a job: the count of intake items under way (Tcounter),
// the folders already seeded (dirList), the extensions handed on
// (extensionList), and the job's records, whose path intake receives the files.
//
// Intake items hold it by shared pointer and the records only weakly: a job
// that goes while its items run (a window closed during a long folder walk)
// does not wait for them; cancel() makes them stop between entries, and
// their files go nowhere.
class ClientIntake final : public IntakeTarget, public std::enable_shared_from_this<ClientIntake> {
public:
    explicit ClientIntake(std::weak_ptr<JobRecords> records);

    // Queues an intake item for a dropped file or folder; false (and nothing
    // queued) when it does not exist or cannot be read, or after cancel().
    bool add(const QString &seed, MovieFileParser::Mode mode);

    int Tcounter() const;
    QStringList dirList() const;
    // Waits until no intake item is queued or running; false on timeout.
    bool waitUntilDone(std::chrono::milliseconds timeout = std::chrono::hours(24)) const;

    // Items not started yet do nothing; a folder walk under way stops at its
    // next entry.
    void cancel();

    void intakeItemAdded() override;
    void intakeItemRemoved() override;
    bool claimFolder(const QString &nativePath) override;
    QString extensionList() const override { return m_extensionList; }
    void processFiles(const QStringList &paths) override;
    void notTakenIn(const QStringList &shownPaths, const QString &reason) override;

    // What the intake could not take in so far, in the order it was found.
    struct NotTakenIn {
        QString shownPath;
        QString reason;
    };
    QList<NotTakenIn> notTakenIn() const;
    bool intakeCancelled() const override;

private:
    const std::weak_ptr<JobRecords> m_records;
    const QString m_extensionList;
    std::atomic<bool> m_cancelled{false};
    mutable std::mutex m_mutex; // guards the two below
    int m_Tcounter = 0;
    QStringList m_dirList;
    QList<NotTakenIn> m_notTakenIn;
    mutable std::condition_variable m_idle;
};
