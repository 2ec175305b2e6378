#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

class QDBusConnection;

// Tells the desktop about work the user is not watching: a notification
// (freedesktop Notifications) when an unattended run ends while its window
// is not active, with an action that brings the window back, and progress on
// the task bar (the Unity launcher API that KDE and the docks read). Without
// a session bus, or with no notification service on it, nothing happens and
// nothing fails. Main thread only.
class DesktopNotifier final : public QObject {
    Q_OBJECT
public:
    // The one notifier of the application.
    static DesktopNotifier &instance();

    // Sends "summary" with "body" unless `window` is the active window (the
    // user sees the result already). The notification's default action
    // shows, raises and activates `window`. Returns whether it was sent.
    bool notifyRunEnded(QWidget *window, const QString &summary, const QString &body);

    // Progress of long work, 0 to 1, shown on the launcher entry of
    // lumbra.desktop; clearProgress hides it.
    void setProgress(double fraction);
    void clearProgress();

    // The session bus this notifier talks to; tests give one of their own.
    void setConnectionForTesting(const QDBusConnection &bus);

private:
    DesktopNotifier();
    QDBusConnection bus() const;
    void sendLauncherUpdate(double progress, bool visible);

private Q_SLOTS:
    void onActionInvoked(uint id, const QString &action);
    void onNotificationClosed(uint id, uint reason);

private:
    QString m_busName; // empty: the session bus
    bool m_listening = false;
    uint m_lastId = 0;
    QPointer<QWidget> m_window; // the window the last notification brings back
    double m_shownProgress = -1;
};
