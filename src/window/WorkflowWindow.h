#pragma once

#include "window/DragItem.h"

#include <QString>
#include <QStringList>

class QWidget;

// The two workflows a file can be handed to.
enum class WorkflowKind { Download, Upload };

// What the application needs from a download or upload window: the home
// window, opened documents and pastes hand files to it through these. A
// window implements this beside being a QWidget; the application finds the
// windows among its top-level widgets with dynamic_cast.
class WorkflowWindow {
public:
    virtual ~WorkflowWindow() = default;

    virtual WorkflowKind workflowKind() const = 0;

    // The window itself.
    virtual QWidget *asWidget() = 0;

    // Appends a drop to the window's pending drops; its process tick takes
    // it in later.
    virtual void queueDrop(const DragItem &item) = 0;

    // Hands one file or folder to the file intake at once.
    virtual void AAA_BuildFileList(const QString &item) = 0;

    // Hands each file or folder of the list to the file intake, in order.
    virtual void AAA_BuildFileList(const QStringList &items) = 0;

    // Sets the workflow state.
    virtual void setWindowMode(const QString &mode) = 0;

    // Whether files handed over now would still be taken in: false once the
    // window's search or verification has started, or while it closes.
    // Files for such a window go to a new window of the same kind.
    virtual bool acceptsFiles() const { return true; }
};
