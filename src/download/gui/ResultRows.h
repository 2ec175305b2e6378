#pragma once

#include <QList>

#include <memory>

class JobSession;
class movieFile;
class openSubtitleItem;

// What the result actions need of the list they serve: the rows' kinds and
// records, the selection, opening and closing groups, and the window's
// refresh and unsaved-changes mark. The download window's list provides it;
// tests give plain records.
class ResultRows {
public:
    // Video rows ("files"), language groups and their results ("subs") and
    // queued downloads ("gets").
    enum class Kind { None, Video, Group, Result, Queued };

    virtual ~ResultRows() = default;

    virtual int rowCount() const = 0;
    virtual Kind kindAt(int row) const = 0;
    // The video record of a video row, the group record of a group row, the
    // queued record of a queue row; null for a result row.
    virtual std::shared_ptr<movieFile> movieAt(int row) const = 0;
    // The result of a result row, the chosen result of a queue row; null
    // otherwise.
    virtual std::shared_ptr<openSubtitleItem> resultAt(int row) const = 0;

    virtual QList<int> selectedRows() const = 0;
    // Makes exactly these rows the selection.
    virtual void select(const QList<int> &rows) = 0;

    // Group rows open onto their results and close again.
    virtual bool isOpen(int row) const = 0;
    virtual void setOpen(int row, bool open) = 0;

    // Asks for a redraw (the window's `updateUI`).
    virtual void refresh() = 0;
    // The window's unsaved-changes mark: subtitle checks were changed.
    virtual void markEdited() = 0;

    // The window's job, whose lock the actions hold while they read or
    // change a record, never while they wait. Previews they open keep it
    // weakly, since they may outlive the window.
    virtual std::shared_ptr<JobSession> session() const = 0;
};
