#pragma once

#include "service/ClientIntake.h"
#include "upload/VerificationJob.h"

#include <QList>
#include <QString>

#include <memory>

// The verification job without a window: it drives the same VerificationJob
// as the upload window. Runs on the calling thread, which must have an event
// loop available.
class VerifyRun final {
public:
    VerifyRun();
    ~VerifyRun();
    VerifyRun(const VerifyRun &) = delete;
    VerifyRun &operator=(const VerifyRun &) = delete;

    // Hands a file or folder to the intake; false when it cannot be read.
    bool addPath(const QString &path);

    // Waits for the intake; one pairing per subtitle, by subtitle path.
    QList<VerifyPairing> pairings();
    // Verifies the paired videos; one outcome per paired video and language.
    QList<VerifyOutcome> verify();

    // What the intake could not take in, with the reasons.
    QList<ClientIntake::NotTakenIn> notTakenIn() const;

    VerificationJob &job() { return *m_job; }

private:
    std::shared_ptr<VerificationJob> m_job;
};
