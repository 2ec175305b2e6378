#pragma once

#include <QColor>
#include <QHash>
#include <QImage>
#include <QString>

#include <memory>

class DownloadList;
class JobSession;
class JobRecords;
class QPainter;
class QSize;

// Paints the cells of the download window's list: the background of every
// cell (also below the last row) and the content of each view's rows, from
// the records the rows carry. Tinted and round pictures are kept once made,
// so a repaint draws from the cache.
//
// Main thread; takes the job's state lock while it reads a record's state.
class DownloadListPainter final {
public:
    DownloadListPainter(const DownloadList &list, JobRecords &records);

    void paintBackground(QPainter &g, int row, int column, const QSize &cell) const;
    void paintContent(QPainter &g, int row, int column, const QSize &cell) const;

    // The theme picture in one colour, cached.
    QImage tinted(const QString &name, const QColor &colour) const;
    // A language's large flag cut round, lightened when `faded`, cached.
    QImage roundFlag(const QString &code, bool faded) const;

private:
    void paintFiles(QPainter &g, int row, int column, const QSize &cell) const;
    void paintSubs(QPainter &g, int row, int column, const QSize &cell) const;
    void paintGets(QPainter &g, int row, int column, const QSize &cell) const;
    // Draws the text condensed to `width` at `x`, on the list's baseline;
    // returns the width drawn.
    int drawText(QPainter &g, const QString &text, int x, int width, const QSize &cell) const;

    const DownloadList &m_list;
    // The window's job: its lock guards the records drawn.
    const std::shared_ptr<JobSession> m_session;
    mutable QHash<QString, QImage> m_pictures;
};
