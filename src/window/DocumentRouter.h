#pragma once

#include "window/WorkflowWindow.h"

#include <QHash>
#include <QObject>
#include <QPointer>

#include <functional>

class WindowOrder;

// Takes files to the download and upload windows: documents opened with the
// application, drops on the home window and pastes there. Files go to the
// front-most visible window of the workflow that still takes files in, or to
// a new one made by the creator registered for that workflow: a window whose
// search has started never swallows them.
class DocumentRouter final : public QObject {
    Q_OBJECT
public:
    // Makes a new, not yet shown window of one workflow.
    using Creator = std::function<WorkflowWindow *()>;

    explicit DocumentRouter(WindowOrder *order, QObject *parent = nullptr);

    void setCreator(WorkflowKind kind, Creator creator);
    bool canCreate(WorkflowKind kind) const;

    // The front-most visible window of the workflow, or null.
    WorkflowWindow *frontmostVisible(WorkflowKind kind) const;
    // The same among the windows that still take files in.
    WorkflowWindow *frontmostTakingFiles(WorkflowKind kind) const;

    // The default window of the workflow (made on the first request, handed
    // back while it exists), shown and brought forward. Null when no creator
    // is registered.
    WorkflowWindow *showDefault(WorkflowKind kind);

    // A document opened with the application: a file or folder that exists
    // and can be read goes to the front-most visible window of its workflow
    // (upload for subtitle files, download for videos and folders), or to a
    // new one that is then left in its "Idle" state. Others are ignored.
    void openDocument(const QString &path);

    // A drop on the home window: appended to the pending drops of the
    // front-most visible window of the workflow, or of a new one. A drop
    // without any existing file changes nothing.
    void handOverDrop(WorkflowKind kind, const DragItem &item);

    // Shows the window and brings it forward, first in the window order.
    void present(WorkflowWindow *window);

    // Files pasted on the home window (existing ones, in clipboard order):
    // always to the download workflow. An empty list changes nothing.
    void pasteFiles(const QStringList &paths);

private:
    // The front-most visible window of the workflow that takes files,
    // brought forward, or a new one shown. `created` tells which.
    WorkflowWindow *visibleOrNew(WorkflowKind kind, bool *created);

    WindowOrder *m_order;
    QHash<int, Creator> m_creators;
    QHash<int, QPointer<QWidget>> m_defaults;
};
