#pragma once

#include <QWidget>

class QDropEvent;

// A canvas that knows whether the mouse or a file drag is over its inner area: the
// control less a 5-pixel margin on every side (x strictly between 5 and width - 5, the
// same for y). Drags are accepted anywhere on it; drops are handed to the owner through
// `dropped`.
class dragCanvas : public QWidget {
    Q_OBJECT
public:
    explicit dragCanvas(QWidget *parent = nullptr);

    bool dragged() const { return m_dragged; }
    bool hovered() const { return m_hovered; }
    bool pushed() const { return m_pushed; }

    // The inner-area test, in the canvas's own coordinates.
    bool isInnerPoint(const QPoint &point) const;

Q_SIGNALS:
    // A drop arrived (the drag state is already cleared). The owner reads the event's
    // mime data and may accept it.
    void dropped(QDropEvent *event);

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

    bool m_dragged = false;
    bool m_hovered = false;
    bool m_pushed = false;

private:
    void dragOver(QDropEvent *event);
};
