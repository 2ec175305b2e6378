#pragma once

#include "download/gui/ResultRows.h"

#include <QObject>

class GetSubtitlesWindow;
class ResultActions;

// The download window's list as the result actions see it, and the actions
// wired to it: keys pressed in the list and the window's row context menu
// requests go to them. Lives as a child of the window.
class DownloadListRows final : public QObject, public ResultRows {
    Q_OBJECT
public:
    explicit DownloadListRows(GetSubtitlesWindow &window);

    // Gives the window its result actions.
    static DownloadListRows *install(GetSubtitlesWindow &window);

    ResultActions &actions() const { return *m_actions; }

    int rowCount() const override;
    Kind kindAt(int row) const override;
    std::shared_ptr<movieFile> movieAt(int row) const override;
    std::shared_ptr<openSubtitleItem> resultAt(int row) const override;
    QList<int> selectedRows() const override;
    void select(const QList<int> &rows) override;
    bool isOpen(int row) const override;
    void setOpen(int row, bool open) override;
    void refresh() override;
    void markEdited() override;
    std::shared_ptr<JobSession> session() const override;

private:
    GetSubtitlesWindow &m_window;
    ResultActions *m_actions;
};
