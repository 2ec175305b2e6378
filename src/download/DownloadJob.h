#pragma once

#include "download/QuotaWaitList.h"
#include "prefs/myPrefs.h"
#include "service/DownloadQueue.h"
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

class movieFile;
class SubtitleProvider;

// One download job: videos come in (the intake), are listed, hashed and
// searched, their results grouped, the chosen ones queued and downloaded.
// The download window and `lumbra-cli get` both drive it; the rules live here.
//
// The job owns its state (WorkflowJob: the records with the state lock and the
// lists, the intake, the cancel flag; here the queue) and its
// state machine: it makes every change of state and announces it
// (stateChanged); the drivers call the steps below and redraw on the signal.
// Records are data: hashes are computed by the search routine outside the
// state lock and only read under it.
class DownloadJob final : public WorkflowJob {
    Q_OBJECT
public:
    // The workflow states, in the order the normal path meets them.
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
        RetryingSearching,
        WaitedSearching,
        ErrorSearching,
        Searched,
        Predownloading,
        Redownloading,
        Downloading,
        Downloaded,
        NotDownloaded,
    };
    Q_ENUM(State)
    // The state's name as the window's `windowMode` shows it ("Idle",
    // "adding", "Searched"...), and back (without regard to case).
    static QString stateName(State state);
    static std::optional<State> stateNamed(const QString &name);
    // Whether work goes on in the state (the table of states says).
    static bool isBusy(State state);

    static std::shared_ptr<DownloadJob> create();

    State state() const { return m_state.get(); }
    bool isState(State state) const { return this->state() == state; }
    // Puts the job in `state` whatever it was; for a driver that restores a
    // state by name (WorkflowWindow::setWindowMode). The steps below make the
    // workflow's own changes.
    void setState(State state) { m_state.set(state); }
    // Why the last search failed; ServiceError::None after a good one.
    ServiceError searchFailure() const;
    // A step of the last search that failed without ending it (the hash
    // search); what the videos without results are to be told.
    ServiceError searchStepFailure() const;

    // --- Intake ------------------------------------------------------------
    // Hands a file or folder to the intake; false when it cannot be read or
    // the job is cancelled. From "Idle" or "listed" the state becomes "adding".
    bool addPath(const QString &path);
    // The listing rule: records not listed yet are marked listed and checked
    // (checked when refreshing, or when a wanted language lacks a subtitle
    // beside the video); without `listAllFiles` a video with a subtitle for
    // every wanted language is dropped instead. Returns the new records.
    // "listing" when there are some; "listed" once the intake had nothing
    // under way before they were taken.
    QList<std::shared_ptr<movieFile>> takeNewRecords(bool listAllFiles, bool refreshSubs);

    // --- Search ------------------------------------------------------------
    // The search routine: from "listed", hashes every video (and the
    // subtitles beside it) and marks the hashed checked ones to be searched;
    // from "WaitedSearching" it goes straight on. Then searches, ending in
    // "SuccessSearching", "RetrySearching" (with `autoRetry`) or
    // "ErrorSearching". Blocks; stops early when cancelled.
    void runSearch(bool autoRetry, const std::function<void(int done, const QString &name)> &hashed = {});
    // Starts runSearch on a worker thread unless one runs; false then. After
    // a failed search (tried again by hand or when the countdown ends) the
    // job waits no more: "WaitedSearching".
    bool startSearch(bool autoRetry);
    // A failed search to be tried again after a countdown:
    // "RetrySearching" becomes "RetryingSearching".
    void countDownToRetry();
    // The driver listed the good search's results: "Searched".
    void resultsListed();
    bool searchRunning() const { return m_searching; }

    // The settings every run of this job uses from now on (intake, search,
    // placement), instead of the preferences of the moment. Before the intake.
    void fixSettings(const RunSettings &settings);
    // The settings a run starting now uses: the fixed ones, else the
    // preferences as they are; with this job's provider and, while downloads
    // are offered again, only their languages.
    RunSettings runSettings() const;
    // The settings the last search run took (a run starting now, before any
    // search): the results are listed in its languages and by its rules.
    RunSettings searchSettings() const;

    // The service interface each search run signs in to and searches
    // through: the one the ServiceProvider preference names when the run
    // starts, unless `name` ("rest" or "xmlrpc") is set for this job.
    void setProviderName(const QString &name);
    // "rest" or "xmlrpc": the interface of the last search run (of the next
    // one before any).
    QString providerName() const;
    // How many more downloads the service allows today, as it said after the
    // last download; -1 when it keeps no count or has not said.
    int remainingDownloads() const;

    // --- Results -----------------------------------------------------------
    // One entry per video and wanted language (two-letter codes, in order):
    // the per-language copy of the video with its results in that language
    // (DownloadQueue::languageGroup), or no group when a subtitle in that
    // language lies beside the video or a counted one is inside it
    // (movieFile::carriesSubtitleIn), and subtitles are not refreshed.
    struct LanguageGroup {
        std::shared_ptr<movieFile> video;
        QString language;
        std::shared_ptr<movieFile> group;
    };
    QList<LanguageGroup> languageGroups(const QStringList &languages, bool refreshSubs) const;
    // Whether a subtitle beside the video is in `language` (two-letter code).
    // Call under the state lock.
    static bool hasLocalSubtitleIn(const movieFile &video, const QString &language);
    // The wanted languages: the preference's list, or English when it is
    // empty; from the preferences now, or from a run's copy of them.
    static QStringList wantedLanguages();
    static QStringList wantedLanguages(const myPrefs::Values &prefs);

    // --- Downloads ---------------------------------------------------------
    // The queue, guarded by the state lock; built by the driver.
    DownloadQueue &queue() { return m_queue; }
    QList<std::shared_ptr<movieFile>> queuedSubs() const;
    // For a second run after failures: the entries already placed leave.
    void removeDownloaded();
    // The download routine: "Downloading", then every queued entry in order
    // ("progressed" after each), then "Downloaded" or "NotDownloaded". A
    // cancelled job tries no further entry; an aborted one drops the one
    // under way too. `arrived` is told of each entry whose content has come,
    // before it is placed (DownloadQueue::downloadAll).
    void runDownloads(const std::function<void(int index, bool placed)> &done = {},
                      const std::function<void(int index)> &arrived = {});
    bool startDownloads();
    // Download was asked for: "Predownloading" after the search,
    // "Redownloading" after a run with failures; the driver builds the queue
    // (the first time) and starts the downloads in those states.
    void requestDownloads();
    bool downloadRunning() const { return m_downloading; }
    // How the last download run went so far: entries placed, entries that
    // failed, and every entry it started with.
    struct DownloadTally {
        int placed = 0;
        int failed = 0;
        int total = 0;
    };
    DownloadTally downloadTally() const { return {m_placedCount, m_failedCount, m_queuedCount}; }
    // The entries the last download run held back for tomorrow's quota: when
    // the service had said how many downloads are left today and more were
    // queued, the first ones in queue order went and these wait, remembered
    // in the QuotaWaitList. Call under the state lock.
    const QList<std::shared_ptr<movieFile>> &heldForQuota() const { return m_heldForQuota; }
    // With it on, a download run measures each subtitle it placed against
    // the video's speech and fixes it when sure (TimingCheck::fixPlaced),
    // before the run ends; each row's timingNote says what was done.
    void setFixTiming(bool on) { m_fixTiming = on; }

    // --- Offered again after the quota renewed -----------------------------
    // Downloads held back for an earlier day's quota, offered again: their
    // videos are taken in (listed and ticked whatever the listing rule says)
    // and only their languages are searched. After a good search each gets
    // back the subtitle chosen for it when the service still lists that file,
    // else the best choice; nothing else of those videos stays ticked. One
    // that cannot be offered any more (a subtitle in its language lies beside
    // the video now, or the service lists none) is forgotten. Before the intake.
    void offerWaiting(const QList<WaitingDownload> &entries);
    // The offered downloads still standing.
    int waitingOffered() const;

    // Worker routines or intake items under way.
    bool busy() const;

    // cancel() stops the search request under way, the intake at its next
    // entry, hashing at its next file, downloads before their next entry.
    // abort() drops the download under way too.
    void abort();

Q_SIGNALS:
    // From whichever thread changed it; connect with a queued connection.
    void stateChanged(DownloadJob::State state);
    // A download entry ended.
    void progressed();

private:
    DownloadJob();
    bool cancelStopsProvider() const override;
    // The listing rule itself, under the state lock.
    QList<std::shared_ptr<movieFile>> takeUnlistedRecords(bool listAllFiles, bool refreshSubs);
    void hashVideos(const std::function<void(int done, const QString &name)> &hashed);
    ServiceError searchThroughProvider(const RunSettings &settings);
    void holdBackOverQuota();
    void forgetWaiting(int index);
    void fixPlacedTimings();
    void tickOfferedWaiting();

    JobState<State> m_state;
    // Guarded by the records' state lock.
    ServiceError m_searchFailure;
    ServiceError m_stepFailure;
    DownloadQueue m_queue;
    QList<std::shared_ptr<movieFile>> m_heldForQuota;
    QList<WaitingDownload> m_offeredWaiting;
    QStringList m_offeredLanguages; // the languages of m_offeredWaiting, in order
    std::optional<RunSettings> m_fixedSettings;
    std::optional<RunSettings> m_searchSettings; // the last search run's

    mutable QMutex m_providerNameLock;
    QString m_providerName; // set for this job; empty: the preference

    std::atomic<bool> m_providerSearching{false};
    std::atomic<bool> m_searching{false};
    std::atomic<bool> m_downloading{false};
    std::atomic<int> m_placedCount{0};
    std::atomic<int> m_failedCount{0};
    std::atomic<int> m_queuedCount{0};
    std::atomic<bool> m_fixTiming{false};
    std::atomic<bool> m_aborted{false};
};
