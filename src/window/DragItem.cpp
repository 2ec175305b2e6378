#include "window/DragItem.h"

#include <QMimeData>
#include <QUrl>

DragItem DragItem::fromMimeData(const QMimeData *data)
{
    DragItem item;
    if (!data || !data->hasUrls())
        return item;
    const QList<QUrl> urls = data->urls();
    for (const QUrl &url : urls) {
        if (url.isLocalFile())
            item.paths.append(url.toLocalFile());
    }
    return item;
}
