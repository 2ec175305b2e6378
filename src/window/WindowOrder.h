#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QWidget>

// The application's top-level windows from front to back. Qt does not tell
// the stacking order of windows, so this follows what puts a window in
// front: being shown, raised or activated. When the active window is closed,
// the next one in this order becomes active.
class WindowOrder final : public QObject {
    Q_OBJECT
public:
    // Watches every window of the application from now on.
    explicit WindowOrder(QObject *parent = nullptr);

    // Front to back; windows that no longer exist are left out.
    QList<QWidget *> frontToBack() const;

    // Puts `window` in front of the others (also done by the events below).
    void bringForward(QWidget *window);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void prune() const;
    // After a window went away: when no window is active any more, the
    // front-most visible one becomes active, so the keys the user types
    // reach the window they see (without a window manager nobody else
    // passes the focus on).
    void activateFrontWindow();
    bool m_activationPending = false;

    mutable QList<QPointer<QWidget>> m_windows;
};
