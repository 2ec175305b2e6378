#pragma once

#include <QStringList>

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
