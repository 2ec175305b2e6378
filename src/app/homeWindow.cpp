#include "app/homeWindow.h"

#include "common/translationStrings.h"
#include "controls/omiPanel.h"
#include "platform/Platform.h"
#include "window/DocumentRouter.h"
#include "window/WindowPlacement.h"

#include <QCloseEvent>
#include <QDropEvent>

using namespace Qt::Literals::StringLiterals;

namespace {
const QString Prefix = u"homeWindow"_s;
}

homeWindow::homeWindow(DocumentRouter &router, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::WindowMinimizeButtonHint)
    , m_router(router)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(Width, Height);
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, QColor(241, 240, 235));
    setPalette(colours);

    m_dropVids = makePanel(0, translationStrings::dropMovieFilesLabel(),
                           translationStrings::dropMovieFilesLabelDrag());
    m_dropVids->setObjectName(u"dropVids"_s);
    m_dropSubs =
        makePanel(160, translationStrings::dropSubFilesLabel(), translationStrings::dropSubFilesLabelDrag());
    m_dropSubs->setObjectName(u"dropSubs"_s);
}

omiPanel *homeWindow::makePanel(int left, const QString &caption, const QString &dragCaption)
{
    auto *panel = new omiPanel(this);
    panel->setGeometry(left, 2, 160, 160);
    panel->setIconName(u"Cuadroarrastre110"_s);
    panel->setPicSize(110, 110);
    panel->setCaption(caption);
    panel->setDragCaption(dragCaption);
    panel->setInnerCaption(true);
    panel->setTextFont(u"Helvetica"_s);
    panel->installEventFilter(this);

    connect(panel, &dragCanvas::dropped, this, [this, panel](QDropEvent *event) {
        // The drag state is already cleared; only a drop on the icon hands files on.
        panel->setIAmActive(0);
        if (!insideIcon(panel, event->position().toPoint()))
            return;
        event->acceptProposedAction();
        m_router.handOverDrop(kindOf(panel), DragItem::fromMimeData(event->mimeData()));
    });
    connect(panel, &omiPanel::mouseDown, this, [this, panel] {
        if (panel->isEnabled())
            m_router.showDefault(kindOf(panel));
    });
    return panel;
}

WorkflowKind homeWindow::kindOf(const omiPanel *panel) const
{
    return panel == m_dropSubs ? WorkflowKind::Upload : WorkflowKind::Download;
}

bool homeWindow::insideIcon(const omiPanel *panel, const QPoint &point)
{
    const QRect icon = panel->iconRect();
    return point.x() > icon.left() && point.x() < icon.left() + icon.width() && point.y() > icon.top() &&
           point.y() < icon.top() + icon.height();
}

bool homeWindow::eventFilter(QObject *watched, QEvent *event)
{
    auto *panel = qobject_cast<omiPanel *>(watched);
    if (panel && (panel == m_dropVids || panel == m_dropSubs)) {
        switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove:
            panel->setIAmActive(
                insideIcon(panel, static_cast<QDropEvent *>(event)->position().toPoint()) ? 1 : 0);
            break;
        case QEvent::DragLeave:
            panel->setIAmActive(0);
            break;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void homeWindow::setVisible(bool visible)
{
    if (visible && !m_opened) {
        m_opened = true;
        PrepareThisWindow();
    }
    QWidget::setVisible(visible);
}

void homeWindow::PrepareThisWindow()
{
    WindowPlacement::placeVariantB(this, Prefix, translationStrings::homeWindowTitle());
}

void homeWindow::LeaveThisWindow()
{
    WindowPlacement::leaveVariantB(this, Prefix);
}

void homeWindow::closeEvent(QCloseEvent *event)
{
    LeaveThisWindow();
    QWidget::closeEvent(event);
}

bool homeWindow::menuCommand(const QString &name)
{
    if (name.compare("FileClose"_L1, Qt::CaseInsensitive) == 0) {
        close();
        return true;
    }
    if (name.compare("EditPaste"_L1, Qt::CaseInsensitive) == 0) {
        paste();
        return true;
    }
    return false;
}

bool homeWindow::canHandleMenuCommand(const QString &name) const
{
    return name.compare("FileClose"_L1, Qt::CaseInsensitive) == 0 ||
           name.compare("EditPaste"_L1, Qt::CaseInsensitive) == 0;
}

void homeWindow::paste()
{
    m_router.pasteFiles(platform().clipboardFiles());
}
