#pragma once

#include "common/JobSession.h"
#include "common/Types.h"
#include "service/SeenPaths.h"
#include "service/SortedPathIndex.h"

#include <QList>
#include <QMutex>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <shared_mutex>

class movieFile;
class openSubtitleItem;
class subtitleFile;

// The records of one job (a download or upload window, or a run of the
// command-line tool): the lock over them, the video and subtitle records,
// the path intake that turns dropped paths into records (with its indexes),
// and the merging of search replies into the records. The job owns it; the
// file intake holds it weakly, so that a job that goes stops its intake.
//
// Everything public below is the job's shared state: read and change it only
// while holding stateLock(). The operations take the lock themselves, step by
// step, and never hold it across a file read.
class JobRecords final {
public:
    using ResultList = QList<std::shared_ptr<openSubtitleItem>>;

    JobRecords();
    ~JobRecords();
    JobRecords(const JobRecords &) = delete;
    JobRecords &operator=(const JobRecords &) = delete;

    QMutex &stateLock() const { return m_session->stateLock(); }
    // The job's shared state, for what keeps it (the window's lists) or must
    // notice when it is gone (previews and workers, through a weak pointer).
    const std::shared_ptr<JobSession> &session() const { return m_session; }

    // --- Path intake ----------------------------------------------------------
    // What a video record needs to know when it is made: the wanted languages
    // (whether it lacks a subtitle) and whether text subtitles inside it
    // count. A run that fixed its settings gives them; otherwise they are
    // read from the preferences at each intake.
    struct IntakeSettings {
        QStringList languages;
        bool countEmbedded = true;
    };
    void fixIntakeSettings(const IntakeSettings &settings);

    // Sorts newly found paths into videos and subtitles and turns the queue of
    // this job's mode into records. Called by the file intake, from worker
    // threads, with a video and the subtitles beside it in one call.
    // `stop`, asked before each file, ends the intake early.
    void processFiles(const QStringList &newPaths = {}, const std::function<bool()> &stop = {});
    void addFile(const QString &path);
    // Reads what a search compares: the video's movie hash and the hashes of
    // the subtitles beside it. Call it outside the state lock.
    static void hashForSearch(movieFile &video);
    // True while a path is being turned into a record.
    bool intakeBusy() const;

    // --- Merging replies --------------------------------------------------------
    // Attaches a search result to every video it matches. Under the state lock.
    void addThisResult(const std::shared_ptr<openSubtitleItem> &item);
    // Stores an IMDB candidate on every video with its hash. Under the state lock.
    void addThisResult(const Dictionary &candidate, const VariantList &candidates);
    // Attaches the results of one reply to the videos they match, through one
    // index; takes the state lock.
    void attachItems(const ResultList &items);
    // Per movie hash, the film most often seen under it becomes the videos'
    // identity; takes the state lock.
    void storeImdbCandidates(const Dictionary &byHash);
    // Results that are the subtitle already beside their video are marked
    // so; takes the state lock.
    void markLocalCopies();

    QList<std::shared_ptr<movieFile>> movieFiles;
    QList<std::shared_ptr<subtitleFile>> subfiles;
    // "GetSubs" (download job) or "PutSubs" (upload job).
    QString mode;
    QStringList fileList;
    QStringList bigFileList;
    QStringList bigMovieList;
    QStringList bigSubList;

private:
    IntakeSettings intakeSettings() const;
    void addFile(const QString &path, const IntakeSettings &settings);
    void addMovieFile(const QString &path, const IntakeSettings &settings);
    // The subtitles listed so far that go with each of the videos; fastest
    // for videos in listing order, whose searches go on one from the other.
    // Takes the index lock, not the state lock.
    QList<QStringList> subtitlesBeside(const QStringList &videos) const;
    struct IndexCursors;
    QStringList subtitlesBeside(const QString &path, IndexCursors &from) const;
    // Turns the queued videos into records, a batch at a time, on every
    // thread that calls it at once; the records are listed in queue order.
    void buildQueuedVideoRecords(const IntakeSettings &settings, const std::function<bool()> &stop);
    void takeInQueuedSubtitles(const std::function<bool()> &stop);
    void addSubtitleFile(const QString &path);

    const std::shared_ptr<JobSession> m_session = std::make_shared<JobSession>();
    std::optional<IntakeSettings> m_fixedIntake; // guarded by the state lock

    // Indexes over the path lists, so that a drop of a whole library sorts in
    // n log n: every path seen, the videos' lower-cased paths without their
    // extensions, and the subtitle paths by lower-cased path in the order
    // they arrived.
    SeenPaths m_seenPaths;
    // Guards the two indexes below: changed with the state lock held too,
    // read by the threads that build records without it, side by side.
    mutable std::shared_mutex m_indexLock;
    struct NoValue {};
    SortedPathIndex<NoValue> m_videoStems;
    struct SubtitleArrival {
        qsizetype order;
        QString path;
    };
    SortedPathIndex<SubtitleArrival> m_subtitlesByPath;
    struct IndexCursors {
        SortedPathIndex<NoValue>::Cursor stems;
        SortedPathIndex<SubtitleArrival>::Cursor subtitles;
    };
    qsizetype m_subtitlesArrived = 0;

    int m_intakeBusy = 0;
    // Videos are turned into records in batches, numbered as they are
    // taken; a batch that ends before an earlier one waits here.
    static constexpr qsizetype kVideosPerBatch = 32;
    qsizetype m_batchesTaken = 0;
    qsizetype m_batchesListed = 0;
    std::map<qsizetype, QList<std::shared_ptr<movieFile>>> m_batchesWaiting;
};
