#include "window/DocumentRouter.h"

#include "media/FileTypes.h"
#include "window/WindowOrder.h"

#include <QFileInfo>
#include <QLoggingCategory>
#include <QWidget>

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

Q_LOGGING_CATEGORY(lcRouter, "lumbra.app.documents")

namespace {

bool usable(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    return info.exists() && info.isReadable();
}

WorkflowWindow *asWorkflow(QWidget *widget)
{
    return dynamic_cast<WorkflowWindow *>(widget);
}

} // namespace

DocumentRouter::DocumentRouter(WindowOrder *order, QObject *parent)
    : QObject(parent)
    , m_order(order)
{
}

void DocumentRouter::setCreator(WorkflowKind kind, Creator creator)
{
    m_creators.insert(int(kind), std::move(creator));
}

bool DocumentRouter::canCreate(WorkflowKind kind) const
{
    return bool(m_creators.value(int(kind)));
}

WorkflowWindow *DocumentRouter::frontmostVisible(WorkflowKind kind) const
{
    const QList<QWidget *> windows = m_order->frontToBack();
    for (QWidget *widget : windows) {
        WorkflowWindow *window = asWorkflow(widget);
        if (window && widget->isVisible() && window->workflowKind() == kind)
            return window;
    }
    return nullptr;
}

WorkflowWindow *DocumentRouter::frontmostTakingFiles(WorkflowKind kind) const
{
    const QList<QWidget *> windows = m_order->frontToBack();
    for (QWidget *widget : windows) {
        WorkflowWindow *window = asWorkflow(widget);
        if (window && widget->isVisible() && window->workflowKind() == kind && window->acceptsFiles())
            return window;
    }
    return nullptr;
}

void DocumentRouter::present(WorkflowWindow *window)
{
    QWidget *widget = window->asWidget();
    widget->show();
    widget->raise();
    widget->activateWindow();
    m_order->bringForward(widget);
}

WorkflowWindow *DocumentRouter::visibleOrNew(WorkflowKind kind, bool *created)
{
    *created = false;
    if (WorkflowWindow *window = frontmostTakingFiles(kind)) {
        present(window);
        return window;
    }
    const Creator creator = m_creators.value(int(kind));
    if (!creator) {
        qCWarning(lcRouter) << "No window can take files of this workflow yet";
        return nullptr;
    }
    WorkflowWindow *window = creator();
    if (!window)
        return nullptr;
    *created = true;
    present(window);
    return window;
}

WorkflowWindow *DocumentRouter::showDefault(WorkflowKind kind)
{
    QPointer<QWidget> &existing = m_defaults[int(kind)];
    // A default window that was closed may linger hidden while its work
    // ends; it is gone for the user and is never shown again.
    if (WorkflowWindow *window = asWorkflow(existing.data()); window && existing->isVisible()) {
        present(window);
        return window;
    }
    const Creator creator = m_creators.value(int(kind));
    if (!creator)
        return nullptr;
    WorkflowWindow *window = creator();
    if (!window)
        return nullptr;
    existing = window->asWidget();
    present(window);
    return window;
}

void DocumentRouter::openDocument(const QString &path)
{
    if (!usable(path))
        return;
    // Subtitles go to the upload workflow, as when dropped on the home
    // window's subtitle panel; videos and folders to the download workflow.
    const QFileInfo info(path);
    const bool subtitle = info.isFile() && FileTypes::SubTypes.hasExtension(u'.' + info.suffix());
    bool created = false;
    WorkflowWindow *window = visibleOrNew(subtitle ? WorkflowKind::Upload : WorkflowKind::Download, &created);
    if (!window)
        return;
    window->AAA_BuildFileList(path);
    if (created)
        window->setWindowMode(u"Idle"_s);
}

void DocumentRouter::handOverDrop(WorkflowKind kind, const DragItem &item)
{
    if (std::none_of(item.paths.cbegin(), item.paths.cend(), usable))
        return;
    bool created = false;
    if (WorkflowWindow *window = visibleOrNew(kind, &created))
        window->queueDrop(item);
}

void DocumentRouter::pasteFiles(const QStringList &paths)
{
    if (paths.isEmpty())
        return;
    bool created = false;
    if (WorkflowWindow *window = visibleOrNew(WorkflowKind::Download, &created))
        window->AAA_BuildFileList(paths);
}
