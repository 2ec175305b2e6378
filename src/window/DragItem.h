#pragma once

#include <QList>
#include <QStringList>

#include <functional>

class QMimeData;

// One drop as the workflow windows queue it: the files and folders it
// carried, as absolute local paths in the order of the drag. A copy of the
// drag's data, since the drag itself ends with the drop.
struct DragItem {
    QStringList paths;

    // The local files of the drag's URL list, in order; other URLs are left out.
    static DragItem fromMimeData(const QMimeData *data);

    bool isEmpty() const { return paths.isEmpty(); }
};

// The drops a workflow window was given and has not taken in yet: drops
// arrive at any moment, and the window's process tick hands them to the job
// in the order they came.
class DropQueue {
public:
    // A drop without files carries nothing and is not queued.
    void add(const DragItem &item);
    // Hands the paths of each queued drop to `takeIn`, oldest first; whether
    // there were any.
    bool takeIn(const std::function<void(const QStringList &paths)> &takeIn);

    int pending() const { return int(m_items.size()); }
    // How many drops were taken in so far.
    int processed() const { return m_processed; }
    bool gotDragged() const { return m_processed > 0; }

private:
    QList<DragItem> m_items;
    int m_processed = 0;
};
