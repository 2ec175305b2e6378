#include "download/gui/DownloadListRows.h"

#include "controls/omiListbox.h"
#include "download/gui/DownloadList.h"
#include "download/gui/GetSubtitlesWindow.h"
#include "download/gui/ResultActions.h"
#include "service/JobRecords.h"

DownloadListRows::DownloadListRows(GetSubtitlesWindow &window)
    : QObject(&window)
    , m_window(window)
    , m_actions(new ResultActions(*this, this))
{
}

DownloadListRows *DownloadListRows::install(GetSubtitlesWindow &window)
{
    auto *rows = new DownloadListRows(window);
    rows->m_actions->handleKeysOf(window.MainList());
    // The list opens and closes groups on double clicks itself.
    connect(&window, &GetSubtitlesWindow::rowContextMenuRequested, rows->m_actions, &ResultActions::showMenu);
    return rows;
}

int DownloadListRows::rowCount() const
{
    return m_window.MainList()->rowCount();
}

ResultRows::Kind DownloadListRows::kindAt(int row) const
{
    const DownloadList &list = m_window.list();
    if (list.isKind(row, DownloadList::KindMovie))
        return Kind::Video;
    if (list.isKind(row, DownloadList::KindGroup))
        return Kind::Group;
    if (list.isKind(row, DownloadList::KindResult))
        return Kind::Result;
    if (list.isKind(row, DownloadList::KindQueued))
        return Kind::Queued;
    return Kind::None;
}

std::shared_ptr<movieFile> DownloadListRows::movieAt(int row) const
{
    return m_window.list().movieAt(row);
}

std::shared_ptr<openSubtitleItem> DownloadListRows::resultAt(int row) const
{
    return m_window.list().resultAt(row);
}

QList<int> DownloadListRows::selectedRows() const
{
    return m_window.MainList()->selectedRows();
}

void DownloadListRows::select(const QList<int> &rows)
{
    omiListbox *list = m_window.MainList();
    list->clearSelection();
    for (const int row : rows)
        list->setSelected(row, true);
}

bool DownloadListRows::isOpen(int row) const
{
    return m_window.MainList()->expanded(row);
}

void DownloadListRows::setOpen(int row, bool open)
{
    m_window.list().setGroupOpen(row, open);
}

void DownloadListRows::refresh()
{
    m_window.setUpdateUI();
}

void DownloadListRows::markEdited()
{
    m_window.setUpdateUI();
}

std::shared_ptr<JobSession> DownloadListRows::session() const
{
    return m_window.records().session();
}
