#include "controls/dragCanvas.h"

#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMouseEvent>

namespace {
constexpr int kMargin = 5;
}

dragCanvas::dragCanvas(QWidget *parent)
    : QWidget(parent)
{
    setAcceptDrops(true);
    setMouseTracking(true);
}

bool dragCanvas::isInnerPoint(const QPoint &point) const
{
    return point.x() > kMargin && point.x() < width() - kMargin && point.y() > kMargin &&
           point.y() < height() - kMargin;
}

void dragCanvas::dragOver(QDropEvent *event)
{
    m_dragged = isInnerPoint(event->position().toPoint());
    update();
    event->acceptProposedAction();
}

void dragCanvas::dragEnterEvent(QDragEnterEvent *event)
{
    dragOver(event);
}

void dragCanvas::dragMoveEvent(QDragMoveEvent *event)
{
    dragOver(event);
}

void dragCanvas::dragLeaveEvent(QDragLeaveEvent *event)
{
    m_dragged = false;
    update();
    event->accept();
}

void dragCanvas::dropEvent(QDropEvent *event)
{
    m_dragged = false;
    Q_EMIT dropped(event);
    update();
}

void dragCanvas::mouseMoveEvent(QMouseEvent *event)
{
    m_hovered = isInnerPoint(event->position().toPoint());
    QWidget::mouseMoveEvent(event);
}

void dragCanvas::leaveEvent(QEvent *event)
{
    m_hovered = false;
    m_dragged = false;
    QWidget::leaveEvent(event);
}

void dragCanvas::mouseReleaseEvent(QMouseEvent *event)
{
    m_dragged = false;
    m_hovered = false;
    m_pushed = false;
    QWidget::mouseReleaseEvent(event);
}
