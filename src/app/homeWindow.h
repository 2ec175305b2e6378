#pragma once

#include "window/MenuCommandTarget.h"
#include "window/WorkflowWindow.h"

#include <QWidget>

class DocumentRouter;
class omiPanel;

// The first window: two drop panels, videos (to a download window) and
// subtitles (to an upload window). A drop counts only when it lands strictly
// inside a panel's icon; a click on the icon shows the workflow's default
// window. Paste hands the clipboard's files to a download window.
class homeWindow final : public QWidget, public MenuCommandTarget {
    Q_OBJECT
public:
    static constexpr int Width = 320;
    static constexpr int Height = 162;

    explicit homeWindow(DocumentRouter &router, QWidget *parent = nullptr);

    omiPanel *dropVids() const { return m_dropVids; }
    omiPanel *dropSubs() const { return m_dropSubs; }

    // Places the window (prefix "homeWindow") and stores its place.
    void PrepareThisWindow();
    void LeaveThisWindow();

    // "FileClose" and "EditPaste".
    bool menuCommand(const QString &name) override;
    bool canHandleMenuCommand(const QString &name) const override;

    // Whether `point` (panel coordinates) lies strictly inside the panel's icon.
    static bool insideIcon(const omiPanel *panel, const QPoint &point);

    void setVisible(bool visible) override;

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    omiPanel *makePanel(int left, const QString &caption, const QString &dragCaption);
    WorkflowKind kindOf(const omiPanel *panel) const;
    void paste();

    DocumentRouter &m_router;
    omiPanel *m_dropVids;
    omiPanel *m_dropSubs;
    bool m_opened = false;
};
