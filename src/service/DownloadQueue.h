#pragma once

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <functional>
#include <memory>

class movieFile;
class openSubtitleItem;
class SubtitleProvider;
class JobSession;

// The download queue of a download window, without the window: one entry per
// movie hash and language, each a language group (a per-language copy of a
// video record) whose first result is the subtitle chosen for it. The
// window's list and the headless `lumbra-cli get` fill and run it alike.
//
// Not locked itself: the owner builds it under the window's lock and runs it
// from the download thread while nothing else changes it.
class DownloadQueue final {
public:
    // A per-language copy of `video` for one wanted language (two-letter code,
    // as the languages preference holds it): its results in that language, in
    // the video's order, and its best match level (1 hash, 2 another method,
    // 3 none). The copy has its own result list; the results are shared.
    static std::shared_ptr<movieFile> languageGroup(const movieFile &video, const QString &language);

    // Keeps only the group's checked results; queues the group when exactly
    // one remains and no queued entry has the same movie hash with a first
    // result in the same language. The entry downloads beside the group's
    // video; when another entry has the same result already, through a copy
    // of it. Returns whether it was queued.
    bool queueGroup(const std::shared_ptr<movieFile> &group);

    // The result chosen for an entry.
    static std::shared_ptr<openSubtitleItem> chosen(const movieFile &entry);

    // The download page's line for an entry and its chosen result: the video,
    // the language and the subtitle, then what became of the download: the
    // reason it failed, or where the subtitle it replaced went. Call it under
    // the lock that guards the records.
    static QString rowText(const movieFile &entry, const openSubtitleItem &result);

    // Drops the entries whose subtitle is already in place (a second attempt
    // after failures downloads only the rest).
    void removeDownloaded();

    // Takes the entries after the first `keep` out of the queue, in queue
    // order, and returns them: the day's quota covers only the first ones.
    // Each one's chosen result stays ticked, with the status "Waiting" and
    // `why` as its note.
    QList<std::shared_ptr<movieFile>> holdBack(int keep, const QString &why);

    // Downloads each entry's chosen subtitle beside its video, starting them in
    // queue order; a failure does not stop the run. The content comes from
    // the provider that found each result, one downloadEach() call for each
    // run of entries from the same provider. A subtitle this queue has placed is
    // never replaced by the subtitle of another video: such an entry fails
    // with the reason. `session` is the job the queue belongs to (the
    // results' state changes are made under its lock); held weakly, so
    // that a job gone mid-run ends the run before its next step instead of
    // leaving it a lock that no longer exists. `done` is called after each
    // entry with its index and outcome, as its placement ends (in the order
    // they end). `arrived`, when given, is called as an entry's content (or
    // the error that came instead) arrives, before it is placed. `stop`, when
    // it returns true before an entry, ends the run there (the entries left
    // are not tried); `abort` drops the transfers under way too. True when
    // every download succeeded. Every callback is called on the calling
    // thread.
    bool downloadAll(const std::weak_ptr<JobSession> &session,
                     const std::function<void(int, bool)> &done = {}, const std::function<bool()> &stop = {},
                     const std::function<bool()> &abort = {}, const std::function<void(int)> &arrived = {});

    // How many subtitles are written and flushed at once, and how many
    // that have come may wait for that (the transfers pause beyond).
    static constexpr int kPlacementThreads = 4;
    static constexpr int kPlacementsWaiting = 32;

    const QList<std::shared_ptr<movieFile>> &queuedSubs() const { return m_queuedSubs; }
    bool isEmpty() const { return m_queuedSubs.isEmpty(); }

private:
    // Why `result` may not be placed: its target holds a subtitle this queue
    // placed for another video. Empty when it may.
    QString collisionWith(const openSubtitleItem &result, JobSession &session) const;
    std::shared_ptr<SubtitleProvider> providerOf(int index, JobSession &session) const;
    void notePlaced(const openSubtitleItem &result, bool placed, JobSession &session);

    // The same video and language are queued once: the key of an entry.
    static QString entryKey(const movieFile &entry);

    QList<std::shared_ptr<movieFile>> m_queuedSubs;
    QSet<QString> m_queuedKeys;
    QSet<const openSubtitleItem *> m_queuedResults; // the entries' chosen results
    QHash<QString, QString> m_placedTargets;        // placed subtitle -> its video
};
