#pragma once

#include "window/WorkflowWindow.h"

#include <QStringList>
#include <QWidget>

// A stand-in for the download and upload windows: records what the
// application hands it.
class FakeWorkflowWindow final : public QWidget, public WorkflowWindow {
public:
    explicit FakeWorkflowWindow(WorkflowKind kind, const QString &name = QString())
        : m_kind(kind)
    {
        setObjectName(name);
        setAttribute(Qt::WA_DeleteOnClose);
        resize(200, 100);
    }

    WorkflowKind workflowKind() const override { return m_kind; }
    QWidget *asWidget() override { return this; }
    void queueDrop(const DragItem &item) override { drops.append(item.paths); }
    void AAA_BuildFileList(const QString &item) override
    {
        built.append(item);
        modes.append(QStringLiteral("adding"));
    }
    void AAA_BuildFileList(const QStringList &items) override { builtLists.append(items); }
    void setWindowMode(const QString &mode) override { modes.append(mode); }

    QList<QStringList> drops;
    QStringList built;
    QList<QStringList> builtLists;
    QStringList modes;

private:
    WorkflowKind m_kind;
};
