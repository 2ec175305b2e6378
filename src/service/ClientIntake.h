#pragma once

#include "media/IntakeTarget.h"
#include "media/MovieFileParser.h"

#include <QStringList>

#include <chrono>
#include <condition_variable>
#include <memory>

class OSClient;

// The intake side of a workflow window, usable without one: the count of
// intake items under way (Tcounter), the folders already seeded (dirList),
// the extensions handed on (extensionList), and the client whose path intake
// receives the files. Its state is guarded by the client's state lock, the
// window's one lock.
//
// Intake items hold it by shared pointer; the client must outlive every item
// queued through it, so its owner waits for the intake to end (waitUntilDone)
// before the client goes.
class ClientIntake final : public IntakeTarget, public std::enable_shared_from_this<ClientIntake> {
public:
    explicit ClientIntake(OSClient &client);

    // Queues an intake item for a dropped file or folder; false (and nothing
    // queued) when it does not exist or cannot be read.
    bool add(const QString &seed, MovieFileParser::Mode mode);

    int Tcounter() const;
    QStringList dirList() const;
    // Waits until no intake item is queued or running; false on timeout.
    bool waitUntilDone(std::chrono::milliseconds timeout = std::chrono::hours(24)) const;

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

private:
    OSClient &m_client;
    const QString m_extensionList;
    int m_Tcounter = 0;
    QStringList m_dirList;
    QList<NotTakenIn> m_notTakenIn;
    // Waits on the client's QMutex directly, so that the lock's hand-over is
    // seen by the thread sanitizer.
    mutable std::condition_variable_any m_idle;
};
