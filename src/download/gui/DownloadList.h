#pragma once

#include "download/DownloadJob.h"

#include <QList>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QString>

#include <memory>

class DownloadQueue;
class JobSession;
class movieFile;
class omiListbox;
class openSubtitleItem;
class JobRecords;

// The rows of the download window's list in its three views: the videos to
// search ("files"), the results grouped per video and language ("subs") and
// the download queue ("gets"). Each row carries the record it shows as its
// tag and a kind word in its main column's cell tag.
//
// Lives on the main thread. The records are shared with the window's
// workers, so every method takes the job's state lock for the moments it
// reads or changes them; call them without holding it.
class DownloadList final : public QObject {
    Q_OBJECT
public:
    // Kind words of the rows.
    static const QString KindMovie;  // "files": a video
    static const QString KindGroup;  // "subs": a video in one language, opens onto its results
    static const QString KindResult; // "subs": one result, below its open group
    static const QString KindQueued; // "gets": one queued download

    DownloadList(omiListbox *list, JobRecords &records, QObject *parent = nullptr);

    omiListbox *MainList() const { return m_list; }
    QString mode() const;
    bool gotResults() const;
    int columnMain() const { return m_columnMain; }
    int columnInfo() const { return m_columnInfo; }
    int columnCheck() const { return m_columnCheck; }

    // What a row shows. The movie record is the video of a "files" row, the
    // language group of a group row or of a queued row; the result is the
    // one of a result row, or the chosen one of a queued row.
    QString kindAt(int row) const;
    // The text a row shows: for a queued download its video, language,
    // subtitle and outcome (DownloadQueue::rowText), else its main cell.
    QString rowText(int row) const;
    bool isKind(int row, const QString &kind) const;
    std::shared_ptr<movieFile> movieAt(int row) const;
    std::shared_ptr<openSubtitleItem> resultAt(int row) const;
    // The row whose tag is this record, or -1.
    int rowOf(const std::shared_ptr<movieFile> &record) const;
    int rowOf(const std::shared_ptr<openSubtitleItem> &result) const;

    // A row with everything it stands for, for actions on rows: its kind,
    // the record it shows (for a result row, the video the result belongs
    // to) and its result (none for video and group rows).
    struct RowRecord {
        int row = -1;
        QString kind;
        std::shared_ptr<movieFile> movie;
        std::shared_ptr<openSubtitleItem> result;
    };
    RowRecord recordAt(int row) const;
    // The selected rows, top to bottom.
    QList<RowRecord> selectedRecords() const;

    // The row last clicked (or the one row selected).
    int clickedRow() const { return m_clickedRow; }

    // --- "files" ---------------------------------------------------------
    // Two columns, "*,32"; the view the window opens with.
    void showFiles();
    // Gives each record a row, in path order (the job decides which records
    // are new and whether they are checked). False when there was none.
    bool showNewRecords(const QList<std::shared_ptr<movieFile>> &fresh);
    // Before a search: the rows of unchecked videos go, and so do their
    // records (every record with the same path) from the job's list.
    void removeUncheckedRows();
    // Whether a video row is ticked: a search without one would find nothing.
    bool hasCheckedVideos() const;
    // Why the search of the listed videos failed, shown on each video's row;
    // empty when it did not (or not yet).
    void setSearchFailure(const QString &reason);
    const QString &searchFailure() const { return m_searchFailure; }
    // A video row's text: its name, and why its search failed.
    static QString videoRowText(const QString &name, const QString &failure);
    // Whether exactly one dropped item was taken in (painting shows the
    // subtitles beside such a lone video differently).
    void setSingleDrop(bool single) { m_singleDrop = single; }
    bool singleDrop() const { return m_singleDrop; }

    // --- "subs" ----------------------------------------------------------
    // Builds the results view from the job's language groups (entries
    // without a group are left out): hash matches first, then other
    // matches, then groups without any, by name within each. A group whose
    // best result is known starts closed; the others start open.
    void listSearchResults(const QList<DownloadJob::LanguageGroup> &groups);
    QList<std::shared_ptr<movieFile>> moviefilesMatched() const { return m_moviefilesMatched; }
    // Whether a group row holds a ticked result, which a download would fetch.
    bool hasCheckedResults() const;
    // How many downloads Download would start: the groups with one ticked
    // result, a video's language counted once (as the queue takes them).
    int tickedDownloads() const;
    // Opens or closes a group row; a group without results does not open.
    void setGroupOpen(int row, bool open);
    // The text a result is ordered by (descending): language, best choice,
    // match level, our rating, the service's rating and the download count.
    // Call under the job's state lock.
    static QString resultOrderKey(const openSubtitleItem &result);

    // --- "gets" ----------------------------------------------------------
    // Turns the checked results into queue entries: closes every group,
    // drops the rows of unchecked videos, queues each group with exactly one
    // checked result (walking up from the last row) and shows the queue.
    void buildQueue(DownloadQueue &queue);
    // The "gets" view of these entries, in order.
    void showQueue(const QList<std::shared_ptr<movieFile>> &entries);

    // --- Checks ------------------------------------------------------------
    // A press in a cell (cell coordinates); true when it hit a check box.
    bool cellClick(int row, int column, const QPoint &inCell);
    // The check box of a row of the current view: the check picture centred
    // in the check column and the default row height.
    QRect checkRect() const;
    // Toggles a result row's check through its video (at most one result per
    // video and language stays checked). False for other rows.
    bool toggleResult(int row);

Q_SIGNALS:
    // Something shown changed; the window redraws at its next refresh.
    void refreshNeeded();
    // The user changed which subtitles are checked for download.
    void subtitleChecksChanged();

private:
    void setColumns(int count, const QString &widths, int main, int info, int check);
    void openGroup(int row);
    void addRowWithKind(int at, const QStringList &cells, const QVariant &tag, const QString &kind);
    QString withFlagMeanings(const QString &text, const std::shared_ptr<openSubtitleItem> &result) const;

    omiListbox *m_list;
    JobRecords &m_records;
    // The window's job: its lock guards the records the rows show.
    const std::shared_ptr<JobSession> m_session;
    int m_columnMain = 0;
    int m_columnInfo = 0;
    int m_columnCheck = 1;
    int m_clickedRow = -1;
    bool m_singleDrop = false;
    QString m_searchFailure;
    QList<std::shared_ptr<movieFile>> m_moviefilesMatched;
};
