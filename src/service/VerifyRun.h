#pragma once

#include <QList>
#include <QString>

#include <functional>
#include <memory>

class ClientIntake;
class OSClient;
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

// The upload workflow without a window: the intake of subtitle files in
// upload mode (each subtitle paired by name with a video beside it), then the
// verification run: the paired videos are hashed and searched by the client
// in the subtitles' languages.
//
// Runs on the calling thread, which must have an event loop available. The
// upload window runs the same verification over its own client (the static
// forms below).
class VerifyRun final {
public:
    // Steps of a verification, in order.
    enum class Stage { Hashing, Readying, Searching };
    using StageHook = std::function<void(Stage)>;

    VerifyRun();
    ~VerifyRun();
    VerifyRun(const VerifyRun &) = delete;
    VerifyRun &operator=(const VerifyRun &) = delete;

    // Hands a file or folder to the intake; false when it cannot be read.
    bool addPath(const QString &path);

    // Waits for the intake; one pairing per subtitle, by subtitle path. A file
    // that is not a subtitle (SubtitleCheck) is refused and paired with nothing.
    QList<VerifyPairing> pairings();
    // After pairings(): the subtitles and folders the intake could not take
    // in, each shown as ShellFinder::shownName gives it and with the reason.
    QList<std::pair<QString, QString>> notTakenIn() const;
    // Verifies the paired videos; one outcome per paired video and language.
    QList<VerifyOutcome> verify();

    OSClient &client() { return *m_client; }

    // The pairing one subtitle record stands for. Call it holding the state
    // lock of the client whose record it is.
    static VerifyPairing pairingOf(const subtitleFile &subtitle);

    // Verifies the pairings over `client`: their videos, one record each,
    // become the client's movieFiles, are hashed, and are searched in the
    // subtitles' languages. One outcome per paired video and language;
    // unpaired subtitles are passed over. `stage` hears of each step as it
    // starts. Runs on the calling thread; a cancelled client fails the rest.
    static QList<VerifyOutcome> verify(OSClient &client, const QList<VerifyPairing> &pairings,
                                       const StageHook &stage = {});

private:
    std::unique_ptr<OSClient> m_client;
    std::shared_ptr<ClientIntake> m_intake;
    QList<VerifyPairing> m_pairings;
};
