#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class ClientIntake;
class movieFile;
class OSClient;

// What became of one video in one wanted language.
struct GetSubsOutcome {
    enum class Status { Placed, None, Skipped, Failed };
    Status status = Status::None;
    QString video;          // the video's path
    QString lang;           // two-letter code
    QString subtitle;       // the placed subtitle's path
    QString reason;         // why it failed, or why it was skipped
    QString matchedBy;      // how the service found the chosen subtitle
    QString subFileName;    // the chosen subtitle's name at the service
    QString replaced;       // where the subtitle it replaced went, in words; empty when none
    QString previousKeptAt; // that subtitle's path now (in the trash or beside the video)
    // A file the run could not handle at all (lang is then empty): the run
    // is not a success.
    bool unhandled = false;

    static QString statusName(Status status);
};

// The download workflow without a window, from dropped paths to placed
// subtitles: the intake of the paths, the listing rules of the download
// window (a video whose wanted languages all have a subtitle beside it is
// left out unless subtitles are refreshed), hashing, the client's search run,
// one group per video and wanted language with the best result checked, the
// download queue (one entry per movie hash and language) and the downloads.
// The preferences in effect decide languages, service, account and naming.
//
// Runs on the calling thread, which must have an event loop available (a
// QCoreApplication); intake items run on the work queue meanwhile.
class GetSubsRun final {
public:
    // Told about each step and its progress; may be called from any thread.
    class Progress {
    public:
        virtual ~Progress() = default;
        virtual void step(const QString &label, int total) = 0;
        virtual void advance(int done, const QString &detail) = 0;
    };

    explicit GetSubsRun(Progress *progress = nullptr);
    ~GetSubsRun();
    GetSubsRun(const GetSubsRun &) = delete;
    GetSubsRun &operator=(const GetSubsRun &) = delete;

    // Hands a file or folder to the intake; false when it cannot be read.
    bool addPath(const QString &path);

    // Runs everything after the intake; one outcome per video and wanted
    // language, ordered by video path and then by the languages' order, and
    // one (unhandled, skipped) per video or folder the intake could not take in.
    QList<GetSubsOutcome> run();

    OSClient &client() { return *m_client; }
    // The wanted languages: the preference's list, or English when it is empty.
    static QStringList wantedLanguages();

    // Steps the download window shares with this run.

    // Whether a subtitle beside the video is in `language` (two-letter code).
    // Call under the client's state lock.
    static bool hasLocalSubtitleIn(const movieFile &video, const QString &language);
    // Hashes each video (reading the disk outside the client's state lock);
    // a video whose hash is known is searched when it is checked. `done` is
    // told after each video; `stop` ends the loop early when it returns true.
    static void hashForSearch(OSClient &client, const QList<std::shared_ptr<movieFile>> &videos,
                              const std::function<void(int done, const QString &name)> &done = {},
                              const std::function<bool()> &stop = {});
    // Why the client's last search run failed, from its journal.
    static QString searchFailure(const OSClient &client);

private:
    void report(const QString &label, int total);
    void advance(int done, const QString &detail);

    Progress *m_progress;
    std::unique_ptr<OSClient> m_client;
    std::shared_ptr<ClientIntake> m_intake;
};
