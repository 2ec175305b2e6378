#include "window/WindowOrder.h"

#include <QApplication>
#include <QEvent>

WindowOrder::WindowOrder(QObject *parent)
    : QObject(parent)
{
    if (QCoreApplication *app = QCoreApplication::instance())
        app->installEventFilter(this);
}

QList<QWidget *> WindowOrder::frontToBack() const
{
    prune();
    QList<QWidget *> windows;
    windows.reserve(m_windows.size());
    for (const QPointer<QWidget> &w : std::as_const(m_windows))
        windows.append(w.data());
    return windows;
}

void WindowOrder::bringForward(QWidget *window)
{
    if (!window)
        return;
    prune();
    for (qsizetype i = 0; i < m_windows.size(); ++i) {
        if (m_windows.at(i) == window) {
            m_windows.move(i, 0);
            return;
        }
    }
    m_windows.prepend(window);
}

bool WindowOrder::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::Show:
    case QEvent::WindowActivate: {
        // Popups, tool tips and the like are not windows a document can go to.
        auto *widget = qobject_cast<QWidget *>(watched);
        if (widget && widget->isWindow() && widget->windowType() != Qt::Popup &&
            widget->windowType() != Qt::ToolTip)
            bringForward(widget);
        break;
    }
    case QEvent::Hide: {
        // A window the program hid (closed); minimizing is the desktop's own.
        auto *widget = qobject_cast<QWidget *>(watched);
        if (widget && widget->isWindow() && !event->spontaneous() && !m_activationPending &&
            widget->windowType() != Qt::Popup && widget->windowType() != Qt::ToolTip) {
            m_activationPending = true;
            QMetaObject::invokeMethod(this, &WindowOrder::activateFrontWindow, Qt::QueuedConnection);
        }
        break;
    }
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void WindowOrder::activateFrontWindow()
{
    m_activationPending = false;
    const QWidget *active = QApplication::activeWindow();
    if ((active && active->isVisible()) || QApplication::activeModalWidget() ||
        QApplication::activePopupWidget())
        return;
    for (QWidget *window : frontToBack()) {
        if (window->isVisible() && !window->isMinimized() && window->windowType() != Qt::Popup &&
            window->windowType() != Qt::ToolTip) {
            window->raise();
            window->activateWindow();
            return;
        }
    }
}

void WindowOrder::prune() const
{
    m_windows.removeIf([](const QPointer<QWidget> &w) { return w.isNull(); });
}
