#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

// A download held back because the day's quota ran out, remembered until
// the quota renews.
struct WaitingDownload {
    QString video; // the video's path
    QString lang;  // two-letter code
    int fileId = 0;
    QDateTime renews; // UTC
};

// The downloads waiting for tomorrow's quota, kept in one small JSON file
// ("lumbra/quota-waiting.json" in the data folder) so that the next
// start after the renewal can offer them again. A damaged file counts as an
// empty list (and a line in the log); it is rewritten at the next change.
class QuotaWaitList final {
public:
    explicit QuotaWaitList(QString path = defaultPath());
    static QString defaultPath();

    QList<WaitingDownload> all() const;
    // Those whose quota has renewed by `nowUtc`.
    QList<WaitingDownload> due(const QDateTime &nowUtc) const;
    // What can be offered again at start-up: those due by `nowUtc` whose
    // video is still there. Entries whose video has gone are dropped from the
    // list for good, due or not: nothing could be placed beside it.
    QList<WaitingDownload> offerable(const QDateTime &nowUtc) const;
    // Adds the entries, replacing any for the same video and language.
    void add(const QList<WaitingDownload> &entries) const;
    // Drops what waited for this video and language (placed, or given up).
    void remove(const QString &video, const QString &lang) const;

    // When the day's quota renews: the service counts by the UTC day.
    static QDateTime nextRenewal(const QDateTime &nowUtc);
    // "waiting for tomorrow's quota (renews at HH:MM)", in local time.
    static QString waitingText(const QDateTime &renewsUtc);
    // "renews at HH:MM", in local time.
    static QString renewsAt(const QDateTime &renewsUtc);

private:
    void write(const QList<WaitingDownload> &entries) const;

    const QString m_path;
};
