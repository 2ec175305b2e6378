#include "window/FileDropFilter.h"

#include <QDropEvent>
#include <QMimeData>

bool handleFileDrop(QEvent *event, bool accepting, const std::function<void(const DragItem &)> &take)
{
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto *drag = static_cast<QDragMoveEvent *>(event);
        if (accepting && drag->mimeData()->hasUrls())
            drag->acceptProposedAction();
        else
            drag->ignore();
        return true;
    }
    case QEvent::Drop: {
        auto *drop = static_cast<QDropEvent *>(event);
        const DragItem item = DragItem::fromMimeData(drop->mimeData());
        if (accepting && !item.isEmpty()) {
            drop->acceptProposedAction();
            take(item);
        }
        return true;
    }
    default:
        return false;
    }
}
