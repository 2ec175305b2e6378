#pragma once

#include "upload/VerificationJob.h"
#include "window/DragItem.h"

#include <QHash>
#include <QImage>
#include <QObject>
#include <QPair>
#include <QSet>
#include <QString>

#include <memory>

class omiListbox;
class subtitleFile;
class JobSession;
class QPainter;

// The upload window's list: one row per subtitle brought in, with the video
// it pairs with, its language flag and a check mark that decides whether the
// pair is verified. After a verification it shows each verified subtitle
// with what the service answered for its video and language.
//
// The records are shared with the intake workers and the verification
// thread: their flags are read and changed under the lock of the window's
// job, which the list shares (it lives as long as the window). Everything else runs on the main thread.
class UploadList final : public QObject {
    Q_OBJECT
public:
    // Row modes: "subFiles" before the verification, "subs" after it.
    static constexpr QLatin1StringView SubFilesMode{"subFiles"};
    static constexpr QLatin1StringView ResultsMode{"subs"};

    UploadList(std::shared_ptr<JobSession> session, QWidget *parent);

    omiListbox *view() const { return m_view; }
    QString mode() const;

    // Adds a row for every record that has none yet, in order, each at its
    // place by the subtitle's path (the job has decided its check). Returns
    // the number of rows added.
    int listSubtitleFiles(const QList<std::shared_ptr<subtitleFile>> &records);

    int rowCount() const;
    // The record of a row (subFiles mode), or null.
    std::shared_ptr<subtitleFile> record(int row) const;
    QString rowPath(int row) const;
    bool isChecked(int row) const;
    void removeRow(int row);

    // The row last clicked or selected alone, or -1.
    int clickedRow() const { return m_clickedRow; }

    // A key while the list has the focus: Space toggles the checks of the
    // selected rows, Backspace and Delete clear them, arrows and the letters
    // V, R, Q and O are taken without effect. False for keys that pass on.
    bool handleKey(int key);
    // A press in a cell: inside the check picture of the check column it
    // toggles the row. True when it did.
    bool clickCell(int row, int column, const QPoint &inCell);

    // The contextual menu of a row: (tag, text) pairs; empty in results mode.
    QList<QPair<QString, QString>> menuEntries(int row) const;
    // Carries out a menu entry for the row (which becomes clickedRow).
    void chooseMenuEntry(int row, const QString &tag);
    // Asks for the preview of the pair of `clickedRow`.
    void PlayPreview();

    // The subtitles listed without a video (files that are not subtitles
    // left out).
    QStringList unpairedSubtitles() const;

    // Switches to the results layout (three columns, "subs") and shows one
    // row per verified subtitle: `outcomes` by video and language.
    void listSearchResults(const QList<VerifyPairing> &pairings, const QList<VerifyOutcome> &outcomes);
    // The outcome shown in a results row ("has", "lacks", "failed"; empty
    // for a subtitle without a video).
    QString resultStatus(int row) const;
    QString resultText(int row) const;

    // The check picture's area in a check cell of the given width.
    QRect checkArea(int columnWidth) const;

Q_SIGNALS:
    // A check changed or a key was taken: the window refreshes.
    void changed();
    // Preview of a subtitle over its video.
    void previewRequested(const QString &subtitlePath, const QString &videoPath);
    // Files were dropped on the list.
    void filesDropped(const DragItem &item);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void paintBackground(QPainter &g, int row, int column, const QSize &cell) const;
    void paintContent(QPainter &g, int row, int column, const QSize &cell) const;
    void showContextMenu(const QPoint &at);
    void setRecordChecked(int row, bool checked);
    // The subtitle of `row` is in the language of this two-letter code.
    void setLanguage(int row, const QString &code);
    QImage flagFor(const QString &fileName) const;
    QImage tinted(const QString &name) const;
    int checkColumn() const;

    const std::shared_ptr<JobSession> m_session;
    omiListbox *m_view;
    QObject *m_viewport;
    int m_clickedRow = -1;
    QHash<QString, std::shared_ptr<subtitleFile>> m_records; // by path
    QSet<QString> m_refused;                                 // paths of the files that are not subtitles
    mutable QHash<QString, QImage> m_flags;                  // by language field
    mutable QHash<QString, QImage> m_icons;                  // tinted theme pictures
};
