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

void DropQueue::add(const DragItem &item)
{
    if (!item.isEmpty())
        m_items.append(item);
}

bool DropQueue::takeIn(const std::function<void(const QStringList &)> &takeIn)
{
    if (m_items.isEmpty())
        return false;
    // Taken off before it is handed on: taking it in may queue another.
    while (!m_items.isEmpty()) {
        const DragItem item = m_items.takeFirst();
        takeIn(item.paths);
        ++m_processed;
    }
    return true;
}
