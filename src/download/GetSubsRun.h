#pragma once

#include "service/RunSettings.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

class DownloadJob;
class movieFile;

// What became of one video in one wanted language.
struct GetSubsOutcome {
    // Waiting: held back for tomorrow's quota (the reason says when it renews).
    enum class Status { Placed, None, Skipped, Failed, Waiting };
    Status status = Status::None;
    QString video;            // the video's path
    QString lang;             // two-letter code
    QString subtitle;         // the placed subtitle's path
    QString reason;           // why it failed, or why it was skipped
    QString matchedBy;        // how the service found the chosen subtitle
    QString subFileName;      // the chosen subtitle's name at the service
    QString replaced;         // where the subtitle it replaced went, in words; empty when none
    QString previousKeptAt;   // that subtitle's path now (in the trash or beside the video)
    QString encodingNote;     // what the conversion to UTF-8 did, when asked for
    bool insideVideo = false; // skipped: a subtitle stream inside the video serves the language
    // A file the run could not handle at all (lang is then empty): the run
    // is not a success.
    bool unhandled = false;
    // Failed because the search failed: one reason for every such outcome.
    bool searchFailed = false;
    // The downloads the service still allowed today after this one; -1 when
    // not known (no download, or a service that keeps no count).
    int quotaRemaining = -1;

    static QString statusName(Status status);
};

// The download job without a window, from dropped paths to placed
// subtitles: it drives the same DownloadJob as the download window (intake,
// listing rule, hashing, search, language groups, queue, downloads) and
// reports one outcome per video and wanted language. The run's settings,
// fixed when it is made, decide languages, service, account and naming.
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
        // Before the downloads, when the service has said how many are left
        // today: `remaining` of the `wanted` downloads can go.
        virtual void quota(int remaining, int wanted)
        {
            Q_UNUSED(remaining);
            Q_UNUSED(wanted);
        }
    };

    explicit GetSubsRun(const RunSettings &settings, Progress *progress = nullptr);
    ~GetSubsRun();
    GetSubsRun(const GetSubsRun &) = delete;
    GetSubsRun &operator=(const GetSubsRun &) = delete;

    // Hands a file or folder to the intake; false when it cannot be read.
    bool addPath(const QString &path);

    // Runs everything after the intake; one outcome per video and wanted
    // language, ordered by video path and then by the languages' order, and
    // one (unhandled, skipped) per video or folder the intake could not take in.
    QList<GetSubsOutcome> run();

    DownloadJob &job() { return *m_job; }
    // "rest" or "xmlrpc": the service interface the run uses.
    QString providerName() const;

private:
    void report(const QString &label, int total);
    void advance(int done, const QString &detail);
    // The outcomes of the queued entries held back for tomorrow's quota.
    void markWaiting(const QList<std::pair<qsizetype, std::shared_ptr<movieFile>>> &queued,
                     QList<GetSubsOutcome> &outcomes) const;

    const RunSettings m_settings;
    Progress *m_progress;
    std::shared_ptr<DownloadJob> m_job;
};
