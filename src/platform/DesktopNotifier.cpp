#include "platform/DesktopNotifier.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QLoggingCategory>
#include <QVariantMap>

#include <cmath>

using namespace Qt::Literals::StringLiterals;

Q_LOGGING_CATEGORY(lcNotifier, "lumbra.platform.notifier")

namespace {

const QString kNotifications = u"org.freedesktop.Notifications"_s;
const QString kNotificationsPath = u"/org/freedesktop/Notifications"_s;
// The launcher entry is named by the desktop entry's file name.
const QString kLauncherUri = u"application://lumbra.desktop"_s;
const QString kLauncherPath = u"/io/github/lumbra/Lumbra/LauncherEntry"_s;
const QString kShowAction = u"default"_s;

} // namespace

DesktopNotifier &DesktopNotifier::instance()
{
    static DesktopNotifier *notifier = new DesktopNotifier; // lives as long as the process
    return *notifier;
}

DesktopNotifier::DesktopNotifier() = default;

QDBusConnection DesktopNotifier::bus() const
{
    return m_busName.isEmpty() ? QDBusConnection::sessionBus() : QDBusConnection(m_busName);
}

void DesktopNotifier::setConnectionForTesting(const QDBusConnection &bus)
{
    m_busName = bus.name();
    m_listening = false;
}

bool DesktopNotifier::notifyRunEnded(QWidget *window, const QString &summary, const QString &body)
{
    if (window && window->isActiveWindow())
        return false;
    QDBusConnection connection = bus();
    if (!connection.isConnected())
        return false;
    if (!m_listening) {
        connection.connect(kNotifications, kNotificationsPath, kNotifications, u"ActionInvoked"_s, this,
                           SLOT(onActionInvoked(uint, QString)));
        connection.connect(kNotifications, kNotificationsPath, kNotifications, u"NotificationClosed"_s, this,
                           SLOT(onNotificationClosed(uint, uint)));
        m_listening = true;
    }
    m_window = window;
    QDBusMessage notify =
        QDBusMessage::createMethodCall(kNotifications, kNotificationsPath, kNotifications, u"Notify"_s);
    const QVariantMap hints{{u"desktop-entry"_s, u"lumbra"_s}, {u"category"_s, u"transfer.complete"_s}};
    notify << u"Lumbra"_s << uint(0) << u"lumbra"_s << summary << body
           << QStringList{kShowAction, tr("Show Window")} << hints << int(-1);
    // Asynchronous: a notification service that is slow or missing never holds up the window.
    auto *watcher = new QDBusPendingCallWatcher(connection.asyncCall(notify), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *call) {
        const QDBusPendingReply<uint> reply = *call;
        if (reply.isError())
            qCDebug(lcNotifier).noquote() << "no notification:" << reply.error().message();
        else
            m_lastId = reply.value();
        call->deleteLater();
    });
    return true;
}

void DesktopNotifier::onActionInvoked(uint id, const QString &action)
{
    if (id != m_lastId || action != kShowAction || !m_window)
        return;
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

void DesktopNotifier::onNotificationClosed(uint id, uint)
{
    if (id == m_lastId)
        m_window.clear();
}

void DesktopNotifier::setProgress(double fraction)
{
    const double progress = std::clamp(fraction, 0.0, 1.0);
    // Whole per cents are enough for a bar a few pixels long.
    if (std::lround(progress * 100) == std::lround(m_shownProgress * 100))
        return;
    m_shownProgress = progress;
    sendLauncherUpdate(progress, true);
}

void DesktopNotifier::clearProgress()
{
    if (m_shownProgress < 0)
        return;
    m_shownProgress = -1;
    sendLauncherUpdate(0, false);
}

void DesktopNotifier::sendLauncherUpdate(double progress, bool visible)
{
    QDBusConnection connection = bus();
    if (!connection.isConnected())
        return;
    QDBusMessage update =
        QDBusMessage::createSignal(kLauncherPath, u"com.canonical.Unity.LauncherEntry"_s, u"Update"_s);
    update << kLauncherUri << QVariantMap{{u"progress"_s, progress}, {u"progress-visible"_s, visible}};
    connection.send(update);
}
