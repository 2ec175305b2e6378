#include "window/lumbraWindow.h"

#include "window/WindowPlacement.h"

#include <QCloseEvent>

using namespace Qt::Literals::StringLiterals;

lumbraWindow::lumbraWindow(QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setAttribute(Qt::WA_DeleteOnClose);
}

void lumbraWindow::setVisible(bool visible)
{
    if (!visible || m_opened) {
        QWidget::setVisible(visible);
        return;
    }
    m_opened = true;
    // Every download window shares this prefix.
    m_windowName = u"lumbraWindow"_s;
    PrepareThisWindow();
    QWidget::setVisible(true);
    Open();
}

void lumbraWindow::PrepareThisWindow()
{
    WindowPlacement::placeVariantA(this, m_windowName, windowTitleText());
}

void lumbraWindow::LeaveThisWindow()
{
    WindowPlacement::leaveVariantA(this, m_windowName);
}

void lumbraWindow::ZoomWindowMethod()
{
    WindowPlacement::zoom(this, m_windowName);
}

bool lumbraWindow::menuCommand(const QString &name)
{
    if (name.compare("zoomWindow"_L1, Qt::CaseInsensitive) == 0) {
        ZoomWindowMethod();
        return true;
    }
    if (name.compare("FileClose"_L1, Qt::CaseInsensitive) == 0) {
        close();
        return true;
    }
    return false;
}

void lumbraWindow::closeEvent(QCloseEvent *event)
{
    if (CancelClose()) {
        event->ignore();
        return;
    }
    LeaveThisWindow();
    QWidget::closeEvent(event);
}
